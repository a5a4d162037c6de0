// Where the form and its controls go: twips to pixels at the window's DPI,
// the frame around the client area, and all of it again when the DPI
// changes.

#include <windows.h>

#include "platform/win32/form_window.h"
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "platform/win32/form_window_shared.h"

namespace kestrune::win32 {
using namespace form_window;
namespace {

constexpr int kLineThicknessPx = 2;
constexpr int kIconSizeAt96Dpi = 32;
constexpr int kLowestDpi = 48;
constexpr int kHighestDpi = 480;

// The frame around rc at dpi. AdjustWindowRectEx knows the system's DPI
// only; where Windows lacks the DPI-aware call (before Windows 10 1607) the
// system has one DPI for all its monitors, the window's.
void AdjustFrameForDpi(RECT& rc, DWORD style, bool menu, DWORD exStyle, int dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi =
      ProcOf<AdjustForDpiFn>(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi");
  if (adjustForDpi == nullptr || !adjustForDpi(&rc, style, menu, exStyle, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&rc, style, menu, exStyle);
}

}  // namespace

// The window's size around the form's client area at the window's DPI.
SIZE FormWindow::FrameSize() const {
  const FormSpec& design = form_.Design();
  RECT rc{0, 0, Px(design.clientWidth), Px(design.clientHeight)};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  AdjustFrameForDpi(rc, style & ~WS_MINIMIZE, GetMenu(hwnd_) != nullptr, exStyle, dpi_);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

void FormWindow::SizeAndPlace(HWND owner) {
  const SIZE frame = FrameSize();
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.cx, frame.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  FixClientSize();
  if (isMain_) return;
  // Other forms open centred on the main window, kept on its monitor.
  RECT placed;
  GetWindowRect(hwnd_, &placed);
  const int width = placed.right - placed.left;
  const int height = placed.bottom - placed.top;
  RECT around;
  if (owner == nullptr || !IsWindowVisible(owner) || IsIconic(owner) ||
      !GetWindowRect(owner, &around))
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromRect(&around, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  int x = (around.left + around.right - width) / 2;
  int y = (around.top + around.bottom - height) / 2;
  x = std::max<int>(work.left, std::min<int>(x, work.right - width));
  y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Gives the client area the form's size at the window's DPI: a menu bar that
// wraps onto a second row, or a frame the system draws for another DPI, would
// otherwise take from it.
void FormWindow::FixClientSize() {
  const FormSpec& design = form_.Design();
  RECT client;
  RECT window;
  if (!GetClientRect(hwnd_, &client) || !GetWindowRect(hwnd_, &window)) return;
  const int missingX = Px(design.clientWidth) - client.right;
  const int missingY = Px(design.clientHeight) - client.bottom;
  if (missingX == 0 && missingY == 0) return;
  SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + missingX,
               window.bottom - window.top + missingY, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The title bar's and the task switcher's icons. The class's are sized for
// the screen's DPI; a window at another gets its own.
void FormWindow::SetWindowIcons() {
  const int screen = ScreenDpi();
  if (dpi_ == screen && !smallIcon_) return;
  unique_hicon big(LoadProgramIcon(MulDiv(GetSystemMetrics(SM_CXICON), dpi_, screen)));
  unique_hicon small(LoadProgramIcon(MulDiv(GetSystemMetrics(SM_CXSMICON), dpi_, screen)));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  // The old icons go only now that the window no longer shows them.
  bigIcon_ = std::move(big);
  smallIcon_ = std::move(small);
}

POINT FormWindow::OriginOf(const Control& control) {
  POINT origin{0, 0};
  for (Control* c = form_.ContainerOf(control); c != nullptr; c = form_.ContainerOf(*c)) {
    origin.x += c->Design().left;
    origin.y += c->Design().top;
  }
  return origin;
}

FormWindow::Placement FormWindow::PlaceOf(const Control& control) {
  const ControlSpec& design = control.Design();
  const POINT origin = OriginOf(control);
  Placement place{Px(origin.x + design.left), Px(origin.y + design.top), Px(design.width),
                  Px(design.height)};
  if (design.kind == ControlKind::Line) {
    // A line's row gives its end points.
    const bool vertical = design.left == design.width;
    place.width = vertical ? kLineThicknessPx : Px(design.width - design.left);
    place.height = vertical ? Px(design.height - design.top) : kLineThicknessPx;
  }
  return place;
}

void FormWindow::ShowProgramIcon(HWND picture) {
  unique_hicon icon(LoadProgramIcon(MulDiv(kIconSizeAt96Dpi, dpi_, 96)));
  SendMessageW(picture, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon.get()));
  programIcon_ = std::move(icon);  // the old one once the picture has let go of it
}

// The window moved to a monitor of another scale, or the scale changed:
// everything is laid out again from its twips, as a window made at the new
// DPI is. The system may still report the old DPI for the window (Wine
// always does), so the message's is the one taken.
void FormWindow::OnDpiChanged(int dpi, const RECT& suggested) {
  // Windows scales from 50 % to 500 %; anything else is no real DPI, and
  // fonts and windows made for it would take all the memory there is.
  if (dpi < kLowestDpi || dpi > kHighestDpi || dpi == dpi_) return;
  dpi_ = dpi;
  PlaceAt(suggested);
  SetWindowIcons();
  // While the window is being made, its controls are still to come, and come
  // at the new DPI.
  if (!children_.empty()) LayOutAgain();
}

void FormWindow::PlaceAt(const RECT& suggested) {
  if (IsIconic(hwnd_)) {
    // Minimised (while watching): the suggestion is the icon's rectangle, so
    // the restored place keeps its corner and takes the design's size, and
    // the window stays minimised without being activated.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(hwnd_, &placement)) return;
    const SIZE frame = FrameSize();
    RECT& normal = placement.rcNormalPosition;
    normal.right = normal.left + frame.cx;
    normal.bottom = normal.top + frame.cy;
    placement.showCmd = SW_SHOWMINNOACTIVE;
    SetWindowPlacement(hwnd_, &placement);
    return;
  }
  const int width = suggested.right - suggested.left;
  const int height = suggested.bottom - suggested.top;
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  FixClientSize();
}

void FormWindow::LayOutAgain() {
  // The fonts in use go only once no control draws with them.
  const auto oldFonts = std::exchange(defaultFonts_, {});
  const auto oldSpecFonts = std::exchange(specFonts_, {});
  CreateDefaultFont();
  formFontPixels_ = FittingSize(formFits_, formFontPixels_);
  std::erase_if(defaultFonts_, [&](const auto& font) { return font.first != formFontPixels_; });
  const auto& controls = form_.Controls();
  for (size_t i = 0; i < controls.size(); ++i) {
    HWND child = children_[i];
    if (child == nullptr) continue;
    const Control& control = *controls[i];
    const Placement place = PlaceAgain(control, child);
    HFONT font = lastFits_[i] ? FittedFont(*lastFits_[i]) : FontFor(control);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (ShowsProgramIcon(control.Design())) {
      ShowProgramIcon(child);
    } else if (control.Kind() == ControlKind::PictureBox) {
      // What the logic made inside a picture box (the hotkey editor) fills
      // it and writes in its font, as when it was made.
      for (HWND inner = GetWindow(child, GW_CHILD); inner; inner = GetWindow(inner, GW_HWNDNEXT)) {
        SetWindowPos(inner, nullptr, 0, 0, place.width, place.height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
        SendMessageW(inner, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      }
    }
  }
  if (tooltip_ != nullptr) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Px(kTooltipWidthTwips));
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

FormWindow::Placement FormWindow::PlaceAgain(const Control& control, HWND child) {
  Placement place = PlaceOf(control);
  if (control.Kind() == ControlKind::Line) {
    // An etched line sizes itself when it is made: its client keeps the
    // length and none of the thickness, and its edge goes around that.
    const bool vertical = control.Design().left == control.Design().width;
    RECT rc{0, 0, vertical ? 0 : place.width, vertical ? place.height : 0};
    AdjustWindowRectEx(&rc, static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE)));
    place.width = rc.right - rc.left;
    place.height = rc.bottom - rc.top;
  }
  SetWindowPos(child, nullptr, place.x, place.y, place.width, place.height,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  return place;
}

}  // namespace kestrune::win32
