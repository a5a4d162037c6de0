#include <gtest/gtest.h>

#include <functional>

#include "actions/form2.h"
#include "app/form1.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

// Check1 ticked, log-off selected.
constexpr char kLogoffFile[] =
    "/check1.Value\r\n1\r\n/Option1().Value\r\nFalse|False|True|False|False|False\r\n";
// The watch starts at 0 and the target is gone: the first poll, at 1 s,
// shows the countdown, whose last tick falls at 6 s. Each way acts at 3 s.
constexpr int64_t kDuringCountdown = 3000;

// A watch whose target has gone, with the countdown's dialog at hand once
// it shows.
struct CountdownEnd {
  CountdownEnd() {
    fake.files[fake.appPath + "\\default.ini"] = kLogoffFile;
    fake.Show(form1);
    form1.WatchHandle = fake.AddWindow("encoder");
    fake.DestroyWindow(form1.WatchHandle);
    form1.Label1.SetCaption("encoder");
    form1.Command2.SetEnabled(true);
    EXPECT_TRUE(fake.Click(form1.Command2));
    fake.ScriptModal([this](Form& form) { countdown = static_cast<Form2*>(&form); });
  }
  void During(std::function<void()> act) { fake.At(kDuringCountdown, std::move(act)); }
  void Stop() { EXPECT_TRUE(fake.Click(countdown->Command1)); }
  void SendToCountdown(uint32_t msg, uintptr_t wParam) {
    fake.Dispatch(fake.WindowHandle(*countdown), msg, wParam, 0);
  }
  // A close posted to the main window, disabled under the countdown, during
  // it or (first) before it; the question's loop runs whileOpen.
  void CloseMain(int answer, std::function<void()> whileOpen = {}, bool first = false) {
    fake.ScriptBox(answer, std::move(whileOpen));
    auto close = [this] { fake.Dispatch(fake.WindowHandle(form1), kWmClose, 0, 0); };
    first ? fake.Post(close) : During(close);
  }
  // The stop button while the closing question is open.
  void StopUnderTheQuestion() {
    CloseMain(kIdNo, [this] {
      fake.At(fake.Now() + 500, [this] { Stop(); });
      fake.Advance(1000);
    });
  }
  // The countdown starts behind the question and the user answers it then.
  void AnswerDuringCountdown(int answer) {
    CloseMain(
        kIdNo,
        [this, answer] {
          During([this, answer] { fake.AnswerBox(answer); });
          fake.Advance(10000);
        },
        /*first=*/true);
  }

  FakePlatform fake;
  Form1 form1{fake, fake};
  Form2* countdown = nullptr;
};

// Guards against a request made because no cancel flag was set: the main
// window closed under the countdown, a quit message, or Yes given while it
// counted, each logged the user off at once.
TEST(CountdownEnd, RequestExactlyWhenTheLastTickRan) {
  using T = CountdownEnd;
  struct Way {
    const char* what;
    std::function<void(T&)> arrange;
    bool lastTick;
  };
  const Way ways[] = {
      {"its last tick", [](T&) {}, true},
      {"the stop button", [](T& t) { t.During([&t] { t.Stop(); }); }, false},
      {"Alt+F4", [](T& t) { t.During([&t] { t.SendToCountdown(kWmSysCommand, kScClose); }); },
       false},
      {"WM_CLOSE on it", [](T& t) { t.During([&t] { t.SendToCountdown(kWmClose, 0); }); }, false},
      {"main window closed, Yes", [](T& t) { t.CloseMain(kIdYes); }, false},
      {"main window closed, No", [](T& t) { t.CloseMain(kIdNo); }, true},
      {"the stop button while the question is open", [](T& t) { t.StopUnderTheQuestion(); }, false},
      {"the stop button while the question, without owner, is open",
       [](T& t) {
         t.During([&t] { t.form1.SetWindowState(kWindowStateMinimized); });  // Win+D
         t.StopUnderTheQuestion();
       },
       false},
      {"ran out behind the question, then Yes",
       [](T& t) { t.CloseMain(kIdYes, [&t] { t.fake.Advance(5000); }); }, false},
      {"ran out behind the question, then No",
       [](T& t) { t.CloseMain(kIdNo, [&t] { t.fake.Advance(5000); }); }, true},
      {"question first, Yes while the countdown counts",
       [](T& t) { t.AnswerDuringCountdown(kIdYes); }, false},
      {"question first, No while the countdown counts",
       [](T& t) { t.AnswerDuringCountdown(kIdNo); }, true},
      {"WM_QUIT", [](T& t) { t.During([&t] { t.fake.PostQuit(); }); }, false},
      {"session end", [](T& t) { t.During([&t] { t.fake.EndSession(); }); }, false},
      {"taskkill without /F", [](T& t) { t.During([&t] { t.fake.PostCloseToAll(); }); }, false},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.what);
    CountdownEnd t;
    way.arrange(t);
    t.fake.Advance(60000);
    ASSERT_NE(t.countdown, nullptr);
    EXPECT_EQ(t.fake.exitRequests.size(), way.lastTick ? 1u : 0u);
    EXPECT_EQ(t.form1.Exitflag, way.lastTick ? kTrue : kFalse);
  }
}

}  // namespace
}  // namespace kestrune
