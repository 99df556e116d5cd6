// What the sample application knows about the core's answers, and how it shows them: the text
// lines of its frames and its summary on standard output.
#ifndef TERVALA_BUNDLE_SAMPLE_SAMPLE_VIEW_H_
#define TERVALA_BUNDLE_SAMPLE_SAMPLE_VIEW_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bundle/sample/canvas.h"
#include "bundle/sample/control_panel.h"
#include "bundle/sample/nimbus_records.h"
#include "bundle/sample/request_log.h"

namespace tervala_bundle {

// The answers so far.
struct SampleStatus {
  bool core_answered = false;
  // Set when initializeCore failed; the text says how.
  std::optional<std::string> core_error;
  size_t apps_before = 0;  // apps the core knew before the default app was initialised

  bool app_answered = false;
  std::optional<std::string> app_error;  // "code: message" when initializeApp failed

  // The apps known, the core's list first, then the default app unless listed already.
  std::vector<AppDescription> apps;

  // Lines about the arguments that were ignored.
  std::vector<std::string> notes;

  bool ready() const { return core_answered && app_answered; }

  // Adds the app, or replaces the one of the same name.
  void AddApp(AppDescription app);
  // Removes the app of that name; false when there is none.
  bool RemoveApp(const std::string& name);
};

// One line of text in a frame.
struct TextLine {
  enum class Style { kTitle, kHeading, kText, kError, kPending, kAnswered };
  Style style = Style::kText;
  std::string text;
};

// The lines a frame shows for the status; `brief` gives one line per app instead of its
// details.
std::vector<TextLine> DescribeStatus(const SampleStatus& status, bool brief = false);

// Draws the lines on a canvas of the view's size; the text grows with the DPI.
Canvas RenderLines(const std::vector<TextLine>& lines, uint32_t width, uint32_t height,
                   uint32_t dpi);

// The sample's controls, by id.
enum SampleControl : int {
  kNameField = 1,
  kCreateButton,
  kDeleteButton,
  kDataCollectionToggle,
  kOptionsButton,
  kPermissionButton,
  kConsoleButton,
};

// The permission the permission button asks about, and the channels of the two plug-in
// libraries.
inline constexpr char kCheckedPermission[] = "camera";
inline constexpr char kCheckPermissionChannel[] =
    "dev.vela.plugins.PermissionsWindows.checkPermissionStatus";
inline constexpr char kOpenUrlChannel[] = "dev.vela.plugins.LinkOpenerWindows.openUrl";
// The host's channel that sets the program's exit code: [code].
inline constexpr char kSetExitCodeChannel[] = "dev.tervala.host.setExitCode";

// The backend console's page of a project (its home page without one); characters outside
// the URL-safe set of the project id are percent-encoded.
std::string ConsoleUrl(const std::string& project_id);

// The sample's controls: the app name field with the create and delete buttons on one row,
// the data-collection toggle and the buttons of the other requests on the next.
ControlPanel MakeSamplePanel();

// Lays the panel out where the sample's frames show it for a view `width` pixels wide at
// `dpi`; returns the bottom of the controls.
int64_t LayOutSamplePanel(ControlPanel& panel, uint32_t width, uint32_t dpi);

// The whole frame: the title band, the panel (laid out already by LayOutSamplePanel), the
// latest requests and the status. Everything grows with the DPI.
Canvas RenderSampleFrame(const SampleStatus& status, const ControlPanel& panel,
                         const RequestLog& requests, uint32_t width, uint32_t height, uint32_t dpi);

// The few lines the application prints once the core has answered.
std::string Summary(const SampleStatus& status);

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_SAMPLE_SAMPLE_VIEW_H_
