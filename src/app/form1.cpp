#include "app/form1.h"

#include <utility>

#include "about/frm_about.h"
#include "app/form1_layout.h"
#include "app/texts.h"

namespace kestrune {

Form1::Form1(Win32Ops& win32, WindowRuntime& runtime)
    : Form(Form1Layout()),
      ops(win32),
      rt(runtime),
      Frame2(Find("Frame2")),
      cmdSet(Find("cmdSet")),
      picHotKey(Find("picHotKey")),
      Command1(Find("Command1")),
      Label1(Find("Label1")),
      Command2(Find("Command2")),
      Check1(Find("Check1")),
      Command3(Find("Command3")),
      Command4(Find("Command4")),
      txtFileName(Find("txtFileName")),
      Timer1(Find("Timer1")),
      Option1{&Find("Option1", 0), &Find("Option1", 1), &Find("Option1", 2),
              &Find("Option1", 3), &Find("Option1", 4), &Find("Option1", 5)} {}

std::string Form1::SettingsPath() {
  std::string folder = rt.AppPath();
  // The folder ends in a separator only at a drive root.
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder + "\\" + texts::kSettingsFileName;
}

void Form1::SaveSettings() {
  const std::string path = SettingsPath();
  const WindowRuntime::Replaced saved = KankyouOutPut(path);
  if (!saved.done) {
    rt.MsgBox(texts::kSettingsWriteFailedPrefix + path + texts::kSettingsWriteFailedSuffix,
              kMbIconError, texts::kAppTitle);
  } else if (!saved.oldBytesAt.empty()) {
    rt.MsgBox(texts::kSettingsOldKeptAsidePrefix + saved.oldBytesAt, kMbIconExclamation,
              texts::kAppTitle);
  }
}

void Form1::Form_Load() {
  Command1.SetTooltip(texts::kCommand1Tooltip);
  LoadSettings(SettingsPath());
  // The design greys the action row; without a Check1 line in the file it
  // would stay grey while a ticked box still acts at the end of a watch.
  ApplyEnablingRule();
  if (rt.PrevInstance()) {
    SecondInstance = 1;
    rt.MsgBox(texts::kAlreadyRunning, kMbIconExclamation, texts::kAppTitle);
    rt.Unload(*this);
    return;  // nothing is registered, hooked or written by a refused instance
  }
  if (settingsFileUnreadable) {
    rt.MsgBox(texts::kSettingsReadFailedPrefix + SettingsPath() + texts::kSettingsReadFailedSuffix,
              kMbIconExclamation, texts::kAppTitle);
  }
  HotKeySetUp();
}

void Form1::Click(Control& control) {
  if (&control == &Command1)
    Command1_Click();
  else if (&control == &Command2)
    Command2_Click();
  else if (&control == &Check1)
    Check1_Click();
  else if (&control == &cmdSet)
    cmdSet_Click();
  else if (&control == &Command3)
    Command3_Click();
}

void Form1::Tick(Control& timer) {
  if (&timer == &Timer1) Timer1_Timer();
}

void Form1::MenuClick(int id) {
  if (id == kMenuIdExit)
    Pulldown_zyoucyuu_end_Click();
  else if (id == kMenuIdVersion)
    Pulldown_help_version_Click();
}

void Form1::Command2_Click() {
  const std::string& caption = Command2.Caption();
  if (caption == texts::kStartWatch) {
    if (Label1.Caption() == texts::kNotSet) return;
    Timer1.SetEnabled(true);
    Command2.SetCaption(texts::kStopWatch);
    Command1.SetCaption(texts::kSelectPrompt);
    Command1.SetEnabled(false);
    SetWindowState(kWindowStateMinimized);
  } else if (caption == texts::kStopWatch) {
    EndWatch();
  }
}

void Form1::EndWatch() {
  Timer1.SetEnabled(false);
  Command2.SetCaption(texts::kStartWatch);
  // Command1 already shows the select prompt: the start set it and the
  // disabled button cannot be armed during the watch.
  Command1.SetCaption(texts::kSelectPrompt);
  Command1.SetEnabled(true);
  Label1.SetCaption(texts::kNotSet);
  WatchHandle = 0;
  Command2.SetEnabled(false);
}

void Form1::Timer1_Timer() {
  rt.DoEvents();
  // A stop clicked during the pump step has already ended this watch; testing
  // the cleared handle now would take the window for gone and run the action.
  if (!Timer1.Enabled()) return;
  if (ops.IsWindow(WatchHandle)) return;

  EndWatch();
  if (Check1.Value() == 1) {
    SetWindowState(kWindowStateNormal);
    Win_Exit_State();
  }
}

void Form1::ApplyEnablingRule() {
  const int value = Check1.Value();
  if (value != 0 && value != 1) return;
  const bool enable = value == 1;
  Frame2.SetEnabled(enable);
  for (Control* option : Option1) option->SetEnabled(enable);
  txtFileName.SetEnabled(enable);
  Command3.SetEnabled(enable);
  Command4.SetEnabled(enable);
}

void Form1::Check1_Click() {
  ApplyEnablingRule();
}

void Form1::Form_QueryUnload(int16_t& cancel) {
  if (SecondInstance == 1) return;
  SaveSettings();
  if (Exitflag) {
    UnhookWindowProc(rt.WindowHandle(*this));
    rt.End();
    return;
  }
  // Only an explicit Yes closes: a box destroyed under the user returns 0,
  // which is no answer at all.
  const bool outer = std::exchange(askingToQuit, true);
  const int answer = rt.MsgBox(texts::kQuitQuestion, kMbIconQuestion + kMbYesNo, Caption());
  askingToQuit = outer;
  if (answer != kIdYes) {
    cancel = kTrue;
    return;
  }
  quitAnswered = true;
  UnhookWindowProc(rt.WindowHandle(*this));
}

// A countdown that starts while the question is open runs inside the box's
// loop, so the box's call returns only after it: the answer is read early.
bool Form1::QuitChosen() {
  return quitAnswered || (askingToQuit && rt.BoxAnswer() == kIdYes);
}

// Also while a box, the About dialog or the countdown is open: the settings
// are saved as on a close attempt, but a failure shows nothing, as a box
// would hold the session up; the old file is intact then. The countdown's
// own request is never made.
void Form1::Form_EndSession() {
  if (SecondInstance != 1) {
    KankyouOutPut(SettingsPath());
    UnhookWindowProc(rt.WindowHandle(*this));
  }
  rt.End();
}

void Form1::Form_Unload() {
  if (SecondInstance == 1) rt.End();
}

void Form1::Pulldown_zyoucyuu_end_Click() {
  rt.Unload(*this);
}

void Form1::Pulldown_help_version_Click() {
  FrmAbout about(ops, rt);
  rt.ShowModal(about);
}

void Form1::mywindowactiveset() {
  ops.SetForegroundWindow(rt.WindowHandle(*this));
  rt.Refresh(*this);
}

}  // namespace kestrune
