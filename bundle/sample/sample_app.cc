// The Tervala sample application: it initialises the Nimbus core and the default app through
// the cloud-app core plug-in's channels, shows the apps it knows in its frames and prints a
// summary. With --exit-when-ready it asks to close once the answers are in. Its window has
// controls for every request the host answers: create and delete apps, the data-collection
// switch, the resource options, a permission check and the project's console link.
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bundle/sample/nimbus_records.h"
#include "bundle/sample/sample_arguments.h"
#include "bundle/sample/sample_view.h"
#include "vela_bundle.h"

namespace tervala_bundle {
namespace {

// The application's state. It lives from the entry point to the shutdown handler and is only
// touched on the engine thread.
class SampleApp {
 public:
  SampleApp(const VelaBundleHost* host, SampleArguments arguments)
      : host_(host), arguments_(std::move(arguments)) {
    status_.notes = arguments_.problems;
  }

  void Start() {
    host_->set_frame_request_handler(host_, &SampleApp::OnFrameRequest, this);
    host_->set_view_metrics_handler(host_, &SampleApp::OnViewMetrics, this);
    host_->set_shutdown_handler(host_, &SampleApp::OnShutdown, this);
    // An engine older than input gives no events: the window then only shows the status.
    if (VELA_BUNDLE_HOST_HAS(host_, set_pointer_handler)) {
      host_->set_pointer_handler(host_, &SampleApp::OnPointer, this);
    }
    if (VELA_BUNDLE_HOST_HAS(host_, set_key_handler)) {
      host_->set_key_handler(host_, &SampleApp::OnKey, this);
    }
    Draw();
    // The core's request list is not read; an empty list is what the engine side sends.
    Send(kInitializeCoreChannel, vela::EncodableValue(vela::EncodableList{}),
         &SampleApp::OnCoreReply);
  }

 private:
  using ReplyMethod = void (SampleApp::*)(const ChannelReply&);
  using ReplyFunction = std::function<void(const ChannelReply&)>;

  // A request in flight: where its reply goes.
  struct Pending {
    ReplyFunction on_reply;
  };

  void Send(const char* channel, const vela::EncodableValue& request, ReplyMethod method) {
    Send(channel, request, [this, method](const ChannelReply& reply) { (this->*method)(reply); });
  }

  // Every message, in the core's codec, which carries the other plug-ins' plain values
  // unchanged.
  void Send(const char* channel, const vela::EncodableValue& request, ReplyFunction on_reply) {
    const std::vector<uint8_t> bytes = EncodeRecordMessage(request);
    auto* pending = new Pending{std::move(on_reply)};
    if (!host_->send_message(host_, channel, bytes.data(), bytes.size(), &SampleApp::OnReply,
                             pending)) {
      ChannelReply failed;
      failed.kind = ChannelReply::Kind::kError;
      failed.code = "not-sent";
      failed.message = "the engine did not take the message";
      const ReplyFunction on_failure = std::move(pending->on_reply);
      delete pending;
      on_failure(failed);
    }
  }

  static void OnReply(const uint8_t* data, size_t size, void* user_data) {
    auto* pending = static_cast<Pending*>(user_data);
    const ReplyFunction on_reply = std::move(pending->on_reply);
    delete pending;
    try {
      on_reply(ChannelReply::Decode(data, size));
    } catch (const std::exception& error) {
      // Nothing may escape into the engine; the app carries on without this reply.
      std::fprintf(stderr, "Tervala sample: a reply could not be handled: %s\n", error.what());
    }
  }

  // Why a reply is not a success, in a few words.
  static std::string Failure(const ChannelReply& reply) {
    switch (reply.kind) {
      case ChannelReply::Kind::kEmpty:
        return "no answer (is the cloud-app core plug-in registered?)";
      case ChannelReply::Kind::kMalformed:
        return "an answer that could not be read";
      case ChannelReply::Kind::kError:
        return reply.code + ": " + reply.message;
      case ChannelReply::Kind::kSuccess:
        break;
    }
    return "an answer of an unexpected kind";
  }

  void OnCoreReply(const ChannelReply& reply) {
    status_.core_answered = true;
    const vela::EncodableList* apps = reply.kind == ChannelReply::Kind::kSuccess
                                          ? reply.value.GetIf<vela::EncodableList>()
                                          : nullptr;
    if (apps == nullptr) {
      status_.core_error = Failure(reply);
    } else {
      for (const vela::EncodableValue& app : *apps) {
        if (std::optional<AppDescription> description = AppDescription::FromValue(app)) {
          status_.AddApp(std::move(*description));
        }
      }
      status_.apps_before = status_.apps.size();
    }
    Draw();
    Send(kInitializeAppChannel,
         vela::EncodableValue(vela::EncodableList{vela::EncodableValue(kDefaultAppName),
                                                  arguments_.options.ToValue()}),
         &SampleApp::OnAppReply);
  }

  void OnAppReply(const ChannelReply& reply) {
    status_.app_answered = true;
    std::optional<AppDescription> description;
    if (reply.kind == ChannelReply::Kind::kSuccess) {
      description = AppDescription::FromValue(reply.value);
    }
    if (description) {
      completed_options_ = description->options;
      status_.AddApp(std::move(*description));
    } else {
      status_.app_error = Failure(reply);
    }
    Draw();
    const std::string summary = Summary(status_);
    std::fwrite(summary.data(), 1, summary.size(), stdout);
    std::fflush(stdout);
    // The app core finishes the day's heartbeat write before the process ends, so the app
    // can close as soon as the answers are in. When the app it was asked for could not be
    // created, the program ends with exit code 1, set through the host's channel first.
    if (!arguments_.exit_when_ready) return;
    if (status_.app_error || status_.core_error) {
      Send(kSetExitCodeChannel, vela::EncodableValue(vela::EncodableList{int32_t{1}}),
           [this](const ChannelReply&) { host_->request_close(host_); });
      return;
    }
    host_->post_task(host_, &SampleApp::OnCloseTask, this, 0);
  }

  static void OnCloseTask(void* user_data) {
    auto* app = static_cast<SampleApp*>(user_data);
    app->host_->request_close(app->host_);
  }

  void Draw() {
    VelaBundleViewMetrics metrics{};
    host_->get_view_metrics(host_, &metrics);
    if (metrics.width == 0 || metrics.height == 0) return;
    // Laid out again for every frame, so that the pointer meets the controls where they were
    // last drawn.
    LayOutSamplePanel(panel_, metrics.width, metrics.dpi);
    const Canvas canvas =
        RenderSampleFrame(status_, panel_, requests_, metrics.width, metrics.height, metrics.dpi);
    const bool shown = host_->submit_frame(host_, canvas.pixels(), canvas.width(), canvas.height(),
                                           canvas.row_bytes());
    // Said once, since without a display the window is not seen.
    if (shown && !said_running_ && !arguments_.exit_when_ready) {
      said_running_ = true;
      std::printf(
          "Tervala is running (view of %u x %u pixels). Close the window or press Ctrl+C to "
          "quit.\n",
          canvas.width(), canvas.height());
      std::fflush(stdout);
    }
  }

  static void OnPointer(const VelaBundlePointerEvent* event, void* user_data) {
    auto* app = static_cast<SampleApp*>(user_data);
    ControlPanel& panel = app->panel_;
    switch (event->kind) {
      case VELA_BUNDLE_POINTER_MOVE:
        app->Apply(panel.PointerMove(event->x, event->y));
        break;
      case VELA_BUNDLE_POINTER_DOWN:
        app->Apply(panel.PointerDown(event->x, event->y, event->button));
        break;
      case VELA_BUNDLE_POINTER_UP:
        app->Apply(panel.PointerUp(event->x, event->y, event->button));
        break;
      default:
        break;
    }
  }

  static void OnKey(const VelaBundleKeyEvent* event, void* user_data) {
    auto* app = static_cast<SampleApp*>(user_data);
    ControlPanel& panel = app->panel_;
    switch (event->kind) {
      case VELA_BUNDLE_KEY_DOWN:
        app->Apply(panel.KeyDown(event->key_code, event->modifiers, event->repeat != 0));
        break;
      case VELA_BUNDLE_KEY_CHAR:
        app->Apply(panel.Character(event->text));
        break;
      case VELA_BUNDLE_KEY_FOCUS_GAINED:
      case VELA_BUNDLE_KEY_FOCUS_LOST:
        app->Apply(panel.ViewFocus(event->kind == VELA_BUNDLE_KEY_FOCUS_GAINED));
        break;
      default:
        break;
    }
  }

  void Apply(const ControlPanel::Outcome& outcome) {
    if (outcome.close) {
      host_->request_close(host_);
      return;
    }
    if (outcome.activated) Activate(*outcome.activated);
    if (outcome.changed || outcome.activated) Draw();
  }

  // The app the name field names; the default app while it is empty.
  std::string TargetApp() const {
    return panel_.text().empty() ? std::string(kDefaultAppName) : panel_.text();
  }

  // The options a new app gets: those of the default app as the core completed them (kept
  // when the default app is deleted), else those of the arguments.
  AppOptionsRecord NewAppOptions() const {
    return completed_options_ ? *completed_options_ : arguments_.options;
  }

  // Sends a request on the user's behalf and keeps its state in the request log; `describe`
  // turns a successful answer into the log's text, or returns nothing when the answer is not
  // the one expected.
  void Request(std::string what, const char* channel, const vela::EncodableValue& request,
               std::function<std::optional<std::string>(const vela::EncodableValue&)> describe) {
    const int id = requests_.Start(std::move(what));
    Send(channel, request, [this, id, describe = std::move(describe)](const ChannelReply& reply) {
      switch (reply.kind) {
        case ChannelReply::Kind::kSuccess:
          if (std::optional<std::string> text = describe(reply.value)) {
            requests_.Answer(id, std::move(*text));
          } else {
            requests_.Fail(id, "unexpected-answer", ValueText(reply.value));
          }
          break;
        case ChannelReply::Kind::kError:
          requests_.Fail(id, reply.code, reply.message);
          break;
        case ChannelReply::Kind::kEmpty:
          requests_.Fail(id, "no-answer", "nothing answers this channel");
          break;
        case ChannelReply::Kind::kMalformed:
          requests_.Fail(id, "malformed-answer", "the answer could not be read");
          break;
      }
      Draw();
    });
  }

  void Activate(int control) {
    using vela::EncodableList;
    using vela::EncodableValue;
    const std::string name = TargetApp();
    switch (control) {
      case kCreateButton: {
        if (panel_.text().empty()) {
          requests_.Fail(requests_.Start("Create app"), "no-name", "type the new app's name first");
          return;
        }
        Request("Create app \"" + name + "\"", kInitializeAppChannel,
                EncodableValue(EncodableList{EncodableValue(name), NewAppOptions().ToValue()}),
                [this](const EncodableValue& value) -> std::optional<std::string> {
                  std::optional<AppDescription> app = AppDescription::FromValue(value);
                  if (!app) return std::nullopt;
                  std::string text = "app " + app->name + " of project " +
                                     app->options.Text(AppOptionsRecord::kProjectId);
                  status_.AddApp(std::move(*app));
                  return text;
                });
        break;
      }
      case kDeleteButton:
        Request("Delete app \"" + name + "\"", kDeleteChannel,
                EncodableValue(EncodableList{EncodableValue(name)}),
                [this, name](const EncodableValue&) -> std::optional<std::string> {
                  return status_.RemoveApp(name) ? "deleted" : "no such app was listed";
                });
        break;
      case kDataCollectionToggle: {
        const ControlPanel::Control* toggle = panel_.Find(kDataCollectionToggle);
        const bool enable = toggle == nullptr || !toggle->checked;
        Request(std::string("Data collection ") + (enable ? "on" : "off") + " for \"" + name + "\"",
                kSetDataCollectionChannel,
                EncodableValue(EncodableList{EncodableValue(name), EncodableValue(enable)}),
                [this, enable](const EncodableValue&) -> std::optional<std::string> {
                  panel_.SetChecked(kDataCollectionToggle, enable);
                  return std::string(enable ? "switched on" : "switched off");
                });
        break;
      }
      case kOptionsButton:
        Request("Resource options", kOptionsFromResourceChannel, EncodableValue(EncodableList{}),
                [](const EncodableValue& value) -> std::optional<std::string> {
                  std::optional<AppOptionsRecord> options = AppOptionsRecord::FromValue(value);
                  if (!options) return std::nullopt;
                  return "project " + options->Text(AppOptionsRecord::kProjectId) + ", app id " +
                         options->Text(AppOptionsRecord::kAppId);
                });
        break;
      case kPermissionButton:
        Request(std::string("Permission ") + kCheckedPermission, kCheckPermissionChannel,
                EncodableValue(EncodableList{EncodableValue(kCheckedPermission)}),
                [](const EncodableValue& value) -> std::optional<std::string> {
                  if (const auto* status = value.GetIf<std::string>()) return *status;
                  return std::nullopt;
                });
        break;
      case kConsoleButton: {
        const std::string url = ConsoleUrl(NewAppOptions().Text(AppOptionsRecord::kProjectId));
        Request("Open " + url, kOpenUrlChannel, EncodableValue(EncodableList{EncodableValue(url)}),
                [](const EncodableValue& value) -> std::optional<std::string> {
                  const auto* opened = value.GetIf<bool>();
                  if (opened == nullptr) return std::nullopt;
                  return std::string(*opened ? "opened" : "not opened");
                });
        break;
      }
      default:
        break;
    }
  }

  static void OnFrameRequest(void* user_data) { static_cast<SampleApp*>(user_data)->Draw(); }

  static void OnViewMetrics(const VelaBundleViewMetrics*, void* user_data) {
    static_cast<SampleApp*>(user_data)->Draw();
  }

  // Every reply owed has run by now (each freed its Pending), so nothing refers to the app.
  static void OnShutdown(void* user_data) { delete static_cast<SampleApp*>(user_data); }

  const VelaBundleHost* host_;
  SampleArguments arguments_;
  SampleStatus status_;
  std::optional<AppOptionsRecord> completed_options_;  // the default app's, once created
  ControlPanel panel_ = MakeSamplePanel();
  RequestLog requests_;
  bool said_running_ = false;
};

}  // namespace
}  // namespace tervala_bundle

extern "C" VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                                   const char* const* argv) {
  using tervala_bundle::SampleApp;
  try {
    tervala_bundle::SampleArguments arguments = tervala_bundle::ParseSampleArguments(argc, argv);
    for (const std::string& problem : arguments.problems) {
      std::fprintf(stderr, "Tervala sample: %s (ignored)\n", problem.c_str());
    }
    if (!arguments.problems.empty()) {
      std::fprintf(stderr, "Tervala sample: %s\n", tervala_bundle::SampleUsage());
    }
    (new SampleApp(host, std::move(arguments)))->Start();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "Tervala sample: cannot start: %s\n", error.what());
  }
}
