#pragma once

#include <windows.h>

#include <map>
#include <span>
#include <vector>

#include "platform/form.h"
#include "platform/win32/handles.h"

namespace kestrune::win32 {

class RealRuntime;

// The real window of one form: a top-level window built from the form's
// layout table, with one child window per visible kind of control. It feeds
// the user's clicks, edits and the timers to the form, and reflects every
// property change of the form in the window at once.
class FormWindow final : public FormSink {
 public:
  FormWindow(RealRuntime& rt, Form& form, HWND owner);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  HWND Hwnd() const { return hwnd_; }
  int Dpi() const { return dpi_; }
  HWND ControlHwnd(const Control& control) const;
  // Arms the timers the layout table starts enabled.
  void StartTimers();
  // Destroys the window; the form gets no further events from it.
  void Destroy();
  // True while a message of any form window is being handled: an unloaded
  // window may be freed only when none is.
  static bool Dispatching();

  void ControlChanged(Control& control, Property property) override;
  void FormChanged(FormProperty property) override;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);

  void CreateFrameWindow(HWND owner);
  void SizeAndPlace(HWND owner);
  void CreateDefaultFont();
  void CreateControls();
  HWND CreateControl(const Control& control, size_t index);
  HFONT FontFor(const Control& control);
  // The default face at a size; sizes in pixels of the font's height.
  HFONT DefaultFont(int pixels);
  int CaptionRoom(const Control& control) const;
  int FittingSize(std::span<const Control* const> controls, int largest);
  void FitCaption(const Control& control, HWND child);
  HFONT FormFont() { return formFontPixels_ > 0 ? DefaultFont(formFontPixels_) : nullptr; }
  int Px(int twips) const { return MulDiv(twips, dpi_, 1440); }
  POINT OriginOf(const Control& control);

  void OnCommand(UINT id, UINT code, HWND from);
  void OnButtonClicked(Control& control);
  void OnTimer(UINT_PTR id);
  void OnActivate(bool active);
  Control* ControlById(UINT id);
  Control* Flagged(bool cancel);
  size_t IndexOf(const Control& control) const;

  void ShowValue(const Control& control, HWND child);
  void RefreshEnabled();
  void UpdateTimer(const Control& control);
  void UpdateTooltip(const Control& control, HWND child);

  RealRuntime& rt_;
  Form& form_;
  const bool isMain_;
  HWND hwnd_ = nullptr;
  int dpi_ = 96;
  bool destroyed_ = false;
  LOGFONTW defaultFont_{};
  int formFontPixels_ = 0;
  std::map<int, unique_hfont> defaultFonts_;  // by size
  std::vector<unique_hfont> specFonts_;
  unique_hicon programIcon_;
  HWND tooltip_ = nullptr;  // owned by hwnd_, destroyed with it
  HWND lastFocus_ = nullptr;
  std::vector<HWND> children_;  // by control index; null for windowless kinds
  // By control index: the modal depth a tick of that timer runs at, or
  // kNotTicking.
  std::vector<int> tickingAt_;
};

// The screen's DPI for a window (its monitor's, where the system tells).
int DpiFor(HWND hwnd);

}  // namespace kestrune::win32
