#include "bundle/tests/in_engine_support.h"

#include <windows.h>

#include <chrono>
#include <thread>
#include <utility>

namespace bundle_test {

bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::unique_ptr<vela::VelaViewController> StartEngine(const std::string& data_folder,
                                                      std::vector<std::string> arguments, int width,
                                                      int height) {
  // The folders are ASCII paths of the build tree.
  vela::EngineProject project(std::wstring(data_folder.begin(), data_folder.end()));
  project.entrypoint_arguments = std::move(arguments);
  auto controller = std::make_unique<vela::VelaViewController>(width, height, project);
  if (controller->engine() == nullptr || controller->view() == nullptr) return nullptr;
  return controller;
}

}  // namespace bundle_test
