// The form's font: the system's message font at the window's DPI, made just
// small enough for every caption to fit where the system font is wider than
// the one the layout was drawn for.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/font_fit.h"
#include "platform/win32/form_window.h"
#include "platform/win32/form_window_shared.h"

namespace kestrune::win32 {
using namespace form_window;
namespace {

// Room the button face and the check mark take beside a caption, at 96 DPI.
constexpr int kButtonPaddingPx = 8;
constexpr int kCheckMarkPx = 20;
constexpr int kSmallestFontPercent = 75;

}  // namespace

void FormWindow::CreateDefaultFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  defaultFont_ = metrics.lfMessageFont;
  // The system reports the font for the screen's DPI; the window may be on
  // a monitor with another.
  defaultFont_.lfHeight = MulDiv(defaultFont_.lfHeight, dpi_, ScreenDpi());
  formFontPixels_ = std::abs(static_cast<int>(defaultFont_.lfHeight));
}

HFONT FormWindow::DefaultFont(int pixels) {
  auto it = std::find_if(defaultFonts_.begin(), defaultFonts_.end(),
                         [pixels](const auto& known) { return known.first == pixels; });
  unique_hfont& font =
      it != defaultFonts_.end() ? it->second : defaultFonts_.emplace_back(pixels, nullptr).second;
  if (!font) {
    LOGFONTW sized = defaultFont_;
    sized.lfHeight = defaultFont_.lfHeight < 0 ? -pixels : pixels;
    font.reset(CreateFontIndirectW(&sized));
  }
  return font.get();
}

// What a control's caption asks of the font; nothing where the caption does
// not bound it.
FormWindow::CaptionFit FormWindow::FitOf(const Control& control) const {
  int decoration = 0;
  switch (control.Kind()) {
    case ControlKind::CommandButton:
      decoration = kButtonPaddingPx;
      break;
    case ControlKind::CheckBox:
    case ControlKind::OptionButton:
      decoration = kCheckMarkPx;
      break;
    default:
      return {};
  }
  // A hidden caption never shows, so it must not make the others smaller.
  if (!control.Visible() || control.Caption().empty() || control.Design().fontName != nullptr)
    return {};
  return {Widen(control.Caption()), control.Design().width, decoration};
}

// The layout was drawn for a Japanese UI font with narrow kana. Where the
// system font is wider, a caption that would be cut off needs the default
// face a little smaller, down to a readable floor, to show whole.
int FormWindow::FittingSize(std::span<const CaptionFit> fits, int largest) {
  std::vector<const std::wstring*> texts;
  std::vector<int> rooms;
  std::vector<int> ems;  // at most one em a character
  for (const CaptionFit& fit : fits) {
    const int room = Px(fit.widthTwips) - MulDiv(fit.decorationPx, dpi_, 96);
    if (!fit.text.empty() && room > 0) {
      texts.push_back(&fit.text);
      rooms.push_back(room);
      ems.push_back(static_cast<int>(fit.text.size()));
    }
  }
  if (rooms.empty()) return largest;
  const int floor =
      std::max(1, std::abs(static_cast<int>(defaultFont_.lfHeight)) * kSmallestFontPercent / 100);
  HDC dc = GetDC(hwnd_);
  HGDIOBJ previous = GetCurrentObject(dc, OBJ_FONT);
  const int pixels = FittingPixels(largest, floor, rooms, ems, [&](size_t i, int size) {
    SIZE extent{};
    SelectObject(dc, DefaultFont(size));
    GetTextExtentPoint32W(dc, texts[i]->c_str(), static_cast<int>(texts[i]->size()), &extent);
    return static_cast<int>(extent.cx);
  });
  SelectObject(dc, previous);
  ReleaseDC(hwnd_, dc);
  return pixels;
}

// A caption that changes or comes into view gets the form's size, or a
// smaller one where it would be cut off there.
void FormWindow::FitCaption(const Control& control, HWND child) {
  if (control.Design().fontName != nullptr) return;
  const CaptionFit& fit = lastFits_[IndexOf(control)].emplace(FitOf(control));
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FittedFont(fit)), FALSE);
}

HFONT FormWindow::FontFor(const Control& control) {
  const ControlSpec& design = control.Design();
  if (design.fontName == nullptr) return FormFont();
  LOGFONTW font{};
  font.lfHeight = -MulDiv(static_cast<int>(design.fontPoints * 100 + 0.5), dpi_, 72 * 100);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = SHIFTJIS_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  std::wstring face = Widen(design.fontName);
  face.copy(font.lfFaceName, LF_FACESIZE - 1);
  specFonts_.emplace_back(CreateFontIndirectW(&font));
  return specFonts_.back() ? specFonts_.back().get() : FormFont();
}

}  // namespace kestrune::win32
