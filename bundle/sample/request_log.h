// The requests the sample application sent on the user's behalf and how each stands: pending,
// answered (with what), or failed (with the error's code and message). The window shows the
// latest few.
#ifndef TERVALA_BUNDLE_SAMPLE_REQUEST_LOG_H_
#define TERVALA_BUNDLE_SAMPLE_REQUEST_LOG_H_

#include <cstddef>
#include <deque>
#include <string>

namespace tervala_bundle {

class RequestLog {
 public:
  // How many requests are kept; older ones are forgotten.
  static constexpr size_t kKept = 7;

  struct Entry {
    enum class State { kPending, kAnswered, kFailed };
    int id = 0;
    std::string what;  // "Create app \"name\""
    State state = State::kPending;
    std::string detail;  // the answer, or "code: message"

    // "Create app "name": pending", "...: answered: ...", "...: error code: message".
    std::string Text() const;
  };

  // Records a request that was just sent; its id for the answer.
  int Start(std::string what);
  void Answer(int id, std::string detail);
  void Fail(int id, const std::string& code, const std::string& message);

  // Oldest first.
  const std::deque<Entry>& entries() const { return entries_; }

 private:
  Entry* Get(int id);

  std::deque<Entry> entries_;
  int next_id_ = 1;
};

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_SAMPLE_REQUEST_LOG_H_
