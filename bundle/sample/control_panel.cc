#include "bundle/sample/control_panel.h"

#include <algorithm>
#include <utility>

#include "bundle/sample/bitmap_font.h"

namespace tervala_bundle {
namespace {

constexpr uint32_t kLeftButton = 0x1;  // as VELA_BUNDLE_BUTTON_LEFT

// Control characters (Tab, Enter, Backspace and Escape come as characters too) are keys,
// not text.
bool IsText(std::string_view text) {
  if (text.empty()) return false;
  const auto first = static_cast<unsigned char>(text[0]);
  return first >= 0x20 && first != 0x7F;
}

}  // namespace

void ControlPanel::Add(Control control) {
  control.starts_row = break_row_;
  break_row_ = false;
  controls_.push_back(std::move(control));
  if (!focused_) focused_ = 0;
}

void ControlPanel::AddTextField(int id, std::string placeholder, size_t columns) {
  Control control;
  control.id = id;
  control.kind = Kind::kTextField;
  control.label = std::move(placeholder);
  control.columns = columns;
  Add(std::move(control));
}

void ControlPanel::AddButton(int id, std::string label) {
  Control control;
  control.id = id;
  control.label = std::move(label);
  Add(std::move(control));
}

void ControlPanel::AddToggle(int id, std::string label, bool checked) {
  Control control;
  control.id = id;
  control.kind = Kind::kToggle;
  control.label = std::move(label);
  control.checked = checked;
  Add(std::move(control));
}

int64_t ControlPanel::Layout(int64_t left, int64_t top, int64_t width, int scale) {
  scale = std::max(scale, 1);
  const int64_t char_width = int64_t{BitmapFont::kCellWidth} * scale;
  const int64_t height = (int64_t{BitmapFont::kCellHeight} + 2 * kPadY) * scale;
  const int64_t gap = int64_t{kGap} * scale;
  int64_t x = left;
  int64_t y = top;
  for (size_t i = 0; i < controls_.size(); ++i) {
    Control& control = controls_[i];
    int64_t inner = 0;
    switch (control.kind) {
      case Kind::kTextField:
        inner = static_cast<int64_t>(control.columns) * char_width;
        break;
      case Kind::kButton:
        inner = static_cast<int64_t>(control.label.size()) * char_width;
        break;
      case Kind::kToggle:
        inner = (kBox + kPadX) * scale + static_cast<int64_t>(control.label.size()) * char_width;
        break;
    }
    const int64_t control_width = inner + 2 * kPadX * scale;
    // A control that does not fit beside the one before goes to the next row.
    if (i > 0 && (control.starts_row || x + control_width > left + width)) {
      x = left;
      y += height + gap;
    }
    control.bounds = Rect{x, y, control_width, height};
    x += control_width + gap;
  }
  return controls_.empty() ? top : y + height;
}

std::optional<size_t> ControlPanel::HitTest(int64_t x, int64_t y) const {
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i].bounds.Contains(x, y)) return i;
  }
  return std::nullopt;
}

const ControlPanel::Control* ControlPanel::Find(int id) const {
  for (const Control& control : controls_) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

void ControlPanel::SetChecked(int id, bool checked) {
  for (Control& control : controls_) {
    if (control.id == id) control.checked = checked;
  }
}

std::optional<int> ControlPanel::Press(size_t index) const {
  const Control& control = controls_[index];
  if (control.kind != Kind::kTextField) return control.id;
  return default_id_;
}

ControlPanel::Outcome ControlPanel::PointerMove(int64_t x, int64_t y) {
  Outcome outcome;
  const std::optional<size_t> over = HitTest(x, y);
  outcome.changed = over != hovered_;
  hovered_ = over;
  return outcome;
}

ControlPanel::Outcome ControlPanel::PointerDown(int64_t x, int64_t y, uint32_t button) {
  Outcome outcome = PointerMove(x, y);
  if (button != kLeftButton || !hovered_) return outcome;
  pressed_ = hovered_;
  focused_ = hovered_;
  outcome.changed = true;
  return outcome;
}

ControlPanel::Outcome ControlPanel::PointerUp(int64_t x, int64_t y, uint32_t button) {
  Outcome outcome = PointerMove(x, y);
  if (button != kLeftButton || !pressed_) return outcome;
  // Released elsewhere, the press is abandoned, as with any button.
  if (hovered_ == pressed_ && controls_[*pressed_].kind != Kind::kTextField) {
    outcome.activated = controls_[*pressed_].id;
  }
  pressed_.reset();
  outcome.changed = true;
  return outcome;
}

ControlPanel::Outcome ControlPanel::KeyDown(uint32_t key_code, uint32_t modifiers, bool repeat) {
  Outcome outcome;
  const size_t count = controls_.size();
  switch (key_code) {
    case kKeyTab:
      if (count == 0) break;
      if (modifiers & kModifierShift) {
        focused_ = focused_ && *focused_ > 0 ? *focused_ - 1 : count - 1;
      } else {
        focused_ = focused_ ? (*focused_ + 1) % count : 0;
      }
      outcome.changed = true;
      break;
    case kKeyReturn:
      if (!repeat && focused_) outcome.activated = Press(*focused_);
      break;
    case kKeySpace:
      // In the text field Space is a character.
      if (!repeat && focused_ && controls_[*focused_].kind != Kind::kTextField) {
        outcome.activated = controls_[*focused_].id;
      }
      break;
    case kKeyBack:
      if (focused_ && controls_[*focused_].kind == Kind::kTextField && !text_.empty()) {
        // Drop the whole last character: its continuation bytes and its first byte.
        size_t end = text_.size() - 1;
        while (end > 0 && (static_cast<unsigned char>(text_[end]) & 0xC0) == 0x80) --end;
        text_.erase(end);
        outcome.changed = true;
      }
      break;
    case kKeyEscape:
      outcome.close = true;
      break;
    default:
      break;
  }
  return outcome;
}

ControlPanel::Outcome ControlPanel::Character(std::string_view text) {
  Outcome outcome;
  if (!focused_ || controls_[*focused_].kind != Kind::kTextField || !IsText(text)) return outcome;
  if (text_.size() + text.size() > kMaxText) return outcome;
  text_ += text;
  outcome.changed = true;
  return outcome;
}

ControlPanel::Outcome ControlPanel::ViewFocus(bool focused) {
  Outcome outcome;
  outcome.changed = focused != view_focused_;
  view_focused_ = focused;
  return outcome;
}

}  // namespace tervala_bundle
