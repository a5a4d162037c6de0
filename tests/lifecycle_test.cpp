#include <gtest/gtest.h>

#include "app/form1_layout.h"
#include "form1_fixture.h"

namespace kestrune {
namespace {

using Lifecycle = Form1Test;

TEST_F(Lifecycle, SecondInstanceIsRefusedAndTouchesNothing) {
  fake.previousInstance = true;
  fake.files[SettingsPath()] = "/check1.Value\r\n0\r\n";
  Start();
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].text, "ソフトはすでに起動中です");
  EXPECT_EQ(fake.boxes[0].style, 0x30);
  EXPECT_EQ(fake.boxes[0].caption, "Kestrune");
  EXPECT_TRUE(fake.endedAtOnce);
  EXPECT_EQ(form1.SecondInstance, 1);
  EXPECT_FALSE(fake.IsVisible(form1));
  EXPECT_TRUE(fake.hotKeys.empty());
  EXPECT_TRUE(fake.atoms.empty());
  EXPECT_EQ(form1.PrevWndProc, 0);
  EXPECT_EQ(fake.files[SettingsPath()], "/check1.Value\r\n0\r\n");
}

TEST_F(Lifecycle, SecondInstanceWithoutSettingsFileCreatesNone) {
  fake.previousInstance = true;
  Start();
  EXPECT_TRUE(fake.ended);
  EXPECT_EQ(fake.files.count(SettingsPath()), 0u);
}

TEST_F(Lifecycle, AnsweringNoKeepsWindowAndWatchButSavesSettings) {
  Start();
  Target("encoder");
  StartWatch();
  fake.ScriptBox(kIdNo);
  EXPECT_FALSE(fake.CloseWindow(form1));
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].text, "アプリケーションを終了しますか ?");
  EXPECT_EQ(fake.boxes[0].style, 0x24);
  EXPECT_EQ(fake.boxes[0].caption, "Kestrune");
  EXPECT_TRUE(fake.IsLoaded(form1));
  EXPECT_FALSE(fake.ended);
  EXPECT_EQ(fake.files.count(SettingsPath()), 1u);
  fake.Advance(3000);
  EXPECT_TRUE(form1.Timer1.Enabled());
}

TEST_F(Lifecycle, AnsweringYesEndsTheProgramAndRemovesTheHook) {
  Start();
  fake.ScriptBox(kIdYes);
  EXPECT_TRUE(fake.CloseWindow(form1));
  EXPECT_TRUE(fake.ended);
  EXPECT_FALSE(fake.endedAtOnce);
  EXPECT_EQ(form1.PrevWndProc, 0);
  EXPECT_EQ(fake.files.count(SettingsPath()), 1u);
}

// A box destroyed under the user returns 0: that is no consent to close.
TEST_F(Lifecycle, OnlyAnExplicitYesCloses) {
  Start();
  Target("encoder");
  StartWatch();
  for (int answer : {0, 7, 2}) {
    SCOPED_TRACE(answer);
    fake.ScriptBox(answer);
    EXPECT_FALSE(fake.CloseWindow(form1));
    EXPECT_TRUE(fake.IsLoaded(form1));
    EXPECT_FALSE(fake.ended);
    EXPECT_NE(form1.PrevWndProc, 0);
    EXPECT_TRUE(form1.Timer1.Enabled());
  }
  fake.ScriptBox(6);
  EXPECT_TRUE(fake.CloseWindow(form1));
  EXPECT_TRUE(fake.ended);
}

TEST_F(Lifecycle, ExitFlagClosesWithoutAQuestion) {
  Start();
  form1.Exitflag = kTrue;
  fake.CloseWindow(form1);
  EXPECT_TRUE(fake.boxes.empty());
  EXPECT_TRUE(fake.endedAtOnce);
  EXPECT_EQ(form1.PrevWndProc, 0);
  EXPECT_EQ(fake.files.count(SettingsPath()), 1u);
}

// A folder that cannot be written must not silently lose the user's choices,
// nor keep the program from closing.
TEST_F(Lifecycle, FailedSaveIsReportedThenTheQuestionFollows) {
  Start();
  fake.files[SettingsPath()] = "old";
  fake.failFileWrites = true;
  fake.ScriptBox(kIdOk);
  fake.ScriptBox(kIdYes);
  fake.CloseWindow(form1);
  ASSERT_EQ(fake.boxes.size(), 2u);
  EXPECT_NE(fake.boxes[0].text.find(SettingsPath()), std::string::npos);
  EXPECT_TRUE(fake.boxes[0].text.starts_with(expected::kSettingsWriteFailedPrefix));
  EXPECT_EQ(fake.boxes[0].style, expected::kSettingsWriteFailedStyle);
  EXPECT_EQ(fake.boxes[0].caption, "Kestrune");
  EXPECT_EQ(fake.boxes[1].text, expected::kQuitQuestion.text);
  EXPECT_TRUE(fake.ended);
  EXPECT_EQ(fake.files[SettingsPath()], "old");
}

TEST_F(Lifecycle, MenuCommands) {
  Start();
  bool aboutShown = false;
  fake.ScriptModal([&](Form& about) {
    aboutShown = true;
    EXPECT_TRUE(fake.IsModal(about));
    EXPECT_FALSE(fake.Click(form1.Command1)) << "the main window takes no input under it";
  });
  fake.ClickMenu(form1, kMenuIdVersion);
  EXPECT_TRUE(aboutShown);
  EXPECT_TRUE(fake.IsLoaded(form1));

  fake.ScriptBox(kIdNo);
  fake.ClickMenu(form1, kMenuIdExit);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].text, expected::kQuitQuestion.text);
  EXPECT_TRUE(fake.IsLoaded(form1));
}

TEST(SettingsPath, RootFolderGetsNoDoubleSeparator) {
  FakePlatform fake;
  Form1 form1(fake, fake);
  fake.appPath = "D:\\";
  EXPECT_EQ(form1.SettingsPath(), "D:\\default.ini");
  fake.appPath = "C:\\ツール\\Kestrune";
  EXPECT_EQ(form1.SettingsPath(), "C:\\ツール\\Kestrune\\default.ini");
}

}  // namespace
}  // namespace kestrune
