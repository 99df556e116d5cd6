// The debug console where the process's console is its controlling terminal.
#include <unistd.h>
#include <vela_windows.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "runner/utils.h"

void OpenDebugConsole() {
  if (!AllocConsole()) return;
  // Standard error follows standard output when it cannot be reopened itself.
  if (std::freopen("/dev/tty", "w", stdout) == nullptr) dup2(fileno(stdout), STDOUT_FILENO);
  if (std::freopen("/dev/tty", "w", stderr) == nullptr) dup2(fileno(stdout), STDERR_FILENO);
  std::ios::sync_with_stdio();
  VelaDesktopResyncOutputStreams();
}

// The streams of a POSIX process are its terminal's already.
void ConnectStandardStreamsToConsole() {}

void WriteStandardOutput(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}
