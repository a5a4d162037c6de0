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
  // A close posted to the main window, disabled under the countdown or not.
  void CloseMain() {
    fake.Post([this] { fake.Dispatch(fake.WindowHandle(form1), kWmClose, 0, 0); });
  }

  FakePlatform fake;
  Form1 form1{fake, fake};
  Form2* countdown = nullptr;
};

// Guards against a request made because no cancel flag was set: the main
// window closed under the countdown, a quit message, or Yes given while it
// counted, each logged the user off at once.
TEST(CountdownEnd, RequestExactlyWhenTheLastTickRan) {
  struct Way {
    const char* what;
    std::function<void(CountdownEnd&)> arrange;
    bool lastTick;
  };
  const Way ways[] = {
      {"its last tick", [](CountdownEnd&) {}, true},
      {"the stop button",
       [](CountdownEnd& t) {
         t.During([&t] { EXPECT_TRUE(t.fake.Click(t.countdown->Command1)); });
       },
       false},
      {"Alt+F4",
       [](CountdownEnd& t) {
         t.During([&t] {
           t.fake.Dispatch(t.fake.WindowHandle(*t.countdown), kWmSysCommand, kScClose, 0);
         });
       },
       false},
      {"WM_CLOSE on it",
       [](CountdownEnd& t) {
         t.During([&t] { t.fake.Dispatch(t.fake.WindowHandle(*t.countdown), kWmClose, 0, 0); });
       },
       false},
      {"main window closed, Yes",
       [](CountdownEnd& t) {
         t.fake.ScriptBox(kIdYes);
         t.During([&t] { t.CloseMain(); });
       },
       false},
      {"main window closed, No",
       [](CountdownEnd& t) {
         t.fake.ScriptBox(kIdNo);
         t.During([&t] { t.CloseMain(); });
       },
       true},
      {"the stop button while the question is open",
       [](CountdownEnd& t) {
         t.fake.ScriptBox(kIdNo, [&t] {
           t.fake.At(t.fake.Now() + 500,
                     [&t] { EXPECT_TRUE(t.fake.Click(t.countdown->Command1)); });
           t.fake.Advance(1000);
         });
         t.During([&t] { t.CloseMain(); });
       },
       false},
      {"ran out behind the question, then Yes",
       [](CountdownEnd& t) {
         t.fake.ScriptBox(kIdYes, [&t] { t.fake.Advance(5000); });
         t.During([&t] { t.CloseMain(); });
       },
       false},
      {"ran out behind the question, then No",
       [](CountdownEnd& t) {
         t.fake.ScriptBox(kIdNo, [&t] { t.fake.Advance(5000); });
         t.During([&t] { t.CloseMain(); });
       },
       true},
      {"question first, the countdown inside it, Yes",
       [](CountdownEnd& t) {
         t.fake.ScriptBox(kIdYes, [&t] {
           t.fake.At(kDuringCountdown, [&t] { t.fake.AnswerBox(kIdYes); });
           t.fake.Advance(10000);
         });
         t.CloseMain();
       },
       false},
      {"question first, the countdown inside it, No",
       [](CountdownEnd& t) {
         t.fake.ScriptBox(kIdNo, [&t] {
           t.fake.At(kDuringCountdown, [&t] { t.fake.AnswerBox(kIdNo); });
           t.fake.Advance(10000);
         });
         t.CloseMain();
       },
       true},
      {"WM_QUIT", [](CountdownEnd& t) { t.During([&t] { t.fake.PostQuit(); }); }, false},
      {"session end", [](CountdownEnd& t) { t.During([&t] { t.fake.EndSession(); }); }, false},
      {"taskkill without /F", [](CountdownEnd& t) { t.During([&t] { t.fake.PostCloseToAll(); }); },
       false},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.what);
    CountdownEnd t;
    way.arrange(t);
    t.fake.Advance(60000);
    ASSERT_NE(t.countdown, nullptr);
    EXPECT_EQ(t.fake.exitRequests.size(), way.lastTick ? 1u : 0u);
    EXPECT_TRUE(t.fake.powerRequests.empty());
    EXPECT_EQ(t.form1.Exitflag, way.lastTick ? kTrue : kFalse);
  }
}

}  // namespace
}  // namespace kestrune
