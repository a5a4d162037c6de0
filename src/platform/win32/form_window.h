#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/form.h"
#include "platform/twips.h"
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
  // Windows made from now on are laid out at dpi instead of their monitor's
  // (0: their monitor's again). Wine gives a process one DPI for good, so
  // this is how a test gets a window that starts at another.
  static void OverrideNewWindowDpi(int dpi);

  void ControlChanged(Control& control, Property property) override;
  void FormChanged(FormProperty property) override;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);

  // What bounds the font of one caption: its text, and its control's width
  // less the room the decoration beside it takes. No text: it bounds nothing.
  struct CaptionFit {
    std::wstring text;
    int widthTwips = 0;
    int decorationPx = 0;  // at 96 DPI
  };
  struct Placement {
    int x, y, width, height;
  };

  void CreateFrameWindow(HWND owner);
  SIZE FrameSize() const;
  void SizeAndPlace(HWND owner);
  void FixClientSize();
  void CreateDefaultFont();
  void CreateControls();
  HWND CreateControl(const Control& control, size_t index);
  Placement PlaceOf(const Control& control);
  HFONT FontFor(const Control& control);
  // The default face at a size; sizes in pixels of the font's height.
  HFONT DefaultFont(int pixels);
  CaptionFit FitOf(const Control& control) const;
  int FittingSize(std::span<const CaptionFit> fits, int largest);
  HFONT FittedFont(const CaptionFit& fit) {
    return DefaultFont(FittingSize({&fit, 1}, formFontPixels_));
  }
  void FitCaption(const Control& control, HWND child);
  HFONT FormFont() { return formFontPixels_ > 0 ? DefaultFont(formFontPixels_) : nullptr; }
  int Px(int twips) const { return TwipsToPixels(twips, dpi_); }
  POINT OriginOf(const Control& control);
  void ShowProgramIcon(HWND picture);
  void SetWindowIcons();
  void OnDpiChanged(int dpi, const RECT& suggested);
  void PlaceAt(const RECT& suggested);
  void LayOutAgain();
  // Moves and sizes a control's window as it was made; returns the place.
  Placement PlaceAgain(const Control& control, HWND child);

  void OnCommand(UINT id, UINT code, HWND from);
  void OnButtonClicked(Control& control);
  void OnTimer(UINT_PTR id);
  void OnActivate(bool active);
  Control* ControlById(UINT id);
  Control* Flagged(bool cancel);
  UINT DefaultButtonId();
  void MoveDefaultLook(UINT id);
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
  std::vector<std::pair<int, unique_hfont>> defaultFonts_;  // by size, few
  std::vector<unique_hfont> specFonts_;
  // The captions the form's font was fitted to when the window was made,
  // and by control index what each caption fitted since was fitted to: a
  // new DPI repeats both, so the window shows what one made there would.
  std::vector<CaptionFit> formFits_;
  std::vector<std::optional<CaptionFit>> lastFits_;
  unique_hicon programIcon_;
  unique_hicon bigIcon_;
  unique_hicon smallIcon_;
  HWND tooltip_ = nullptr;  // owned by hwnd_, destroyed with it
  HWND lastFocus_ = nullptr;
  UINT defaultLookId_ = 0;      // the push button drawn as the default
  std::vector<HWND> children_;  // by control index; null for windowless kinds
  // By control index: the modal depth a tick of that timer runs at, or
  // kNotTicking.
  std::vector<int> tickingAt_;
};

// The screen's DPI for a window (its monitor's, where the system tells).
int DpiFor(HWND hwnd);

}  // namespace kestrune::win32
