// The sample's controls without an engine: layout, pointer and keyboard handling, the request
// log and what the frame shows of them.
#include "bundle/sample/control_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bundle/sample/request_log.h"
#include "bundle/sample/sample_view.h"

namespace tervala_bundle {
namespace {

using Panel = ControlPanel;
constexpr uint32_t kLeft = 0x1;
constexpr uint32_t kRight = 0x2;

// A field (default: button 2), a button and a toggle on one row, a button on the next.
Panel ThreeAndOne() {
  Panel panel;
  panel.AddTextField(1, "name", 10);
  panel.AddButton(2, "Go");
  panel.AddToggle(3, "On", false);
  panel.SetDefault(2);
  panel.BreakRow();
  panel.AddButton(4, "Last");
  return panel;
}

// The centre of control `index`.
std::pair<int64_t, int64_t> Centre(const Panel& panel, size_t index) {
  const Rect& r = panel.controls()[index].bounds;
  return {r.x + r.width / 2, r.y + r.height / 2};
}

TEST(ControlPanelTest, LaysOutRowsThatScaleWithTheDpiAndWrap) {
  Panel panel = ThreeAndOne();
  const int64_t bottom = panel.Layout(10, 20, 1000, 2);
  const Rect field = panel.controls()[0].bounds;
  const Rect go = panel.controls()[1].bounds;
  const Rect last = panel.controls()[3].bounds;
  EXPECT_EQ(field.x, 10);
  EXPECT_EQ(field.y, 20);
  EXPECT_EQ(go.y, 20);
  EXPECT_GT(go.x, field.x + field.width);
  EXPECT_EQ(last.x, 10);  // the row break
  EXPECT_GT(last.y, go.y + go.height);
  EXPECT_EQ(bottom, last.y + last.height);

  // Twice the scale (192 DPI), twice the size everywhere.
  Panel large = ThreeAndOne();
  large.Layout(20, 40, 2000, 4);
  for (size_t i = 0; i < panel.controls().size(); ++i) {
    const Rect a = panel.controls()[i].bounds;
    const Rect b = large.controls()[i].bounds;
    EXPECT_EQ(b.x, 2 * a.x);
    EXPECT_EQ(b.y, 2 * a.y);
    EXPECT_EQ(b.width, 2 * a.width);
    EXPECT_EQ(b.height, 2 * a.height);
  }

  // Too narrow for the row: the button goes under the field.
  panel.Layout(10, 20, field.width + 5, 2);
  EXPECT_EQ(panel.controls()[1].bounds.x, 10);
  EXPECT_GT(panel.controls()[1].bounds.y, 20);
  EXPECT_EQ(panel.HitTest(0, 0), std::nullopt);
  const auto [x, y] = Centre(panel, 2);
  EXPECT_EQ(panel.HitTest(x, y), 2u);
}

TEST(ControlPanelTest, AClickActivatesOnlyWhenPressedAndReleasedOnAButton) {
  Panel panel = ThreeAndOne();
  panel.Layout(0, 0, 1000, 2);
  const auto [gx, gy] = Centre(panel, 1);
  const auto [fx, fy] = Centre(panel, 0);

  EXPECT_TRUE(panel.PointerMove(gx, gy).changed);
  EXPECT_EQ(panel.hovered(), 1u);
  EXPECT_FALSE(panel.PointerMove(gx + 1, gy).changed);  // still over the same button

  EXPECT_FALSE(panel.PointerDown(gx, gy, kLeft).activated);
  EXPECT_EQ(panel.pressed(), 1u);
  EXPECT_EQ(panel.focused(), 1u);
  EXPECT_EQ(panel.PointerUp(gx, gy, kLeft).activated, 2);
  EXPECT_EQ(panel.pressed(), std::nullopt);

  // Dragged off before the release: nothing. The right button presses nothing.
  panel.PointerDown(gx, gy, kLeft);
  EXPECT_FALSE(panel.PointerUp(fx, fy, kLeft).activated);
  panel.PointerDown(gx, gy, kRight);
  EXPECT_EQ(panel.pressed(), std::nullopt);
  EXPECT_FALSE(panel.PointerUp(gx, gy, kRight).activated);

  // A click in the text field focuses it and activates nothing.
  panel.PointerDown(fx, fy, kLeft);
  EXPECT_FALSE(panel.PointerUp(fx, fy, kLeft).activated);
  EXPECT_EQ(panel.focused(), 0u);
}

TEST(ControlPanelTest, KeysMoveTheFocusPressAndType) {
  Panel panel = ThreeAndOne();
  EXPECT_EQ(panel.focused(), 0u);  // the first control, ready for typing
  EXPECT_TRUE(panel.Character("a").changed);
  panel.Character("\xC3\xA9");  // é
  panel.Character("\t");        // a key, not text
  EXPECT_EQ(panel.text(), "a\xC3\xA9");
  EXPECT_TRUE(panel.KeyDown(Panel::kKeyBack, 0, false).changed);  // the whole é
  EXPECT_EQ(panel.text(), "a");
  EXPECT_EQ(panel.KeyDown(Panel::kKeyReturn, 0, false).activated, 2);  // the default
  EXPECT_FALSE(panel.KeyDown(Panel::kKeySpace, 0, false).activated);   // a space in the field

  // Tab goes round the controls both ways.
  panel.KeyDown(Panel::kKeyTab, 0, false);
  panel.KeyDown(Panel::kKeyTab, 0, false);
  EXPECT_EQ(panel.focused(), 2u);
  EXPECT_FALSE(panel.Character("b").changed);  // only the field takes text
  EXPECT_EQ(panel.KeyDown(Panel::kKeySpace, 0, false).activated, 3);
  EXPECT_FALSE(panel.KeyDown(Panel::kKeyReturn, 0, true).activated);  // auto-repeat
  panel.KeyDown(Panel::kKeyTab, 0, false);
  panel.KeyDown(Panel::kKeyTab, 0, false);
  EXPECT_EQ(panel.focused(), 0u);
  panel.KeyDown(Panel::kKeyTab, Panel::kModifierShift, false);
  EXPECT_EQ(panel.focused(), 3u);
  EXPECT_EQ(panel.KeyDown(Panel::kKeyReturn, 0, false).activated, 4);
  EXPECT_TRUE(panel.KeyDown(Panel::kKeyEscape, 0, false).close);

  // The field's text is bounded.
  panel.KeyDown(Panel::kKeyTab, 0, false);
  for (size_t i = 0; i < Panel::kMaxText + 5; ++i) panel.Character("x");
  EXPECT_EQ(panel.text().size(), Panel::kMaxText);
}

TEST(RequestLogTest, KeepsEachRequestsStateAndForgetsTheOldest) {
  RequestLog log;
  const int create = log.Start("Create app \"a\"");
  const int remove = log.Start("Delete app \"a\"");
  EXPECT_EQ(log.entries()[0].Text(), "Create app \"a\": pending");
  log.Answer(create, "app a");
  log.Fail(remove, "bad-request", "no name");
  EXPECT_EQ(log.entries()[0].Text(), "Create app \"a\": answered: app a");
  EXPECT_EQ(log.entries()[1].Text(), "Delete app \"a\": error bad-request: no name");
  for (size_t i = 0; i < RequestLog::kKept; ++i) log.Start("more");
  EXPECT_EQ(log.entries().size(), RequestLog::kKept);
  log.Answer(create, "late");  // forgotten: nothing to update
  EXPECT_EQ(log.entries().front().what, "more");
}

bool Same(Color a, Color b) { return a.red == b.red && a.green == b.green && a.blue == b.blue; }

TEST(SampleFrameTest, ShowsHoverAndPressAtBothScales) {
  for (uint32_t dpi : {96u, 192u}) {
    ControlPanel panel = MakeSamplePanel();
    const uint32_t width = 1264 * dpi / 96;
    LayOutSamplePanel(panel, width, dpi);
    const Rect create = panel.Find(kCreateButton)->bounds;
    // The controls sit below the title band and fit the view's width.
    EXPECT_GT(create.y, 30 * TextScaleForDpi(dpi) - 1);
    for (const auto& control : panel.controls()) {
      EXPECT_LE(control.bounds.x + control.bounds.width, int64_t{width}) << control.label;
    }
    const int64_t x = create.x + 1;
    const int64_t y = create.y + 1;
    auto colour = [&] {
      return RenderSampleFrame(SampleStatus(), panel, RequestLog(), width, 400, dpi).At(x, y);
    };
    const Color normal = colour();
    panel.PointerMove(x, y);
    const Color hovered = colour();
    panel.PointerDown(x, y, kLeft);
    const Color pressed = colour();
    EXPECT_FALSE(Same(normal, hovered)) << dpi;
    EXPECT_FALSE(Same(hovered, pressed)) << dpi;
    EXPECT_FALSE(Same(normal, pressed)) << dpi;
  }
  // Apps whose details would not fit get a line each.
  SampleStatus many;
  many.core_answered = many.app_answered = true;
  for (const char* name : {"a1", "a2", "a3", "a4"}) {
    AppDescription app;
    app.name = name;
    many.AddApp(app);
  }
  EXPECT_EQ(DescribeStatus(many, true).back().text, "  a4: project (none), app id (none)");
  ControlPanel panel = MakeSamplePanel();
  LayOutSamplePanel(panel, 1264, 96);
  // Text between y = 350 and 400: the third app's details, past the end of the brief list.
  const auto inked = [&](uint32_t height) {
    const Canvas frame = RenderSampleFrame(many, panel, RequestLog(), 1264, height, 96);
    const Color background = frame.At(1263, 399);
    for (int64_t y = 350; y < 400; ++y) {
      for (int64_t x = 0; x < 600; ++x) {
        if (!Same(frame.At(x, y), background)) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(inked(2000));
  EXPECT_FALSE(inked(400));
  EXPECT_EQ(ConsoleUrl("tervala-sample"),
            "https://console.nimbus.example/project/tervala-sample/overview");
  EXPECT_EQ(ConsoleUrl("a b/c"), "https://console.nimbus.example/project/a%20b%2Fc/overview");
  EXPECT_EQ(ConsoleUrl(""), "https://console.nimbus.example/");
}

}  // namespace
}  // namespace tervala_bundle
