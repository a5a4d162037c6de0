#include <gtest/gtest.h>

#include <string>

#include "about/frm_about.h"
#include "actions/form2.h"
#include "app/form1.h"
#include "app/form1_layout.h"
#include "expected.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

const ControlSpec* FindRow(const std::string& name) {
  for (const ControlSpec& c : Form1Layout().controls) {
    const std::string full =
        c.index < 0 ? c.name : std::string(c.name) + "(" + std::to_string(c.index) + ")";
    if (full == name) return &c;
  }
  return nullptr;
}

TEST(ExpectedTexts, MainWindowCaptionsAndPositions) {
  EXPECT_STREQ(Form1Layout().caption, expected::kAppTitle);
  EXPECT_EQ(Form1Layout().clientWidth, expected::kForm1ClientWidth);
  EXPECT_EQ(Form1Layout().clientHeight, expected::kForm1ClientHeight);
  for (const expected::ControlRow& want : expected::kForm1Controls) {
    SCOPED_TRACE(want.name);
    const ControlSpec* row = FindRow(want.name);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->caption, want.caption);
    EXPECT_EQ(row->left, want.left);
    EXPECT_EQ(row->top, want.top);
    EXPECT_EQ(row->width, want.width);
    EXPECT_EQ(row->height, want.height);
  }
}

TEST(ExpectedTexts, CountdownAndAboutCaptions) {
  FakePlatform fake;
  Form1 form1{fake, fake};
  Form2 form2{form1, fake};
  EXPECT_EQ(form2.Label1.Caption(), expected::kMovingOn);
  EXPECT_EQ(form2.Command1.Caption(), expected::kCancelCountdown);
  FrmAbout about{fake, fake};
  EXPECT_EQ(about.cmdSysInfo.Caption(), expected::kSysInfoButton);
  EXPECT_EQ(about.cmdOK.Caption(), expected::kOk);
}

}  // namespace
}  // namespace kestrune
