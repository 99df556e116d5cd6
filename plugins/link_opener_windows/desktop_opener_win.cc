// Opening URLs on Windows: the shell's handler for the URL's scheme (ShellExecuteExW), or
// the program named by TERVALA_LINK_OPENER, started with the URL as its one argument.
#include <windows.h>
// After <windows.h>, which they build on.
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <thread>
#include <utility>

#include "plugins/link_opener_windows/desktop_opener.h"
#include "platform/windows_text/windows_text.h"

namespace tervala_plugins {
namespace {

using tervala_windows::ErrorText;
using tervala_windows::ToUtf8;
using tervala_windows::ToWide;

// The environment variable `name`, or empty when it is not set.
std::wstring Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::wstring();
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

// Whether the environment variable `name` is set to something other than "" or "0".
bool IsSwitchOn(const wchar_t* name) {
  const std::wstring value = Environment(name);
  return !value.empty() && value != L"0";
}

// Runs `opener` with the URL as its one argument and reports its exit code. The URL has no
// blanks or quotes (IsOpenableUrl), so quoting the program alone keeps it one argument.
void RunOpener(const std::wstring& opener, const std::wstring& url, OpenDone done) {
  std::wstring command_line = L"\"" + opener + L"\" " + url;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    done("Cannot start " + ToUtf8(opener) + ": " + ErrorText(GetLastError()));
    return;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 1;
  const bool known = GetExitCodeProcess(process.hProcess, &exit_code) != 0;
  CloseHandle(process.hProcess);
  if (!known) {
    done("Lost track of " + ToUtf8(opener));
  } else if (exit_code == 0) {
    done(std::nullopt);
  } else {
    done(ToUtf8(opener) + " failed with exit status " + std::to_string(exit_code));
  }
}

// Hands the URL to the shell, which starts the program registered for its scheme.
void OpenWithShell(const std::wstring& url, OpenDone done) {
  // The shell may use COM on this thread; a single-threaded apartment is what it expects.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = url.c_str();
  info.nShow = SW_SHOWNORMAL;
  const bool opened = ShellExecuteExW(&info) != 0;
  const DWORD error = opened ? 0 : GetLastError();
  if (SUCCEEDED(com)) CoUninitialize();
  if (opened) {
    done(std::nullopt);
  } else {
    done("Cannot open the URL: " + ErrorText(error));
  }
}

}  // namespace

void OpenWithDesktop(const std::string& url, OpenDone done) {
  if (IsSwitchOn(L"TERVALA_LINK_OPENER_DRY_RUN")) {
    done(std::nullopt);
    return;
  }
  // Starting the handler can take a while (it may wait for the program it starts); do it
  // off the UI thread, and answer from there.
  std::thread([url = ToWide(url), opener = Environment(L"TERVALA_LINK_OPENER"),
               done = std::move(done)]() mutable {
    if (opener.empty()) {
      OpenWithShell(url, std::move(done));
    } else {
      RunOpener(opener, url, std::move(done));
    }
  }).detach();
}

}  // namespace tervala_plugins
