// The Tervala sample application: it initialises the Nimbus core and the default app through
// the cloud-app core plug-in's channels, shows the apps it knows in its frames and prints a
// summary. With --exit-when-ready it asks to close once the answers are in.
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "bundle/sample/nimbus_records.h"
#include "bundle/sample/sample_arguments.h"
#include "bundle/sample/sample_view.h"
#include "vela_bundle.h"

namespace tervala_bundle {
namespace {

// How long --exit-when-ready waits after the answers before it asks to close.
constexpr uint64_t kExitGraceMs = 500;

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
    Draw();
    // The core's request list is not read; an empty list is what the engine side sends.
    Send(kInitializeCoreChannel, vela::EncodableValue(vela::EncodableList{}),
         &SampleApp::OnCoreReply);
  }

 private:
  using ReplyMethod = void (SampleApp::*)(const ChannelReply&);

  // A request in flight: the application and the method its reply goes to.
  struct Pending {
    SampleApp* app;
    ReplyMethod method;
  };

  void Send(const char* channel, const vela::EncodableValue& request, ReplyMethod method) {
    const std::vector<uint8_t> bytes = EncodeRecordMessage(request);
    auto* pending = new Pending{this, method};
    if (!host_->send_message(host_, channel, bytes.data(), bytes.size(), &SampleApp::OnReply,
                             pending)) {
      delete pending;
      ChannelReply failed;
      failed.kind = ChannelReply::Kind::kError;
      failed.code = "not-sent";
      failed.message = "the engine did not take the message";
      (this->*method)(failed);
    }
  }

  static void OnReply(const uint8_t* data, size_t size, void* user_data) {
    auto* pending = static_cast<Pending*>(user_data);
    SampleApp* app = pending->app;
    const ReplyMethod method = pending->method;
    delete pending;
    try {
      (app->*method)(ChannelReply::Decode(data, size));
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
      status_.AddApp(std::move(*description));
    } else {
      status_.app_error = Failure(reply);
    }
    Draw();
    const std::string summary = Summary(status_);
    std::fwrite(summary.data(), 1, summary.size(), stdout);
    std::fflush(stdout);
    // The app core writes the day's heartbeat on a thread of its own, which does not hold
    // the process open: closing a moment later lets that write finish.
    if (arguments_.exit_when_ready) {
      host_->post_task(host_, &SampleApp::OnCloseTask, this, kExitGraceMs);
    }
  }

  static void OnCloseTask(void* user_data) {
    auto* app = static_cast<SampleApp*>(user_data);
    app->host_->request_close(app->host_);
  }

  void Draw() {
    VelaBundleViewMetrics metrics{};
    host_->get_view_metrics(host_, &metrics);
    if (metrics.width == 0 || metrics.height == 0) return;
    const Canvas canvas =
        RenderLines(DescribeStatus(status_), metrics.width, metrics.height, metrics.dpi);
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

  static void OnFrameRequest(void* user_data) { static_cast<SampleApp*>(user_data)->Draw(); }

  static void OnViewMetrics(const VelaBundleViewMetrics*, void* user_data) {
    static_cast<SampleApp*>(user_data)->Draw();
  }

  // Every reply owed has run by now (each freed its Pending), so nothing refers to the app.
  static void OnShutdown(void* user_data) { delete static_cast<SampleApp*>(user_data); }

  const VelaBundleHost* host_;
  SampleArguments arguments_;
  SampleStatus status_;
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
