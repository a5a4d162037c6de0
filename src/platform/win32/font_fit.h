#pragma once

// Picking the one font size at which every caption of a form fits its
// control. Free of <windows.h> so that the search can be tested anywhere.

#include <algorithm>
#include <cstddef>
#include <span>

namespace kestrune::win32 {

// The size in (floor, largest] at which each text i fits rooms[i], or floor
// when none does. `widthAt(i, pixels)` measures text i at a size; it grows
// with the size. Each size measured costs a realised font, and under Wine
// about a megabyte for a Japanese face, so sizes are not tried one by one:
// the width is proportional to the size, which gives the answer from one
// measurement at `largest`, and the answer is checked (and lowered, where
// rounded glyph widths disagree) before it is used.
template <typename WidthAt>
int FittingPixels(int largest, int floor, std::span<const int> rooms, WidthAt&& widthAt) {
  if (largest <= floor) return largest;
  int pixels = largest;
  for (size_t i = 0; i < rooms.size(); ++i) {
    const int width = widthAt(i, largest);
    if (width <= rooms[i]) continue;
    const long long scaled = static_cast<long long>(largest) * std::max(rooms[i], 0) / width;
    pixels = std::min(pixels, static_cast<int>(std::max<long long>(scaled, floor)));
  }
  auto allFit = [&](int size) {
    for (size_t i = 0; i < rooms.size(); ++i) {
      if (widthAt(i, size) > rooms[i]) return false;
    }
    return true;
  };
  while (pixels > floor && pixels < largest && !allFit(pixels)) --pixels;
  return pixels;
}

}  // namespace kestrune::win32
