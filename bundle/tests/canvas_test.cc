#include "bundle/sample/canvas.h"

#include <gtest/gtest.h>

#include "bundle/sample/bitmap_font.h"

namespace tervala_bundle {
namespace {

constexpr Color kInk{250, 10, 20};
constexpr Color kPaper{1, 2, 3};

bool operator==(Color a, Color b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// The glyph pixels as drawn at `scale`, read back from the canvas.
std::string Rendered(const Canvas& canvas, int64_t x, int64_t y, int scale) {
  std::string rows;
  for (int row = 0; row < BitmapFont::kGlyphHeight; ++row) {
    for (int column = 0; column < BitmapFont::kGlyphWidth; ++column) {
      rows += canvas.At(x + column * scale, y + row * scale) == kInk ? '#' : '.';
    }
    rows += '\n';
  }
  return rows;
}

TEST(CanvasTest, DrawsGlyphsScaledAndAdvancesByCells) {
  Canvas canvas(40, 40, kPaper);
  EXPECT_EQ(canvas.DrawText(2, 3, "T", 2, kInk), 2 + BitmapFont::kCellWidth * 2);
  EXPECT_EQ(Rendered(canvas, 2, 3, 2),
            "#####\n"
            "..#..\n"
            "..#..\n"
            "..#..\n"
            "..#..\n"
            "..#..\n"
            "..#..\n");
  // Each font pixel fills a scale x scale square; nothing lands outside the glyph.
  EXPECT_TRUE(canvas.At(3, 4) == kInk);
  EXPECT_TRUE(canvas.At(1, 3) == kPaper);
  EXPECT_TRUE(canvas.At(2, 3 + 7 * 2) == kPaper);
  // Every pixel is opaque.
  EXPECT_EQ(canvas.pixels()[3], 255);
}

TEST(CanvasTest, EveryPrintableCharacterHasAGlyphAndOthersShowAQuestionMark) {
  for (int code = 0x21; code <= 0x7E; ++code) {
    bool lit = false;
    for (int row = 0; row < BitmapFont::kGlyphHeight; ++row) {
      for (int column = 0; column < BitmapFont::kGlyphWidth; ++column) {
        lit = lit || BitmapFont::Pixel(static_cast<char>(code), column, row);
      }
    }
    EXPECT_TRUE(lit) << "character " << code;
  }
  Canvas question(8, 8, kPaper);
  Canvas other(8, 8, kPaper);
  question.DrawText(0, 0, "?", 1, kInk);
  other.DrawText(0, 0, "\xc3", 1, kInk);
  EXPECT_EQ(Rendered(question, 0, 0, 1), Rendered(other, 0, 0, 1));
  EXPECT_FALSE(BitmapFont::Pixel('A', 5, 0));
  EXPECT_FALSE(BitmapFont::Pixel('A', 0, -1));
}

TEST(CanvasTest, ClipsAtEveryEdgeAndCapsItsSize) {
  Canvas canvas(10, 10, kPaper);
  canvas.DrawText(-7, -7, "WWWW", 3, kInk);
  canvas.DrawText(8, 8, "WWWW", 3, kInk);
  canvas.FillRect(-100, 5, 1000, 1, kInk);
  for (int x = 0; x < 10; ++x) EXPECT_TRUE(canvas.At(x, 5) == kInk);
  EXPECT_TRUE(canvas.At(10, 5) == Color{});
  EXPECT_TRUE(canvas.At(-1, 5) == Color{});

  Canvas huge(Canvas::kMaxSide + 5, 1, kPaper);
  EXPECT_EQ(huge.width(), Canvas::kMaxSide);
  Canvas empty(0, 0, kPaper);
  EXPECT_EQ(empty.DrawText(0, 0, "text", 1, kInk), 4 * BitmapFont::kCellWidth);
}

TEST(CanvasTest, TextScaleFollowsTheDpi) {
  EXPECT_EQ(TextScaleForDpi(96), 2);
  EXPECT_EQ(TextScaleForDpi(144), 3);
  EXPECT_EQ(TextScaleForDpi(192), 4);
  EXPECT_EQ(TextScaleForDpi(0), 2);
  EXPECT_EQ(TextScaleForDpi(24), 1);
}

}  // namespace
}  // namespace tervala_bundle
