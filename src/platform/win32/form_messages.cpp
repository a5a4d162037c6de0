// The form window's messages: clicks, edits, menu commands, timers, the
// close box, the session's end, activation and a change of DPI, each handed
// to the form.

#include <string>
#include <utility>

#include "platform/win32/form_window.h"
#include "platform/win32/form_window_shared.h"
#include "platform/win32/real_runtime.h"

namespace kestrune::win32 {
using namespace form_window;
namespace {

int g_dispatching = 0;

std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

bool FormWindow::Dispatching() {
  return g_dispatching > 0;
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
      if (const UINT id = DefaultButtonId()) return MAKELRESULT(id, DC_HASDEFID);
      return 0;
    case DM_SETDEFID:
      MoveDefaultLook(static_cast<UINT>(wParam));
      return TRUE;
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

// Asked by the dialog handling for what Enter presses: the push button with
// the focus, as in a dialog, else the form's default button. Windows leaves
// it to the form to follow the focus, which Wine does itself.
UINT FormWindow::DefaultButtonId() {
  HWND focus = GetFocus();
  if (IsChild(hwnd_, focus) &&
      (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)))
    return static_cast<UINT>(GetDlgCtrlID(focus));
  const Control* button = Flagged(false);
  return button != nullptr ? kFirstControlId + static_cast<UINT>(IndexOf(*button)) : 0;
}

// The default button's heavy border goes where the dialog handling says the
// default has moved, as a dialog's own procedure moves it.
void FormWindow::MoveDefaultLook(UINT id) {
  HWND next = GetDlgItem(hwnd_, static_cast<int>(id));
  if (next == nullptr || !(SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)) return;
  if (HWND shown = GetDlgItem(hwnd_, static_cast<int>(defaultLookId_)))
    SendMessageW(shown, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  SendMessageW(next, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  defaultLookId_ = id;
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

}  // namespace kestrune::win32
