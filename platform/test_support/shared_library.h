// A shared library loaded by a test (dlopen on POSIX, LoadLibraryW on Windows) and the
// functions it exports, looked up by name. The library stays loaded while the object lives.
#ifndef TERVALA_PLATFORM_TEST_SUPPORT_SHARED_LIBRARY_H_
#define TERVALA_PLATFORM_TEST_SUPPORT_SHARED_LIBRARY_H_

#include <string>

namespace tervala_testing {

class SharedLibrary {
 public:
  // Loads the library at `path` (UTF-8). Check `loaded()`.
  explicit SharedLibrary(const std::string& path);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // The platform's reason when the library could not be loaded.
  const std::string& load_error() const { return load_error_; }

  // Leaves the library loaded for the rest of the process when the object goes (as a
  // plug-in that registered itself somewhere must stay).
  void KeepLoaded() { keep_loaded_ = true; }

  // The exported function `name` as a `Function` pointer, or null.
  template <typename Function>
  Function Find(const char* name) const {
    return reinterpret_cast<Function>(FindAddress(name));
  }

 private:
  // A plain function pointer type, so the casts stay between function pointer types.
  using Address = void (*)();
  Address FindAddress(const char* name) const;

  void* handle_ = nullptr;
  bool keep_loaded_ = false;
  std::string load_error_;
};

}  // namespace tervala_testing

#endif  // TERVALA_PLATFORM_TEST_SUPPORT_SHARED_LIBRARY_H_
