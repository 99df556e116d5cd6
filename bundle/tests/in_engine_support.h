// What the tests of bundles on an engine in this process share: pumping this thread's window
// messages until something holds, and starting an engine with its view on a bundle folder.
#ifndef TERVALA_BUNDLE_TESTS_IN_ENGINE_SUPPORT_H_
#define TERVALA_BUNDLE_TESTS_IN_ENGINE_SUPPORT_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "embedding_client/vela_view_controller.h"

namespace bundle_test {

// Handles this thread's window messages until `done` holds; false after 20 seconds.
bool PumpUntil(const std::function<bool()>& done);

// An engine with its view, running the bundle of `data_folder`; null when either fails.
std::unique_ptr<vela::VelaViewController> StartEngine(const std::string& data_folder,
                                                      std::vector<std::string> arguments, int width,
                                                      int height);

// Whether the RGBA frame (`width` pixels a row, no padding) shows `text` in the bundles' bitmap
// font at `scale`, in any one colour on any background: what a user would read in the window.
bool FrameShowsText(const std::vector<uint8_t>& pixels, uint32_t width, std::string_view text,
                    int scale);

}  // namespace bundle_test

#endif  // TERVALA_BUNDLE_TESTS_IN_ENGINE_SUPPORT_H_
