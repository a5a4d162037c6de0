#include <gtest/gtest.h>

#include "form1_fixture.h"

namespace kestrune {
namespace {

using WatchCycle = Form1Test;

void ExpectNoTarget(Form1& form1) {
  EXPECT_EQ(form1.Label1.Caption(), expected::kNotSet);
  EXPECT_EQ(form1.Command2.Caption(), expected::kStartWatch);
  EXPECT_FALSE(form1.Command2.Enabled());
  EXPECT_FALSE(form1.Timer1.Enabled());
  EXPECT_TRUE(form1.Command1.Enabled());
  EXPECT_EQ(form1.Command1.Caption(), expected::kSelectPrompt);
  EXPECT_EQ(form1.WatchHandle, 0u);
}

TEST_F(WatchCycle, FreshStartShowsNoTarget) {
  Start();
  EXPECT_TRUE(fake.IsVisible(form1));
  ExpectNoTarget(form1);
  EXPECT_EQ(form1.Timer1.Interval(), 1000);
  EXPECT_EQ(form1.Command1.Tooltip(), "test\r\nkai");
  EXPECT_EQ(form1.Check1.Value(), 1);
  EXPECT_TRUE(form1.Option1[0]->Selected());
  // The enabling rule ran for the ticked box: the row acts as it shows.
  EXPECT_TRUE(form1.Frame2.Enabled());
  EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(WatchCycle, StartNeedsATargetTitle) {
  Start();
  form1.Command2.SetEnabled(true);
  fake.Click(form1.Command2);
  EXPECT_EQ(form1.Command2.Caption(), expected::kStartWatch);
  EXPECT_FALSE(form1.Timer1.Enabled());
  EXPECT_EQ(form1.WindowState(), kWindowStateNormal);
}

TEST_F(WatchCycle, StartAndStopByHand) {
  Start();
  Target("(無題) - メモ帳");
  StartWatch();
  EXPECT_TRUE(form1.Timer1.Enabled());
  EXPECT_EQ(form1.Command2.Caption(), expected::kStopWatch);
  EXPECT_FALSE(form1.Command1.Enabled());
  EXPECT_EQ(form1.Command1.Caption(), expected::kSelectPrompt);
  EXPECT_EQ(form1.WindowState(), kWindowStateMinimized);

  fake.Advance(5000);  // the window lives on: the watch goes on
  EXPECT_TRUE(form1.Timer1.Enabled());
  EXPECT_EQ(form1.Label1.Caption(), "(無題) - メモ帳");

  fake.Click(form1.Command2);
  ExpectNoTarget(form1);
  EXPECT_TRUE(fake.boxes.empty());
  EXPECT_TRUE(fake.exitRequests.empty());
}

TEST_F(WatchCycle, StartingWhileArmedDisarms) {
  Start();
  Target("editor");
  form1.Command1.SetCaption(expected::kArmedCaption);
  StartWatch();
  EXPECT_EQ(form1.Command1.Caption(), expected::kSelectPrompt);
}

struct ClosedCase {
  int check1;
  int windowStateAfter;
};

class WindowClosed : public Form1Test, public ::testing::WithParamInterface<ClosedCase> {};

TEST_P(WindowClosed, ResetsWithinOneTickAndRestoresOnlyWhenTicked) {
  Start();
  Hwnd target = Target("encoder");
  form1.Check1.SetValue(GetParam().check1);
  SelectNoAction();  // the hand-over then does nothing visible of its own
  StartWatch();
  fake.Advance(1500);
  fake.DestroyWindow(target);
  fake.Advance(499);
  EXPECT_TRUE(form1.Timer1.Enabled()) << "the tick at 2000 ms is not reached yet";
  fake.Advance(1);
  ExpectNoTarget(form1);
  EXPECT_EQ(form1.WindowState(), GetParam().windowStateAfter);
  EXPECT_TRUE(fake.IsLoaded(form1));
}

INSTANTIATE_TEST_SUITE_P(Check1Values, WindowClosed,
                         ::testing::Values(ClosedCase{1, kWindowStateNormal},
                                           ClosedCase{0, kWindowStateMinimized},
                                           ClosedCase{2, kWindowStateMinimized}));

TEST_F(WatchCycle, TargetAlreadyGoneEndsAtFirstTick) {
  Start();
  fake.DestroyWindow(Target("gone"));
  form1.Check1.SetValue(0);
  StartWatch();
  fake.Advance(1000);
  ExpectNoTarget(form1);
}

TEST_F(WatchCycle, ReusedHandleCountsAsTheWatchedWindow) {
  Start();
  Hwnd target = Target("installer");
  StartWatch();
  fake.DestroyWindow(target);
  fake.AddWindowWithHandle(target, "something else");
  fake.Advance(3000);
  EXPECT_TRUE(form1.Timer1.Enabled());
  EXPECT_EQ(form1.Command2.Caption(), expected::kStopWatch);
}

// Guards against a stop handled inside the tick's pump step being taken for
// the window's disappearance (handle 0) and running the action.
TEST_F(WatchCycle, StopClickedDuringThePumpStepEndsTheTick) {
  Start();
  Target("download");
  StartWatch();
  fake.Post([&] { fake.Click(form1.Command2); });
  form1.Timer1_Timer();
  ExpectNoTarget(form1);
  EXPECT_EQ(form1.WindowState(), kWindowStateMinimized);
  EXPECT_EQ(fake.doEventsCount, 1);
  EXPECT_TRUE(fake.exitRequests.empty());
  EXPECT_TRUE(fake.powerRequests.empty());
  EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(WatchCycle, EnablingRuleFollowsCheck1InOrder) {
  Start();
  fake.changes.clear();
  fake.Click(form1.Check1);  // 1 -> 0
  EXPECT_EQ(form1.Check1.Value(), 0);
  const std::vector<std::string> disabledInOrder = {
      "Check1.Value",        "Frame2.Enabled",     "Option1(0).Enabled", "Option1(1).Enabled",
      "Option1(2).Enabled",  "Option1(3).Enabled", "Option1(4).Enabled", "Option1(5).Enabled",
      "txtFileName.Enabled", "Command3.Enabled",   "Command4.Enabled"};
  EXPECT_EQ(fake.changes, disabledInOrder);
  for (Control* option : form1.Option1) EXPECT_FALSE(option->Enabled());

  fake.Click(form1.Check1);  // 0 -> 1
  EXPECT_TRUE(form1.Frame2.Enabled());
  EXPECT_TRUE(form1.txtFileName.Enabled());
  EXPECT_TRUE(form1.Command3.Enabled());
  EXPECT_TRUE(form1.Command4.Enabled());
  EXPECT_TRUE(form1.Find("Command5").Enabled()) << "Command5 is never touched";

  form1.Check1.SetValue(2);
  fake.changes.clear();
  form1.Check1_Click();
  EXPECT_TRUE(fake.changes.empty());
}

TEST_F(WatchCycle, OptionsTakeNoClicksWhileTheFrameIsDisabled) {
  Start();
  fake.Click(form1.Check1);
  EXPECT_FALSE(fake.Click(*form1.Option1[2]));
  EXPECT_TRUE(form1.Option1[0]->Selected());
  fake.Click(form1.Check1);
  EXPECT_TRUE(fake.Click(*form1.Option1[2]));
  EXPECT_TRUE(form1.Option1[2]->Selected());
  EXPECT_FALSE(form1.Option1[0]->Selected());
}

TEST_F(WatchCycle, BringsItselfToTheFront) {
  Start();
  fake.SetForeground(fake.AddWindow("other"));
  int refreshes = fake.refreshCount;
  form1.mywindowactiveset();
  EXPECT_EQ(fake.Foreground(), fake.WindowHandle(form1));
  EXPECT_EQ(fake.refreshCount, refreshes + 1);
}

}  // namespace
}  // namespace kestrune
