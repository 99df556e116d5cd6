// A tiny bitmap font for the bundles' frames: 5 x 7 pixel glyphs for printable ASCII.
#ifndef TERVALA_BUNDLE_SAMPLE_BITMAP_FONT_H_
#define TERVALA_BUNDLE_SAMPLE_BITMAP_FONT_H_

namespace tervala_bundle {

// The glyph table. A glyph sits in a cell one pixel wider and two pixels taller than itself,
// which leaves the space between characters and lines.
class BitmapFont {
 public:
  static constexpr int kGlyphWidth = 5;
  static constexpr int kGlyphHeight = 7;
  static constexpr int kCellWidth = 6;
  static constexpr int kCellHeight = 9;

  // Whether the glyph of `character` lights the pixel at (column, row), (0, 0) being its top
  // left. Characters outside printable ASCII (bytes of UTF-8 sequences too) show as '?'.
  static bool Pixel(char character, int column, int row);
};

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_SAMPLE_BITMAP_FONT_H_
