// Keeps each control's window in step with its properties: caption, enabled
// state, visibility, value, timer and tooltip, as soon as the logic sets them.

#include <windows.h>

#include "platform/win32/form_window.h"
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <string>

#include "platform/win32/form_window_shared.h"

namespace kestrune::win32 {
using namespace form_window;
namespace {

WPARAM CheckState(int value) {
  if (value == 1) return BST_CHECKED;
  return value == 0 ? BST_UNCHECKED : BST_INDETERMINATE;
}

}  // namespace

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
