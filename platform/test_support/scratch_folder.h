// A fresh empty folder for a test, removed with everything in it when the test is done.
#ifndef TERVALA_PLATFORM_TEST_SUPPORT_SCRATCH_FOLDER_H_
#define TERVALA_PLATFORM_TEST_SUPPORT_SCRATCH_FOLDER_H_

#include <filesystem>
#include <string>
#include <string_view>

namespace tervala_testing {

// A new folder under the system's temporary folder, named after `prefix` and a random part
// (created exclusively, so two tests never share one). Aborts the test program when no
// folder can be made: every test that asks for one would fail for the same reason.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view prefix = "tervala-test");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path as UTF-8 with the platform's separators, for APIs that take strings.
  const std::string& utf8() const { return utf8_; }
  // `relative` (UTF-8, '/' or the platform's separator) inside the folder, as UTF-8.
  std::string Join(std::string_view relative) const;

 private:
  std::filesystem::path path_;
  std::string utf8_;
};

}  // namespace tervala_testing

#endif  // TERVALA_PLATFORM_TEST_SUPPORT_SCRATCH_FOLDER_H_
