#include <windows.h>

#include <cwctype>

#include "platform/test_support/child_process.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"
#include "platform/windows_text/windows_text.h"

namespace tervala_testing {
namespace {

// Appends `argument` quoted so that CommandLineToArgvW and the C runtime give it back
// unchanged: backslashes are literal except before a quote.
void AppendQuoted(const std::wstring& argument, std::wstring* command_line) {
  if (!command_line->empty()) command_line->push_back(L' ');
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    command_line->append(argument);
    return;
  }
  command_line->push_back(L'"');
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == argument.size()) {
      command_line->append(backslashes * 2, L'\\');
      break;
    }
    if (argument[i] == L'"') {
      command_line->append(backslashes * 2 + 1, L'\\');
    } else {
      command_line->append(backslashes, L'\\');
    }
    command_line->push_back(argument[i]);
  }
  command_line->push_back(L'"');
}

bool SameName(const std::wstring& entry, const std::wstring& name) {
  if (entry.size() <= name.size() || entry[name.size()] != L'=') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (std::towupper(entry[i]) != std::towupper(name[i])) return false;
  }
  return true;
}

// The inherited environment with the test's changes, as a block of NUL-terminated entries.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::wstring> entries;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
      entries.emplace_back(entry);
    }
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : changes) {
    const std::wstring wide_name = tervala_windows::ToWide(name);
    std::erase_if(entries, [&](const std::wstring& entry) { return SameName(entry, wide_name); });
    if (!value.empty()) entries.push_back(wide_name + L"=" + tervala_windows::ToWide(value));
  }
  std::wstring result;
  for (const std::wstring& entry : entries) {
    result += entry;
    result.push_back(L'\0');
  }
  result.push_back(L'\0');
  return result;
}

HANDLE OpenInheritable(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  return ::CreateFileW(tervala_windows::ToWide(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

class ChildProcess::Impl {
 public:
  ScratchFolder files{"tervala-child"};
  HANDLE process = nullptr;
  long process_id = -1;
  std::string start_error;
  ChildExit exit;

  // Collects the exit code once the process has ended (`wait_ms`: how long to wait).
  bool Reap(DWORD wait_ms) {
    if (process == nullptr) return true;
    if (::WaitForSingleObject(process, wait_ms) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    if (::GetExitCodeProcess(process, &code)) exit.exit_code = static_cast<int>(code);
    exit.finished = true;
    ::CloseHandle(process);
    process = nullptr;
    return true;
  }
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildOptions& options)
    : impl_(std::make_unique<Impl>()) {
  const std::string input_path = impl_->files.Join("stdin");
  WriteWholeFile(input_path, options.standard_input);
  HANDLE input = OpenInheritable(input_path, false);
  HANDLE output = OpenInheritable(impl_->files.Join("stdout"), true);
  HANDLE error = OpenInheritable(impl_->files.Join("stderr"), true);

  std::wstring command_line;
  AppendQuoted(tervala_windows::ToWide(program), &command_line);
  for (const std::string& argument : arguments) {
    AppendQuoted(tervala_windows::ToWide(argument), &command_line);
  }
  std::wstring environment = EnvironmentBlock(options.environment);
  const std::wstring working_directory = tervala_windows::ToWide(options.working_directory);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION info{};
  if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE ||
      error == INVALID_HANDLE_VALUE) {
    impl_->start_error =
        "cannot open the child's standard files: " + tervala_windows::ErrorText(::GetLastError());
  } else if (!::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                               CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(),
                               working_directory.empty() ? nullptr : working_directory.c_str(),
                               &startup, &info)) {
    impl_->start_error =
        "cannot start " + program + ": " + tervala_windows::ErrorText(::GetLastError());
  } else {
    ::CloseHandle(info.hThread);
    impl_->process = info.hProcess;
    impl_->process_id = static_cast<long>(info.dwProcessId);
  }
  for (HANDLE handle : {input, output, error}) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
}

ChildProcess::~ChildProcess() {
  if (impl_->process != nullptr) Kill();
}

bool ChildProcess::started() const { return impl_->start_error.empty(); }

const std::string& ChildProcess::start_error() const { return impl_->start_error; }

ChildExit ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (impl_->Reap(static_cast<DWORD>(timeout.count()))) return impl_->exit;
  Kill();
  ChildExit overstayed = impl_->exit;
  overstayed.finished = false;
  return overstayed;
}

void ChildProcess::Kill() {
  if (impl_->process == nullptr) return;
  ::TerminateProcess(impl_->process, 1);
  impl_->Reap(INFINITE);
}

bool ChildProcess::Running() { return started() && !impl_->Reap(0); }

long ChildProcess::ProcessId() const { return impl_->process_id; }

std::string ChildProcess::StandardOutput() const {
  return ReadWholeFile(impl_->files.Join("stdout")).value_or("");
}

std::string ChildProcess::StandardError() const {
  return ReadWholeFile(impl_->files.Join("stderr")).value_or("");
}

}  // namespace tervala_testing
