"""A session end that another program starts: the real program answers the
query at once, saves default.ini without any box and ends, also while a box,
the About dialog or the countdown is open; a cancelled end changes nothing.
A log-off ends every windowed process of its Wine session, so these tests
share a Wine session of their own."""

import time
import unittest

from expected import MENU_IDS, TEXTS
from kestrune_e2e import KestruneApp
from window_dump import IDNO
from wine_session import ACTION_TIMEOUT, wait_until
from test_actions import LOGOFF, OwnSessionTestBase, settings

EWX_LOGOFF = 0
WM_QUERYENDSESSION, WM_ENDSESSION = 0x11, 0x16
CHECK1_TICKED = b"/check1.Value\r\n1\r\n"
CHECK1_UNTICKED = b"/check1.Value\r\n0\r\n"
# Wine sends the query, waits up to 5 s for the answers, then the end.
SESSION_END_TIMEOUT = 12


class SessionEndTest(OwnSessionTestBase):

    def start(self) -> KestruneApp:
        return self.new_logoff_app().launch()

    def end_session_and_watch(self, app: KestruneApp) -> list:
        """Another program logs the user off; returns the texts of any box the
        program showed until it was gone."""
        started = time.monotonic()
        self.own.driver.call("exit-windows", EWX_LOGOFF)
        seen = []
        while app.process.poll() is None:
            if time.monotonic() - started > SESSION_END_TIMEOUT:
                self.fail("the program did not end with the session")
            seen += [b.text for b in app.msgboxes() if b.text not in seen]
            time.sleep(0.05)
        print(f"\n[e2e] ended {time.monotonic() - started:.2f} s after the log-off request")
        return seen

    def untick_check1(self, app: KestruneApp) -> None:
        app.click(TEXTS["kCheck1Caption"])
        wait_until(lambda: app.dump().control(TEXTS["kCheck1Caption"], "check").checked == 0,
                   ACTION_TIMEOUT, "Check1 unticked")

    def test_idle_program_saves_a_change_and_ends_without_a_box(self):
        app = self.start()
        self.untick_check1(app)
        self.assertEqual(self.end_session_and_watch(app), [])
        self.assertIn(CHECK1_UNTICKED, app.read_ini())

    def test_while_the_closing_question_is_open(self):
        app = self.start()
        app.close()
        app.wait_msgbox(TEXTS["kQuitQuestion"])
        app.write_ini(b"edited meanwhile")  # the close attempt has written already
        self.assertEqual(self.end_session_and_watch(app), [TEXTS["kQuitQuestion"]])
        self.assertEqual(app.read_ini(), settings(LOGOFF) + b"\r\n")
        self.assertEqual((app.folder / "default.ini.bak").read_bytes(), b"edited meanwhile")

    def test_while_the_about_dialog_is_open(self):
        app = self.start()
        self.untick_check1(app)
        app.command(MENU_IDS["kMenuIdVersion"])
        wait_until(lambda: [w for w in app.driver.call("windows", app.pid)["windows"]
                            if w["hwnd"] != app.hwnd and w["visible"]],
                   ACTION_TIMEOUT, "the About dialog")
        self.assertEqual(self.end_session_and_watch(app), [])
        self.assertIn(CHECK1_UNTICKED, app.read_ini())

    def test_during_the_countdown_no_request_of_its_own_follows(self):
        app = self.start()
        notepad = self.watch_notepad(app)
        self.close_watched(app, notepad)
        self.wait_countdown(app)
        app.write_ini(b"edited meanwhile")
        started = time.monotonic()
        self.assertEqual(self.end_session_and_watch(app), [])
        # Well before the countdown's 5 s would have run out.
        self.assertLess(time.monotonic() - started, 4.0)
        self.assertEqual(app.read_ini(), settings(LOGOFF) + b"\r\n")
        self.assertIn(CHECK1_TICKED, app.read_ini())

    def test_cancelled_end_changes_nothing(self):
        app = self.start()
        self.untick_check1(app)
        before = app.read_ini()
        answer = self.own.driver.call("send", app.hwnd, WM_QUERYENDSESSION, 0)
        self.assertEqual(answer["result"], 1)
        self.assertLess(answer["ms"], 1000)
        self.own.driver.call("send", app.hwnd, WM_ENDSESSION, 0)
        self.assertTrue(app.no_msgbox())
        self.assertTrue(app.is_running())
        self.assertEqual(app.read_ini(), before)
        app.close()
        app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), IDNO)
        self.assertIn(CHECK1_UNTICKED, app.read_ini())


if __name__ == "__main__":
    unittest.main()
