#pragma once

#include "platform/form.h"
#include "platform/runtime.h"

namespace kestrune {

class Form1;

// The countdown before a system exit or power request: a bar filled over 500
// ticks of 10 ms and one button to stop it. A fresh instance per countdown;
// its only result is form1.Cancelflag.
class Form2 : public Form {
 public:
  Form2(Form1& owner, WindowRuntime& runtime);

  Form1& form1;
  WindowRuntime& rt;

  Control& Label1;
  Control& ProgressBar1;
  Control& Command1;
  Control& Timer1;

  void Form_Load() override;
  void Form_QueryUnload(int16_t& cancel) override;
  void Click(Control& control) override;
  void Tick(Control& timer) override;
  void Timer1_Timer();
  void Command1_Click();
  // True only once the last tick has run: the one way the countdown may
  // lead to the request. Any other end of the dialog is a cancel.
  bool RanOut() const { return ranOut_; }

 private:
  // Stops the countdown as the stop button does.
  void Cancel();

  // Set once the countdown has ended, by its last tick or by a cancel.
  bool over_ = false;
  bool ranOut_ = false;
};

}  // namespace kestrune
