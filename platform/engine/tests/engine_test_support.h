// Helpers for the engine's tests: a bundle folder, engine properties, a message loop that runs
// until a condition holds, and captures of replies and native channel messages.
#ifndef TERVALA_PLATFORM_ENGINE_TESTS_ENGINE_TEST_SUPPORT_H_
#define TERVALA_PLATFORM_ENGINE_TESTS_ENGINE_TEST_SUPPORT_H_

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/test_support/scratch_folder.h"
#include "platform/win32/tests/message_pump.h"
#include "vela_windows.h"

namespace engine_test {

// A temporary folder with an assets folder and an empty ICU data file.
class BundleFolder {
 public:
  BundleFolder();
  ~BundleFolder();
  std::wstring assets() const;
  std::wstring icu_data() const;
  const std::string& path() const { return path_; }

 private:
  tervala_testing::ScratchFolder folder_;
  std::string path_;
};

// Engine properties over strings it owns.
class Properties {
 public:
  Properties(std::wstring assets, std::wstring icu_data, std::wstring library,
             std::string entry_point = "", std::vector<std::string> arguments = {});
  const VelaDesktopEngineProperties* get() { return &properties_; }

 private:
  std::wstring assets_, icu_data_, library_;
  std::string entry_point_;
  std::vector<std::string> arguments_;
  std::vector<const char*> argument_pointers_;
  VelaDesktopEngineProperties properties_{};
};

std::wstring Wide(const std::string& text);

// Runs the calling thread's message loop until `done` holds; false after 20 seconds.
using win32_testing::PumpUntil;

// The replies a native reply callback received.
struct ReplyLog {
  int calls = 0;
  bool null_data = false;
  std::string data;
  std::thread::id thread;

  static void Callback(const uint8_t* data, size_t size, void* user_data);
};

// A native channel handler that records the messages and runs `on_message` for each.
struct NativeChannel {
  std::vector<std::string> messages;
  std::vector<const VelaDesktopMessageResponseHandle*> responses;
  std::vector<std::thread::id> threads;
  std::function<void(VelaDesktopMessenger, const VelaDesktopMessage*)> on_message;

  static void Callback(VelaDesktopMessenger messenger, const VelaDesktopMessage* message,
                       void* user_data);
};

// Sends `text` to the bundle on `channel` and runs the loop until the reply has come.
ReplyLog Ask(VelaDesktopMessenger messenger, const char* channel, const std::string& text);

// A counter of the C test bundle (see test_bundle.c).
int BundleCounter(const char* name);

// The process's CPU time in milliseconds.
double ProcessCpuMilliseconds();

}  // namespace engine_test

#endif  // TERVALA_PLATFORM_ENGINE_TESTS_ENGINE_TEST_SUPPORT_H_
