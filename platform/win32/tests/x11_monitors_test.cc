#include "platform/win32/posix/x11/x11_monitors.h"

#include <gtest/gtest.h>

namespace {

using win32_posix::PhysicalDpi;
using win32_posix::XftDpiFromResources;

TEST(X11MonitorsTest, TheDesktopsXftDpiIsReadFromTheResources) {
  EXPECT_EQ(XftDpiFromResources("Xcursor.size:\t24\nXft.dpi:\t144\nXft.hinting:\t1\n"), 144u);
  EXPECT_EQ(XftDpiFromResources("Xft.dpi: 120.4"), 120u);
  EXPECT_EQ(XftDpiFromResources("Xft.antialias:\t1\n"), std::nullopt);
  // Nonsense and absurd values leave the choice to the monitors.
  EXPECT_EQ(XftDpiFromResources("Xft.dpi:\tlarge\n"), std::nullopt);
  EXPECT_EQ(XftDpiFromResources("Xft.dpi:\t0\n"), std::nullopt);
  EXPECT_EQ(XftDpiFromResources("Xft.dpi:\t1e9\n"), std::nullopt);
  EXPECT_EQ(XftDpiFromResources("Xft.dpi:\t2400\n"), std::nullopt);
  EXPECT_EQ(XftDpiFromResources("Xft.dpi:\t960\n"), std::nullopt);
  EXPECT_EQ(XftDpiFromResources("Xft.dpi:\t480\n"), 480u);
  EXPECT_EQ(XftDpiFromResources("XXft.dpi:\t144\n"), std::nullopt);
}

TEST(X11MonitorsTest, PhysicalDpiSnapsToScalingSteps) {
  EXPECT_EQ(PhysicalDpi(1920, 508), 96u);   // 24" full HD, 96 DPI.
  EXPECT_EQ(PhysicalDpi(2560, 452), 144u);  // Xvfb -dpi 144.
  EXPECT_EQ(PhysicalDpi(3840, 600), 168u);  // 27" 4K, 162.6 DPI: 175 %.
  EXPECT_EQ(PhysicalDpi(1920, 0), 96u);     // Size unknown (virtual machines, projectors).
  EXPECT_EQ(PhysicalDpi(1920, 1), 96u);     // Absurd sizes too.
  EXPECT_EQ(PhysicalDpi(0, 300), 96u);
}

}  // namespace
