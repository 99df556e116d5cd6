#ifndef TERVALA_APP_SCOPED_HANDLE_WIN_H_
#define TERVALA_APP_SCOPED_HANDLE_WIN_H_

// A Win32 file handle closed when its owner goes out of scope, for the Windows file code of
// the app core.

#include <windows.h>

namespace nimbus {

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes the handle held, if any, and holds `handle` instead.
  void Reset(HANDLE handle) {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }
  // Closes now and reports whether closing succeeded.
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_SCOPED_HANDLE_WIN_H_
