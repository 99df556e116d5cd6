// The real tervala_app with the bridge, driven through its socket on every channel of the
// host's plug-ins (POSIX only: the bridge listens on a Unix-domain socket).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bundle/sample/nimbus_records.h"
#include "bundle/tests/app_process.h"
#include "embedding_client/standard_message_codec.h"

namespace vela {
// Values in failure messages, readably (end_to_end_test.cc).
void PrintTo(const EncodableValue& value, std::ostream* out);
}  // namespace vela

namespace bundle_test {
namespace {

namespace fs = std::filesystem;
using tervala_bundle::AppDescription;
using tervala_bundle::AppOptionsRecord;
using tervala_bundle::BridgeFrame;
using tervala_bundle::ChannelReply;
using tervala_bundle::FrameKind;
using ::testing::HasSubstr;
using ::testing::Not;

// A bridge that cannot listen says why and fails, whatever the reason.
TEST(BridgeStartTest, ExitsWithOneWhenItCannotListen) {
  TemporaryFolder work;
  const std::string taken = work.path() + "/taken";
  std::ofstream(taken) << "not a socket";
  const struct {
    std::vector<std::string> arguments;
    std::string reason;
  } cases[] = {
      {{}, "usage: tervala_app --bridge-socket=PATH"},
      {{"--bridge-socket="}, "the socket path must have 1 to 107 bytes"},
      {{"--bridge-socket=" + work.path() + "/" + std::string(120, 's')}, "1 to 107 bytes"},
      {{"--bridge-socket=" + taken}, "cannot listen on " + taken},
  };
  for (const auto& c : cases) {
    AppProcess app(TERVALA_BRIDGE_APP, c.arguments, work.path(), {});
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.WaitForExit(), 1) << c.reason;
    EXPECT_THAT(app.StandardError(), HasSubstr(c.reason));
  }
  EXPECT_EQ(ReadFile(taken), "not a socket");
}

// A bridge run and its client.
class BridgeEndToEndTest : public BridgeTest {
 protected:
  // Sends `bytes` on the channel and returns the reply frame's bytes.
  std::vector<uint8_t> Call(const std::string& channel, const std::vector<uint8_t>& bytes) {
    const uint32_t id = next_id_++;
    EXPECT_TRUE(client_.Send({static_cast<uint8_t>(FrameKind::kSend), id, channel, bytes}));
    std::optional<BridgeFrame> reply = client_.Receive();
    EXPECT_TRUE(reply.has_value()) << "no reply on " << channel;
    if (!reply) return {};
    EXPECT_EQ(reply->kind, static_cast<uint8_t>(FrameKind::kReply));
    EXPECT_EQ(reply->id, id);
    EXPECT_EQ(reply->channel, channel);
    return reply->message;
  }

  // A request in the core's codec, its reply taken apart.
  ChannelReply CallCore(const std::string& channel, const vela::EncodableValue& request) {
    const std::vector<uint8_t> reply = Call(channel, tervala_bundle::EncodeRecordMessage(request));
    return ChannelReply::Decode(reply.data(), reply.size());
  }

  // A request in the standard codec, as the other plug-ins use it.
  ChannelReply CallStandard(const std::string& channel, const vela::EncodableValue& request) {
    const auto bytes = vela::StandardMessageCodec::GetInstance().EncodeMessage(request);
    const std::vector<uint8_t> reply = Call(channel, *bytes);
    return ChannelReply::Decode(reply.data(), reply.size());
  }

  int Close() {
    EXPECT_TRUE(client_.Send({static_cast<uint8_t>(FrameKind::kClose), 0, "", {}}));
    return app_->WaitForExit();
  }

  uint32_t next_id_ = 1;
};

vela::EncodableValue List(vela::EncodableList values) { return vela::EncodableValue(values); }

TEST_F(BridgeEndToEndTest, DrivesTheSixCoreChannels) {
  using namespace tervala_bundle;
  ChannelReply core = CallCore(kInitializeCoreChannel, List({}));
  ASSERT_EQ(core.kind, ChannelReply::Kind::kSuccess);
  EXPECT_EQ(core.value, vela::EncodableValue(vela::EncodableList{}));

  AppOptionsRecord options;
  options.fields[AppOptionsRecord::kApiKey] = "bridge-key";
  options.fields[AppOptionsRecord::kAppId] = "1:9:desktop:9";
  options.fields[AppOptionsRecord::kProjectId] = "bridge-project";
  options.fields[AppOptionsRecord::kDatabaseUrl] = "";
  options.fields[AppOptionsRecord::kTrackingId] = "UA-1";
  ChannelReply app = CallCore(kInitializeAppChannel,
                              List({vela::EncodableValue("bridge-app"), options.ToValue()}));
  ASSERT_EQ(app.kind, ChannelReply::Kind::kSuccess);
  std::optional<AppDescription> described = AppDescription::FromValue(app.value);
  ASSERT_TRUE(described);
  EXPECT_EQ(described->name, "bridge-app");
  EXPECT_EQ(described->options.Text(AppOptionsRecord::kProjectId), "bridge-project");
  // The core leaves out an empty database URL and never reports a tracking ID.
  EXPECT_FALSE(described->options.fields[AppOptionsRecord::kDatabaseUrl]);
  EXPECT_FALSE(described->options.fields[AppOptionsRecord::kTrackingId]);
  EXPECT_TRUE(described->plugin_constants.empty());

  core = CallCore(kInitializeCoreChannel, vela::EncodableValue());
  ASSERT_EQ(core.kind, ChannelReply::Kind::kSuccess);
  const auto& apps = core.value.Get<vela::EncodableList>();
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_EQ(AppDescription::FromValue(apps[0])->name, "bridge-app");

  // The config file in the working folder answers for the resources.
  ChannelReply resource = CallCore(kOptionsFromResourceChannel, List({}));
  ASSERT_EQ(resource.kind, ChannelReply::Kind::kSuccess);
  std::optional<AppOptionsRecord> from_file = AppOptionsRecord::FromValue(resource.value);
  ASSERT_TRUE(from_file);
  EXPECT_EQ(from_file->Text(AppOptionsRecord::kProjectId), "tervala-sample");

  // The three app operations answer [null], byte for byte.
  const std::vector<uint8_t> null_success = {12, 1, 0};
  for (const char* channel : {kSetDataCollectionChannel, kSetResourceManagementChannel}) {
    EXPECT_EQ(Call(channel, EncodeRecordMessage(List(
                                {vela::EncodableValue("bridge-app"), vela::EncodableValue(true)}))),
              null_success)
        << channel;
  }
  EXPECT_EQ(Call(kDeleteChannel, EncodeRecordMessage(List({vela::EncodableValue("bridge-app")}))),
            null_success);

  EXPECT_EQ(Close(), 0);
}

TEST_F(BridgeEndToEndTest, MalformedAndUndecodableRequestsAreAnsweredAsTheChannelsSay) {
  using namespace tervala_bundle;
  const auto error = [](const ChannelReply& reply) {
    return reply.kind == ChannelReply::Kind::kError ? reply.code + "|" + reply.message : "none";
  };
  EXPECT_EQ(error(CallCore(kSetDataCollectionChannel,
                           List({vela::EncodableValue(), vela::EncodableValue(true)}))),
            "app_name_arg unexpectedly null.|Error");
  EXPECT_EQ(error(CallCore(kSetResourceManagementChannel, List({vela::EncodableValue("a")}))),
            "invalid vector subscript|Error");
  EXPECT_EQ(error(CallCore(kDeleteChannel, vela::EncodableValue("not a list"))),
            "bad variant access|Error");
  EXPECT_EQ(error(CallCore(kInitializeAppChannel,
                           List({vela::EncodableValue("a"), vela::EncodableValue()}))),
            "initialize_app_request_arg unexpectedly null.|Error");

  // A message that ends inside its value cannot be decoded: the empty reply, and a line on
  // standard error.
  EXPECT_TRUE(Call(kDeleteChannel, {12, 1, 7, 9, 'a'}).empty());
  // A channel nobody handles answers with nothing too.
  EXPECT_TRUE(Call("dev.vela.nobody", {0}).empty());
  // A channel name with a NUL names no channel, not the one before the NUL; an app name with
  // one is refused, not cut short.
  EXPECT_TRUE(Call(std::string(kInitializeCoreChannel) + std::string("\0junk", 5),
                   EncodeRecordMessage(List({})))
                  .empty());
  EXPECT_EQ(error(CallCore(kDeleteChannel, List({vela::EncodableValue(std::string("a\0b", 3))}))),
            "app_name_arg contains a NUL character.|Error");

  EXPECT_EQ(Close(), 0);
  EXPECT_THAT(app_->StandardError(),
              HasSubstr(std::string("Unable to decode message on channel ") + kDeleteChannel));
}

TEST_F(BridgeEndToEndTest, ReachesThePermissionsAndLinkOpenerPlugins) {
  const char kPermissions[] = "dev.vela.plugins.PermissionsWindows.checkPermissionStatus";
  const char kLinkOpener[] = "dev.vela.plugins.LinkOpenerWindows.openUrl";
  ChannelReply status = CallStandard(kPermissions, List({vela::EncodableValue("camera")}));
  ASSERT_EQ(status.kind, ChannelReply::Kind::kSuccess);
  EXPECT_EQ(status.value, vela::EncodableValue("granted"));
  EXPECT_EQ(CallStandard(kPermissions, List({vela::EncodableValue("telepathy")})).code,
            "unknown-permission");

  ChannelReply opened =
      CallStandard(kLinkOpener, List({vela::EncodableValue("https://tervala.example/")}));
  ASSERT_EQ(opened.kind, ChannelReply::Kind::kSuccess);
  EXPECT_EQ(opened.value, vela::EncodableValue(true));
  EXPECT_EQ(CallStandard(kLinkOpener, List({vela::EncodableValue("not a url")})).code,
            "invalid-url");

  EXPECT_EQ(Close(), 0);
}

TEST_F(BridgeEndToEndTest, ABrokenStreamEndsOnlyThatConnection) {
  // A frame whose channel name runs past its end: the bridge hangs up on this client.
  ASSERT_TRUE(client_.SendRaw({8, 0, 0, 0, 1, 0, 0, 0, 0, 200, 0, 'a'}));
  EXPECT_TRUE(client_.WaitForEnd());
  EXPECT_THAT(app_->StandardError(), HasSubstr("closing the connection"));

  // The next client is served as the first was.
  ASSERT_TRUE(client_.Connect(socket_));
  EXPECT_EQ(CallStandard("dev.vela.plugins.PermissionsWindows.checkPermissionStatus",
                         List({vela::EncodableValue("storage")}))
                .value,
            vela::EncodableValue("granted"));
  EXPECT_EQ(Close(), 0);
}

// A second bridge started on the path of a live one leaves it alone and says why; a socket
// nobody listens on (left by a run that was killed) is taken over.
TEST_F(BridgeEndToEndTest, ASecondBridgeLeavesALiveOneAloneAndReplacesADeadSocket) {
  const char kPermissions[] = "dev.vela.plugins.PermissionsWindows.checkPermissionStatus";
  AppProcess second(TERVALA_BRIDGE_APP, {"--bridge-socket=" + socket_}, work_.path(),
                    {"TERVALA_DATA_DIR=" + data_.path()});
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.WaitForExit(), 1);
  EXPECT_THAT(second.StandardError(), HasSubstr("another bridge is listening on " + socket_));
  EXPECT_EQ(CallStandard(kPermissions, List({vela::EncodableValue("camera")})).value,
            vela::EncodableValue("granted"));
  ASSERT_TRUE(client_.Connect(socket_));  // a new connection finds the first bridge too
  EXPECT_EQ(CallStandard(kPermissions, List({vela::EncodableValue("camera")})).value,
            vela::EncodableValue("granted"));
  EXPECT_EQ(Close(), 0);

  const std::string dead = work_.path() + "/dead.sock";
  {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, dead.data(), dead.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(fd);  // the file stays, with nobody listening
  }
  AppProcess third(TERVALA_BRIDGE_APP, {"--bridge-socket=" + dead}, work_.path(),
                   {"TERVALA_DATA_DIR=" + data_.path()});
  ASSERT_TRUE(third.started());
  BridgeClient client;
  ASSERT_TRUE(client.Connect(dead));
  ASSERT_TRUE(client.Send({static_cast<uint8_t>(FrameKind::kClose), 0, "", {}}));
  EXPECT_EQ(third.WaitForExit(), 0) << third.StandardError();
}

// What one client listens on is bounded, by channels and by the bytes of their names: a
// listen past either limit gets an error frame and nothing of it is kept. Listening again
// on a channel costs nothing, and a new client starts afresh.
TEST_F(BridgeEndToEndTest, ListensPerClientAreBoundedByCountAndBytes) {
  const auto listen = [this](uint32_t id, const std::string& channel) {
    ASSERT_TRUE(client_.Send({static_cast<uint8_t>(FrameKind::kListen), id, channel, {}}));
  };
  // The ids of the listens refused so far: errors come before the reply to a later request.
  const auto refused = [this] {
    std::vector<uint32_t> ids;
    const std::vector<uint8_t> request = *vela::StandardMessageCodec::GetInstance().EncodeMessage(
        List({vela::EncodableValue("camera")}));
    constexpr uint32_t kRequestId = 1'000'000;
    EXPECT_TRUE(
        client_.Send({static_cast<uint8_t>(FrameKind::kSend), kRequestId,
                      "dev.vela.plugins.PermissionsWindows.checkPermissionStatus", request}));
    for (;;) {
      std::optional<BridgeFrame> frame = client_.Receive();
      if (!frame ||
          (frame->kind == static_cast<uint8_t>(FrameKind::kReply) && frame->id == kRequestId)) {
        break;
      }
      if (frame->kind == static_cast<uint8_t>(FrameKind::kError)) ids.push_back(frame->id);
    }
    return ids;
  };
  for (uint32_t id = 0; id < 257; ++id) listen(id, "dev.test.channel" + std::to_string(id));
  listen(1000, "dev.test.channel0");
  EXPECT_EQ(refused(), std::vector<uint32_t>{256});

  ASSERT_TRUE(client_.Connect(socket_));
  listen(1, std::string(40'000, 'a'));
  listen(2, std::string(40'000, 'b'));
  listen(3, "dev.test.short");
  EXPECT_EQ(refused(), std::vector<uint32_t>{2});
  EXPECT_EQ(Close(), 0);
}

// The example client of the bridge's documentation, run as a user would run it.
TEST_F(BridgeEndToEndTest, TheDocumentedPythonClientWorks) {
  const std::string python = "/usr/bin/python3";
  if (!fs::exists(python)) GTEST_SKIP() << "no " << python;
  const std::string doc = ReadFile(BRIDGE_DOC);
  const std::string start_marker = "```python\n";
  const size_t start = doc.find(start_marker);
  ASSERT_NE(start, std::string::npos);
  const size_t end = doc.find("```", start + start_marker.size());
  ASSERT_NE(end, std::string::npos);
  const std::string script = work_.path() + "/bridge_client.py";
  {
    std::ofstream out(script);
    out << doc.substr(start + start_marker.size(), end - start - start_marker.size());
  }
  // The fixture's client made way: the bridge serves one client at a time.
  client_.Disconnect();

  AppProcess client(python, {script, socket_}, work_.path(), {});
  ASSERT_TRUE(client.started());
  EXPECT_EQ(client.WaitForExit(), 0) << client.StandardError();
  const std::string output = client.StandardOutput();
  EXPECT_THAT(output, HasSubstr("apps: [[]]"));
  EXPECT_THAT(output, HasSubstr("initializeApp: [Record(130, ['demo', ['my-api-key'"));
  EXPECT_THAT(output, HasSubstr("data collection: [None]"));
  EXPECT_THAT(output, HasSubstr("camera: ['granted']"));
  // The client's close request ends the application.
  EXPECT_EQ(app_->WaitForExit(), 0);
}

}  // namespace
}  // namespace bundle_test
