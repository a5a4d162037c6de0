#include <gtest/gtest.h>

#include <string>

#include "app/form1.h"
#include "app/texts.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

constexpr uint32_t kCtrlAlt = 0x3;
constexpr uint32_t kVkW = 'W';

class CaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    form1.HotKey.bCtrl = kTrue;
    form1.HotKey.bAlt = kTrue;
    form1.HotKey.sChar = "W";
    fake.Show(form1);
  }
  void Arm() {
    ASSERT_TRUE(fake.Click(form1.Command1));
    ASSERT_EQ(form1.Command1.Caption(), texts::kArmedCaption);
  }
  void PressHotKey() { ASSERT_TRUE(fake.PressHotKey(kCtrlAlt, kVkW)); }
  // Brings a window to the front and presses the hotkey; the box is
  // answered with answer.
  void CaptureWith(Hwnd window, int answer) {
    fake.SetForeground(window);
    fake.ScriptBox(answer);
    PressHotKey();
  }
  // A target confirmed from the unarmed state.
  Hwnd SetTarget(const std::string& title) {
    Hwnd window = fake.AddWindow(title);
    Arm();
    CaptureWith(window, kIdOk);
    return window;
  }
  void ExpectTarget(Hwnd window, const std::string& title) {
    EXPECT_EQ(form1.WatchHandle, window);
    EXPECT_EQ(form1.Label1.Caption(), title);
    EXPECT_TRUE(form1.Command2.Enabled());
    EXPECT_EQ(form1.Command2.Caption(), texts::kStartWatch);
  }
  std::string Question(const std::string& title) {
    return std::string(texts::kLockedOnPrefix) + title + texts::kLockedOnSuffix;
  }

  FakePlatform fake;
  Form1 form1{fake, fake};
};

TEST_F(CaptureTest, ArmingButtonCyclesThroughItsCaptions) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {texts::kSelectPrompt, texts::kArmedCaption},
      {texts::kReselectPrompt, texts::kArmedCaption},
      {texts::kArmedCaption, texts::kSelectPrompt},
      {"other", "other"},
  };
  for (const Case& c : cases) {
    form1.Command1.SetCaption(c.before);
    ASSERT_TRUE(fake.Click(form1.Command1));
    EXPECT_EQ(form1.Command1.Caption(), c.after) << c.before;
  }
  EXPECT_FALSE(form1.Command2.Enabled());
  EXPECT_EQ(form1.Label1.Caption(), texts::kNotSet);
}

TEST_F(CaptureTest, ConfirmedCaptureTakesTheWindowInFront) {
  Hwnd notepad = fake.AddWindow("(無題) - メモ帳");
  Arm();
  fake.SetForeground(notepad);
  Hwnd frontWhileAsking = 0;
  fake.ScriptBox(kIdOk, [&] { frontWhileAsking = fake.Foreground(); });
  PressHotKey();

  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].text, Question("(無題) - メモ帳"));
  EXPECT_EQ(fake.boxes[0].style, kMbOkCancel);
  EXPECT_EQ(fake.boxes[0].caption, texts::kAppTitle);
  EXPECT_EQ(frontWhileAsking, fake.WindowHandle(form1));  // box shows over the main window
  ExpectTarget(notepad, "(無題) - メモ帳");
  EXPECT_EQ(form1.Command1.Caption(), texts::kReselectPrompt);
  EXPECT_TRUE(form1.Command1.Enabled());
}

TEST_F(CaptureTest, UnarmedHotKeyCapturesNothing) {
  fake.SetForeground(fake.AddWindow("editor"));
  PressHotKey();
  EXPECT_TRUE(fake.boxes.empty());
  EXPECT_EQ(form1.WatchHandle, 0u);
  EXPECT_EQ(form1.Label1.Caption(), texts::kNotSet);
}

TEST_F(CaptureTest, CancelKeepsTheTargetAndStaysArmed) {
  Hwnd first = SetTarget("first");
  Hwnd third = fake.AddWindow("third");
  Arm();
  CaptureWith(fake.AddWindow("second"), kIdCancel);
  ExpectTarget(first, "first");
  EXPECT_EQ(form1.Command1.Caption(), texts::kArmedCaption);

  CaptureWith(third, kIdOk);  // still armed: the window now in front is offered
  EXPECT_EQ(fake.boxes.back().text, Question("third"));
  ExpectTarget(third, "third");
}

// Guards against a cancelled re-capture leaving the cancelled window's handle
// behind Label1's old title, so that the watch follows the wrong window.
TEST_F(CaptureTest, WatchAfterACancelledRecaptureFollowsTheShownTarget) {
  Hwnd first = SetTarget("first");
  Hwnd second = fake.AddWindow("second");
  Arm();
  CaptureWith(second, kIdCancel);
  ASSERT_TRUE(fake.Click(form1.Command2));
  fake.DestroyWindow(second);
  fake.Advance(1000);
  EXPECT_EQ(form1.Command2.Caption(), texts::kStopWatch);
  fake.DestroyWindow(first);
  fake.Advance(1000);
  EXPECT_EQ(form1.Command2.Caption(), texts::kStartWatch);
  EXPECT_EQ(form1.Label1.Caption(), texts::kNotSet);
}

// Guards against a disarming click clearing the handle while Label1 still
// names the target: the next watch would end at once and run the action.
TEST_F(CaptureTest, DisarmKeepsTheTargetSoAWatchStillWatchesIt) {
  Hwnd target = SetTarget("target");
  Arm();
  ASSERT_TRUE(fake.Click(form1.Command1));
  EXPECT_EQ(form1.Command1.Caption(), texts::kSelectPrompt);
  ExpectTarget(target, "target");

  form1.Check1.SetValue(1);
  ASSERT_TRUE(fake.Click(form1.Command2));
  fake.Advance(3000);
  EXPECT_EQ(form1.Command2.Caption(), texts::kStopWatch);
  EXPECT_TRUE(fake.exitRequests.empty());
}

// Guards against the handle and the title of a nested capture coming from
// different captures: the confirmation answered last must decide both.
TEST_F(CaptureTest, NestedCaptureTakesHandleAndTitleFromTheLastConfirmed) {
  struct Case {
    int outerAnswer, innerAnswer;
    const char* winner;  // nullptr: no target
  };
  const Case cases[] = {
      {kIdOk, kIdOk, "outer"},
      {kIdOk, kIdCancel, "outer"},
      {kIdCancel, kIdOk, "inner"},
      {kIdCancel, kIdCancel, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.outerAnswer << "/" << c.innerAnswer);
    FakePlatform desk;
    Form1 form{desk, desk};
    form.HotKey = form1.HotKey;
    desk.Show(form);
    Hwnd outer = desk.AddWindow("outer");
    Hwnd inner = desk.AddWindow("inner");
    ASSERT_TRUE(desk.Click(form.Command1));
    desk.SetForeground(outer);
    desk.ScriptBox(c.outerAnswer, [&] {
      desk.SetForeground(inner);
      desk.ScriptBox(c.innerAnswer);
      desk.PressHotKey(kCtrlAlt, kVkW);
    });
    ASSERT_TRUE(desk.PressHotKey(kCtrlAlt, kVkW));

    ASSERT_EQ(desk.boxes.size(), 2u);
    EXPECT_EQ(desk.boxes[1].text, Question("inner"));
    if (c.winner == nullptr) {
      EXPECT_EQ(form.WatchHandle, 0u);
      EXPECT_EQ(form.Label1.Caption(), texts::kNotSet);
    } else {
      EXPECT_EQ(form.WatchHandle, std::string(c.winner) == "outer" ? outer : inner);
      EXPECT_EQ(form.Label1.Caption(), c.winner);
    }
  }
}

TEST_F(CaptureTest, MainWindowCanBeItsOwnTargetAndIsNeverLost) {
  Arm();
  CaptureWith(fake.WindowHandle(form1), kIdOk);
  ExpectTarget(fake.WindowHandle(form1), texts::kAppTitle);
  form1.Check1.SetValue(1);
  ASSERT_TRUE(fake.Click(form1.Command2));
  fake.Advance(5000);
  EXPECT_EQ(form1.Command2.Caption(), texts::kStopWatch);
}

TEST_F(CaptureTest, UntitledWindowIsTakenWithAnEmptyTitle) {
  Hwnd untitled = fake.AddWindow("");
  Arm();
  CaptureWith(untitled, kIdOk);
  EXPECT_EQ(fake.boxes.back().text, Question(""));
  ExpectTarget(untitled, "");
}

TEST_F(CaptureTest, LongTitlesKeepTheirFirst249Bytes) {
  struct Case {
    std::string title;
    std::string shown;
  };
  const std::string a247(247, 'a'), a248(248, 'a');
  const Case cases[] = {
      {std::string(300, 'x'), std::string(249, 'x')},
      // A double-byte character ending exactly at byte 249 is kept whole...
      {a247 + "あいう", a247 + "あ"},
      // ...one that would straddle the limit is left out, never halved.
      {a248 + "あいう", a248},
  };
  for (const Case& c : cases) {
    Hwnd window = fake.AddWindow(c.title);
    form1.Command1.SetCaption(texts::kArmedCaption);
    CaptureWith(window, kIdOk);
    EXPECT_EQ(fake.boxes.back().text, Question(c.shown));
    EXPECT_EQ(form1.Label1.Caption(), c.shown);
    EXPECT_EQ(form1.WatchHandle, window);
  }
}

}  // namespace
}  // namespace kestrune
