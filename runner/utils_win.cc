// The debug console of a Windows GUI program, which has none of its own.
#include <io.h>
#include <vela_windows.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "runner/utils.h"

void OpenDebugConsole() {
  if (!::AllocConsole()) return;
  FILE* unused = nullptr;
  // Standard error follows standard output when it cannot be reopened itself.
  if (freopen_s(&unused, "CONOUT$", "w", stdout) != 0) _dup2(_fileno(stdout), 1);
  if (freopen_s(&unused, "CONOUT$", "w", stderr) != 0) _dup2(_fileno(stdout), 2);
  std::ios::sync_with_stdio();
  VelaDesktopResyncOutputStreams();
}
