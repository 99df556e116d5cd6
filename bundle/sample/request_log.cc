#include "bundle/sample/request_log.h"

#include <utility>

namespace tervala_bundle {

std::string RequestLog::Entry::Text() const {
  switch (state) {
    case State::kPending:
      return what + ": pending";
    case State::kAnswered:
      return what + ": answered" + (detail.empty() ? "" : ": " + detail);
    case State::kFailed:
      return what + ": error " + detail;
  }
  return what;
}

int RequestLog::Start(std::string what) {
  Entry entry;
  entry.id = next_id_;
  entry.what = std::move(what);
  entries_.push_back(std::move(entry));
  while (entries_.size() > kKept) entries_.pop_front();
  return next_id_++;
}

RequestLog::Entry* RequestLog::Get(int id) {
  for (Entry& entry : entries_) {
    if (entry.id == id) return &entry;
  }
  return nullptr;  // forgotten already: the answer has nowhere to go
}

void RequestLog::Answer(int id, std::string detail) {
  if (Entry* entry = Get(id)) {
    entry->state = Entry::State::kAnswered;
    entry->detail = std::move(detail);
  }
}

void RequestLog::Fail(int id, const std::string& code, const std::string& message) {
  if (Entry* entry = Get(id)) {
    entry->state = Entry::State::kFailed;
    entry->detail = code + ": " + message;
  }
}

}  // namespace tervala_bundle
