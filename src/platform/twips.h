#pragma once

// Twips, the layout's unit, to the screen's pixels. Free of <windows.h>: the
// logic places the windows it creates inside controls by the same rule the
// backend places the controls by.

namespace kestrune {

constexpr int kTwipsPerInch = 1440;

// To the nearest whole pixel at dpi, a half pixel away from zero, as MulDiv
// rounds. One rule for every control and for what the logic puts inside one,
// in integers, so that a window laid out again at another DPI lands where a
// window created there does, and an edge shared by two controls stays shared.
constexpr int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  const long long half = kTwipsPerInch / 2;
  return static_cast<int>((scaled >= 0 ? scaled + half : scaled - half) / kTwipsPerInch);
}

// The whole DPI behind a number of twips per pixel (1440 / DPI).
constexpr int DpiOf(double twipsPerPixel) {
  return static_cast<int>(kTwipsPerInch / twipsPerPixel + 0.5);
}

}  // namespace kestrune
