#include <gtest/gtest.h>

#include <string>

#include "form1_fixture.h"
#include "settings/settings_file.h"

namespace kestrune {
namespace {

// サウンド\警報.wav in code page 932, as a Japanese system writes it.
constexpr char kJapanesePathAnsi[] = "C:\\\x83\x54\x83\x45\x83\x93\x83\x68\\\x8c\x78\x95\xf1.wav";
constexpr char kJapanesePathUtf8[] = "C:\\サウンド\\警報.wav";

std::string File(const std::string& keyByte, const std::string& check, const std::string& options,
                 const std::string& fileName, const char* shift = "False") {
  return "/HotKey(bShift)\r\n" + std::string(shift) +
         "\r\n/HotKey(bCtrl)\r\nTrue\r\n/HotKey(bAlt)\r\nTrue\r\n/HotKey(sChar)\r\n" + keyByte +
         "\r\n/check1.Value\r\n" + check + "\r\n/Option1().Value\r\n" + options +
         "\r\n/txtFileName.text\r\n" + fileName + "\r\n\r\n";
}

using SettingsForm = Form1Test;

TEST_F(SettingsForm, PreparedFileIsReflectedAtStart) {
  fake.files[SettingsPath()] =
      File("W", "1", "False|False|False|False|False|True", kJapanesePathAnsi);
  Start();
  EXPECT_EQ(form1.HotKey.bShift, kFalse);
  EXPECT_EQ(form1.HotKey.bCtrl, kTrue);
  EXPECT_EQ(form1.HotKey.bAlt, kTrue);
  EXPECT_EQ(form1.HotKey.sChar, "W");
  EXPECT_EQ(form1.Check1.Value(), 1);
  for (int i = 0; i < kActionCount; ++i)
    EXPECT_EQ(form1.Option1[static_cast<size_t>(i)]->Selected(), i == 5) << i;
  EXPECT_EQ(form1.txtFileName.Caption(), kJapanesePathUtf8);
  // Check1 read as 1 ran the enabling rule: the frame is no longer disabled.
  EXPECT_TRUE(form1.Frame2.Enabled());
}

TEST_F(SettingsForm, EnablingRuleRunsWhenCheck1IsReadEvenIfReadingThenStops) {
  for (int value = 0; value <= 2; ++value) {
    SCOPED_TRACE(value);
    FakePlatform desk;
    Form1 form(desk, desk);
    desk.files[SettingsPath()] =
        "/check1.Value\r\n" + std::to_string(value) + "\r\n/HotKey(bAlt)\r\nnot a Boolean\r\n";
    form.LoadSettings(SettingsPath());
    EXPECT_EQ(form.Check1.Value(), value);
    // Value 2 leaves the design state: frame disabled, its controls enabled.
    const bool frame = value == 1;
    const bool inside = value != 0;
    EXPECT_EQ(form.Frame2.Enabled(), frame);
    for (Control* option : form.Option1) EXPECT_EQ(option->Enabled(), inside);
    EXPECT_EQ(form.txtFileName.Enabled(), inside);
    EXPECT_EQ(form.Command3.Enabled(), inside);
    EXPECT_EQ(form.Command4.Enabled(), inside);
  }
}

TEST_F(SettingsForm, OptionLineFollowsTheOptionGroupRule) {
  fake.files[SettingsPath()] = "/Option1().Value\r\nFalse|True|False|True\r\n";
  form1.LoadSettings(SettingsPath());
  for (int i = 0; i < kActionCount; ++i)
    EXPECT_EQ(form1.Option1[static_cast<size_t>(i)]->Selected(), i == 3) << i;

  fake.files[SettingsPath()] = "/Option1().Value\r\nFalse|False|False|False|False|False\r\n";
  form1.LoadSettings(SettingsPath());
  for (Control* option : form1.Option1) EXPECT_FALSE(option->Selected());
}

TEST_F(SettingsForm, MissingFileChangesNothing) {
  form1.LoadSettings(SettingsPath());
  EXPECT_EQ(form1.Check1.Value(), 1);
  EXPECT_TRUE(form1.Option1[0]->Selected());
  EXPECT_FALSE(form1.Frame2.Enabled());
  EXPECT_EQ(form1.HotKey.sChar, std::string(1, '\0'));
}

// Read at start, written on each close attempt: the file comes back
// byte-identical, double-byte path and raw key bytes included.
TEST(SettingsFormRoundTrip, CloseAttemptsRewriteTheFileUnchanged) {
  const std::string files[] = {
      File("W", "1", "False|False|False|False|False|True", kJapanesePathAnsi),
      File("\x82", "2", "False|False|False|False|False|False", "C:\\a.wav", "True"),
      File(std::string(1, '\0'), "0", "False|False|False|True|False|False", "x"),
      File("|", "1", "True|False|False|False|False|False", "C:\\Sounds\\ring.wav"),
  };
  for (const std::string& bytes : files) {
    SCOPED_TRACE(bytes);
    FakePlatform desk;
    Form1 form(desk, desk);
    const std::string path = form.SettingsPath();
    desk.files[path] = bytes;
    desk.Show(form);
    desk.ScriptBox(kIdNo);
    EXPECT_FALSE(desk.CloseWindow(form));
    EXPECT_EQ(desk.files[path], bytes);
    desk.files[path] = "stale";
    desk.ScriptBox(kIdYes);
    EXPECT_TRUE(desk.CloseWindow(form));
    EXPECT_EQ(desk.files[path], bytes);
  }
}

}  // namespace
}  // namespace kestrune
