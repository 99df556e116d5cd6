// The controls of an application window (a text field, buttons and toggles) and what the user
// does with them: their layout at the view's scale, the control under the pointer or pressed,
// the keyboard focus and the text typed. It draws nothing and sends nothing; it tells its
// owner which control was activated, so its logic can be tested without an engine.
#ifndef TERVALA_BUNDLE_SAMPLE_CONTROL_PANEL_H_
#define TERVALA_BUNDLE_SAMPLE_CONTROL_PANEL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervala_bundle {

// A rectangle in view pixels.
struct Rect {
  int64_t x = 0;
  int64_t y = 0;
  int64_t width = 0;
  int64_t height = 0;

  bool Contains(int64_t px, int64_t py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
};

class ControlPanel {
 public:
  enum class Kind { kTextField, kButton, kToggle };

  struct Control {
    int id = 0;
    Kind kind = Kind::kButton;
    std::string label;     // a button's or toggle's text; a text field's placeholder
    size_t columns = 0;    // a text field's width in characters
    bool checked = false;  // toggles
    bool starts_row = false;
    Rect bounds;  // set by Layout
  };

  // The Windows virtual-key codes the panel reacts to.
  static constexpr uint32_t kKeyBack = 0x08;
  static constexpr uint32_t kKeyTab = 0x09;
  static constexpr uint32_t kKeyReturn = 0x0D;
  static constexpr uint32_t kKeyEscape = 0x1B;
  static constexpr uint32_t kKeySpace = 0x20;
  static constexpr uint32_t kModifierShift = 0x1;  // as VELA_BUNDLE_MODIFIER_SHIFT

  // Spacing in font pixels (multiplied by the scale): the padding inside a control, the gap
  // between controls and a toggle's box.
  static constexpr int kPadX = 5;
  static constexpr int kPadY = 4;
  static constexpr int kGap = 5;
  static constexpr int kBox = 9;

  // The longest text the field takes, in bytes of UTF-8.
  static constexpr size_t kMaxText = 48;

  // What an input event did.
  struct Outcome {
    bool changed = false;          // the panel looks different: draw it again
    std::optional<int> activated;  // the control clicked, or pressed with Enter or Space
    bool close = false;            // Escape: the user wants the window closed
  };

  // Controls are laid out and take the focus in the order they are added; the first added
  // has the focus. Ids are the owner's.
  void AddTextField(int id, std::string placeholder, size_t columns);
  void AddButton(int id, std::string label);
  void AddToggle(int id, std::string label, bool checked);
  // The next control added begins a new row.
  void BreakRow() { break_row_ = true; }
  // The control Enter activates while the text field has the focus.
  void SetDefault(int id) { default_id_ = id; }

  // Places the controls in rows from (left, top), wrapping at `width` pixels, at the text
  // `scale` (font pixels per glyph pixel); returns the bottom of the last row.
  int64_t Layout(int64_t left, int64_t top, int64_t width, int scale);

  // Pointer events in view pixels; only the left button presses controls. A control is
  // activated when the button goes down and up on it.
  Outcome PointerMove(int64_t x, int64_t y);
  Outcome PointerDown(int64_t x, int64_t y, uint32_t button);
  Outcome PointerUp(int64_t x, int64_t y, uint32_t button);
  // Keys: Tab and Shift+Tab move the focus, Enter and Space press the focused control (Enter
  // in the text field presses the default control), Backspace deletes the last character,
  // Escape asks to close. `repeat` is set for auto-repeated keys, which press nothing.
  Outcome KeyDown(uint32_t key_code, uint32_t modifiers, bool repeat);
  // A character typed (UTF-8); it goes into the text field when that has the focus.
  Outcome Character(std::string_view text);
  // The view gaining or losing the keyboard focus.
  Outcome ViewFocus(bool focused);

  const std::vector<Control>& controls() const { return controls_; }
  const Control* Find(int id) const;
  void SetChecked(int id, bool checked);
  // The index of the control at (x, y), if any.
  std::optional<size_t> HitTest(int64_t x, int64_t y) const;

  std::optional<size_t> hovered() const { return hovered_; }
  std::optional<size_t> pressed() const { return pressed_; }
  std::optional<size_t> focused() const { return focused_; }
  bool view_focused() const { return view_focused_; }
  const std::string& text() const { return text_; }

 private:
  void Add(Control control);
  std::optional<int> Press(size_t index) const;

  std::vector<Control> controls_;
  bool break_row_ = false;
  std::optional<int> default_id_;
  std::optional<size_t> hovered_;
  std::optional<size_t> pressed_;
  std::optional<size_t> focused_;
  bool view_focused_ = false;
  std::string text_;
};

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_SAMPLE_CONTROL_PANEL_H_
