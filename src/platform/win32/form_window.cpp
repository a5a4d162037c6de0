// Making a form's window: its class, the frame with its menu, one child
// window per row of the layout table in tab order, and taking it down.

#include "platform/win32/form_window.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/win32/form_window_shared.h"

namespace kestrune::win32 {
using namespace form_window;
namespace {

constexpr wchar_t kFormClass[] = L"KestruneForm";
constexpr int kNotTicking = -1;

int g_newWindowDpi = 0;

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

void FormWindow::CreateControls() {
  const auto& controls = form_.Controls();
  children_.assign(controls.size(), nullptr);
  lastFits_.assign(controls.size(), std::nullopt);
  tickingAt_.assign(controls.size(), kNotTicking);
  // Creation order is the tab order; rows without one come last, and equal
  // keys keep their table order. An insertion sort: a form has a few dozen
  // rows, and std::sort's code would cost the exe most of a kilobyte.
  auto tabKey = [&](size_t i) {
    int tab = controls[i]->Design().tabIndex;
    return tab < 0 ? INT32_MAX : tab;
  };
  std::vector<size_t> order(controls.size());
  for (size_t i = 0; i < order.size(); ++i) {
    size_t at = i;
    for (; at > 0 && tabKey(order[at - 1]) > tabKey(i); --at) order[at] = order[at - 1];
    order[at] = i;
  }
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
  if (design.isDefault) defaultLookId_ = id;
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control)), FALSE);
  if (design.kind == ControlKind::ProgressBar)
    SendMessageW(child, PBM_SETRANGE32, 0, design.maxValue);
  if (ShowsProgramIcon(design)) ShowProgramIcon(child);
  ShowValue(control, child);
  UpdateTooltip(control, child);
  return child;
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

}  // namespace kestrune::win32
