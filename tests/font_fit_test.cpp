#include "platform/win32/font_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace kestrune::win32 {
namespace {

// A caption `ems` full-width glyphs wide, and the room its control leaves.
struct Caption {
  double ems;
  int room;
};

struct FitCase {
  const char* name;
  std::vector<Caption> captions;
  int largest;
  int floor;
  int expected;
};

class FittingPixelsTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FittingPixelsTest, PicksTheLargestSizeAtWhichEveryCaptionFits) {
  const FitCase& c = GetParam();
  std::vector<int> rooms;
  for (const Caption& caption : c.captions) rooms.push_back(caption.room);
  std::set<int> measured;
  const int pixels = FittingPixels(c.largest, c.floor, rooms, [&](size_t i, int size) {
    measured.insert(size);
    return static_cast<int>(std::ceil(c.captions[i].ems * size));
  });
  EXPECT_EQ(pixels, c.expected);
  // Each size measured realises a font; proportional widths need the largest
  // and the answer only.
  EXPECT_LE(measured.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cases, FittingPixelsTest,
                         ::testing::Values(FitCase{"AllFit", {{4, 53}, {2, 41}}, 12, 9, 12},
                                           FitCase{"ExactFitKeepsTheSize", {{4, 48}}, 12, 9, 12},
                                           // Two captions that shrink by different amounts: the
                                           // tighter one decides, without trying the size between.
                                           FitCase{
                                               "TightestDecides", {{5, 57}, {5, 53}}, 12, 9, 10},
                                           FitCase{"NoneAboveTheFloor", {{10, 20}}, 12, 9, 9},
                                           FitCase{"NoRoomAtAll", {{3, 0}}, 12, 9, 9},
                                           FitCase{"FloorAtLargest", {{10, 20}}, 9, 9, 9}),
                         [](const auto& param) { return std::string(param.param.name); });

// Regression: rounded glyph widths that grow faster than the size must not
// leave a caption cut off at the proportional estimate.
TEST(FittingPixels, LowersTheEstimateWhereRoundingMakesItTooWide) {
  const std::vector<int> rooms = {53};
  // 60 px at 12 suggests 10, but at 10 the caption takes 54 px.
  auto width = [](size_t, int size) { return size == 12 ? 60 : size * 6 - 6; };
  EXPECT_EQ(FittingPixels(12, 7, rooms, width), 9);
}

}  // namespace
}  // namespace kestrune::win32
