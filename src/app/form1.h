#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "hotkey/hotkey_setting.h"
#include "platform/form.h"
#include "platform/runtime.h"
#include "platform/win32_ops.h"

namespace kestrune {

// The main window: the whole visible program and the owner of its state.
// Its procedures are spread over the modules of their subsystems (capture in
// app/, hotkey in hotkey/, settings in settings/, actions in actions/).
class Form1 : public Form, public WindowProc {
 public:
  Form1(Win32Ops& ops, WindowRuntime& rt);

  Win32Ops& ops;
  WindowRuntime& rt;

  // Controls, by their design names.
  Control& Frame2;
  Control& cmdSet;
  Control& picHotKey;
  Control& Command1;
  Control& Label1;
  Control& Command2;
  Control& Check1;
  Control& Command3;
  Control& Command4;
  Control& txtFileName;
  Control& Timer1;
  std::array<Control*, 6> Option1;

  // State of the form, all zero at start.
  VbBool Cancelflag = kFalse;
  HotKeySetting HotKey;
  VbBool Exitflag = kFalse;
  int16_t SecondInstance = 0;
  Hwnd hHotKeyCtl = 0;
  // The watched window; 0 when none. Its title is the caption of Label1.
  Hwnd WatchHandle = 0;
  // The registered hotkey's atom and the window procedure the hook replaced.
  int16_t HotKeyAtom = 0;
  WndProcRef PrevWndProc = 0;
  // The closing question is open (asked from Form_QueryUnload), and it was
  // answered Yes.
  bool askingToQuit = false;
  bool quitAnswered = false;

  // Start-up, watch cycle and close (app/form1.cpp).
  void Form_Load() override;
  void Form_QueryUnload(int16_t& cancel) override;
  void Form_Unload() override;
  void Form_EndSession() override;
  void Click(Control& control) override;
  void Tick(Control& timer) override;
  void MenuClick(int id) override;
  void Command2_Click();
  void Timer1_Timer();
  void Check1_Click();
  void Pulldown_zyoucyuu_end_Click();
  void Pulldown_help_version_Click();
  void mywindowactiveset();
  // Stops the watch and forgets the target: the state "no target".
  void EndWatch();
  // The enabling rule of the action controls for Check1's current value.
  void ApplyEnablingRule();
  // The program folder followed by "\default.ini".
  std::string SettingsPath();
  // Writes the settings file and tells the user when that fails.
  void SaveSettings();
  // The user has answered Yes to the closing question, also while it is
  // still open around the caller: no action may follow.
  bool QuitChosen();

  // Capture of the watch target (app/capture.cpp).
  void Command1_Click();
  void CaptureTarget();
  bool IsPassingWindowOfOurs(Hwnd handle);
  bool IsWindowOfOurs(Hwnd handle);

  // Global hotkey (hotkey/).
  void HotKeySetUp();
  void HotKeyRemove();
  void cmdSet_Click();
  bool HookWindowProc(Hwnd window);
  bool UnhookWindowProc(Hwnd window);
  intptr_t HotKeyWndProc(Hwnd window, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  intptr_t Call(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    return HotKeyWndProc(hwnd, msg, wParam, lParam);
  }

  // Settings file (settings/).
  void LoadSettings(const std::string& path);
  // Not done when the file could not be written; the old file is then
  // intact. Bytes this run did not read whole or write itself are kept as
  // the backup, path + ".bak", first, or named where they had to stay.
  WindowRuntime::Replaced KankyouOutPut(const std::string& path);
  // A file was there at start but could not be read: told after the
  // second-instance test.
  bool settingsFileUnreadable = false;
  // The file as this run last wrote it, or read it in the writer's own form.
  std::optional<std::string> settingsBytesKnown;

  // Exit actions (actions/).
  void Win_Exit_State();
  // Makes the request of a system action; false when the system refused it.
  bool RequestSystemAction(int index);
  void Command3_Click();
  bool SoundPlay(const std::string& name);
};

}  // namespace kestrune
