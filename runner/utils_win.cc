// The console of a Windows GUI program, which has none of its own: a debug console, or the
// one the program was started from.
#include <fcntl.h>
#include <io.h>
#include <vela_windows.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <iostream>

#include "runner/utils.h"

namespace {

// Whether `stream` already goes somewhere other than a console: a file, a pipe or a device
// such as NUL, as when the output is redirected.
bool GoesElsewhere(FILE* stream) {
  const int descriptor = _fileno(stream);
  if (descriptor < 0) return false;  // -2: the program started without this stream
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(handle) == FILE_TYPE_UNKNOWN) return false;
  DWORD mode = 0;
  return !GetConsoleMode(handle, &mode);
}

// Points `stream`, whose descriptor is `descriptor`, at the console.
void ReopenOnConsole(FILE* stream, int descriptor, DWORD standard_handle) {
  FILE* reopened = nullptr;
  // The stream itself says whether it was reopened: the result code alone is not to be
  // trusted (Wine's msvcrt.dll reports success for a failure when errno was 0).
  if (freopen_s(&reopened, "CONOUT$", "w", stream) != 0 || reopened == nullptr ||
      _fileno(stream) < 0) {
#if defined(__MINGW32__) && !defined(_UCRT)
    // msvcrt.dll (Wine's at least) refuses to reopen a stream that started without a
    // descriptor. Its FILE structure is public: the console becomes the stream's usual
    // descriptor, and the stream is given that descriptor.
    const HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return;
    const int opened = _open_osfhandle(reinterpret_cast<intptr_t>(console), _O_TEXT);
    if (opened < 0) {
      CloseHandle(console);
      return;
    }
    const bool duplicated = _dup2(opened, descriptor) == 0;
    _close(opened);
    if (!duplicated) return;
    stream->_file = descriptor;
#else
    return;
#endif
  }
  // Code that writes to the standard handle itself (WriteStandardOutput) follows too.
  SetStdHandle(standard_handle, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

}  // namespace

void ConnectStandardStreamsToConsole() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (!GoesElsewhere(stdout)) ReopenOnConsole(stdout, 1, STD_OUTPUT_HANDLE);
  if (!GoesElsewhere(stderr)) ReopenOnConsole(stderr, 2, STD_ERROR_HANDLE);
  std::ios::sync_with_stdio();
  VelaDesktopResyncOutputStreams();
}

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
