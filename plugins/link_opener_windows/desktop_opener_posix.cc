#include "plugins/link_opener_windows/desktop_opener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace tervala_plugins {
namespace {

// Whether the environment variable `name` is set to something other than "" or "0".
bool IsSwitchOn(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace

void OpenWithDesktop(const std::string& url, OpenDone done) {
  if (IsSwitchOn("TERVALA_LINK_OPENER_DRY_RUN")) {
    done(std::nullopt);
    return;
  }
  const char* configured = std::getenv("TERVALA_LINK_OPENER");
  const std::string opener =
      configured != nullptr && configured[0] != '\0' ? configured : "xdg-open";
  std::string url_argument = url;
  std::string program = opener;
  char* argv[] = {program.data(), url_argument.data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, opener.c_str(), nullptr, nullptr, argv, environ);
  if (spawned != 0) {
    done("Cannot start " + opener + ": " + std::strerror(spawned));
    return;
  }
  // The opener may take a while (it can wait for the application it starts); wait for it
  // off the UI thread, and answer from there.
  std::thread([child, opener, done = std::move(done)] {
    int status = 0;
    pid_t waited;
    do {
      waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0) {
      done("Lost track of " + opener + ": " + std::strerror(errno));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      done(std::nullopt);
    } else if (WIFEXITED(status)) {
      done(opener + " failed with exit status " + std::to_string(WEXITSTATUS(status)));
    } else {
      done(opener + " was ended by signal " + std::to_string(WTERMSIG(status)));
    }
  }).detach();
}

}  // namespace tervala_plugins
