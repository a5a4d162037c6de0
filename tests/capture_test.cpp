#include <gtest/gtest.h>

#include "app/form1.h"
#include "expected.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

class CaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    form1.HotKey = HotKeySetting{kFalse, kTrue, kTrue, "W"};
    fake.Show(form1);
  }
  // Brings window to the front and presses the hotkey; the box gets answer.
  void Capture(Hwnd window, int answer, std::function<void()> whileAsking = {}) {
    fake.SetForeground(window);
    fake.ScriptBox(answer, std::move(whileAsking));
    ASSERT_TRUE(fake.PressHotKey(0x3, 'W'));
  }
  void Arm() { form1.Command1.SetCaption(expected::kArmedCaption); }
  void ExpectTarget(Hwnd window, const std::string& title) {
    EXPECT_EQ(form1.WatchHandle, window);
    EXPECT_EQ(form1.Label1.Caption(), title);
  }
  std::string Question(const std::string& title) {
    return expected::kLockedOnPrefix + title + expected::kLockedOnSuffix;
  }
  bool Watching() { return form1.Command2.Caption() == expected::kStopWatch; }

  FakePlatform fake;
  Form1 form1{fake, fake};
};

TEST_F(CaptureTest, ArmedConfirmedCaptureTakesTheWindowInFront) {
  Hwnd notepad = fake.AddWindow("(無題) - メモ帳");
  fake.SetForeground(notepad);
  ASSERT_TRUE(fake.PressHotKey(0x3, 'W'));  // not armed yet
  EXPECT_TRUE(fake.boxes.empty());
  ASSERT_TRUE(fake.Click(form1.Command1));
  Hwnd front = 0;
  Capture(notepad, kIdOk, [&] { front = fake.Foreground(); });
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].text, Question("(無題) - メモ帳"));
  EXPECT_EQ(fake.boxes[0].style, expected::kLockedOnStyle);
  EXPECT_EQ(front, fake.WindowHandle(form1));  // the box shows over the main window
  ExpectTarget(notepad, "(無題) - メモ帳");
  EXPECT_EQ(form1.Command1.Caption(), expected::kReselectPrompt);
  EXPECT_TRUE(form1.Command2.Enabled());
  EXPECT_EQ(form1.Command2.Caption(), expected::kStartWatch);
}

TEST_F(CaptureTest, ReselectPromptArmsTheNextCapture) {
  Hwnd first = fake.AddWindow("first"), second = fake.AddWindow("second");
  Arm();
  Capture(first, kIdOk);
  ASSERT_EQ(form1.Command1.Caption(), expected::kReselectPrompt);
  ASSERT_TRUE(fake.Click(form1.Command1));
  EXPECT_EQ(form1.Command1.Caption(), expected::kArmedCaption);
  Capture(second, kIdOk);
  ExpectTarget(second, "second");
  EXPECT_EQ(form1.Command1.Caption(), expected::kReselectPrompt);
}

// Guards against a cancelled re-capture or a disarm changing the handle behind
// Label1's title: the next watch would follow another window, or none and
// run the action at once.
TEST_F(CaptureTest, CancelAndDisarmLeaveTheShownTargetWatched) {
  Hwnd first = fake.AddWindow("first"), second = fake.AddWindow("second");
  Arm();
  Capture(first, kIdOk);
  Arm();
  Capture(second, kIdCancel);
  ExpectTarget(first, "first");
  EXPECT_EQ(form1.Command1.Caption(), expected::kArmedCaption);  // still armed
  ASSERT_TRUE(fake.Click(form1.Command1));                       // disarm
  EXPECT_EQ(form1.Command1.Caption(), expected::kSelectPrompt);
  ExpectTarget(first, "first");

  form1.Check1.SetValue(1);
  ASSERT_TRUE(fake.Click(form1.Command2));
  fake.DestroyWindow(second);
  fake.Advance(2000);
  EXPECT_TRUE(Watching());
  EXPECT_TRUE(fake.exitRequests.empty());
  fake.DestroyWindow(first);
  fake.Advance(1000);
  EXPECT_FALSE(Watching());
}

// Guards against handle and title of a nested capture coming from different
// captures: the confirmation answered last decides both.
TEST_F(CaptureTest, NestedCaptureTakesHandleAndTitleFromTheLastConfirmed) {
  Hwnd outer = fake.AddWindow("outer"), inner = fake.AddWindow("inner");
  struct Case {
    int outerAnswer, innerAnswer;
    Hwnd window;
    const char* title;
  };
  const Case cases[] = {{kIdOk, kIdOk, outer, "outer"},
                        {kIdOk, kIdCancel, outer, "outer"},
                        {kIdCancel, kIdOk, inner, "inner"}};
  for (const Case& c : cases) {
    form1.WatchHandle = 0;
    form1.Label1.SetCaption(expected::kNotSet);
    Arm();
    Capture(outer, c.outerAnswer, [&] { Capture(inner, c.innerAnswer); });
    ASSERT_FALSE(fake.boxes.empty()) << "no capture asked";
    EXPECT_EQ(fake.boxes.back().text, Question("inner"));
    ExpectTarget(c.window, c.title);
  }
}

// A confirmation box of ours in front (a second press while it is open, or
// the closing question) must not become the target: it vanishes once
// answered, and a watch on it would run the action at once.
TEST_F(CaptureTest, OwnBoxesAndDialogsInFrontAreIgnored) {
  Hwnd notepad = fake.AddWindow("(無題) - メモ帳");
  Arm();
  Capture(notepad, 1, [&] {
    fake.SetForeground(fake.OpenBox());
    for (int press = 0; press < 9; ++press) ASSERT_TRUE(fake.PressHotKey(0x3, 'W'));
  });
  ASSERT_EQ(fake.boxes.size(), 1u);
  ExpectTarget(notepad, "(無題) - メモ帳");

  Arm();
  fake.ScriptBox(7, [&] {  // the closing question, answered No
    fake.SetForeground(fake.OpenBox());
    ASSERT_TRUE(fake.PressHotKey(0x3, 'W'));
  });
  EXPECT_FALSE(fake.CloseWindow(form1));
  ASSERT_EQ(fake.boxes.size(), 2u);
  EXPECT_EQ(fake.boxes[1].text, "アプリケーションを終了しますか ?");
  EXPECT_EQ(form1.Command1.Caption(), "「監視ウィンドウ」選択のキャンセル");  // still armed
  ExpectTarget(notepad, "(無題) - メモ帳");
}

TEST_F(CaptureTest, AnyWindowIsTakenWithItsFirst249TitleBytes) {
  const std::string a247(247, 'a'), a248(248, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {std::string(300, 'x'), std::string(249, 'x')},
      {a247 + "あい", a247 + "あ"},  // a double-byte character ending at byte 249 stays
      {a248 + "あい", a248},         // one cut at the limit is left out whole
  };
  for (const auto& [title, shown] : cases) {
    Hwnd window = fake.AddWindow(title);
    Arm();
    Capture(window, kIdOk);
    ASSERT_FALSE(fake.boxes.empty()) << "no capture asked";
    EXPECT_EQ(fake.boxes.back().text, Question(shown));
    ExpectTarget(window, shown);
  }
  // The main window itself is a target like any other, and never goes away.
  Arm();
  Capture(fake.WindowHandle(form1), kIdOk);
  ExpectTarget(fake.WindowHandle(form1), expected::kAppTitle);
  ASSERT_TRUE(fake.Click(form1.Command2));
  fake.Advance(3000);
  EXPECT_TRUE(Watching());
}

}  // namespace
}  // namespace kestrune
