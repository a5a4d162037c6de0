#include "platform/win32/form_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <string>
#include <utility>

#include "platform/win32/font_fit.h"
#include "platform/win32/real_runtime.h"

namespace kestrune::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"KestruneForm";
constexpr UINT kFirstControlId = 1000;
constexpr UINT_PTR kFirstTimerId = 1;
constexpr int kLineThicknessPx = 2;
constexpr int kTooltipWidthTwips = 4500;
constexpr WORD kProgramIconId = 1;
constexpr int kIconSizeAt96Dpi = 32;
constexpr char kProgramIconPicture[] = "picIcon";
// Room the button face and the check mark take beside a caption, at 96 DPI.
constexpr int kButtonPaddingPx = 8;
constexpr int kCheckMarkPx = 20;
constexpr int kSmallestFontPercent = 75;
constexpr int kLowestDpi = 48;
constexpr int kHighestDpi = 480;

int g_dispatching = 0;
int g_newWindowDpi = 0;
constexpr int kNotTicking = -1;

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

HICON LoadProgramIcon(int size) {
  return static_cast<HICON>(
      LoadImageW(Instance(), MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON, size, size, 0));
}

struct FrameStyle {
  DWORD style;
  DWORD exStyle;
};

FrameStyle StyleOf(FormStyle style) {
  switch (style) {
    case FormStyle::MainWindow:
      return {WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0};
    case FormStyle::NoTitleBar:
      return {WS_POPUP | WS_DLGFRAME, WS_EX_DLGMODALFRAME};
    case FormStyle::FixedDialog:
      return {WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME};
  }
  return {WS_OVERLAPPEDWINDOW, 0};
}

HMENU BuildMenu(std::span<const MenuSpec> menus) {
  if (menus.empty()) return nullptr;
  HMENU bar = CreateMenu();
  for (const MenuSpec& top : menus) {
    if (top.parent != nullptr) continue;
    HMENU popup = CreatePopupMenu();
    for (const MenuSpec& item : menus) {
      if (item.parent != nullptr && std::string_view(item.parent) == top.name)
        AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.id), Widen(item.caption).c_str());
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), Widen(top.caption).c_str());
  }
  return bar;
}

struct ChildClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};

// The About box's picture shows the program's own icon.
bool ShowsProgramIcon(const ControlSpec& design) {
  return design.kind == ControlKind::PictureBox &&
         std::string_view(design.name) == kProgramIconPicture;
}

ChildClass ClassOf(const ControlSpec& design) {
  switch (design.kind) {
    case ControlKind::Frame:
      return {L"BUTTON", BS_GROUPBOX, 0};
    case ControlKind::Label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::CommandButton:
      return {L"BUTTON",
              static_cast<DWORD>(design.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP,
              0};
    case ControlKind::CheckBox:
      // Not automatic: the form decides the new value, and value 2 is grey.
      return {L"BUTTON", BS_3STATE | WS_TABSTOP, 0};
    case ControlKind::OptionButton:
      // Automatic, so that the arrow keys select as they move, as in any
      // dialog; the click that follows tells the form.
      return {L"BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP, 0};
    case ControlKind::TextBox:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::PictureBox:
      if (ShowsProgramIcon(design)) return {L"STATIC", SS_ICON | SS_CENTERIMAGE, 0};
      // A real parent for windows the logic creates inside it; tabbing
      // reaches them through WS_EX_CONTROLPARENT.
      return {L"STATIC", SS_NOTIFY | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
    case ControlKind::Line:
      return {L"STATIC",
              static_cast<DWORD>(design.left == design.width ? SS_ETCHEDVERT : SS_ETCHEDHORZ), 0};
    case ControlKind::ProgressBar:
      return {PROGRESS_CLASSW, 0, 0};
    case ControlKind::Timer:
    case ControlKind::CommonDialog:
      break;
  }
  return {nullptr, 0, 0};
}

std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

WPARAM CheckState(int value) {
  if (value == 1) return BST_CHECKED;
  return value == 0 ? BST_UNCHECKED : BST_INDETERMINATE;
}

}  // namespace

int DpiFor(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow =
      ProcOf<GetDpiForWindowFn>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  if (hwnd != nullptr && getDpiForWindow != nullptr) {
    if (UINT dpi = getDpiForWindow(hwnd)) return static_cast<int>(dpi);
  }
  return ScreenDpi();
}

bool FormWindow::Dispatching() {
  return g_dispatching > 0;
}

void FormWindow::OverrideNewWindowDpi(int dpi) {
  g_newWindowDpi = dpi;
}

FormWindow::FormWindow(RealRuntime& rt, Form& form, HWND owner)
    : rt_(rt), form_(form), isMain_(form.Design().style == FormStyle::MainWindow) {
  CreateFrameWindow(owner);
  if (hwnd_ == nullptr) return;
  dpi_ = g_newWindowDpi > 0 ? g_newWindowDpi : DpiFor(hwnd_);
  SizeAndPlace(owner);
  SetWindowIcons();
  CreateDefaultFont();
  CreateControls();
}

FormWindow::~FormWindow() {
  Destroy();
}

void FormWindow::CreateFrameWindow(HWND owner) {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FormWindow::Proc;
    wc.hInstance = Instance();
    wc.lpszClassName = kFormClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
    wc.hIcon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(kProgramIconId),
                                             IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    wc.hIconSm = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(kProgramIconId),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    return RegisterClassExW(&wc) != 0;
  }();
  if (!registered) return;
  const FormSpec& design = form_.Design();
  const FrameStyle style = StyleOf(design.style);
  HMENU menu = BuildMenu(design.menus);
  CreateWindowExW(style.exStyle, kFormClass, Widen(form_.Caption()).c_str(), style.style,
                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  isMain_ ? nullptr : owner, menu, Instance(), this);
  if (hwnd_ == nullptr && menu != nullptr) DestroyMenu(menu);
}

// The window's size around the form's client area at the window's DPI.
SIZE FormWindow::FrameSize() const {
  const FormSpec& design = form_.Design();
  RECT rc{0, 0, Px(design.clientWidth), Px(design.clientHeight)};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  AdjustWindowRectEx(&rc, style & ~WS_MINIMIZE, GetMenu(hwnd_) != nullptr, exStyle);
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

POINT FormWindow::OriginOf(const Control& control) {
  POINT origin{0, 0};
  for (Control* c = form_.ContainerOf(control); c != nullptr; c = form_.ContainerOf(*c)) {
    origin.x += c->Design().left;
    origin.y += c->Design().top;
  }
  return origin;
}

void FormWindow::CreateControls() {
  const auto& controls = form_.Controls();
  children_.assign(controls.size(), nullptr);
  lastFits_.assign(controls.size(), std::nullopt);
  tickingAt_.assign(controls.size(), kNotTicking);
  // Creation order is the tab order; rows without one come last.
  std::vector<size_t> order(controls.size());
  std::iota(order.begin(), order.end(), size_t{0});
  auto tabKey = [&](size_t i) {
    int tab = controls[i]->Design().tabIndex;
    return tab < 0 ? INT32_MAX : tab;
  };
  // Equal keys keep their table order, as a stable sort would keep them.
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return std::pair(tabKey(a), a) < std::pair(tabKey(b), b); });
  // One size for the whole form, the one at which every caption fits.
  for (const auto& control : controls) {
    if (CaptionFit fit = FitOf(*control); !fit.text.empty()) formFits_.push_back(std::move(fit));
  }
  formFontPixels_ = FittingSize(formFits_, formFontPixels_);
  // Under Wine every realised size keeps its own glyph cache: keep only the
  // size the captions are drawn at.
  std::erase_if(defaultFonts_, [&](const auto& font) { return font.first != formFontPixels_; });
  // Each child is created below its siblings. Frames come after the rest so
  // they never paint over what they hold (they are no tab stops, so the tab
  // order stays), and outer frames, first in the table, come last to lie
  // lowest.
  for (size_t i : order) {
    if (controls[i]->Kind() != ControlKind::Frame) children_[i] = CreateControl(*controls[i], i);
  }
  for (size_t i = controls.size(); i-- > 0;) {
    if (controls[i]->Kind() == ControlKind::Frame) children_[i] = CreateControl(*controls[i], i);
  }
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

HWND FormWindow::CreateControl(const Control& control, size_t index) {
  const ControlSpec& design = control.Design();
  const ChildClass cls = ClassOf(design);
  if (cls.name == nullptr) return nullptr;
  const Placement place = PlaceOf(control);
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | cls.style;
  if (control.Visible()) style |= WS_VISIBLE;
  if (!form_.TakesInput(control)) style |= WS_DISABLED;
  const UINT id = kFirstControlId + static_cast<UINT>(index);
  HWND child =
      CreateWindowExW(cls.exStyle, cls.name, Widen(control.Caption()).c_str(), style, place.x,
                      place.y, place.width, place.height, hwnd_,
                      reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), Instance(), nullptr);
  if (child == nullptr) return nullptr;
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control)), FALSE);
  if (design.kind == ControlKind::ProgressBar)
    SendMessageW(child, PBM_SETRANGE32, 0, design.maxValue);
  if (ShowsProgramIcon(design)) ShowProgramIcon(child);
  ShowValue(control, child);
  UpdateTooltip(control, child);
  return child;
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

void FormWindow::StartTimers() {
  for (const auto& control : form_.Controls()) {
    if (control->Kind() == ControlKind::Timer) UpdateTimer(*control);
  }
}

void FormWindow::Destroy() {
  if (hwnd_ == nullptr || destroyed_) return;
  destroyed_ = true;
  DestroyWindow(hwnd_);
}

HWND FormWindow::ControlHwnd(const Control& control) const {
  const size_t index = IndexOf(control);
  return index < children_.size() ? children_[index] : nullptr;
}

size_t FormWindow::IndexOf(const Control& control) const {
  const auto& controls = form_.Controls();
  for (size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].get() == &control) return i;
  }
  return controls.size();
}

LRESULT CALLBACK FormWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->destroyed_ = true;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  ++g_dispatching;
  LRESULT result = self->Handle(msg, wParam, lParam);
  --g_dispatching;
  return result;
}

LRESULT FormWindow::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    if (isMain_) PostQuitMessage(0);
    return 0;
  }
  if (destroyed_) return DefWindowProcW(hwnd_, msg, wParam, lParam);
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_CLOSE:
      rt_.Unload(form_);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;  // never hold up or delay a session end
    case WM_ENDSESSION:
      if (wParam) form_.Form_EndSession();
      return 0;
    case WM_ENABLE:
      // A box gives its owner input back as it goes, even while a modal
      // form opened inside the box (a countdown) still holds the owner.
      if (wParam && rt_.HeldByModalForm(hwnd_)) EnableWindow(hwnd_, FALSE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(FormFont());
    case WM_DPICHANGED:
      OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case DM_GETDEFID:
      if (Control* button = Flagged(false))
        return MAKELRESULT(kFirstControlId + IndexOf(*button), DC_HASDEFID);
      return 0;
    case WM_ACTIVATE:
      if (HIWORD(wParam) != 0) break;  // minimised: nothing to focus
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void FormWindow::OnActivate(bool active) {
  // Keyboard focus comes back to where it was, as in a dialog.
  if (!active) {
    lastFocus_ = GetFocus();
    return;
  }
  HWND focus = IsChild(hwnd_, lastFocus_) ? lastFocus_ : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  SetFocus(focus != nullptr ? focus : hwnd_);
}

Control* FormWindow::ControlById(UINT id) {
  const auto& controls = form_.Controls();
  if (id < kFirstControlId || id - kFirstControlId >= controls.size()) return nullptr;
  return controls[id - kFirstControlId].get();
}

// The control pressed by Enter (isDefault) or by Esc (isCancel).
Control* FormWindow::Flagged(bool cancel) {
  for (const auto& control : form_.Controls()) {
    const ControlSpec& design = control->Design();
    if (cancel ? design.isCancel : design.isDefault) return control.get();
  }
  return nullptr;
}

void FormWindow::OnCommand(UINT id, UINT code, HWND from) {
  if (Control* control = ControlById(id)) {
    if (code == BN_CLICKED) OnButtonClicked(*control);
    if (code == EN_CHANGE && control->Kind() == ControlKind::TextBox)
      control->StoreTextFromUser(Narrow(TextOf(from)));
    return;
  }
  if (id == IDOK || id == IDCANCEL) {
    if (Control* control = Flagged(id == IDCANCEL)) OnButtonClicked(*control);
    return;
  }
  if (from == nullptr && code == 0) form_.MenuClick(static_cast<int>(id));
}

void FormWindow::OnButtonClicked(Control& control) {
  if (!control.Visible() || !form_.TakesInput(control)) return;
  switch (control.Kind()) {
    case ControlKind::CheckBox:
      control.SetValue(control.Value() == 0 ? 1 : 0);
      break;
    case ControlKind::OptionButton:
      control.SetValue(-1);
      break;
    case ControlKind::CommandButton:
    case ControlKind::PictureBox:
      break;
    default:
      return;
  }
  form_.Click(control);
}

void FormWindow::OnTimer(UINT_PTR id) {
  const size_t index = id - kFirstTimerId;
  const auto& controls = form_.Controls();
  if (index >= controls.size() || controls[index]->Kind() != ControlKind::Timer) return;
  // A tick that pumps messages must not run itself again inside its pump
  // step; missed ticks fold into the next one. A box or modal form opened
  // inside the tick waits for the user instead, and the timer goes on
  // meanwhile, as it does when that box opens outside a tick: the countdown
  // must not stop because a close request arrived during one of its steps.
  const int depth = rt_.ModalDepth();
  if (tickingAt_[index] == depth) return;
  const int outer = std::exchange(tickingAt_[index], depth);
  form_.Tick(*controls[index]);
  tickingAt_[index] = outer;
}

void FormWindow::ShowValue(const Control& control, HWND child) {
  if (child == nullptr) return;
  switch (control.Kind()) {
    case ControlKind::CheckBox:
      SendMessageW(child, BM_SETCHECK, CheckState(control.Value()), 0);
      break;
    case ControlKind::OptionButton:
      SendMessageW(child, BM_SETCHECK, control.Selected() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ControlKind::ProgressBar:
      SendMessageW(child, PBM_SETPOS, static_cast<WPARAM>(control.Value()), 0);
      break;
    default:
      break;
  }
}

void FormWindow::RefreshEnabled() {
  // A control takes input only when it and every container up to the form
  // are enabled.
  const auto& controls = form_.Controls();
  // Only windows whose state changes: the logic sets several controls in a
  // row, each call lands here, and under Wine every EnableWindow costs
  // server round trips (about 6 ms a start for the settings alone).
  for (size_t i = 0; i < controls.size(); ++i) {
    if (children_[i] == nullptr) continue;
    const bool enable = form_.TakesInput(*controls[i]);
    if (enable != static_cast<bool>(IsWindowEnabled(children_[i])))
      EnableWindow(children_[i], enable);
  }
}

void FormWindow::UpdateTimer(const Control& control) {
  const UINT_PTR id = kFirstTimerId + IndexOf(control);
  if (control.Enabled() && control.Interval() > 0)
    SetTimer(hwnd_, id, static_cast<UINT>(control.Interval()), nullptr);
  else
    KillTimer(hwnd_, id);
}

void FormWindow::UpdateTooltip(const Control& control, HWND child) {
  if (child == nullptr || (tooltip_ == nullptr && control.Tooltip().empty())) return;
  if (tooltip_ == nullptr) {
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, Instance(), nullptr);
    if (tooltip_ == nullptr) return;
    // A maximum width lets a text with line breaks show on several lines.
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Px(kTooltipWidthTwips));
  }
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(child);
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (control.Tooltip().empty()) return;
  std::wstring text = Widen(control.Tooltip());
  tool.lpszText = text.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void FormWindow::ControlChanged(Control& control, Property property) {
  if (destroyed_) return;
  HWND child = ControlHwnd(control);
  switch (property) {
    case Property::Caption:
      if (child == nullptr) break;
      FitCaption(control, child);
      SetWindowTextW(child, Widen(control.Caption()).c_str());
      break;
    case Property::Enabled:
      if (control.Kind() == ControlKind::Timer)
        UpdateTimer(control);
      else
        RefreshEnabled();
      break;
    case Property::Visible:
      if (child == nullptr) break;
      if (control.Visible()) FitCaption(control, child);  // not fitted while hidden
      ShowWindow(child, control.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case Property::Value:
      ShowValue(control, child);
      break;
    case Property::Interval:
      if (control.Kind() == ControlKind::Timer) UpdateTimer(control);
      break;
    case Property::Tooltip:
      UpdateTooltip(control, child);
      break;
  }
}

void FormWindow::FormChanged(FormProperty property) {
  if (destroyed_) return;
  if (property == FormProperty::Caption) {
    SetWindowTextW(hwnd_, Widen(form_.Caption()).c_str());
  } else if (form_.WindowState() == kWindowStateMinimized) {
    ShowWindow(hwnd_, SW_MINIMIZE);
  } else if (IsIconic(hwnd_)) {
    ShowWindow(hwnd_, SW_RESTORE);
  }
}

}  // namespace kestrune::win32
