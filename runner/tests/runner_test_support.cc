#include "runner/tests/runner_test_support.h"

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/test_support/paths.h"

namespace runner_test {
namespace {

namespace fs = std::filesystem;

constexpr auto kEventLimit = std::chrono::seconds(20);
constexpr auto kExitLimit = std::chrono::seconds(30);

// Lays out a bundle folder: vela_assets/, icudtl.dat and the application library.
void MakeBundle(const fs::path& folder, AppLibrary library) {
  fs::create_directories(folder / "vela_assets");
  std::ofstream(folder / "icudtl.dat").flush();
  switch (library) {
    case AppLibrary::kTestBundle:
      fs::copy_file(tervala_testing::PathFromUtf8(BuiltFile(RUNNER_TEST_BUNDLE_NAME)),
                    folder / "app.so");
      break;
    case AppLibrary::kMissing:
      break;
    case AppLibrary::kBroken:
      std::ofstream(folder / "app.so") << "\x7f"
                                          "ELF, but only in name";
      break;
  }
}

// The lines of `text`, without their line ends (LF or CR LF).
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  size_t end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string BuiltFile(const std::string& name) {
  return tervala_testing::PathToUtf8(tervala_testing::CurrentExecutable().parent_path() /
                                     tervala_testing::PathFromUtf8(name));
}

BundleFolder::BundleFolder(AppLibrary library) { MakeBundle(folder_.path(), library); }

std::wstring Wide(const std::string& text) { return tervala_testing::PathFromUtf8(text).wstring(); }

void PumpPending() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

AppFolder::AppFolder(AppLibrary library) {
  PlaceProgram(folder_.utf8());
  MakeBundle(folder_.path() / "data", library);
}

std::string AppFolder::executable() const { return folder_.Join(TERVALA_APP_NAME); }

AppProcess::AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
                       const std::vector<std::pair<std::string, std::string>>& environment) {
  tervala_testing::ChildOptions options;
  // The default monitor, no user settings, and application data kept out of the user's.
  options.environment = {
      {"TERVALA_MONITORS", ""},
      {"TERVALA_REGISTRY", "/nonexistent/registry.reg"},
      {"TERVALA_DATA_DIR", folder_.Join("app-data")},
      {"RUNNER_TEST_EVENTS_FILE", folder_.Join("events")},
  };
  options.environment.insert(options.environment.end(), environment.begin(), environment.end());
  child_ = std::make_unique<tervala_testing::ChildProcess>(executable, arguments, options);
}

void AppProcess::ReadLines() {
  std::vector<std::string> events;
  for (const std::string& line :
       Lines(tervala_testing::ReadWholeFile(folder_.Join("events")).value_or(""))) {
    if (line.rfind("event ", 0) == 0) events.push_back(line.substr(6));
  }
  events_ = std::move(events);
  output_ = Lines(child_->StandardOutput());
}

std::optional<std::string> AppProcess::WaitForLine(const std::vector<std::string>& lines,
                                                   const std::string& prefix) {
  const auto deadline = std::chrono::steady_clock::now() + kEventLimit;
  for (;;) {
    ReadLines();
    for (const std::string& line : lines) {
      if (line.rfind(prefix, 0) == 0) return line;
    }
    if (std::chrono::steady_clock::now() > deadline || !child_->Running()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // What the process wrote before it ended.
  ReadLines();
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return std::nullopt;
}

std::optional<std::string> AppProcess::WaitForEvent(const std::string& prefix) {
  return WaitForLine(events_, prefix);
}

std::optional<std::string> AppProcess::WaitForOutput(const std::string& prefix) {
  return WaitForLine(output_, prefix);
}

void AppProcess::RequestClose() {
  if (child_->Running()) runner_test::RequestClose(child_->ProcessId());
}

int AppProcess::WaitForExit() {
  const tervala_testing::ChildExit exit = child_->Wait(kExitLimit);
  ReadLines();
  if (!exit.finished || exit.signal != 0 || !exit.exit_code.has_value()) return -1;
  return *exit.exit_code;
}

std::string AppProcess::StandardError() const {
  std::string text = child_->StandardError();
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

}  // namespace runner_test
