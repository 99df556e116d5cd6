#include "bundle/sample/sample_view.h"

#include <algorithm>
#include <utility>

#include "bundle/sample/bitmap_font.h"

namespace tervala_bundle {
namespace {

constexpr Color kBackground{24, 30, 42};
constexpr Color kTitleBar{0, 150, 136};
constexpr Color kTitleText{255, 255, 255};
constexpr Color kHeadingText{128, 222, 234};
constexpr Color kBodyText{224, 228, 236};
constexpr Color kErrorText{255, 138, 128};

std::string OrNone(const std::string& text) { return text.empty() ? "(none)" : text; }

void DescribeApp(const AppDescription& app, std::vector<TextLine>& lines) {
  using Style = TextLine::Style;
  const AppOptionsRecord& options = app.options;
  lines.push_back({Style::kHeading, "App " + app.name});
  lines.push_back({Style::kText, "  project:      " + OrNone(options.Text(options.kProjectId))});
  lines.push_back({Style::kText, "  app id:       " + OrNone(options.Text(options.kAppId))});
  lines.push_back({Style::kText, "  api key:      " + OrNone(options.Text(options.kApiKey))});
  lines.push_back(
      {Style::kText, "  sender id:    " + OrNone(options.Text(options.kMessagingSenderId))});
  lines.push_back({Style::kText, "  database url: " + OrNone(options.Text(options.kDatabaseUrl))});
  lines.push_back(
      {Style::kText, "  storage:      " + OrNone(options.Text(options.kStorageBucket))});
  lines.push_back({Style::kText, "  plug-in constants: " +
                                     ValueText(vela::EncodableValue(app.plugin_constants))});
}

}  // namespace

void SampleStatus::AddApp(AppDescription app) {
  auto same = std::find_if(apps.begin(), apps.end(),
                           [&](const AppDescription& known) { return known.name == app.name; });
  if (same != apps.end()) {
    *same = std::move(app);
  } else {
    apps.push_back(std::move(app));
  }
}

std::vector<TextLine> DescribeStatus(const SampleStatus& status) {
  using Style = TextLine::Style;
  std::vector<TextLine> lines;
  lines.push_back({Style::kTitle, "Tervala"});
  for (const std::string& note : status.notes) lines.push_back({Style::kError, note});
  if (!status.core_answered) {
    lines.push_back({Style::kText, "Starting the Nimbus core..."});
    return lines;
  }
  if (status.core_error) {
    lines.push_back({Style::kError, "initializeCore failed: " + *status.core_error});
  } else {
    lines.push_back({Style::kText, "Nimbus core initialised"});
  }
  if (!status.app_answered) {
    lines.push_back({Style::kText, "Initialising the default app..."});
  } else if (status.app_error) {
    lines.push_back({Style::kError, "initializeApp failed: " + *status.app_error});
  }
  lines.push_back({Style::kHeading, "Apps: " + std::to_string(status.apps.size())});
  for (const AppDescription& app : status.apps) DescribeApp(app, lines);
  return lines;
}

Canvas RenderLines(const std::vector<TextLine>& lines, uint32_t width, uint32_t height,
                   uint32_t dpi) {
  Canvas canvas(width, height, kBackground);
  const int scale = TextScaleForDpi(dpi);
  const int64_t margin = 4 * scale;
  const int64_t line_height = BitmapFont::kCellHeight * scale;
  int64_t y = 0;
  for (const TextLine& line : lines) {
    if (y >= canvas.height()) break;
    Color color = kBodyText;
    switch (line.style) {
      case TextLine::Style::kTitle:
        // The title sits on a band across the whole width, in letters twice the size.
        canvas.FillRect(0, y, canvas.width(), 2 * line_height + 2 * margin, kTitleBar);
        canvas.DrawText(margin, y + margin, line.text, 2 * scale, kTitleText);
        y += 2 * line_height + 3 * margin;
        continue;
      case TextLine::Style::kHeading:
        color = kHeadingText;
        y += margin;
        break;
      case TextLine::Style::kText:
        break;
      case TextLine::Style::kError:
        color = kErrorText;
        break;
    }
    canvas.DrawText(margin, y, line.text, scale, color);
    y += line_height;
  }
  return canvas;
}

std::string Summary(const SampleStatus& status) {
  const std::string prefix = "Tervala sample: ";
  std::string text;
  for (const std::string& note : status.notes) text += prefix + note + "\n";
  if (status.core_error) {
    text += prefix + "initializeCore failed: " + *status.core_error + "\n";
  } else {
    text += prefix + "core initialised; it knew " + std::to_string(status.apps_before) +
            " app(s) before\n";
  }
  if (status.app_error) text += prefix + "initializeApp failed: " + *status.app_error + "\n";
  for (const AppDescription& app : status.apps) {
    const AppOptionsRecord& options = app.options;
    text += prefix + "app " + app.name + ": project " + OrNone(options.Text(options.kProjectId)) +
            ", app id " + OrNone(options.Text(options.kAppId)) + ", plug-in constants " +
            ValueText(vela::EncodableValue(app.plugin_constants)) + "\n";
  }
  if (status.apps.empty()) text += prefix + "no apps\n";
  return text;
}

}  // namespace tervala_bundle
