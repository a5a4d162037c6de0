#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "actions/form2.h"
#include "app/form1.h"
#include "expected.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

namespace t = expected;
// A message box as text, style and caption, comparable and printable.
using Box = std::tuple<std::string, int, std::string>;

Box Expected(const expected::Box& box) {
  return {box.text, box.style, box.caption};
}

std::vector<Box> Boxes(const FakePlatform& fake) {
  std::vector<Box> out;
  for (const FakePlatform::Box& box : fake.boxes)
    out.emplace_back(box.text, box.style, box.caption);
  return out;
}

constexpr int kCountdownMs = 500 * 10;
constexpr int kNone = -1;

const std::vector<std::string> kPrivilegeStep = {
    "GetCurrentProcess",
    "OpenProcessToken(-1,40)",
    "LookupPrivilegeValueA(null,SeShutdownPrivilege)",
    "AdjustTokenPrivileges(16962,0,count=1,luid=19,attributes=2,length=16)",
    "CloseHandle(16962)",
};

// The main window up and running, with one action selected.
struct Desk {
  explicit Desk(int action) {
    fake.Show(form1);
    for (int i = 0; i < 6; ++i) form1.Option1[i]->SetValue(i == action ? -1 : 0);
  }
  // The dialog of the next countdown, handed to onShow once it is loaded.
  void OnCountdown(std::function<void(Form2&)> onShow) {
    fake.ScriptModal([onShow](Form& form) { onShow(static_cast<Form2&>(form)); });
  }
  void CancelNextCountdown() {
    OnCountdown([this](Form2& form2) { fake.Click(form2.Command1); });
  }
  void ExpectStillRunning() {
    EXPECT_EQ(form1.Exitflag, kFalse);
    EXPECT_FALSE(fake.ended);
    EXPECT_TRUE(fake.IsLoaded(form1));
  }
  void ExpectClosedForExit() {
    EXPECT_EQ(form1.Exitflag, kTrue);
    EXPECT_TRUE(fake.endedAtOnce);
    for (const FakePlatform::Box& box : fake.boxes) EXPECT_NE(box.text, t::kQuitQuestion.text);
  }

  FakePlatform fake;
  Form1 form1{fake, fake};
};

struct SystemAction {
  int index;
  std::vector<std::pair<int32_t, int32_t>> power;
  std::vector<uint32_t> exits;
};
const SystemAction kSystemActions[] = {
    {0, {{-1, 0}}, {}}, {1, {{0, 0}}, {}}, {2, {}, {0x0}}, {3, {}, {0x2}}, {4, {}, {0x8}},
};

TEST(SystemActions, CountdownPrivilegeOneRequestThenClose) {
  for (const SystemAction& action : kSystemActions) {
    SCOPED_TRACE("index " + std::to_string(action.index));
    Desk desk(action.index);
    int valueAtShow = -1, valueBeforeLastTick = -1;
    bool mainTookInput = true;
    desk.OnCountdown([&](Form2& form2) {
      valueAtShow = form2.ProgressBar1.Value();
      mainTookInput = desk.fake.Click(desk.form1.Check1);
      desk.fake.At(kCountdownMs - 1, [&] { valueBeforeLastTick = form2.ProgressBar1.Value(); });
    });
    desk.form1.Win_Exit_State();
    EXPECT_EQ(valueAtShow, 0);
    EXPECT_FALSE(mainTookInput);  // the dialog is modal
    EXPECT_EQ(valueBeforeLastTick, 499);
    EXPECT_EQ(desk.fake.Now(), kCountdownMs);
    EXPECT_EQ(desk.fake.privilegeCalls, kPrivilegeStep);
    EXPECT_EQ(desk.fake.powerRequests, action.power);
    EXPECT_EQ(desk.fake.exitRequests, action.exits);
    EXPECT_EQ(desk.fake.exitReservedArgs, std::vector<uint32_t>(action.exits.size(), 0));
    EXPECT_TRUE(desk.fake.boxes.empty());
    desk.ExpectClosedForExit();
  }
}

// Guards against a tick that pumps no messages (a stop click then waits for
// the end of the countdown) and against a tick that acts after the click
// handled inside its pump step has unloaded the dialog.
TEST(SystemActions, EachTickPumpsOnceAndAClickInsideItCancels) {
  Desk desk(4);
  desk.fake.Hide(desk.form1);
  const Form* countdown = nullptr;
  int pumpsAfter20Ticks = -1;
  desk.OnCountdown([&](Form2& form2) {
    countdown = &form2;
    desk.fake.At(205, [&] {
      pumpsAfter20Ticks = desk.fake.doEventsCount;
      desk.fake.Post([&] { desk.fake.Click(form2.Command1); });
      desk.fake.formCalls.clear();
      form2.Timer1_Timer();  // the tick's pump step runs the click
    });
  });
  desk.form1.Win_Exit_State();
  EXPECT_EQ(pumpsAfter20Ticks, 20);
  EXPECT_EQ(desk.fake.doEventsCount, 21);
  EXPECT_EQ(desk.fake.Now(), 205);
  EXPECT_EQ(desk.form1.Cancelflag, kTrue);
  const std::vector<std::pair<std::string, const Form*>> order = {
      {"Hide", countdown}, {"Show", &desk.form1}, {"Unload", countdown}};
  EXPECT_EQ(desk.fake.formCalls, order);
  EXPECT_TRUE(desk.fake.exitRequests.empty());
  EXPECT_TRUE(desk.fake.privilegeCalls.empty());
  desk.ExpectStillRunning();
}

// Guards against the poll handing over to only some of the actions.
TEST(SystemActions, VanishedTargetWithCheck1TickedRunsTheChosenAction) {
  for (int index = 0; index <= 5; ++index) {
    SCOPED_TRACE("index " + std::to_string(index));
    Desk desk(index);
    desk.fake.files["C:\\done.wav"] = "RIFF";
    desk.form1.txtFileName.SetCaption("C:\\done.wav");
    const Hwnd target = desk.fake.AddWindow("job");
    desk.form1.WatchHandle = target;
    desk.form1.Label1.SetCaption("job");
    desk.form1.Command2.SetEnabled(true);
    ASSERT_EQ(desk.form1.Check1.Value(), 1);
    ASSERT_TRUE(desk.fake.Click(desk.form1.Command2));
    desk.fake.DestroyWindow(target);
    desk.fake.Advance(1000 + kCountdownMs);
    if (index < 5) {
      EXPECT_EQ(desk.fake.powerRequests, kSystemActions[index].power);
      EXPECT_EQ(desk.fake.exitRequests, kSystemActions[index].exits);
      desk.ExpectClosedForExit();
    } else {
      EXPECT_EQ(desk.fake.mciCommands,
                (std::vector<std::string>{"open \"C:\\done.wav\" alias mysound",
                                          "play mysound wait", "close mysound"}));
      desk.ExpectStillRunning();
    }
  }
}

TEST(SystemActions, CancelledCountdownMakesNoRequest) {
  // Ticks fall on multiples of 10 ms: 4995 ms is after tick 499, the last
  // that advances the bar, and before the closing tick 500.
  struct Moment {
    int64_t clickAtMs;  // -1: as soon as the dialog shows, before any tick
    int barValue;
  };
  const Moment moments[] = {{-1, 0}, {2505, 250}, {4995, 499}};
  for (const SystemAction& action : kSystemActions) {
    for (const Moment& moment : moments) {
      SCOPED_TRACE("index " + std::to_string(action.index) + " at " +
                   std::to_string(moment.clickAtMs));
      Desk desk(action.index);
      desk.fake.Hide(desk.form1);
      int valueAtClick = -1;
      desk.OnCountdown([&](Form2& form2) {
        auto click = [&] {
          valueAtClick = form2.ProgressBar1.Value();
          EXPECT_TRUE(desk.fake.Click(form2.Command1));
        };
        moment.clickAtMs < 0 ? click() : desk.fake.At(moment.clickAtMs, click);
      });
      desk.form1.Win_Exit_State();
      EXPECT_EQ(valueAtClick, moment.barValue);
      EXPECT_EQ(desk.fake.Now(), std::max<int64_t>(moment.clickAtMs, 0));
      EXPECT_EQ(desk.form1.Cancelflag, kTrue);
      EXPECT_TRUE(desk.fake.IsVisible(desk.form1));
      EXPECT_TRUE(desk.fake.privilegeCalls.empty());
      EXPECT_TRUE(desk.fake.powerRequests.empty());
      EXPECT_TRUE(desk.fake.exitRequests.empty());
      EXPECT_TRUE(desk.fake.boxes.empty());
      desk.ExpectStillRunning();
    }
  }
}

// Alt+F4, a close message or the process being told to close: closing the
// dialog is a cancel, never "act now".
TEST(SystemActions, ClosingTheDialogCancels) {
  Desk desk(4);
  desk.fake.Hide(desk.form1);
  desk.OnCountdown([&desk](Form2& form2) {
    desk.fake.At(1200, [&desk, &form2] { EXPECT_TRUE(desk.fake.CloseWindow(form2)); });
  });
  desk.form1.Win_Exit_State();
  EXPECT_EQ(desk.fake.Now(), 1200);
  EXPECT_EQ(desk.form1.Cancelflag, kTrue);
  EXPECT_TRUE(desk.fake.IsVisible(desk.form1));
  desk.fake.Advance(10000);
  EXPECT_TRUE(desk.fake.privilegeCalls.empty());
  EXPECT_TRUE(desk.fake.exitRequests.empty());
  EXPECT_TRUE(desk.fake.boxes.empty());
  desk.ExpectStillRunning();
}

// Windows keeps a program behind another from coming forward: the taskbar
// button flashes while the countdown runs there, until the countdown ends.
TEST(SystemActions, CountdownBehindAnotherProgramFlashesTheTaskbarButton) {
  using Flashes = std::vector<std::pair<Hwnd, uint32_t>>;
  constexpr uint32_t kAllUntilForeground = 0x3 | 0xC;
  constexpr uint32_t kStop = 0x0;
  for (const bool behind : {true, false}) {
    for (const bool cancelled : {true, false}) {
      SCOPED_TRACE(std::string(behind ? "behind" : "in front") +
                   (cancelled ? ", cancelled" : ", ran out"));
      Desk desk(2);
      const Hwnd main = desk.fake.WindowHandle(desk.form1);
      if (behind) desk.fake.SetForeground(desk.fake.AddWindow("(無題) - メモ帳"));
      Flashes whileCounting;
      desk.OnCountdown([&](Form2& form2) {
        whileCounting = desk.fake.flashes;
        if (cancelled) desk.fake.Click(form2.Command1);
      });
      desk.form1.Win_Exit_State();
      const Flashes started = {{main, kAllUntilForeground}};
      const Flashes stopped = {{main, kAllUntilForeground}, {main, kStop}};
      EXPECT_EQ(whileCounting, behind ? started : Flashes{});
      EXPECT_EQ(desk.fake.flashes, behind ? stopped : Flashes{});
    }
  }
}

TEST(SystemActions, SecondCountdownStartsAfreshAfterACancel) {
  Desk desk(2);
  desk.CancelNextCountdown();
  desk.form1.Win_Exit_State();
  ASSERT_EQ(desk.form1.Cancelflag, kTrue);
  desk.ExpectStillRunning();

  std::optional<int> valueAtShow;
  std::optional<VbBool> cancelflagAtShow;
  desk.OnCountdown([&](Form2& form2) {
    valueAtShow = form2.ProgressBar1.Value();
    cancelflagAtShow = desk.form1.Cancelflag;
  });
  const int64_t start = desk.fake.Now();
  desk.form1.Win_Exit_State();
  EXPECT_EQ(valueAtShow, 0);
  EXPECT_EQ(cancelflagAtShow, kFalse);
  EXPECT_EQ(desk.fake.Now() - start, kCountdownMs);
  EXPECT_EQ(desk.fake.exitRequests, std::vector<uint32_t>{0x0});
  desk.ExpectClosedForExit();
}

// Guards against a refused request taken for done: the program closed
// silently and the user came back to a running machine without it.
TEST(SystemActions, RefusedRequestIsReportedAndTheProgramStays) {
  struct Case {
    int index;
    uint32_t lastError;
    std::optional<bool> returned;  // power: nullopt, success exactly when the code is 0
    std::vector<Box> boxes;        // none: the request succeeded and the program closes
  };
  const Box notSupported = Expected(t::kNotSupported);
  auto failed = [](const char* code) {
    return Box{std::string("(") + code + ")" + t::kCallFailedSuffix, t::kCallFailedStyle,
               t::kAppTitle};
  };
  auto refused = [](const char* action, const char* code) {
    return Box{std::string(action) + t::kRequestRefusedMiddle + code + ")", t::kRequestRefusedStyle,
               t::kAppTitle};
  };
  const Case cases[] = {
      {0, 0, {}, {}},
      // A successful call may leave an earlier call's code behind.
      {0, 1300, true, {}},
      {1, 50, {}, {notSupported}},
      {0, 120, {}, {notSupported}},
      {1, 5, {}, {failed("5")}},
      {0, 1167, {}, {failed("1167")}},
      {1, 0, false, {failed("0")}},
      {2, 1314, false, {refused("ログオフ", "1314")}},
      {3, 0, false, {refused("リブート", "0")}},
      {4, 1115, false, {refused("シャットダウン", "1115")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("index " + std::to_string(c.index) + ", error " + std::to_string(c.lastError));
    Desk desk(c.index);
    desk.fake.Hide(desk.form1);
    desk.fake.powerStateLastError = c.lastError;
    desk.fake.powerStateResult = c.returned;
    if (c.index >= 2 && c.returned == false) desk.fake.exitWindowsRefusal = c.lastError;
    desk.form1.Win_Exit_State();
    EXPECT_EQ(desk.fake.powerRequests.size() + desk.fake.exitRequests.size(), 1u);
    EXPECT_EQ(Boxes(desk.fake), c.boxes);
    if (c.boxes.empty()) {
      desk.ExpectClosedForExit();
    } else {
      desk.ExpectStillRunning();
      EXPECT_TRUE(desk.fake.IsVisible(desk.form1));
    }
  }
}

TEST(SystemActions, FailedPrivilegeStepIsSilentAndTheRequestFollows) {
  for (int index : {0, 4}) {
    SCOPED_TRACE("index " + std::to_string(index));
    Desk desk(index);
    desk.fake.failPrivilegeCalls = true;
    desk.form1.Win_Exit_State();
    EXPECT_EQ(desk.fake.privilegeCalls.size(), 4u);  // every step tried, nothing to close
    EXPECT_TRUE(desk.fake.closedHandles.empty());
    EXPECT_EQ(desk.fake.powerRequests.size() + desk.fake.exitRequests.size(), 1u);
    EXPECT_TRUE(desk.fake.boxes.empty());
    desk.ExpectClosedForExit();
  }
}

TEST(SystemActions, NoSelectionDoesNothing) {
  Desk desk(kNone);
  desk.form1.Win_Exit_State();
  EXPECT_EQ(desk.fake.Now(), 0);
  EXPECT_TRUE(desk.fake.privilegeCalls.empty());
  EXPECT_TRUE(desk.fake.mciCommands.empty());
  EXPECT_TRUE(desk.fake.boxes.empty());
  desk.ExpectStillRunning();
}

// ---- The sound action ----

const std::string kOpenPrefix = "open \"";
const std::string kOpenSuffix = "\" alias mysound";
const std::string kPlay = "play mysound wait";
const std::string kClose = "close mysound";

TEST(SoundAction, PlaysOrExplainsAndKeepsRunning) {
  const std::string playable = "C:\\My Sounds\\チャイム.wav";
  const Box enterName = Expected(t::kEnterFileName);
  const Box enterCorrect = Expected(t::kEnterCorrectFileName);
  struct Case {
    const char* what;
    std::string name;
    std::vector<std::string> commands;
    std::vector<Box> boxes;
    bool mainShown;
  };
  const Case cases[] = {
      {"empty name", "", {}, {enterName}, false},
      {"spaces only", "   ", {kOpenPrefix + "   " + kOpenSuffix}, {enterCorrect}, true},
      {"missing file",
       "C:\\missing.wav",
       {kOpenPrefix + "C:\\missing.wav" + kOpenSuffix},
       {enterCorrect},
       true},
      {"playable file, spaces and Japanese in the path",
       playable,
       {kOpenPrefix + playable + kOpenSuffix, kPlay, kClose},
       {},
       true},
      // Guards against a quote closing the quoted name and smuggling command words in.
      {"name with a quote", "C:\\a.wav\" alias x wait", {}, {enterCorrect}, true},
      // Guards against a NUL cutting the command short before the alias.
      {"name with a NUL", std::string("C:\\a.wav\0x", 10), {}, {enterCorrect}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Desk desk(5);
    desk.fake.files[playable] = "RIFF";
    desk.form1.txtFileName.SetCaption(c.name);
    desk.fake.Hide(desk.form1);
    desk.form1.Win_Exit_State();
    EXPECT_EQ(desk.fake.Now(), 0);  // no countdown
    EXPECT_EQ(desk.fake.mciCommands, c.commands);
    EXPECT_EQ(Boxes(desk.fake), c.boxes);
    EXPECT_EQ(desk.fake.IsVisible(desk.form1), c.mainShown);
    EXPECT_TRUE(desk.fake.privilegeCalls.empty());
    desk.ExpectStillRunning();
  }
}

TEST(SoundAction, OnlyTheOpenDecidesSuccess) {
  Desk desk(5);
  desk.form1.txtFileName.SetCaption("C:\\silent.wav");
  desk.fake.mciResponder = [](const std::string& command) -> uint32_t {
    return command.rfind("open", 0) == 0 ? 0 : 265;  // opens, cannot play
  };
  desk.form1.Win_Exit_State();
  EXPECT_EQ(desk.fake.mciCommands.size(), 3u);
  EXPECT_EQ(desk.fake.mciCommands.back(), kClose);
  EXPECT_TRUE(desk.fake.boxes.empty());
}

// ---- One event from capture to the request ----

TEST(TypicalRoad, CaptureWatchVanishCountdownPowerOffAndClose) {
  FakePlatform fake;
  Form1 form1(fake, fake);
  form1.HotKey = HotKeySetting{kFalse, kTrue, kTrue, "W"};
  fake.Show(form1);
  const Hwnd main = fake.WindowHandle(form1);
  form1.Option1[4]->SetValue(-1);

  ASSERT_TRUE(fake.Click(form1.Command1));  // arm the capture
  const Hwnd editor = fake.AddWindow("(無題) - メモ帳");
  fake.SetForeground(editor);
  ASSERT_TRUE(fake.PressHotKey(0x3, 'W'));  // Ctrl+Alt+W; the question is answered OK
  ASSERT_EQ(form1.WatchHandle, editor);
  ASSERT_TRUE(fake.Click(form1.Command2));
  ASSERT_EQ(form1.WindowState(), kWindowStateMinimized);

  std::optional<int> stateDuringCountdown;
  fake.ScriptModal([&](Form&) { stateDuringCountdown = form1.WindowState(); });
  fake.At(1500, [&] { fake.DestroyWindow(editor); });
  fake.Advance(60000);

  EXPECT_EQ(stateDuringCountdown, kWindowStateNormal);
  EXPECT_EQ(fake.Now(), 2000 + kCountdownMs);  // noticed at the next one-second tick
  EXPECT_EQ(fake.privilegeCalls, kPrivilegeStep);
  EXPECT_EQ(fake.exitRequests, std::vector<uint32_t>{0x8});
  ASSERT_EQ(fake.boxes.size(), 1u);  // only the capture question
  EXPECT_EQ(form1.Exitflag, kTrue);
  EXPECT_TRUE(fake.endedAtOnce);
  const auto ini = fake.files.find(fake.appPath + "\\default.ini");
  ASSERT_NE(ini, fake.files.end());
  EXPECT_NE(ini->second.find("/Option1().Value"), std::string::npos);
  // The hook is gone: the main window's procedure is the original one again.
  EXPECT_EQ(fake.SetWindowLongA(main, kGwlWndProc, FakePlatform::kOriginalProc),
            FakePlatform::kOriginalProc);
}

}  // namespace
}  // namespace kestrune
