#pragma once

// What the files of FormWindow share: the ids its windows and timers get,
// and the program icon, which the frame, the layout and the About box's
// picture all show.

#include <windows.h>

#include <string_view>

#include "platform/form.h"

namespace kestrune::win32::form_window {

// Child windows and timers take their control's index from these.
constexpr UINT kFirstControlId = 1000;
constexpr UINT_PTR kFirstTimerId = 1;
constexpr int kTooltipWidthTwips = 4500;
constexpr WORD kProgramIconId = 1;
constexpr char kProgramIconPicture[] = "picIcon";

inline int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

inline HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

inline HICON LoadProgramIcon(int size) {
  return static_cast<HICON>(
      LoadImageW(Instance(), MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON, size, size, 0));
}

// The About box's picture shows the program's own icon.
inline bool ShowsProgramIcon(const ControlSpec& design) {
  return design.kind == ControlKind::PictureBox &&
         std::string_view(design.name) == kProgramIconPicture;
}

}  // namespace kestrune::win32::form_window
