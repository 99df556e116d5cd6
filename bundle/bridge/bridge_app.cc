// The bridge bundle: relays the engine side of the host's channels to one client at a time on
// a Unix-domain stream socket (--bridge-socket=PATH), so that programs in any language can
// drive native code the way an engine-side application does. The frames are described in
// bridge_frame.h and docs/bridge.md.
#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "bundle/bridge/bridge_frame.h"
#include "bundle/sample/sample_view.h"
#include "vela_bundle.h"

namespace tervala_bundle {
namespace {

constexpr std::string_view kSocketFlag = "--bridge-socket=";
// A client that reads none of what is owed to it for this long is disconnected, so that the
// next client can be served.
constexpr int kStalledClientMs = 10'000;
// When the application closes, what is owed to the client is sent for at most this long.
constexpr int kCloseFlushMs = 2'000;
// Requests handed to native code whose replies the client has not yet been sent, across
// connections (a client that went leaves its requests to finish). At either limit the bridge
// stops reading, so a client that sends faster than native code answers is held back by its
// own socket; nothing it sent is dropped. One frame is always taken when nothing is in flight,
// whatever its size.
constexpr size_t kMaxRequestsInFlight = 256;
constexpr size_t kMaxRequestBytesInFlight = 4u << 20;
// What one client may listen on: every channel costs a native handler and its name. A
// listen past either limit is refused with an error frame and nothing of it is kept.
constexpr size_t kMaxListensPerClient = 256;
constexpr size_t kMaxListenBytesPerClient = 64u << 10;

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void Report(const std::string& text) {
  std::fprintf(stderr, "Tervala bridge: %s\n", text.c_str());
  std::fflush(stderr);
}

// Ends the process with exit code 1 when the bridge cannot serve: the host's own exit code
// would say success. It runs before any client was served, so no app exists and nothing is
// being written.
[[noreturn]] void EndWithFailure() {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(1);
}

class Bridge {
 public:
  explicit Bridge(const VelaBundleHost* host) : host_(host) {}

  // Binds and listens on the socket; false with a report when it cannot.
  bool Listen(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
      status_ = "the socket path must have 1 to " + std::to_string(sizeof(address.sun_path) - 1) +
                " bytes";
      Report(status_);
      return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    // A socket left behind by an earlier run is replaced; any other file is left alone.
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) {
      // One that answers belongs to a bridge still running: taking its place would make it
      // unreachable (and its end would remove this one's socket).
      const std::string in_use = SocketInUse(address);
      if (!in_use.empty()) {
        status_ = in_use;
        Report(status_);
        return false;
      }
      unlink(path.c_str());
    }
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (listen_fd_ < 0 || wake_fd_ < 0 ||
        bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_fd_, 4) != 0) {
      status_ = "cannot listen on " + path + ": " + std::strerror(errno);
      Report(status_);
      return false;
    }
    socket_path_ = path;
    status_ = "listening on " + path;
    std::printf("Tervala bridge: listening on %s\n", path.c_str());
    std::fflush(stdout);
    server_ = std::thread([this] { Serve(); });
    return true;
  }

  void InstallHandlers() {
    host_->set_frame_request_handler(host_, &Bridge::OnDraw, this);
    host_->set_view_metrics_handler(host_, &Bridge::OnViewMetrics, this);
    host_->set_shutdown_handler(host_, &Bridge::OnShutdown, this);
  }

  void Draw() {
    VelaBundleViewMetrics metrics{};
    host_->get_view_metrics(host_, &metrics);
    if (metrics.width == 0 || metrics.height == 0) return;
    std::vector<TextLine> lines{{TextLine::Style::kTitle, "Tervala bridge"}};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lines.push_back({TextLine::Style::kText, status_});
      lines.push_back({TextLine::Style::kText,
                       client_fd_ >= 0 ? "a client is connected" : "no client connected"});
      lines.push_back({TextLine::Style::kText, "frames relayed: " + std::to_string(relayed_)});
    }
    const Canvas canvas = RenderLines(lines, metrics.width, metrics.height, metrics.dpi);
    host_->submit_frame(host_, canvas.pixels(), canvas.width(), canvas.height(),
                        canvas.row_bytes());
  }

  // Asks the application to close once the view is in its window.
  static void CloseTask(void* user_data) {
    auto* bridge = static_cast<Bridge*>(user_data);
    if (!bridge->host_->request_close(bridge->host_)) {
      bridge->host_->post_task(bridge->host_, &Bridge::CloseTask, bridge, 50);
    }
  }

 private:
  // Why the socket at `address` must be left alone: empty when nobody listens on it. The
  // probe does not block: a bridge busy with a client still queues the connection.
  static std::string SocketInUse(const sockaddr_un& address) {
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) return std::string("cannot check the socket: ") + std::strerror(errno);
    const bool connected =
        connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const int error = errno;
    close(probe);
    const std::string path = address.sun_path;
    if (connected || error == EAGAIN) return "another bridge is listening on " + path;
    if (error == ECONNREFUSED || error == ENOENT) return std::string();
    return "cannot tell whether " + path + " is in use: " + std::strerror(error);
  }

  // A message sent for the client, waiting for native code's reply.
  struct PendingSend {
    Bridge* bridge;
    uint64_t connection;
    uint32_t id;
    std::string channel;
    size_t request_bytes;
  };

  // The server thread: accepts one client at a time and relays its frames.
  void Serve() {
    for (;;) {
      // A client's loop may have taken the wake-up of a stop (it read it together with the
      // client's hang-up): the flag, set before every stop's wake-up, is what counts.
      if (Stopping()) return;
      pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        Report(std::string("cannot wait for clients: ") + std::strerror(errno));
        return;
      }
      if (fds[1].revents != 0) {
        ClearWake();
        if (Stopping()) return;
        continue;
      }
      const int client = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (client < 0) continue;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        client_fd_ = client;
        ++connection_;
      }
      PostRedraw();
      const bool stopping = ServeClient(client);
      Disconnect();
      if (stopping) return;
    }
  }

  // Relays the client's frames, and sends it what is queued for it, until it goes; true when
  // the bridge is stopping. Neither direction ever blocks: the engine thread only queues
  // frames, and this thread sends them as the client takes them.
  bool ServeClient(int client) {
    FrameReader reader;
    uint8_t buffer[65536];
    Clock::time_point last_progress = Clock::now();
    // Whether the reader needs more bytes for its next frame; false while it may hold frames
    // that wait for requests in flight to be answered.
    bool need_more = true;
    // The client hung up: what it sent is still read, for its close request, but its
    // requests are dropped, as their replies would be.
    bool hung_up = false;
    for (;;) {
      if (!need_more && (hung_up || AcceptsRequests())) {
        BridgeFrame frame;
        std::string error;
        switch (reader.Next(&frame, &error)) {
          case FrameReader::Status::kFrame:
            Handle(std::move(frame), hung_up);
            continue;
          case FrameReader::Status::kNeedMore:
            need_more = true;
            break;
          case FrameReader::Status::kMalformed:
            Report("closing the connection: " + error);
            return false;
        }
      }
      bool sending;
      bool reading;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) break;
        sending = !out_.empty();
        reading = need_more && (hung_up || AcceptsRequestsLocked());
      }
      if (!sending) last_progress = Clock::now();
      const short events = static_cast<short>((reading ? POLLIN : 0) | (sending ? POLLOUT : 0));
      pollfd fds[2] = {{client, events, 0}, {wake_fd_, POLLIN, 0}};
      const int timeout =
          sending ? MillisecondsUntil(last_progress + std::chrono::milliseconds(kStalledClientMs))
                  : -1;
      const int ready = poll(fds, 2, timeout);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (ready == 0) {
        Report("closing the connection: the client read nothing for " +
               std::to_string(kStalledClientMs / 1000) + " seconds");
        return false;
      }
      if (fds[1].revents != 0) ClearWake();
      if (fds[0].revents & POLLOUT) {
        bool progress = false;
        if (!SendQueued(client, &progress)) return false;  // it cannot take replies any more
        if (progress) last_progress = Clock::now();
      }
      if (fds[0].revents & (POLLHUP | POLLERR)) hung_up = true;
      if (!reading && !hung_up) continue;
      const ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) return false;
      reader.Append(buffer, static_cast<size_t>(n));
      need_more = false;
    }
    // The application is closing: what is owed to the client (the engine settled every
    // reply before the bridge was stopped) is sent for a bounded time, whatever the client
    // does.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kCloseFlushMs);
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (out_.empty()) break;
      }
      pollfd fd{client, POLLOUT, 0};
      const int ready = poll(&fd, 1, MillisecondsUntil(deadline));
      if (ready < 0 && errno == EINTR) continue;
      bool progress = false;
      if (ready <= 0 || !SendQueued(client, &progress)) break;
    }
    return true;
  }

  // Sends what is queued for the client without blocking, until the socket is full; false
  // when the client has gone.
  bool SendQueued(int client, bool* progress) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (!out_.empty()) {
      Outgoing& front = out_.front();
      const ssize_t n = send(client, front.bytes.data() + front.sent,
                             front.bytes.size() - front.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      if (n <= 0) return false;
      *progress = true;
      front.sent += static_cast<size_t>(n);
      if (front.sent < front.bytes.size()) continue;
      if (front.request_bytes) ReleaseLocked(*front.request_bytes);
      out_.pop_front();
    }
    return true;
  }

  bool AcceptsRequestsLocked() const {
    return in_flight_ == 0 ||
           (in_flight_ < kMaxRequestsInFlight && in_flight_bytes_ < kMaxRequestBytesInFlight);
  }

  bool AcceptsRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return AcceptsRequestsLocked();
  }

  // A request in flight was answered to its client, or its reply dropped.
  void ReleaseLocked(size_t request_bytes) {
    --in_flight_;
    in_flight_bytes_ -= request_bytes;
  }

  // Wakes the server thread, to send or to stop (any thread).
  void Wake() {
    const uint64_t one = 1;
    if (write(wake_fd_, &one, sizeof one) < 0) Report("cannot wake the server thread");
  }

  void ClearWake() {
    uint64_t count;
    if (read(wake_fd_, &count, sizeof count) < 0 && errno != EAGAIN) {
      Report("cannot read the server thread's wake-ups");
    }
  }

  bool Stopping() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
  }

  // Acts on a frame of the client; `hung_up` drops its requests.
  void Handle(BridgeFrame frame, bool hung_up) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++relayed_;
    }
    // Channel names travel on as C strings: one with a NUL would name another channel.
    const bool unusable_name = frame.channel.find('\0') != std::string::npos;
    if (unusable_name && (frame.kind == static_cast<uint8_t>(FrameKind::kSend) ||
                          frame.kind == static_cast<uint8_t>(FrameKind::kListen))) {
      Report("a frame of kind " + std::to_string(frame.kind) +
             " for a channel name with a NUL byte is refused");
    }
    switch (static_cast<FrameKind>(frame.kind)) {
      case FrameKind::kSend: {
        if (hung_up) return;
        uint64_t connection;
        const size_t request_bytes = frame.message.size();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          connection = connection_;
          ++in_flight_;
          in_flight_bytes_ += request_bytes;
        }
        auto* pending = new PendingSend{this, connection, frame.id, frame.channel, request_bytes};
        if (unusable_name ||
            !host_->send_message(host_, frame.channel.c_str(), frame.message.data(),
                                 frame.message.size(), &Bridge::OnReply, pending)) {
          // Not sent (the engine is stopping or refuses more, or the channel name is
          // unusable): the client still gets its answer, the empty reply.
          delete pending;
          Write(connection,
                {static_cast<uint8_t>(FrameKind::kReply), frame.id, std::move(frame.channel), {}},
                request_bytes);
        }
        return;
      }
      case FrameKind::kListen: {
        if (unusable_name || hung_up) return;
        uint64_t connection;
        bool refused = false;
        const size_t name_bytes = frame.channel.size();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          connection = connection_;
          if (client_listens_.count(frame.channel) != 0) return;  // listened on already
          if (client_listens_.size() >= kMaxListensPerClient ||
              client_listen_bytes_ + name_bytes > kMaxListenBytesPerClient) {
            // The error counts as a request in flight until it is sent, so a client that
            // goes on listening without reading is held back like one that sends.
            refused = true;
            ++in_flight_;
            in_flight_bytes_ += name_bytes;
          } else {
            client_listens_.insert(frame.channel);
            client_listen_bytes_ += name_bytes;
            listen_requests_.insert(std::move(frame.channel));
          }
        }
        if (refused) {
          const std::string reason = "a client listens on at most " +
                                     std::to_string(kMaxListensPerClient) + " channels with " +
                                     std::to_string(kMaxListenBytesPerClient) +
                                     " bytes of names in all";
          Report("a listen is refused: " + reason);
          Write(connection,
                {static_cast<uint8_t>(FrameKind::kError), frame.id, std::move(frame.channel),
                 std::vector<uint8_t>(reason.begin(), reason.end())},
                name_bytes);
          return;
        }
        // Channel handlers belong to the engine thread.
        PostEngineTask();
        return;
      }
      case FrameKind::kResponse: {
        VelaBundleResponse* response = nullptr;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          auto found = responses_.find(frame.id);
          if (found != responses_.end()) {
            response = found->second;
            responses_.erase(found);
          }
        }
        if (response == nullptr) {
          Report("a response for unknown message id " + std::to_string(frame.id) + " is ignored");
        } else {
          host_->send_response(host_, response, frame.message.data(), frame.message.size());
        }
        return;
      }
      case FrameKind::kClose: {
        std::lock_guard<std::mutex> lock(mutex_);
        if (std::exchange(close_requested_, true)) return;  // one close request is enough
        host_->post_task(host_, &Bridge::CloseTask, this, 0);
        return;
      }
      default:
        Report("a frame of kind " + std::to_string(frame.kind) + " from the client is ignored");
        return;
    }
  }

  // Queues a frame for the client of `connection`, if it is still the one connected; the
  // server thread sends it (any thread, never blocks).
  // A reply passes `request_bytes`, its request's size: the request stays in flight until the
  // reply is sent or dropped.
  void Write(uint64_t connection, const BridgeFrame& frame,
             std::optional<size_t> request_bytes = std::nullopt) {
    std::vector<uint8_t> bytes = EncodeFrame(frame);
    bool wake;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (client_fd_ < 0 || connection != connection_ || bytes.empty()) {
        if (!request_bytes) return;
        // Dropped: the server may take more requests now.
        ReleaseLocked(*request_bytes);
        wake = true;
      } else {
        wake = out_.empty();
        out_.push_back({std::move(bytes), 0, request_bytes});
      }
    }
    if (wake) Wake();
  }

  // Ends the connection: the native messages it left unanswered get the empty reply, and the
  // channels it listened on are released.
  void Disconnect() {
    std::map<uint32_t, VelaBundleResponse*> unanswered;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      close(client_fd_);
      client_fd_ = -1;
      for (const Outgoing& frame : out_) {
        if (frame.request_bytes) ReleaseLocked(*frame.request_bytes);
      }
      out_.clear();
      unanswered.swap(responses_);
      listen_requests_.clear();
      client_listens_.clear();
      client_listen_bytes_ = 0;
      release_listeners_ = true;
    }
    for (auto& [id, response] : unanswered) host_->send_response(host_, response, nullptr, 0);
    PostEngineTask();
  }

  // Posts the engine task unless one is pending already: it applies every listen request and
  // release made before it runs, so clients that come and go at any rate leave at most one
  // in the engine's queue.
  void PostEngineTask() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (std::exchange(engine_task_posted_, true)) return;
    }
    if (!host_->post_task(host_, &Bridge::EngineTask, this, 0)) {
      std::lock_guard<std::mutex> lock(mutex_);
      engine_task_posted_ = false;  // the engine is stopping
    }
  }

  // Posts a redraw unless one is pending already: it draws the state of the moment it runs.
  void PostRedraw() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (std::exchange(redraw_posted_, true)) return;
    }
    if (!host_->post_task(host_, &Bridge::RedrawTask, this, 0)) {
      std::lock_guard<std::mutex> lock(mutex_);
      redraw_posted_ = false;
    }
  }

  static void RedrawTask(void* user_data) {
    auto* bridge = static_cast<Bridge*>(user_data);
    {
      std::lock_guard<std::mutex> lock(bridge->mutex_);
      bridge->redraw_posted_ = false;
    }
    bridge->Draw();
  }

  // Engine thread: applies the listen requests and releases.
  static void EngineTask(void* user_data) {
    auto* bridge = static_cast<Bridge*>(user_data);
    std::set<std::string> requests;
    bool release = false;
    {
      std::lock_guard<std::mutex> lock(bridge->mutex_);
      requests.swap(bridge->listen_requests_);
      bridge->engine_task_posted_ = false;
      release = std::exchange(bridge->release_listeners_, false);
    }
    const VelaBundleHost* host = bridge->host_;
    if (release) {
      for (const std::string& channel : bridge->listened_) {
        host->set_message_handler(host, channel.c_str(), nullptr, nullptr);
      }
      bridge->listened_.clear();
      bridge->Draw();
    }
    for (const std::string& channel : requests) {
      if (host->set_message_handler(host, channel.c_str(), &Bridge::OnNativeMessage, bridge)) {
        bridge->listened_.insert(channel);
      } else {
        Report("cannot listen on channel \"" + channel + "\"");
      }
    }
  }

  // Engine thread: native code's reply to a client's message.
  static void OnReply(const uint8_t* data, size_t size, void* user_data) {
    auto* pending = static_cast<PendingSend*>(user_data);
    BridgeFrame frame{static_cast<uint8_t>(FrameKind::kReply), pending->id,
                      std::move(pending->channel), std::vector<uint8_t>(data, data + size)};
    pending->bridge->Write(pending->connection, frame, pending->request_bytes);
    delete pending;
  }

  // Engine thread: native code sent a message on a channel the client listens on.
  static void OnNativeMessage(const char* channel, const uint8_t* data, size_t size,
                              VelaBundleResponse* response, void* user_data) {
    auto* bridge = static_cast<Bridge*>(user_data);
    uint64_t connection;
    uint32_t id;
    {
      std::lock_guard<std::mutex> lock(bridge->mutex_);
      if (bridge->client_fd_ < 0) {
        bridge->host_->send_response(bridge->host_, response, nullptr, 0);
        return;
      }
      connection = bridge->connection_;
      id = bridge->next_message_id_++;
      bridge->responses_[id] = response;
    }
    bridge->Write(connection, {static_cast<uint8_t>(FrameKind::kMessage), id, channel,
                               std::vector<uint8_t>(data, data + size)});
  }

  static void OnDraw(void* user_data) { static_cast<Bridge*>(user_data)->Draw(); }

  static void OnViewMetrics(const VelaBundleViewMetrics*, void* user_data) {
    static_cast<Bridge*>(user_data)->Draw();
  }

  // Engine thread, last call into the bundle: stops the server and removes the socket.
  static void OnShutdown(void* user_data) {
    auto* bridge = static_cast<Bridge*>(user_data);
    bridge->Stop();
    delete bridge;
  }

  void Stop() {
    if (server_.joinable()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
      }
      Wake();
      server_.join();
    }
    if (listen_fd_ >= 0) close(listen_fd_);
    if (wake_fd_ >= 0) close(wake_fd_);
    if (!socket_path_.empty()) unlink(socket_path_.c_str());
  }

  const VelaBundleHost* host_;
  int listen_fd_ = -1;
  int wake_fd_ = -1;
  std::string socket_path_;
  std::thread server_;

  // Shared by the server thread and the engine thread.
  std::mutex mutex_;
  int client_fd_ = -1;
  uint64_t connection_ = 0;  // counts the connections; replies go only to their own
  uint32_t next_message_id_ = 1;
  std::map<uint32_t, VelaBundleResponse*> responses_;
  // Frames for the connected client, oldest first, with how much of the first was sent.
  struct Outgoing {
    std::vector<uint8_t> bytes;
    size_t sent;
    std::optional<size_t> request_bytes;  // for a reply: the size of its request
  };
  std::deque<Outgoing> out_;
  size_t in_flight_ = 0;
  size_t in_flight_bytes_ = 0;
  bool stopping_ = false;
  std::set<std::string> listen_requests_;
  // The channels the connected client listens on, and the bytes of their names.
  std::set<std::string> client_listens_;
  size_t client_listen_bytes_ = 0;
  bool engine_task_posted_ = false;
  bool redraw_posted_ = false;
  bool close_requested_ = false;
  bool release_listeners_ = false;
  std::string status_;
  uint64_t relayed_ = 0;

  // Engine thread only.
  std::set<std::string> listened_;
};

}  // namespace
}  // namespace tervala_bundle

extern "C" VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                                   const char* const* argv) {
  using tervala_bundle::Bridge;
  using tervala_bundle::kSocketFlag;
  try {
    std::string path;
    bool found = false;
    for (int i = 0; i < argc; ++i) {
      const std::string_view argument = argv[i];
      if (argument.substr(0, kSocketFlag.size()) == kSocketFlag) {
        path = std::string(argument.substr(kSocketFlag.size()));
        found = true;
      } else {
        tervala_bundle::Report("unknown argument \"" + std::string(argument) + "\" is ignored");
      }
    }
    auto* bridge = new Bridge(host);
    if (!found) tervala_bundle::Report("usage: tervala_app --bridge-socket=PATH");
    if (!found || !bridge->Listen(path)) {
      tervala_bundle::EndWithFailure();
    }
    bridge->InstallHandlers();
    bridge->Draw();
  } catch (const std::exception& error) {
    tervala_bundle::Report(std::string("cannot start: ") + error.what());
    tervala_bundle::EndWithFailure();
  }
}
