#ifndef TERVALA_PLUGINS_DESKTOP_OPENER_H_
#define TERVALA_PLUGINS_DESKTOP_OPENER_H_

// Hands a URL to the desktop's opener program.

#include <functional>
#include <optional>
#include <string>

namespace tervala_plugins {

// Whether `url` may go to the opener: a scheme (a letter, then letters, digits, "+", "-"
// or "."), a colon, and nothing that is blank or a control character, at most 32768
// bytes. So the opener never sees an option or a second argument.
bool IsOpenableUrl(const std::string& url);

// Called once with nothing when the opener handled the URL, or with an error text.
using OpenDone = std::function<void(std::optional<std::string> error)>;

// Runs the opener (the program named by $TERVALA_LINK_OPENER, else the desktop's) on
// `url` without a shell. `done` runs on another thread when the opener exits, or at once
// when it cannot start. With $TERVALA_LINK_OPENER_DRY_RUN set (and not "0") nothing is
// started and `done` runs at once with success.
void OpenWithDesktop(const std::string& url, OpenDone done);

}  // namespace tervala_plugins

#endif  // TERVALA_PLUGINS_DESKTOP_OPENER_H_
