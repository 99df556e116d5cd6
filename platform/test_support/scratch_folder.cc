#include "platform/test_support/scratch_folder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <system_error>
#include <thread>

#include "platform/test_support/paths.h"

namespace tervala_testing {

ScratchFolder::ScratchFolder(std::string_view prefix) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100 && !error; ++attempt) {
    char suffix[20];
    std::snprintf(suffix, sizeof(suffix), "-%016llx", static_cast<unsigned long long>(random()));
    const std::filesystem::path candidate = base / PathFromUtf8(std::string(prefix) + suffix);
    // create_directory is false, without an error, when the name exists already.
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate;
      utf8_ = PathToUtf8(path_);
      return;
    }
  }
  std::fprintf(stderr, "cannot make a scratch folder in the temporary folder: %s\n",
               error.message().c_str());
  std::abort();
}

ScratchFolder::~ScratchFolder() {
  // A program that ran from the folder may keep its files in use for a moment after it has
  // ended (Windows lets go of a process's image only once the system has finished with the
  // process), so the removal is tried again for a while. A folder that stays is named.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::error_code error;
  for (;;) {
    // Read-only entries left by a test would stop the removal on Windows.
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    error.clear();
    std::filesystem::remove_all(path_, error);
    if (!error || !std::filesystem::exists(path_, ignored)) return;
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::fprintf(stderr, "cannot remove the scratch folder %s: %s\n", utf8_.c_str(),
               error.message().c_str());
}

std::string ScratchFolder::Join(std::string_view relative) const {
  return JoinPath(utf8_, relative);
}

}  // namespace tervala_testing
