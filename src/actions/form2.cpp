#include "actions/form2.h"

#include "app/form1.h"
#include "app/texts.h"

namespace kestrune {
namespace {

using K = ControlKind;
namespace t = texts;

constexpr int kTickMs = 10;
constexpr int kBarMax = 500;

// The timer is armed by Form_Load, so that every dialog starts its count
// from the moment it loads.
constexpr ControlSpec kControls[] = {
    {"Label1",
     -1,
     K::Label,
     nullptr,
     120,
     120,
     5175,
     255,
     t::kMovingOn,
     1,
     true,
     true,
     0,
     "",
     0,
     1,
     false,
     false,
     /*fontName=*/t::kCountdownFont,
     /*fontPoints=*/11.25},
    {"ProgressBar1",
     -1,
     K::ProgressBar,
     nullptr,
     120,
     600,
     3975,
     375,
     "",
     2,
     true,
     true,
     0,
     "",
     0,
     1,
     false,
     false,
     nullptr,
     0,
     /*maxValue=*/kBarMax},
    // Enter and Esc stop the countdown as a click does: Esc is what a user
    // presses to stop a dialog, and no key may let a power-off through.
    {"Command1", -1, K::CommandButton, nullptr, 4200, 600, 1095, 375, t::kCancelCountdown, 0, true,
     true, 0, "", 0, 1, /*isDefault=*/true, /*isCancel=*/true},
    {"Timer1", -1, K::Timer, nullptr, 0, 0, 0, 0, "", -1, /*enabled=*/false, false},
};

// A box never disables it: the stop button must work while a question is
// open, as the countdown goes on behind it.
constexpr FormSpec kForm2 = {
    "", 5385, 1155, FormStyle::NoTitleBar, kControls, {}, /*usableUnderBoxes=*/true};

}  // namespace

Form2::Form2(Form1& owner, WindowRuntime& runtime)
    : Form(kForm2),
      form1(owner),
      rt(runtime),
      Label1(Find("Label1")),
      ProgressBar1(Find("ProgressBar1")),
      Command1(Find("Command1")),
      Timer1(Find("Timer1")) {}

void Form2::Form_Load() {
  ProgressBar1.SetValue(0);
  Timer1.SetInterval(kTickMs);
  Timer1.SetEnabled(true);
  form1.Cancelflag = kFalse;
}

void Form2::Click(Control& control) {
  if (&control == &Command1) Command1_Click();
}

void Form2::Tick(Control& timer) {
  if (&timer == &Timer1) Timer1_Timer();
}

void Form2::Timer1_Timer() {
  // Yes to the closing question, given while this dialog counts inside it,
  // ends the program: the countdown stops at once, as its button stops it.
  if (form1.QuitChosen()) {
    Command1_Click();
    return;
  }
  const int value = ProgressBar1.Value();
  // The bar stops one short of its maximum: 500 ticks in all.
  if (value == ProgressBar1.Design().maxValue - 1) {
    over_ = true;
    ranOut_ = true;
    rt.Hide(*this);
    rt.Unload(*this);
    return;
  }
  ProgressBar1.SetValue(value + 1);
  // Lets the bar repaint and a click on the stop button run mid-count; the
  // click unloads the dialog, so nothing here may touch it afterwards.
  rt.DoEvents();
}

void Form2::Command1_Click() {
  Cancel();
  rt.Unload(*this);
}

// Closing the dialog (Alt+F4, a close message, the process being told to
// close) is the gesture for "cancel"; before an irreversible power-off it
// must never mean "do it now".
void Form2::Form_QueryUnload(int16_t&) {
  if (!over_) Cancel();
}

void Form2::Cancel() {
  over_ = true;
  // Disabled first, so that no tick runs after the stop.
  Timer1.SetEnabled(false);
  form1.Cancelflag = kTrue;
  rt.Hide(*this);
  rt.Show(form1);
}

}  // namespace kestrune
