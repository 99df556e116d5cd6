// The application bundle of the runner's tests. It reports to the test probe what reaches
// it: its entry-point arguments ("entry <count> [hex]..." with each argument's bytes in
// hex), each frame it draws ("frame <width>x<height>"), font changes ("fonts") and the
// engine's shutdown ("shutdown"). Inside a tervala_app that a test started, it also watches
// the top-level window being shown ("shown <title> <x>,<y> <width>x<height>") and then sends
// that window WM_FONTCHANGE, as the system does when fonts are installed. With
// RUNNER_TEST_FURTHER_PLUGIN naming a library, it loads that library ("further plugin
// loaded", or "further plugin failed <reason>") and then asks the core plug-in for an app
// ("initializeApp reply <hex>").
#include <vela_bundle.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/test_support/shared_library.h"
#include "runner/tests/test_bundle_window.h"
#include "runner/tests/test_probe.h"

namespace {

std::string Hex(const std::string& bytes) {
  std::string hex;
  char digits[3];
  for (unsigned char byte : bytes) {
    std::snprintf(digits, sizeof(digits), "%02x", byte);
    hex += digits;
  }
  return hex;
}

void OnFrameRequest(void* user_data) {
  const auto* host = static_cast<const VelaBundleHost*>(user_data);
  VelaBundleViewMetrics metrics{};
  host->get_view_metrics(host, &metrics);
  runner_test::RecordEvent("frame " + std::to_string(metrics.width) + "x" +
                           std::to_string(metrics.height));
  const std::vector<uint8_t> pixels(static_cast<size_t>(metrics.width) * metrics.height * 4, 0x80);
  host->submit_frame(host, pixels.data(), metrics.width, metrics.height, 0);
}

void OnFontsChanged(void*) { runner_test::RecordEvent("fonts"); }

void OnShutdown(void*) {
  if (runner_test::ReportsToAnotherProcess()) runner_test::StopWatchingTopLevelWindow();
  runner_test::RecordEvent("shutdown");
}

void OnInitializeAppReply(const uint8_t* data, size_t size, void*) {
  runner_test::RecordEvent("initializeApp reply " +
                           Hex(std::string(reinterpret_cast<const char*>(data), size)));
}

// Loads a further plug-in library and has the core plug-in describe a new app "extra".
void LoadFurtherPlugin(const VelaBundleHost* host, const char* library) {
  tervala_testing::SharedLibrary loaded(library);
  if (!loaded.loaded()) {
    runner_test::RecordEvent("further plugin failed " + loaded.load_error());
    return;
  }
  // It stays for the rest of the process, as a plug-in does.
  loaded.KeepLoaded();
  runner_test::RecordEvent("further plugin loaded");
  // [name, options]: options are record 129, a list of 14 values, of which api key, app
  // id, messaging sender id and project id come first.
  std::vector<uint8_t> request = {12, 2, 7, 5, 'e', 'x', 't', 'r', 'a', 129, 12, 14};
  for (const char* text : {"key", "app", "sender", "project"}) {
    const std::string value(text);
    request.push_back(7);
    request.push_back(static_cast<uint8_t>(value.size()));
    request.insert(request.end(), value.begin(), value.end());
  }
  request.insert(request.end(), 10, 0);
  host->send_message(
      host, "dev.vela.bridge.nimbus_core_platform_interface.NimbusCoreHostApi.initializeApp",
      request.data(), request.size(), OnInitializeAppReply, nullptr);
}

}  // namespace

extern "C" VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                                   const char* const* argv) {
  std::string entry = "entry " + std::to_string(argc);
  for (int i = 0; i < argc; ++i) entry += " [" + Hex(argv[i]) + "]";
  runner_test::RecordEvent(entry);

  host->set_frame_request_handler(host, OnFrameRequest, const_cast<VelaBundleHost*>(host));
  host->set_fonts_changed_handler(host, OnFontsChanged, nullptr);
  host->set_shutdown_handler(host, OnShutdown, nullptr);

  if (const char* library = std::getenv("RUNNER_TEST_FURTHER_PLUGIN")) {
    LoadFurtherPlugin(host, library);
  }

  if (runner_test::ReportsToAnotherProcess()) runner_test::WatchTopLevelWindow();
}
