#ifndef TERVALA_EMBEDDING_CLIENT_TESTS_ENGINE_TEST_SUPPORT_H_
#define TERVALA_EMBEDDING_CLIENT_TESTS_ENGINE_TEST_SUPPORT_H_

// Helpers for tests that run the embedding client against the engine library with the
// test bundle (tests/test_bundle.cc): a bundle folder, projects, a message pump and the
// bundle's command protocol.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "embedding_client/binary_messenger.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/engine_project.h"
#include "platform/win32/tests/message_pump.h"
#include "vela_windows.h"

namespace vela::testing {

// A temporary bundle: an assets folder and an ICU data file, with the test bundle's
// library as the AOT library. Removed when the object goes.
class TestBundle {
 public:
  TestBundle();
  ~TestBundle();
  TestBundle(const TestBundle&) = delete;
  TestBundle& operator=(const TestBundle&) = delete;

  // A project for the bundle, with absolute paths.
  EngineProject Project(std::vector<std::string> arguments = {}, std::string entrypoint = {}) const;

  // A project whose AOT library does not exist.
  EngineProject BrokenProject() const;

 private:
  std::filesystem::path folder_;
};

// Running the calling thread's messages until a condition holds, or for a while.
using win32_testing::PumpFor;
using win32_testing::PumpUntil;

// Sends a command to the test bundle and runs messages until its answer arrives; empty
// when no answer came (or the empty reply did).
std::optional<EncodableValue> Command(BinaryMessenger& messenger, const EncodableList& command);

// Has the bundle send `value` on `channel` to native code; what the bundle got back
// (["reply", value], ["empty"], ...).
EncodableValue BundleCall(BinaryMessenger& messenger, const std::string& channel,
                          const EncodableValue& value);

// The engine properties record the engine library last received, copied out during the
// call (the library's creation function is wrapped by the test executable).
struct RecordedEngineProperties {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  bool entrypoint_is_null = true;
  std::string entrypoint;
  int32_t argc = -1;
  bool argv_is_null = true;
  std::vector<std::string> argv;
  int32_t options[3] = {-1, -1, -1};
  int32_t reserved0 = -1;
  int32_t reserved1 = -1;
};
const RecordedEngineProperties& LastEngineProperties();

// The texture records the engine library received (its registration function is wrapped
// likewise): how many, and a copy of the last.
struct RecordedTextureInfo {
  int count = 0;
  VelaDesktopTextureInfo last = {};
};
const RecordedTextureInfo& TextureRegistrations();

}  // namespace vela::testing

#endif  // TERVALA_EMBEDDING_CLIENT_TESTS_ENGINE_TEST_SUPPORT_H_
