// The engine library through its C interface, with the test bundles of this folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/engine/tests/engine_test_support.h"
#include "platform/test_support/environment.h"
#include "platform/win32/posix/input.h"
#include "vela_bundle.h"
#include "vela_view_contents.h"
#include "vela_windows.h"

namespace engine_test {
namespace {

const uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

class EngineTest : public ::testing::Test {
 protected:
  VelaDesktopEngine CreateEngine(const std::string& entry_point = "",
                                 std::vector<std::string> arguments = {},
                                 const std::string& library = ENGINE_TEST_BUNDLE) {
    properties_.push_back(std::make_unique<Properties>(
        folder_.assets(), folder_.icu_data(), Wide(library), entry_point, std::move(arguments)));
    return VelaDesktopEngineCreate(properties_.back()->get());
  }

  static VelaDesktopViewController Start(VelaDesktopEngine engine, int width = 64,
                                         int height = 48) {
    return VelaDesktopViewControllerCreate(width, height, engine);
  }

  static HWND ViewWindow(VelaDesktopViewController controller) {
    return VelaDesktopViewGetHWND(VelaDesktopViewControllerGetView(controller));
  }

  BundleFolder folder_;
  std::vector<std::unique_ptr<Properties>> properties_;
};

TEST_F(EngineTest, CreationNamesWhatIsMissingOnOneLine) {
  const std::wstring library = Wide(ENGINE_TEST_BUNDLE);
  const std::wstring nowhere = Wide(folder_.path() + "/nowhere");
  struct Case {
    Properties properties;
    const char* expected;
  };
  Case cases[] = {
      {Properties(nowhere, folder_.icu_data(), library), "assets folder"},
      {Properties(folder_.assets(), nowhere, library), "ICU data file"},
      {Properties(folder_.assets(), folder_.icu_data(), nowhere), "application library"},
      {Properties(folder_.assets(), folder_.icu_data(), folder_.icu_data()), "cannot be loaded"},
      {Properties(folder_.assets(), folder_.icu_data(), library, "absent"),
       "no entry point vela_entry_absent"},
      {Properties(L"", folder_.icu_data(), library), "no assets folder"},
  };
  for (Case& test : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(VelaDesktopEngineCreate(test.properties.get()), nullptr) << test.expected;
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find(test.expected), std::string::npos) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(VelaDesktopEngineCreate(nullptr), nullptr);
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  // Everything missing at once: all of it is named.
  Properties nothing(nowhere, nowhere, nowhere);
  testing::internal::CaptureStderr();
  EXPECT_EQ(VelaDesktopEngineCreate(nothing.get()), nullptr);
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("assets folder"), std::string::npos);
  EXPECT_NE(error.find("ICU data file"), std::string::npos);
  EXPECT_NE(error.find("application library"), std::string::npos);
}

TEST_F(EngineTest, RelativePathsAreResolvedAgainstTheExecutablesFolder) {
  // The test bundles are built beside the test executable.
  const std::string full = ENGINE_TEST_BUNDLE;
  VelaDesktopEngine engine = CreateEngine("", {}, full.substr(full.rfind('/') + 1));
  ASSERT_NE(engine, nullptr);
  EXPECT_TRUE(VelaDesktopEngineDestroy(engine));
}

TEST_F(EngineTest, EntryPointsAndTheirArguments) {
  struct Case {
    std::vector<std::string> arguments;
    const char* expected;
  };
  const Case cases[] = {{{}, "0:"}, {{"one", "two words", ""}, "3:one,two words,"}};
  for (const Case& test : cases) {
    VelaDesktopEngine engine = CreateEngine("arguments", test.arguments);
    ASSERT_NE(engine, nullptr);
    VelaDesktopViewController controller = Start(engine);
    ASSERT_NE(controller, nullptr);
    const ReplyLog reply = Ask(VelaDesktopEngineGetMessenger(engine), "test/args", "");
    EXPECT_EQ(reply.data, test.expected);
    VelaDesktopViewControllerDestroy(controller);
  }
}

TEST_F(EngineTest, MessagesTravelBothWaysOnTheRightThreads) {
  VelaDesktopEngine engine = CreateEngine();
  ASSERT_NE(engine, nullptr);
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  // Sent before the engine runs: delivered once the entry point has installed its handlers.
  ReplyLog early;
  ASSERT_TRUE(VelaDesktopMessengerSendWithReply(messenger, "test/echo", Bytes("early"), 5,
                                                &ReplyLog::Callback, &early));
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return early.calls > 0; }));
  EXPECT_EQ(early.data, "early");
  EXPECT_EQ(early.thread, std::this_thread::get_id());

  // The bundle asks native code, whose handler runs on this (the UI) thread.
  NativeChannel native;
  native.on_message = [](VelaDesktopMessenger m, const VelaDesktopMessage* message) {
    EXPECT_EQ(message->struct_size, sizeof(VelaDesktopMessage));
    EXPECT_STREQ(message->channel, "native/question");
    VelaDesktopMessengerSendResponse(m, message->response_handle, Bytes("answer"), 6);
  };
  VelaDesktopMessengerSetCallback(messenger, "native/question", &NativeChannel::Callback, &native);
  EXPECT_EQ(Ask(messenger, "test/ask", "native/question").data, "reply:answer");
  ASSERT_EQ(native.messages.size(), 1u);
  EXPECT_EQ(native.messages[0], "?");
  EXPECT_EQ(native.threads[0], std::this_thread::get_id());

  // Replaced: only the new handler hears; removed: the bundle gets the empty reply.
  NativeChannel replacement;
  replacement.on_message = [](VelaDesktopMessenger m, const VelaDesktopMessage* message) {
    VelaDesktopMessengerSendResponse(m, message->response_handle, Bytes("new"), 3);
  };
  VelaDesktopMessengerSetCallback(messenger, "native/question", &NativeChannel::Callback,
                                  &replacement);
  EXPECT_EQ(Ask(messenger, "test/ask", "native/question").data, "reply:new");
  EXPECT_EQ(native.messages.size(), 1u);
  VelaDesktopMessengerSetCallback(messenger, "native/question", nullptr, nullptr);
  EXPECT_EQ(Ask(messenger, "test/ask", "native/question").data, "empty");
  EXPECT_EQ(Ask(messenger, "test/ask", "native/nobody").data, "empty");

  // A channel the bundle does not handle answers empty, too.
  const ReplyLog unhandled = Ask(messenger, "test/nobody", "x");
  EXPECT_EQ(unhandled.calls, 1);
  EXPECT_TRUE(unhandled.null_data);

  // A delayed task of the bundle.
  EXPECT_EQ(Ask(messenger, "test/later", "").data, "later");
  // Fire and forget, then a round trip behind it.
  EXPECT_TRUE(VelaDesktopMessengerSend(messenger, "test/echo", Bytes("x"), 1));
  EXPECT_EQ(Ask(messenger, "test/echo", "").calls, 1);

  VelaDesktopViewControllerDestroy(controller);
  EXPECT_EQ(BundleCounter("wrong_thread"), 0);
}

TEST_F(EngineTest, ASecondResponseIsRefused) {
  VelaDesktopEngine engine = CreateEngine();
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);

  NativeChannel native;
  native.on_message = [](VelaDesktopMessenger m, const VelaDesktopMessage* message) {
    VelaDesktopMessengerSendResponse(m, message->response_handle, Bytes("one"), 3);
    VelaDesktopMessengerSendResponse(m, message->response_handle, Bytes("two"), 3);
  };
  VelaDesktopMessengerSetCallback(messenger, "native/twice", &NativeChannel::Callback, &native);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Ask(messenger, "test/ask", "native/twice").data, "reply:one");
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_NE(error.find("only once"), std::string::npos) << error;

  const ReplyLog reply = Ask(messenger, "test/twice", "");
  EXPECT_EQ(reply.data, "first");
  // The handler notes the second answer's result after the first answer has left it, so the
  // note may come a moment after the reply.
  ASSERT_TRUE(PumpUntil([] { return BundleCounter("second_response_accepted") != -1; }));
  EXPECT_EQ(BundleCounter("second_response_accepted"), 0);
  // Nothing more arrives for that message.
  EXPECT_EQ(Ask(messenger, "test/echo", "").calls, 1);
  EXPECT_EQ(reply.calls, 1);
  VelaDesktopViewControllerDestroy(controller);
}

TEST_F(EngineTest, ShutdownSettlesEveryReplyAndDropsLaterResponses) {
  VelaDesktopEngine engine = CreateEngine();
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  const int shutdowns = BundleCounter("shutdowns");
  const int empty_replies = BundleCounter("empty_replies");

  // Native code keeps the bundle's messages unanswered.
  NativeChannel keeper;
  VelaDesktopMessengerSetCallback(messenger, "native/keep", &NativeChannel::Callback, &keeper);
  EXPECT_EQ(Ask(messenger, "test/send", "native/keep").data, "sent");
  ReplyLog asked;  // Waits for the bundle, which waits for native code.
  ASSERT_TRUE(VelaDesktopMessengerSendWithReply(messenger, "test/ask", Bytes("native/keep"), 11,
                                                &ReplyLog::Callback, &asked));
  ReplyLog never;  // The bundle never answers this one.
  ASSERT_TRUE(VelaDesktopMessengerSendWithReply(messenger, "test/never", nullptr, 0,
                                                &ReplyLog::Callback, &never));
  ASSERT_TRUE(PumpUntil([&] { return keeper.messages.size() == 2; }));
  EXPECT_EQ(VelaDesktopMessengerAddRef(messenger), messenger);

  testing::internal::CaptureStderr();
  VelaDesktopViewControllerDestroy(controller);
  // Every reply was settled exactly once: the bundle's with the empty reply, native code's
  // with the bundle's last answer or the empty reply.
  EXPECT_EQ(BundleCounter("empty_replies"), empty_replies + 1);
  EXPECT_EQ(BundleCounter("shutdowns"), shutdowns + 1);
  EXPECT_EQ(asked.calls, 1);
  EXPECT_EQ(asked.data, "empty");
  EXPECT_EQ(never.calls, 1);
  EXPECT_TRUE(never.null_data);

  // The messenger outlives the engine while referenced; late answers are dropped silently.
  EXPECT_FALSE(VelaDesktopMessengerIsAvailable(messenger));
  EXPECT_EQ(VelaDesktopMessengerLock(messenger), messenger);
  for (const VelaDesktopMessageResponseHandle* response : keeper.responses) {
    VelaDesktopMessengerSendResponse(messenger, response, Bytes("late"), 4);
  }
  VelaDesktopMessengerUnlock(messenger);
  EXPECT_FALSE(VelaDesktopMessengerSend(messenger, "test/echo", nullptr, 0));
  EXPECT_FALSE(VelaDesktopMessengerSendWithReply(messenger, "test/echo", nullptr, 0,
                                                 &ReplyLog::Callback, &never));
  VelaDesktopMessengerSetCallback(messenger, "native/keep", nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  VelaDesktopMessengerRelease(messenger);
  EXPECT_EQ(never.calls, 1);
  EXPECT_EQ(BundleCounter("wrong_thread"), 0);
}

// A bundle that sends faster than native code answers is refused once 1024 messages are
// owed, and may send again as answers come: the queues between the threads stay bounded.
TEST_F(EngineTest, MessagesAwaitingNativeCodeAreBounded) {
  VelaDesktopEngine engine = CreateEngine();
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  NativeChannel keeper;  // answers nothing until told
  VelaDesktopMessengerSetCallback(messenger, "native/keep", &NativeChannel::Callback, &keeper);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(Ask(messenger, "test/send", "native/keep").data, "sent");
  EXPECT_EQ(Ask(messenger, "test/send", "native/keep").data, "refused");
  ASSERT_TRUE(PumpUntil([&] { return keeper.responses.size() == 1024; }));
  VelaDesktopMessengerSendResponse(messenger, keeper.responses[0], nullptr, 0);
  ASSERT_TRUE(PumpUntil([&] { return Ask(messenger, "test/send", "native/keep").data == "sent"; }));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Vela engine: 1024 messages of the bundle await native code's answer; refusing more "
            "until they are answered.\n");
  VelaDesktopViewControllerDestroy(controller);
}

TEST_F(EngineTest, ARespondingThreadRacesShutdownSafely) {
  // A response sent from another thread while the engine shuts down either arrives or is
  // dropped; the thread holds the messenger lock around its check and send, as hosts do.
  for (int round = 0; round < 20; ++round) {
    VelaDesktopEngine engine = CreateEngine();
    VelaDesktopViewController controller = Start(engine);
    ASSERT_NE(controller, nullptr);
    VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
    NativeChannel keeper;
    VelaDesktopMessengerSetCallback(messenger, "native/keep", &NativeChannel::Callback, &keeper);
    EXPECT_EQ(Ask(messenger, "test/send", "native/keep").data, "sent");
    ASSERT_TRUE(PumpUntil([&] { return keeper.messages.size() == 1; }));
    VelaDesktopMessengerAddRef(messenger);
    const VelaDesktopMessageResponseHandle* response = keeper.responses[0];
    std::thread responder([messenger, response] {
      VelaDesktopMessengerLock(messenger);
      if (VelaDesktopMessengerIsAvailable(messenger)) {
        VelaDesktopMessengerSendResponse(messenger, response, Bytes("late"), 4);
      }
      VelaDesktopMessengerUnlock(messenger);
      VelaDesktopMessengerRelease(messenger);
    });
    VelaDesktopViewControllerDestroy(controller);
    responder.join();
  }
}

std::vector<VelaDesktopPluginRegistrar> g_destroyed;
std::vector<std::thread::id> g_destroyed_on;

void RecordDestroyed(VelaDesktopPluginRegistrar registrar) {
  g_destroyed.push_back(registrar);
  g_destroyed_on.push_back(std::this_thread::get_id());
}

TEST_F(EngineTest, RegistrarsPerNameLiveUntilShutdown) {
  g_destroyed.clear();
  g_destroyed_on.clear();
  VelaDesktopEngine engine = CreateEngine();
  ASSERT_NE(engine, nullptr);
  VelaDesktopPluginRegistrar first = VelaDesktopEngineGetPluginRegistrar(engine, "First");
  VelaDesktopPluginRegistrar second = VelaDesktopEngineGetPluginRegistrar(engine, "Second");
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(VelaDesktopEngineGetPluginRegistrar(engine, "First"), first);
  EXPECT_EQ(VelaDesktopPluginRegistrarGetMessenger(first), VelaDesktopEngineGetMessenger(engine));
  EXPECT_NE(VelaDesktopRegistrarGetTextureRegistrar(first), nullptr);
  EXPECT_EQ(VelaDesktopPluginRegistrarGetView(first), nullptr);  // No view controller yet.

  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  EXPECT_EQ(VelaDesktopPluginRegistrarGetView(second),
            VelaDesktopViewControllerGetView(controller));
  EXPECT_FALSE(VelaDesktopEngineDestroy(engine));  // The controller owns it now.
  VelaDesktopPluginRegistrarSetDestructionHandler(first, &RecordDestroyed);
  VelaDesktopPluginRegistrarSetDestructionHandler(second, &RecordDestroyed);
  EXPECT_TRUE(g_destroyed.empty());

  VelaDesktopViewControllerDestroy(controller);
  ASSERT_EQ(g_destroyed.size(), 2u);
  EXPECT_EQ(g_destroyed[0], first);
  EXPECT_EQ(g_destroyed[1], second);
  EXPECT_EQ(g_destroyed_on[0], std::this_thread::get_id());

  // An engine that never ran has its registrars destroyed with it as well.
  g_destroyed.clear();
  VelaDesktopEngine idle = CreateEngine();
  VelaDesktopPluginRegistrar lone = VelaDesktopEngineGetPluginRegistrar(idle, "Lone");
  VelaDesktopPluginRegistrarSetDestructionHandler(lone, &RecordDestroyed);
  EXPECT_TRUE(VelaDesktopEngineDestroy(idle));
  EXPECT_EQ(g_destroyed, std::vector<VelaDesktopPluginRegistrar>{lone});
}

int g_next_frames = 0;

TEST_F(EngineTest, TheNextFrameCallbackRunsOnceAfterTheFirstFrame) {
  g_next_frames = 0;
  VelaDesktopEngine engine = CreateEngine();
  VelaDesktopViewController controller = Start(engine, 8, 4);
  ASSERT_NE(controller, nullptr);
  HWND view = ViewWindow(controller);
  VelaDesktopViewFrameInfo info{};
  ASSERT_TRUE(VelaDesktopViewReadContents(view, &info, nullptr, 0));
  EXPECT_EQ(info.frame_count, 0u);

  VelaDesktopEngineSetNextFrameCallback(
      engine, [](void*) { ++g_next_frames; }, nullptr);
  VelaDesktopViewControllerForceRedraw(controller);
  ASSERT_TRUE(PumpUntil([&] { return g_next_frames > 0; }));
  ASSERT_TRUE(VelaDesktopViewReadContents(view, &info, nullptr, 0));
  EXPECT_EQ(info.frame_count, 1u);
  EXPECT_EQ(info.width, 8u);
  EXPECT_EQ(info.height, 4u);
  std::vector<uint8_t> pixels(8 * 4 * 4);
  ASSERT_TRUE(VelaDesktopViewReadContents(view, &info, pixels.data(), pixels.size()));
  EXPECT_EQ(pixels[0], 0x10);
  EXPECT_EQ(pixels[3], 0xff);
  EXPECT_FALSE(VelaDesktopViewReadContents(view, &info, pixels.data(), 3));

  // Later frames show, but the callback has run.
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  EXPECT_EQ(Ask(messenger, "test/frame", std::string("\x01\x02\x03\x04", 4)).data, "ok");
  ASSERT_TRUE(PumpUntil([&] {
    VelaDesktopViewReadContents(view, &info, pixels.data(), pixels.size());
    return pixels[0] == 0x01;
  }));
  EXPECT_EQ(g_next_frames, 1);
  VelaDesktopViewControllerDestroy(controller);
  EXPECT_FALSE(VelaDesktopViewReadContents(view, &info, nullptr, 0));
}

TEST_F(EngineTest, ARedrawWithoutAFrameHandlerShowsAClearedFrame) {
  g_next_frames = 0;
  VelaDesktopEngine engine = CreateEngine("arguments");
  VelaDesktopViewController controller = Start(engine, 3, 2);
  ASSERT_NE(controller, nullptr);
  VelaDesktopEngineSetNextFrameCallback(
      engine, [](void*) { ++g_next_frames; }, nullptr);
  VelaDesktopViewControllerForceRedraw(controller);
  ASSERT_TRUE(PumpUntil([&] { return g_next_frames == 1; }));
  VelaDesktopViewFrameInfo info{};
  ASSERT_TRUE(VelaDesktopViewReadContents(ViewWindow(controller), &info, nullptr, 0));
  EXPECT_EQ(info.width, 3u);
  EXPECT_EQ(info.height, 2u);
  VelaDesktopViewControllerDestroy(controller);
}

TEST_F(EngineTest, AnIdleEngineUsesNoCpu) {
  VelaDesktopEngine engine = CreateEngine();
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  EXPECT_EQ(Ask(VelaDesktopEngineGetMessenger(engine), "test/echo", "up").data, "up");
  const double before = ProcessCpuMilliseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double used = ProcessCpuMilliseconds() - before;
  EXPECT_LT(used, 50.0) << "an idle engine should sleep";
  VelaDesktopViewControllerDestroy(controller);
}

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    ++*reinterpret_cast<int*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// A top-level window that counts WM_CLOSE.
HWND CreateHostWindow(int* closes) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &CountingProc;
    window_class.lpszClassName = L"ENGINE_TEST_HOST";
    RegisterClassW(&window_class);
    registered = true;
  }
  HWND window = CreateWindowExW(0, L"ENGINE_TEST_HOST", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(closes));
  return window;
}

TEST_F(EngineTest, TheBundleCanCloseTheHostWindow) {
  VelaDesktopEngine engine = CreateEngine();
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  EXPECT_EQ(Ask(messenger, "test/close", "").data, "0");  // Not in a window yet.
  int closes = 0;
  HWND host = CreateHostWindow(&closes);
  SetParent(ViewWindow(controller), host);
  EXPECT_EQ(Ask(messenger, "test/close", "").data, "1");
  EXPECT_TRUE(PumpUntil([&] { return closes == 1; }));
  VelaDesktopViewControllerDestroy(controller);
  DestroyWindow(host);
}

TEST_F(EngineTest, TopLevelMessagesTheHostHandlesAreNotConsumed) {
  VelaDesktopEngine engine = CreateEngine();
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  int closes = 0;
  HWND host = CreateHostWindow(&closes);
  SetParent(ViewWindow(controller), host);
  for (UINT message : {WM_DESTROY, WM_SIZE, WM_ACTIVATE, WM_DPICHANGED,
                       WM_DWMCOLORIZATIONCOLORCHANGED, WM_FONTCHANGE, WM_CLOSE}) {
    LRESULT result = 7;
    EXPECT_FALSE(VelaDesktopViewControllerHandleTopLevelWindowProc(controller, host, message,
                                                                   MAKEWPARAM(96, 96), 0, &result))
        << message;
  }
  LRESULT result = 7;
  EXPECT_TRUE(VelaDesktopViewControllerHandleTopLevelWindowProc(controller, host, WM_SETFOCUS, 0, 0,
                                                                &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(GetFocus(), ViewWindow(controller));

  // The DPI the host moved to reaches the bundle.
  VelaDesktopViewControllerHandleTopLevelWindowProc(controller, host, WM_DPICHANGED,
                                                    MAKEWPARAM(144, 144), 0, &result);
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  EXPECT_EQ(Ask(messenger, "test/metrics", "").data, "64x48@144");

  const int font_changes = BundleCounter("font_changes");
  VelaDesktopEngineReloadSystemFonts(engine);
  EXPECT_EQ(Ask(messenger, "test/echo", "").calls, 1);  // Behind the notification.
  EXPECT_EQ(BundleCounter("font_changes"), font_changes + 1);
  VelaDesktopViewControllerDestroy(controller);
  DestroyWindow(host);
}

// A pixel-buffer texture source of 2 x 2 pixels.
struct TextureSource {
  uint8_t pixels[16] = {0xaa, 0xbb, 0xcc, 0xdd};
  VelaDesktopPixelBuffer buffer{pixels, 2, 2, nullptr, nullptr};
  int releases = 0;
};

TEST_F(EngineTest, TexturesAndViewMetricsReachACppBundle) {
  VelaDesktopEngine engine = CreateEngine("", {}, ENGINE_TEST_BUNDLE_CC);
  ASSERT_NE(engine, nullptr);
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  NativeChannel textures;
  NativeChannel metrics;
  VelaDesktopMessengerSetCallback(messenger, "native/texture", &NativeChannel::Callback, &textures);
  VelaDesktopMessengerSetCallback(messenger, "native/metrics", &NativeChannel::Callback, &metrics);
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  EXPECT_EQ(Ask(messenger, "cc/upper", "abc").data, "ABC");
  // An exception out of a handler is reported; the engine carries on and the message is
  // answered empty at shutdown.
  ReplyLog thrown;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(VelaDesktopMessengerSendWithReply(messenger, "cc/throw", nullptr, 0,
                                                &ReplyLog::Callback, &thrown));
  EXPECT_EQ(Ask(messenger, "cc/upper", "x").data, "X");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("thrown by the bundle"), std::string::npos);

  VelaDesktopTextureRegistrar registrar = VelaDesktopRegistrarGetTextureRegistrar(
      VelaDesktopEngineGetPluginRegistrar(engine, "Textures"));
  TextureSource source;
  source.buffer.release_callback = [](void* context) {
    ++static_cast<TextureSource*>(context)->releases;
  };
  source.buffer.release_context = &source;
  VelaDesktopTextureInfo info{};
  info.type = kVelaDesktopPixelBufferTexture;
  info.pixel_buffer_config.callback = [](size_t, size_t, void* user_data) {
    return const_cast<const VelaDesktopPixelBuffer*>(
        &static_cast<TextureSource*>(user_data)->buffer);
  };
  info.pixel_buffer_config.user_data = &source;
  EXPECT_EQ(VelaDesktopTextureRegistrarRegisterExternalTexture(registrar, &info), 1);
  EXPECT_EQ(VelaDesktopTextureRegistrarRegisterExternalTexture(registrar, &info), 2);
  VelaDesktopTextureInfo unknown{};
  unknown.type = 5;
  EXPECT_EQ(VelaDesktopTextureRegistrarRegisterExternalTexture(registrar, &unknown), -1);
  EXPECT_FALSE(VelaDesktopTextureRegistrarMarkExternalTextureFrameAvailable(registrar, 9));
  EXPECT_TRUE(VelaDesktopTextureRegistrarMarkExternalTextureFrameAvailable(registrar, 1));
  ASSERT_TRUE(PumpUntil([&] { return !textures.messages.empty(); }));
  EXPECT_EQ(textures.messages[0], "1:2x2:aabbccdd");
  EXPECT_EQ(source.releases, 1);

  static int unregistered = 0;
  static std::thread::id unregistered_on;
  unregistered = 0;
  VelaDesktopTextureRegistrarUnregisterExternalTexture(
      registrar, 1,
      [](void*) {
        ++unregistered;
        unregistered_on = std::this_thread::get_id();
      },
      nullptr);
  ASSERT_TRUE(PumpUntil([&] { return unregistered == 1; }));
  EXPECT_EQ(unregistered_on, std::this_thread::get_id());
  EXPECT_FALSE(VelaDesktopTextureRegistrarMarkExternalTextureFrameAvailable(registrar, 1));

  // The view moves into a window and takes its size: the bundle hears of it.
  int closes = 0;
  HWND host = CreateHostWindow(&closes);
  SetParent(ViewWindow(controller), host);
  MoveWindow(ViewWindow(controller), 0, 0, 100, 50, TRUE);
  ASSERT_TRUE(PumpUntil([&] {
    return std::find(metrics.messages.begin(), metrics.messages.end(), "100x50@96") !=
           metrics.messages.end();
  }));

  // Unregistration during shutdown still completes once.
  VelaDesktopTextureRegistrarUnregisterExternalTexture(
      registrar, 2, [](void*) { ++unregistered; }, nullptr);
  VelaDesktopViewControllerDestroy(controller);
  EXPECT_EQ(unregistered, 2);
  EXPECT_EQ(thrown.calls, 1);
  EXPECT_TRUE(thrown.null_data);
  DestroyWindow(host);
}

VelaDesktopViewController g_owned_controller = nullptr;

// A host window that, like the desktop host's, destroys its view controller on WM_DESTROY.
LRESULT CALLBACK OwningProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY && g_owned_controller != nullptr) {
    VelaDesktopViewController controller = g_owned_controller;
    g_owned_controller = nullptr;
    VelaDesktopViewControllerDestroy(controller);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST_F(EngineTest, TheViewGoesWithItsHostWindowEitherWay) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &OwningProc;
  window_class.lpszClassName = L"ENGINE_TEST_OWNING_HOST";
  RegisterClassW(&window_class);

  // The host destroys the controller while its window is being destroyed.
  VelaDesktopViewController controller = Start(CreateEngine());
  ASSERT_NE(controller, nullptr);
  HWND host = CreateWindowExW(0, L"ENGINE_TEST_OWNING_HOST", L"host", WS_OVERLAPPEDWINDOW, 0, 0,
                              200, 100, nullptr, nullptr, nullptr, nullptr);
  HWND view = ViewWindow(controller);
  SetParent(view, host);
  g_owned_controller = controller;
  EXPECT_TRUE(DestroyWindow(host));
  EXPECT_EQ(g_owned_controller, nullptr);
  EXPECT_FALSE(IsWindow(view));

  // The window goes first (its children with it), the controller afterwards.
  VelaDesktopEngine engine = CreateEngine();
  controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  host = CreateWindowExW(0, L"ENGINE_TEST_OWNING_HOST", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                         100, nullptr, nullptr, nullptr, nullptr);
  view = ViewWindow(controller);
  SetParent(view, host);
  EXPECT_TRUE(DestroyWindow(host));
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(ViewWindow(controller), nullptr);
  // The engine still runs; a view without a window has nothing to close or show.
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  EXPECT_EQ(Ask(messenger, "test/close", "").data, "0");
  EXPECT_EQ(Ask(messenger, "test/frame", "").data, "ok");
  VelaDesktopViewControllerForceRedraw(controller);
  EXPECT_EQ(Ask(messenger, "test/echo", "").calls, 1);
  VelaDesktopViewControllerDestroy(controller);
}

TEST_F(EngineTest, TheExampleBundleRunsTheWayTheHostUsesIt) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &OwningProc;
  window_class.lpszClassName = L"ENGINE_TEST_OWNING_HOST";
  RegisterClassW(&window_class);
  HWND host = CreateWindowExW(0, L"ENGINE_TEST_OWNING_HOST", L"host", WS_OVERLAPPEDWINDOW, 0, 0,
                              320, 200, nullptr, nullptr, nullptr, nullptr);
  VelaDesktopEngine engine = CreateEngine("", {}, ENGINE_EXAMPLE_BUNDLE);
  ASSERT_NE(engine, nullptr);
  VelaDesktopViewController controller = Start(engine, 320, 200);
  ASSERT_NE(controller, nullptr);
  g_owned_controller = controller;
  HWND view = ViewWindow(controller);
  SetParent(view, host);
  MoveWindow(view, 0, 0, 320, 200, TRUE);
  static HWND shown;
  shown = host;
  VelaDesktopEngineSetNextFrameCallback(
      engine, [](void*) { ShowWindow(shown, SW_SHOWNORMAL); }, nullptr);
  VelaDesktopViewControllerForceRedraw(controller);
  EXPECT_FALSE(IsWindowVisible(host));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(host) != FALSE; }));

  std::vector<uint8_t> pixels(320 * 200 * 4);
  VelaDesktopViewFrameInfo info{};
  ASSERT_TRUE(VelaDesktopViewReadContents(view, &info, pixels.data(), pixels.size()));
  EXPECT_EQ(info.width, 320u);
  EXPECT_EQ(pixels[1], 0);                       // Top row.
  EXPECT_EQ(pixels[(199 * 320) * 4 + 1], 0xff);  // Bottom row.

  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  EXPECT_EQ(Ask(messenger, "hello/ping", "").data, "pong");
  // The bundle closes the application: WM_CLOSE destroys the host window, which destroys the
  // controller.
  EXPECT_EQ(Ask(messenger, "hello/close", "").calls, 1);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(host); }));
  EXPECT_EQ(g_owned_controller, nullptr);
}

// A shown host window at the screen's origin with the view at (20, 10), 100 x 50 pixels, and
// the C++ bundle reporting the input it receives on "native/input".
class InputTest : public EngineTest {
 protected:
  void SetUp() override {
    engine_ = CreateEngine("", {}, ENGINE_TEST_BUNDLE_CC);
    ASSERT_NE(engine_, nullptr);
    VelaDesktopMessengerSetCallback(VelaDesktopEngineGetMessenger(engine_), "native/input",
                                    &NativeChannel::Callback, &input_);
    controller_ = Start(engine_);
    ASSERT_NE(controller_, nullptr);
    host_ = CreateHostWindow(&closes_);
    view_ = ViewWindow(controller_);
    SetParent(view_, host_);
    MoveWindow(view_, 20, 10, 100, 50, TRUE);
    ShowWindow(host_, SW_SHOW);
  }
  void TearDown() override {
    if (controller_ != nullptr) VelaDesktopViewControllerDestroy(controller_);
    if (host_ != nullptr) DestroyWindow(host_);
  }

  // The events the bundle reported, once there are `count` of them.
  std::vector<std::string> Received(size_t count) {
    EXPECT_TRUE(PumpUntil([&] { return input_.messages.size() >= count; }));
    return input_.messages;
  }

  // Input comes one event at a time: each is handled before the next is routed, as the
  // window that gets it can depend on the one before (a press takes the focus and the
  // capture).
  static HWND Mouse(int x, int y, UINT message, WORD key_state, short wheel = 0) {
    return Handled(win32_posix::InjectMouseInput(POINT{x, y}, message, key_state, wheel));
  }
  static HWND Key(UINT message, WPARAM wparam, LPARAM lparam = 0) {
    return Handled(win32_posix::InjectKeyInput(message, wparam, lparam));
  }
  static HWND Handled(HWND window) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    return window;
  }

  VelaDesktopEngine engine_ = nullptr;
  VelaDesktopViewController controller_ = nullptr;
  NativeChannel input_;
  HWND host_ = nullptr;
  HWND view_ = nullptr;
  int closes_ = 0;
};

TEST_F(InputTest, PointerEventsComeInPhysicalPixelsAndAPressFocusesAndCaptures) {
  EXPECT_EQ(Mouse(25, 16, WM_MOUSEMOVE, 0), view_);
  EXPECT_EQ(Mouse(5, 5, WM_MOUSEMOVE, 0), host_);  // Beside the view: not the bundle's.
  // At 192 DPI the positions stay the physical pixels Windows gives.
  LRESULT result = 0;
  VelaDesktopViewControllerHandleTopLevelWindowProc(controller_, host_, WM_DPICHANGED,
                                                    MAKEWPARAM(192, 192), 0, &result);
  EXPECT_NE(GetFocus(), view_);
  EXPECT_EQ(Mouse(110, 50, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT | MK_CONTROL), view_);
  // Dragged out of the window, the pointer stays with the view until the button is up.
  EXPECT_EQ(Mouse(5, 300, WM_MOUSEMOVE, MK_LBUTTON), view_);
  EXPECT_EQ(Mouse(5, 300, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON), view_);
  EXPECT_EQ(Mouse(5, 300, WM_LBUTTONUP, MK_RBUTTON), view_);
  EXPECT_EQ(Mouse(5, 300, WM_RBUTTONUP, 0), view_);
  EXPECT_EQ(Mouse(5, 300, WM_MOUSEMOVE, 0), nullptr);
  // The wheel's screen position becomes a view position.
  EXPECT_EQ(Mouse(30, 20, WM_MOUSEWHEEL, MK_CONTROL, -WHEEL_DELTA), view_);
  EXPECT_EQ(Received(8), (std::vector<std::string>{
                             "move 5,6 buttons=0 button=0 wheel=0 mods=0",
                             "focus-gained",
                             "down 90,40 buttons=1 button=1 wheel=0 mods=3",
                             "move -15,290 buttons=1 button=0 wheel=0 mods=0",
                             "down -15,290 buttons=3 button=2 wheel=0 mods=0",
                             "up -15,290 buttons=2 button=1 wheel=0 mods=0",
                             "up -15,290 buttons=0 button=2 wheel=0 mods=0",
                             "wheel 10,10 buttons=0 button=0 wheel=-120 mods=2",
                         }));
  EXPECT_EQ(GetFocus(), view_);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(InputTest, KeysAndTextReachTheFocusedView) {
  EXPECT_EQ(Key(WM_KEYDOWN, 'Q'), host_);  // The view has no focus yet.
  Key(WM_KEYUP, 'Q');
  Mouse(30, 20, WM_LBUTTONDOWN, MK_LBUTTON);
  Mouse(30, 20, WM_LBUTTONUP, 0);
  EXPECT_EQ(Key(WM_KEYDOWN, VK_CONTROL), view_);
  Key(WM_KEYDOWN, 'A', LPARAM{1} << 30);  // An auto-repeat.
  Key(WM_KEYUP, VK_CONTROL);
  Key(WM_SYSKEYDOWN, VK_MENU);
  Key(WM_CHAR, 0xE9);
  Key(WM_SYSKEYUP, VK_MENU);
  // Characters beyond the first plane come as surrogate pairs: one character each. Halves
  // without their partner stand for U+FFFD.
  for (WPARAM unit : {0xD83D, 0xDE00, 0xDE00, 0xD83D, 0x41}) Key(WM_CHAR, unit);
  SetFocus(host_);
  EXPECT_EQ(Received(14), (std::vector<std::string>{
                              "focus-gained",
                              "down 10,10 buttons=1 button=1 wheel=0 mods=0",
                              "up 10,10 buttons=0 button=1 wheel=0 mods=0",
                              "keydown 17 mods=2 repeat=0",
                              "keydown 65 mods=2 repeat=1",
                              "keyup 17 mods=0 repeat=0",
                              "keydown 18 mods=4 repeat=0",
                              "char \xC3\xA9 mods=4",
                              "keyup 18 mods=0 repeat=0",
                              "char \xF0\x9F\x98\x80 mods=0",
                              "char \xEF\xBF\xBD mods=0",
                              "char \xEF\xBF\xBD mods=0",
                              "char A mods=0",
                              "focus-lost",
                          }));
}

TEST_F(EngineTest, ABundleWithoutInputHandlersIgnoresInput) {
  // The first version's table ends before the input functions.
  VelaBundleHost table{};
  table.set_pointer_handler = [](const VelaBundleHost*, VelaBundlePointerHandler, void*) {};
  table.struct_size = offsetof(VelaBundleHost, set_pointer_handler);
  EXPECT_FALSE(VELA_BUNDLE_HOST_HAS(&table, set_pointer_handler));
  table.struct_size = sizeof(VelaBundleHost);
  EXPECT_TRUE(VELA_BUNDLE_HOST_HAS(&table, set_pointer_handler));

  VelaDesktopEngine engine = CreateEngine();
  VelaDesktopViewController controller = Start(engine);
  ASSERT_NE(controller, nullptr);
  HWND view = ViewWindow(controller);
  for (UINT message : {WM_SETFOCUS, WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_KEYDOWN, WM_CHAR}) {
    PostMessageW(view, message, 0x41, MAKELPARAM(3, 4));
  }
  EXPECT_EQ(Ask(VelaDesktopEngineGetMessenger(engine), "test/echo", "still").data, "still");
  EXPECT_EQ(BundleCounter("wrong_thread"), 0);
  VelaDesktopViewControllerDestroy(controller);
}

// A host places the view in its window at the size the view was made with, so the view gets
// no WM_SIZE; on a monitor of another DPI the redraw the host asks for then must come at the
// window's DPI, not at the 96 of the windowless view.
TEST_F(EngineTest, AViewPlacedInAWindowTakesItsDpiBeforeTheRedraw) {
  tervala_testing::ScopedEnvironmentVariable monitors("TERVALA_MONITORS", "0,0,1920,1080,192");
  VelaDesktopEngine engine = CreateEngine("", {}, ENGINE_TEST_BUNDLE_CC);
  ASSERT_NE(engine, nullptr);
  NativeChannel metrics;
  VelaDesktopMessengerSetCallback(VelaDesktopEngineGetMessenger(engine), "native/metrics",
                                  &NativeChannel::Callback, &metrics);
  VelaDesktopViewController controller = Start(engine, 120, 60);
  ASSERT_NE(controller, nullptr);
  int closes = 0;
  HWND host = CreateHostWindow(&closes);
  HWND view = ViewWindow(controller);
  SetParent(view, host);
  MoveWindow(view, 0, 0, 120, 60, TRUE);
  VelaDesktopViewControllerForceRedraw(controller);
  EXPECT_TRUE(PumpUntil([&] {
    return !metrics.messages.empty() && metrics.messages.back() == "120x60@192";
  })) << ::testing::PrintToString(metrics.messages);
  VelaDesktopViewControllerDestroy(controller);
  DestroyWindow(host);
}

// A bundle built against the first version of the header knows a shorter table: it runs, its
// members are where it expects them, and input on its view reaches nobody.
TEST_F(EngineTest, ABundleBuiltAgainstTheFirstHeaderStillRuns) {
  VelaDesktopEngine engine = CreateEngine("", {}, ENGINE_TEST_BUNDLE_V1);
  ASSERT_NE(engine, nullptr);
  VelaDesktopViewController controller = Start(engine, 40, 30);
  ASSERT_NE(controller, nullptr);
  VelaDesktopMessenger messenger = VelaDesktopEngineGetMessenger(engine);
  const std::string known =
      "known=" + std::to_string(offsetof(VelaBundleHost, set_pointer_handler));
  EXPECT_EQ(Ask(messenger, "v1/check", "").data,
            known + " given=" + std::to_string(sizeof(VelaBundleHost)) + " texture=1");

  HWND view = ViewWindow(controller);
  for (UINT message : {WM_SETFOCUS, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYDOWN, WM_CHAR,
                       WM_MOUSEWHEEL, WM_KILLFOCUS}) {
    PostMessageW(view, message, 0x41, MAKELPARAM(3, 4));
  }
  EXPECT_EQ(Ask(messenger, "v1/draw", "").data, "drawn");
  std::vector<uint8_t> pixels(40 * 30 * 4);
  VelaDesktopViewFrameInfo info{};
  ASSERT_TRUE(PumpUntil([&] {
    return VelaDesktopViewReadContents(view, &info, pixels.data(), pixels.size()) &&
           info.frame_count > 0 && pixels[0] == 0x12;
  }));
  EXPECT_EQ(info.width, 40u);
  EXPECT_EQ(pixels[1], 0x34);
  VelaDesktopViewControllerDestroy(controller);
}

}  // namespace
}  // namespace engine_test
