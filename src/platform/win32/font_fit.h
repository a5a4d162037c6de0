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
// its own glyph cache, so sizes are not tried one by one. What is known
// before measuring gives the first size to measure at: text i is at most
// ems[i] ems wide (a Japanese UI face draws a full-width character one em
// wide, and nothing wider), so it fits at rooms[i] / ems[i] pixels. That is
// the size drawn at wherever the captions are full-width; narrower text is
// scaled up from there, as the width is proportional to the size, and the
// answer is checked (and lowered, where rounded glyph widths disagree).
template <typename WidthAt>
int FittingPixels(int largest, int floor, std::span<const int> rooms, std::span<const int> ems,
                  WidthAt&& widthAt) {
  if (largest <= floor) return largest;
  int guess = largest;
  for (size_t i = 0; i < rooms.size(); ++i) {
    if (ems[i] > 0) guess = std::min(guess, std::max(rooms[i], 0) / ems[i]);
  }
  guess = std::max(guess, floor);
  int pixels = largest;
  bool fitAtGuess = true;
  for (size_t i = 0; i < rooms.size(); ++i) {
    const int width = widthAt(i, guess);
    fitAtGuess = fitAtGuess && width <= rooms[i];
    if (width <= 0) continue;
    const long long scaled = static_cast<long long>(guess) * std::max(rooms[i], 0) / width;
    pixels = static_cast<int>(std::min<long long>(pixels, scaled));
  }
  pixels = std::max(pixels, floor);
  if (pixels == guess && fitAtGuess) return pixels;
  auto allFit = [&](int size) {
    for (size_t i = 0; i < rooms.size(); ++i) {
      if (widthAt(i, size) > rooms[i]) return false;
    }
    return true;
  };
  while (pixels > floor && !allFit(pixels)) --pixels;
  return pixels;
}

}  // namespace kestrune::win32
