#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "form1_fixture.h"
#include "settings/settings_file.h"

namespace kestrune {
namespace {

// サウンド\警報.wav in code page 932, as a Japanese system writes it.
constexpr char kJapanesePathAnsi[] = "C:\\\x83\x54\x83\x45\x83\x93\x83\x68\\\x8c\x78\x95\xf1.wav";

std::string File(char key, char check, const std::string& options, const std::string& fileName) {
  return "/HotKey(bShift)\r\nFalse\r\n/HotKey(bCtrl)\r\nTrue\r\n/HotKey(bAlt)\r\nTrue\r\n"
         "/HotKey(sChar)\r\n" +
         std::string(1, key) + "\r\n/check1.Value\r\n" + std::string(1, check) +
         "\r\n/Option1().Value\r\n" + options + "\r\n/txtFileName.text\r\n" + fileName + "\r\n\r\n";
}

using SettingsForm = Form1Test;

TEST_F(SettingsForm, PreparedFileIsReflectedAtStart) {
  fake.files[SettingsPath()] =
      File('W', '1', "False|False|False|False|False|True", kJapanesePathAnsi);
  Start();
  EXPECT_EQ(form1.HotKey.bCtrl, kTrue);
  EXPECT_EQ(form1.HotKey.sChar, "W");
  for (size_t i = 0; i < form1.Option1.size(); ++i)
    EXPECT_EQ(form1.Option1[i]->Selected(), i == 5) << i;
  EXPECT_EQ(form1.txtFileName.Caption(), "C:\\サウンド\\警報.wav");
  EXPECT_TRUE(form1.Frame2.Enabled());  // the enabling rule ran for the 1 read
}

TEST_F(SettingsForm, EnablingRuleRunsWhenCheck1IsReadEvenIfReadingThenStops) {
  for (int value : {1, 0, 2}) {
    SCOPED_TRACE(value);
    fake.files[SettingsPath()] =
        "/check1.Value\r\n" + std::to_string(value) + "\r\n/HotKey(bAlt)\r\nnot a Boolean\r\n";
    form1.LoadSettings(SettingsPath());
    EXPECT_EQ(form1.Check1.Value(), value);
    // After 0 everything is disabled; 2 then changes nothing.
    EXPECT_EQ(form1.Frame2.Enabled(), value == 1);
    for (Control* option : form1.Option1) EXPECT_EQ(option->Enabled(), value == 1);
    EXPECT_EQ(form1.txtFileName.Enabled(), value == 1);
    EXPECT_EQ(form1.Command3.Enabled(), value == 1);
    EXPECT_EQ(form1.Command4.Enabled(), value == 1);
  }
}

// The action row shows at start as the program will act: a ticked Check1
// (also the design's, with no file or no Check1 line) enables it.
TEST(SettingsFormStart, ActionRowFollowsCheck1FromTheFirstStart) {
  const std::pair<std::optional<std::string>, bool> cases[] = {
      {std::nullopt, true},
      {"/HotKey(bShift)\r\nFalse\r\n", true},
      {"/check1.Value\r\n1\r\n", true},
      {"/check1.Value\r\n0\r\n", false},
  };
  for (const auto& [file, enabled] : cases) {
    SCOPED_TRACE(file.value_or("no file"));
    FakePlatform desk;
    Form1 form(desk, desk);
    if (file) desk.files[form.SettingsPath()] = *file;
    desk.Show(form);
    EXPECT_EQ(form.Frame2.Enabled(), enabled);
    for (Control* option : form.Option1) EXPECT_EQ(option->Enabled(), enabled);
    EXPECT_EQ(form.Command3.Enabled(), enabled);
    EXPECT_TRUE(desk.Click(*form.Option1[4]) == enabled);
  }
  // A grey box leaves the row in its design state.
  FakePlatform desk;
  Form1 form(desk, desk);
  desk.files[form.SettingsPath()] = "/check1.Value\r\n2\r\n";
  desk.Show(form);
  EXPECT_FALSE(form.Frame2.Enabled());
  EXPECT_TRUE(form.Option1[0]->Enabled());
}

// Read at start, written on each close attempt: the file comes back
// byte-identical, double-byte path and raw key bytes included.
TEST(SettingsFormRoundTrip, CloseAttemptsRewriteTheFileUnchanged) {
  for (const std::string& bytes :
       {File('W', '1', "False|False|False|False|False|True", kJapanesePathAnsi),
        File('\x82', '2', "False|False|False|False|False|False", "C:\\a.wav"),
        File('\0', '0', "False|False|False|True|False|False", "x")}) {
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
