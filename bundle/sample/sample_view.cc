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
constexpr Color kPendingText{255, 213, 79};
constexpr Color kAnsweredText{165, 214, 167};
constexpr Color kControl{52, 73, 94};
constexpr Color kControlHover{72, 101, 130};
constexpr Color kControlPressed{0, 121, 107};
constexpr Color kFocusRing{255, 202, 40};
constexpr Color kFieldBackground{236, 239, 244};
constexpr Color kFieldText{33, 33, 33};
constexpr Color kPlaceholder{120, 128, 140};
constexpr Color kChecked{0, 200, 170};

// The margin around everything, in font pixels.
constexpr int kMargin = 4;

// The bottom of the title band and the space below it.
int64_t TitleBottom(int scale) { return (2 * BitmapFont::kCellHeight + 3 * kMargin) * scale; }

// Draws the lines from `y` down; returns the y below the last one.
int64_t DrawLines(Canvas& canvas, const std::vector<TextLine>& lines, int64_t y, int scale) {
  const int64_t margin = kMargin * scale;
  const int64_t line_height = BitmapFont::kCellHeight * scale;
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
      case TextLine::Style::kPending:
        color = kPendingText;
        break;
      case TextLine::Style::kAnswered:
        color = kAnsweredText;
        break;
    }
    canvas.DrawText(margin, y, line.text, scale, color);
    y += line_height;
  }
  return y;
}

// Draws one control in its state: hovered, pressed (while the pointer stays on it), with the
// keyboard focus (a ring, while the view has the focus), checked.
void DrawControl(Canvas& canvas, const ControlPanel& panel, size_t index, int scale) {
  const ControlPanel::Control& control = panel.controls()[index];
  const Rect& r = control.bounds;
  const int64_t pad_x = ControlPanel::kPadX * scale;
  const int64_t pad_y = ControlPanel::kPadY * scale;
  const bool focused = panel.view_focused() && panel.focused() == index;
  if (focused) {
    const int64_t ring = std::max(scale / 2, 1) + 1;
    canvas.FillRect(r.x - 2 * ring, r.y - 2 * ring, r.width + 4 * ring, r.height + 4 * ring,
                    kFocusRing);
    canvas.FillRect(r.x - ring, r.y - ring, r.width + 2 * ring, r.height + 2 * ring, kBackground);
  }
  if (control.kind == ControlPanel::Kind::kTextField) {
    canvas.FillRect(r.x, r.y, r.width, r.height, kFieldBackground);
    const int64_t char_width = BitmapFont::kCellWidth * scale;
    const size_t fits =
        static_cast<size_t>(std::max<int64_t>((r.width - 2 * pad_x) / char_width, 1));
    const std::string& text = panel.text();
    int64_t end = r.x + pad_x;
    if (text.empty()) {
      canvas.DrawText(end, r.y + pad_y, control.label, scale, kPlaceholder);
    } else {
      // The end of a text too long for the field, where the typing goes on.
      const std::string shown = text.size() < fits ? text : text.substr(text.size() - fits + 1);
      end = canvas.DrawText(end, r.y + pad_y, shown, scale, kFieldText);
    }
    if (focused) {
      // Before the placeholder's first letter, or after the text's last.
      if (text.empty()) end -= 2 * scale;
      canvas.FillRect(end, r.y + pad_y - scale, scale, (BitmapFont::kCellHeight + 1) * scale,
                      kFieldText);
    }
    return;
  }
  Color fill = kControl;
  if (panel.hovered() == index) fill = panel.pressed() == index ? kControlPressed : kControlHover;
  canvas.FillRect(r.x, r.y, r.width, r.height, fill);
  int64_t x = r.x + pad_x;
  if (control.kind == ControlPanel::Kind::kToggle) {
    const int64_t box = ControlPanel::kBox * scale;
    const int64_t top = r.y + (r.height - box) / 2;
    canvas.FillRect(x, top, box, box, kTitleText);
    canvas.FillRect(x + scale, top + scale, box - 2 * scale, box - 2 * scale,
                    control.checked ? kChecked : fill);
    x += box + pad_x;
  }
  canvas.DrawText(x, r.y + pad_y, control.label, scale, kTitleText);
}

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

bool SampleStatus::RemoveApp(const std::string& name) {
  auto same = std::find_if(apps.begin(), apps.end(),
                           [&](const AppDescription& known) { return known.name == name; });
  if (same == apps.end()) return false;
  apps.erase(same);
  return true;
}

std::vector<TextLine> DescribeStatus(const SampleStatus& status, bool brief) {
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
  for (const AppDescription& app : status.apps) {
    if (!brief) {
      DescribeApp(app, lines);
      continue;
    }
    const AppOptionsRecord& options = app.options;
    lines.push_back({Style::kText, "  " + app.name + ": project " +
                                       OrNone(options.Text(options.kProjectId)) + ", app id " +
                                       OrNone(options.Text(options.kAppId))});
  }
  return lines;
}

Canvas RenderLines(const std::vector<TextLine>& lines, uint32_t width, uint32_t height,
                   uint32_t dpi) {
  Canvas canvas(width, height, kBackground);
  DrawLines(canvas, lines, 0, TextScaleForDpi(dpi));
  return canvas;
}

std::string ConsoleUrl(const std::string& project_id) {
  std::string url = "https://console.nimbus.example/";
  if (project_id.empty()) return url;
  url += "project/";
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : project_id) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' || byte == '~') {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0xF];
    }
  }
  return url + "/overview";
}

ControlPanel MakeSamplePanel() {
  ControlPanel panel;
  panel.AddTextField(kNameField, "type an app name", 24);
  panel.AddButton(kCreateButton, "Create app");
  panel.AddButton(kDeleteButton, "Delete app");
  panel.SetDefault(kCreateButton);
  panel.BreakRow();
  panel.AddToggle(kDataCollectionToggle, "Automatic data collection", false);
  panel.AddButton(kOptionsButton, "Resource options");
  panel.AddButton(kPermissionButton, std::string("Check ") + kCheckedPermission + " permission");
  panel.AddButton(kConsoleButton, "Open console");
  return panel;
}

int64_t LayOutSamplePanel(ControlPanel& panel, uint32_t width, uint32_t dpi) {
  const int scale = TextScaleForDpi(dpi);
  const int64_t margin = kMargin * scale;
  return panel.Layout(margin, TitleBottom(scale) + margin, int64_t{width} - 2 * margin, scale);
}

Canvas RenderSampleFrame(const SampleStatus& status, const ControlPanel& panel,
                         const RequestLog& requests, uint32_t width, uint32_t height,
                         uint32_t dpi) {
  using Style = TextLine::Style;
  Canvas canvas(width, height, kBackground);
  const int scale = TextScaleForDpi(dpi);
  std::vector<TextLine> lines = DescribeStatus(status);
  // The title band, with the keys on its right when they fit.
  DrawLines(canvas, {lines.front()}, 0, scale);
  const std::string keys = "Tab: next  Enter: press  Esc: close";
  const int64_t keys_width = static_cast<int64_t>(keys.size()) * BitmapFont::kCellWidth * scale;
  const int64_t keys_left = canvas.width() - keys_width - kMargin * scale;
  if (keys_left > 20 * BitmapFont::kCellWidth * scale) {
    canvas.DrawText(keys_left, (TitleBottom(scale) - BitmapFont::kCellHeight * scale) / 2, keys,
                    scale, kTitleText);
  }

  int64_t y = 0;
  for (const ControlPanel::Control& control : panel.controls()) {
    y = std::max(y, control.bounds.y + control.bounds.height);
  }
  for (size_t i = 0; i < panel.controls().size(); ++i) DrawControl(canvas, panel, i, scale);

  std::vector<TextLine> request_lines = {{Style::kHeading, "Requests"}};
  for (const RequestLog::Entry& entry : requests.entries()) {
    Style style = Style::kPending;
    if (entry.state == RequestLog::Entry::State::kAnswered) style = Style::kAnswered;
    if (entry.state == RequestLog::Entry::State::kFailed) style = Style::kError;
    request_lines.push_back({style, "  " + entry.Text()});
  }
  if (requests.entries().empty()) {
    request_lines.push_back({Style::kText, "  (none yet: use the controls above)"});
  }
  y = DrawLines(canvas, request_lines, y + kMargin * scale, scale);
  lines.erase(lines.begin());  // the title, drawn already
  // Apps in a line each when their details would run past the bottom.
  int64_t needed = kMargin * scale;
  for (const TextLine& line : lines) {
    needed += BitmapFont::kCellHeight * scale;
    if (line.style == TextLine::Style::kHeading) needed += kMargin * scale;  // as DrawLines
  }
  if (y + needed > canvas.height()) {
    lines = DescribeStatus(status, true);
    lines.erase(lines.begin());
  }
  DrawLines(canvas, lines, y + kMargin * scale, scale);
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
