#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/form1.h"
#include "expected.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {

// A started main window on the simulated desktop.
class Form1Test : public ::testing::Test {
 protected:
  void Start() { fake.Show(form1); }

  // Makes a window of another program the watch target, as a confirmed
  // capture leaves it.
  Hwnd Target(const std::string& title) {
    Hwnd hwnd = fake.AddWindow(title);
    form1.WatchHandle = hwnd;
    form1.Label1.SetCaption(title);
    form1.Command1.SetCaption(expected::kReselectPrompt);
    form1.Command2.SetEnabled(true);
    return hwnd;
  }

  void StartWatch() { ASSERT_TRUE(fake.Click(form1.Command2)); }

  void SelectNoAction() {
    for (Control* option : form1.Option1) option->SetValue(0);
  }

  std::string SettingsPath() const { return fake.appPath + "\\default.ini"; }

  FakePlatform fake;
  Form1 form1{fake, fake};
};

}  // namespace kestrune
