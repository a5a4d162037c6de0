#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "actions/form2.h"
#include "app/form1_layout.h"
#include "form1_fixture.h"

namespace kestrune {
namespace {

// Check1 ticked, log-off selected: a watch that ends starts the countdown.
constexpr char kLogoffFile[] =
    "/HotKey(bShift)\r\nFalse\r\n/HotKey(bCtrl)\r\nTrue\r\n/HotKey(bAlt)\r\nTrue\r\n"
    "/HotKey(sChar)\r\nW\r\n/check1.Value\r\n1\r\n/Option1().Value\r\n"
    "False|False|True|False|False|False\r\n/txtFileName.text\r\nC:\\a.wav\r\n\r\n";
// The same after Check1 was unticked.
constexpr char kUntickedFile[] =
    "/HotKey(bShift)\r\nFalse\r\n/HotKey(bCtrl)\r\nTrue\r\n/HotKey(bAlt)\r\nTrue\r\n"
    "/HotKey(sChar)\r\nW\r\n/check1.Value\r\n0\r\n/Option1().Value\r\n"
    "False|False|True|False|False|False\r\n/txtFileName.text\r\nC:\\a.wav\r\n\r\n";

class SessionEnd : public Form1Test {
 protected:
  void SetUp() override {
    fake.files[SettingsPath()] = kLogoffFile;
    Start();
  }

  // Ended by the program itself, having written and unhooked, with no box
  // beyond those open before and no exit request of its own.
  void ExpectSavedAndEnded(const std::string& file, size_t boxesBefore) {
    EXPECT_EQ(fake.files[SettingsPath()], file);
    EXPECT_TRUE(fake.endedAtOnce);
    EXPECT_FALSE(fake.endedBySystem) << "the system had to end it";
    EXPECT_EQ(form1.PrevWndProc, 0);
    EXPECT_EQ(fake.boxes.size(), boxesBefore);
    EXPECT_TRUE(fake.exitRequests.empty());
    EXPECT_TRUE(fake.powerRequests.empty());
    for (intptr_t answer : fake.queryEndSessionAnswers) EXPECT_EQ(answer, 1);
  }
};

TEST_F(SessionEnd, IdleProgramSavesWithoutABoxAndEnds) {
  ASSERT_TRUE(fake.Click(form1.Check1));
  EXPECT_TRUE(fake.EndSession());
  ExpectSavedAndEnded(kUntickedFile, 0);
}

TEST_F(SessionEnd, WhileTheClosingQuestionIsOpen) {
  ASSERT_TRUE(fake.Click(form1.Check1));
  fake.ScriptBox(kIdNo, [&] {
    fake.files.erase(SettingsPath());  // the close attempt wrote it already
    EXPECT_TRUE(fake.EndSession());
  });
  fake.CloseWindow(form1);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].text, "アプリケーションを終了しますか ?");
  ExpectSavedAndEnded(kUntickedFile, 1);
}

TEST_F(SessionEnd, WhileTheAboutDialogIsOpen) {
  ASSERT_TRUE(fake.Click(form1.Check1));
  fake.ScriptModal([&](Form&) { EXPECT_TRUE(fake.EndSession()); });
  fake.ClickMenu(form1, kMenuIdVersion);
  ExpectSavedAndEnded(kUntickedFile, 0);
}

// The session end comes two seconds into the countdown: the log-off of the
// program's own is never requested.
TEST_F(SessionEnd, DuringTheCountdownNoRequestOfItsOwnFollows) {
  Target("encoder");
  StartWatch();
  fake.ScriptModal([&](Form& countdown) {
    EXPECT_NE(dynamic_cast<Form2*>(&countdown), nullptr);
    fake.At(fake.Now() + 2000, [&] {
      fake.files.erase(SettingsPath());
      EXPECT_TRUE(fake.EndSession());
    });
  });
  fake.DestroyWindow(form1.WatchHandle);
  fake.Advance(10000);
  ExpectSavedAndEnded(kLogoffFile, 0);
}

// The file cannot be written: nothing is shown, the old file stays.
TEST_F(SessionEnd, FailedWriteShowsNothing) {
  ASSERT_TRUE(fake.Click(form1.Check1));
  fake.failFileWrites = true;
  fake.EndSession();
  ExpectSavedAndEnded(kLogoffFile, 0);
}

// Someone else cancelled the end after everyone agreed: nothing changes.
TEST_F(SessionEnd, CancelledEndChangesNothing) {
  Target("encoder");
  StartWatch();
  ASSERT_TRUE(fake.Click(form1.Check1));
  EXPECT_TRUE(fake.EndSession(/*cancelledElsewhere=*/true));
  EXPECT_FALSE(fake.ended);
  EXPECT_EQ(fake.files[SettingsPath()], kLogoffFile);
  EXPECT_NE(form1.PrevWndProc, 0);
  EXPECT_TRUE(fake.boxes.empty());
  EXPECT_TRUE(form1.Timer1.Enabled());
  fake.Advance(3000);
  EXPECT_TRUE(fake.IsLoaded(form1));
}

}  // namespace
}  // namespace kestrune
