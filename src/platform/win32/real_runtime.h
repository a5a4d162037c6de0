#pragma once

#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/runtime.h"
#include "platform/win32/form_window.h"
#include "platform/win32/handles.h"

namespace kestrune::win32 {

// Watches the message box the next MessageBoxW creates, for as long as it
// lives, so that the button pressed is known before the call returns.
class BoxWatch {
 public:
  BoxWatch();
  ~BoxWatch();
  BoxWatch(const BoxWatch&) = delete;
  BoxWatch& operator=(const BoxWatch&) = delete;
  // The button pressed in the innermost box open now, 0 before an answer.
  static int InnermostAnswer();
  // Whether hwnd is a box open now.
  static bool Watches(HWND hwnd);
};

// The window runtime on the Win32 API: forms as real windows, modal message
// boxes, the message pump, program facts and files.
class RealRuntime final : public WindowRuntime {
 public:
  RealRuntime();
  ~RealRuntime() override;
  RealRuntime(const RealRuntime&) = delete;
  RealRuntime& operator=(const RealRuntime&) = delete;

  // The program's message loop; returns when the main window is gone.
  int Run();
  // How many modal loops (boxes, modal forms) are running inside each other.
  int ModalDepth() const { return modalDepth_; }

  int MsgBox(const std::string& text, int style, const std::string& caption) override;
  int BoxAnswer() override;
  void DoEvents() override;
  bool PrevInstance() override { return previousInstance_; }
  std::string AppPath() override;
  VersionInfo Version() override;
  bool FileExists(const std::string& path) override;
  bool Launch(const std::string& path) override;
  std::string ExpandEnvironmentVariables(const std::string& text) override;
  FileRead ReadFileBytes(const std::string& path, size_t maxBytes) override;
  Replaced ReplaceFileBytes(const std::string& path, const std::string& bytes,
                            const std::string& backupPath,
                            const std::optional<std::string>& knownOld) override;
  std::optional<std::string> ToAnsi(const std::string& text) override;
  std::string FromAnsi(const std::string& bytes) override;
  void Load(Form& form) override;
  void Show(Form& form) override;
  void ShowModal(Form& form) override;
  void Hide(Form& form) override;
  bool Unload(Form& form) override;
  void Refresh(Form& form) override;
  Hwnd WindowHandle(const Form& form) override;
  Hwnd ControlHandle(const Control& control) override;
  double TwipsPerPixelX() override;
  double TwipsPerPixelY() override;
  void End() override;

  // Whether a modal form (not a box) holds hwnd disabled now.
  bool HeldByModalForm(HWND hwnd) const;

 private:
  // A box (form null) or a modal form, and the windows it holds disabled.
  struct Modal {
    uint64_t id;
    const Form* form;
    std::vector<HWND> held;
  };

  FormWindow* WindowOf(const Form& form) const;
  bool IsFormWindow(HWND hwnd) const;
  HWND MainHwnd() const;
  HWND BoxOwner() const;
  void Dispatch(MSG& msg);
  uint64_t BeginModal(const Form* form, HWND boxOwner);
  void EndModal(uint64_t id);
  void EndModalOf(const Form& form);
  void Discard(Form& form);
  std::unique_ptr<FormWindow>* EntryOf(const Form& form);
  void FreeUnloaded();

  unique_handle instanceMutex_;
  bool previousInstance_ = false;
  // A handful of forms at most: a vector, not a map, whose tree code would
  // cost the exe more than all the lookups are worth.
  std::vector<std::pair<const Form*, std::unique_ptr<FormWindow>>> windows_;
  // Windows of unloaded forms, freed once no message of theirs is running.
  std::vector<std::unique_ptr<FormWindow>> unloaded_;
  std::vector<Modal> modals_;
  uint64_t modalSerial_ = 0;
  int modalDepth_ = 0;
};

}  // namespace kestrune::win32
