// What the sample application knows about the core's answers, and how it shows them: the text
// lines of its frames and its summary on standard output.
#ifndef TERVALA_BUNDLE_SAMPLE_SAMPLE_VIEW_H_
#define TERVALA_BUNDLE_SAMPLE_SAMPLE_VIEW_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bundle/sample/canvas.h"
#include "bundle/sample/nimbus_records.h"

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
};

// One line of text in a frame.
struct TextLine {
  enum class Style { kTitle, kHeading, kText, kError };
  Style style = Style::kText;
  std::string text;
};

// The lines a frame shows for the status.
std::vector<TextLine> DescribeStatus(const SampleStatus& status);

// Draws the lines on a canvas of the view's size; the text grows with the DPI.
Canvas RenderLines(const std::vector<TextLine>& lines, uint32_t width, uint32_t height,
                   uint32_t dpi);

// The few lines the application prints once the core has answered.
std::string Summary(const SampleStatus& status);

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_SAMPLE_SAMPLE_VIEW_H_
