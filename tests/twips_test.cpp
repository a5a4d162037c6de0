#include "platform/twips.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

// Guards the one rounding rule: a half pixel goes away from zero, as MulDiv
// rounds, at every DPI, below zero too, and the editor's host sizes come out
// as designed.
TEST(Twips, ToPixelsRoundsHalvesAwayFromZero) {
  struct Case {
    int twips, dpi, pixels;
  };
  const Case cases[] = {
      {4575, 96, 305}, {255, 96, 17},  {6150, 144, 615}, {4575, 144, 458}, {3045, 144, 305},
      {255, 120, 21},  {30, 168, 4},   {5, 144, 1},      {5, 96, 0},       {50, 168, 6},
      {-5, 144, -1},   {-15, 144, -2}, {7, 96, 0},       {8, 96, 1},       {0, 144, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi;
  for (int dpi : {96, 120, 144, 168, 192}) EXPECT_EQ(DpiOf(1440.0 / dpi), dpi);
}

}  // namespace
}  // namespace kestrune
