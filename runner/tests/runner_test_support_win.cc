#include <windows.h>

#include <filesystem>
#include <system_error>

#include "platform/test_support/paths.h"
#include "runner/tests/runner_test_support.h"
#include "runner/tests/test_bundle_window.h"

namespace runner_test {
namespace {

// A hard link where the file system allows one (the build's DLLs are large), else a copy.
// A DLL this process has loaded is copied: a file mapped as an image cannot be deleted
// under any of its names, so a link to it would keep the folder from being removed.
void LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  if (GetModuleHandleW(from.filename().wstring().c_str()) == nullptr) {
    std::filesystem::create_hard_link(from, to, error);
    if (!error) return;
  }
  std::filesystem::copy_file(from, to);
}

struct CloseRequest {
  DWORD process_id;
};

BOOL CALLBACK CloseTopLevel(HWND window, LPARAM request) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t class_name[64] = {};
  if (process == reinterpret_cast<const CloseRequest*>(request)->process_id &&
      GetClassNameW(window, class_name, 64) != 0 && std::wstring(class_name) == kTopLevelClass) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

std::string PlaceProgram(const std::string& folder) {
  // Windows looks for the program's DLLs beside it: they come along.
  const std::filesystem::path built = tervala_testing::PathFromUtf8(BuiltFile(TERVALA_APP_NAME));
  const std::filesystem::path target = tervala_testing::PathFromUtf8(folder);
  for (const auto& entry : std::filesystem::directory_iterator(built.parent_path())) {
    if (entry.path().extension() == ".dll") {
      LinkOrCopy(entry.path(), target / entry.path().filename());
    }
  }
  LinkOrCopy(built, target / built.filename());
  return tervala_testing::PathToUtf8(target / built.filename());
}

void RequestClose(long process_id) {
  CloseRequest request{static_cast<DWORD>(process_id)};
  EnumWindows(CloseTopLevel, reinterpret_cast<LPARAM>(&request));
}

}  // namespace runner_test
