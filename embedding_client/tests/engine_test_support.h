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
#include "embedding_client/tests/engine_recorder.h"
#include "platform/test_support/scratch_folder.h"
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
  tervala_testing::ScratchFolder folder_{"vela-bundle"};
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

}  // namespace vela::testing

#endif  // TERVALA_EMBEDDING_CLIENT_TESTS_ENGINE_TEST_SUPPORT_H_
