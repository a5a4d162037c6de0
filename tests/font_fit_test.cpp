#include "platform/win32/font_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace kestrune::win32 {
namespace {

// A caption of `chars` characters, `ems` ems wide as drawn, and the room its
// control leaves. Full-width captions are as many ems wide as they have
// characters.
struct Caption {
  int chars;
  double ems;
  int room;
};

struct FitCase {
  const char* name;
  std::vector<Caption> captions;
  int largest;
  int floor;
  int expected;
  size_t sizesMeasured;
};

class FittingPixelsTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FittingPixelsTest, PicksTheLargestSizeAtWhichEveryCaptionFits) {
  const FitCase& c = GetParam();
  std::vector<int> rooms;
  std::vector<int> chars;
  for (const Caption& caption : c.captions) {
    rooms.push_back(caption.room);
    chars.push_back(caption.chars);
  }
  std::set<int> measured;
  const int pixels = FittingPixels(c.largest, c.floor, rooms, chars, [&](size_t i, int size) {
    measured.insert(size);
    return static_cast<int>(std::ceil(c.captions[i].ems * size));
  });
  EXPECT_EQ(pixels, c.expected);
  // Each size measured realises a font: full-width captions need only the
  // size they are drawn at, narrower ones that and the answer.
  EXPECT_EQ(measured.size(), c.sizesMeasured);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FittingPixelsTest,
    ::testing::Values(FitCase{"AllFit", {{4, 4, 53}, {2, 2, 41}}, 12, 9, 12, 1},
                      FitCase{"ExactFitKeepsTheSize", {{4, 4, 48}}, 12, 9, 12, 1},
                      // Two captions that shrink by different amounts: the
                      // tighter one decides, measured at that size only.
                      FitCase{"TightestDecides", {{5, 5, 57}, {5, 5, 53}}, 12, 9, 10, 1},
                      FitCase{"NoneAboveTheFloor", {{10, 10, 20}}, 12, 9, 9, 1},
                      FitCase{"NoRoomAtAll", {{3, 3, 0}}, 12, 9, 9, 1},
                      FitCase{"FloorAtLargest", {{10, 10, 20}}, 9, 9, 9, 0},
                      // Narrow (half-width) text fits at a larger size than
                      // its character count promises.
                      FitCase{"NarrowTextScalesUp", {{8, 4, 45}}, 12, 7, 11, 2},
                      FitCase{"NarrowTextAtTheLargest", {{8, 4, 53}}, 12, 7, 12, 2}),
    [](const auto& param) { return std::string(param.param.name); });

// Regression: rounded glyph widths that grow faster than the size must not
// leave a caption cut off at the proportional estimate.
TEST(FittingPixels, LowersTheEstimateWhereRoundingMakesItTooWide) {
  const std::vector<int> rooms = {53};
  const std::vector<int> chars = {5};
  // The characters promise 10, but at 10 the caption takes 54 px.
  auto width = [](size_t, int size) { return size * 6 - 6; };
  EXPECT_EQ(FittingPixels(12, 7, rooms, chars, width), 9);
}

}  // namespace
}  // namespace kestrune::win32
