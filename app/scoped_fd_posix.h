#ifndef TERVALA_APP_SCOPED_FD_POSIX_H_
#define TERVALA_APP_SCOPED_FD_POSIX_H_

// A file descriptor closed when its owner goes out of scope, for the POSIX file code of the
// app core.

#include <unistd.h>

namespace nimbus {

class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;

  int get() const { return fd_; }
  // Closes now and reports whether closing succeeded (it can report a deferred write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_SCOPED_FD_POSIX_H_
