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

void WriteStandardOutput(const std::string& text) {
  // The C runtime's stdout of a GUI program is not connected to a console attached after
  // start-up; the handle is written to directly instead.
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE console = INVALID_HANDLE_VALUE;
  if (output == nullptr || output == INVALID_HANDLE_VALUE) {
    console = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return;
    output = console;
  }
  DWORD written = 0;
  ::WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  if (console != INVALID_HANDLE_VALUE) ::CloseHandle(console);
}
