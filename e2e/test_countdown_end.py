"""The countdown leads to the request only when it runs out: Yes to the
closing question ends the program with no request, whether the countdown
was already counting or appeared while the question was open; and a request
the system refuses is reported while the program stays. A log-off ends every
windowed process of its Wine session, so these tests share a Wine session of
their own, and a second notepad witnesses that the session did not end."""

import subprocess
import time
import unittest

from expected import TEXTS
from kestrune_e2e import KestruneApp
from window_dump import IDNO, IDOK, IDYES
from wine_session import ACTION_TIMEOUT, wait_until
from test_actions import NOMINAL_COUNTDOWN, NOTEPAD_TITLE, OwnSessionTestBase


class CountdownEndTest(OwnSessionTestBase):

    def witness(self, watched: dict) -> int:
        """Another program's window, started after the watched one."""
        before = {w["hwnd"] for w in self.find(NOTEPAD_TITLE, self.own)} | {watched["hwnd"]}
        launcher = subprocess.Popen(["wine", "notepad"], env=self.own.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(launcher.wait, 15)
        window = wait_until(lambda: next((w for w in self.find(NOTEPAD_TITLE, self.own)
                                          if w["hwnd"] not in before), None),
                            ACTION_TIMEOUT, "the witness notepad")
        self.addCleanup(self.own.driver.call, "kill", window["pid"], check=False)
        return window["hwnd"]

    def expect_ended_without_request(self, app: KestruneApp, witness: int) -> None:
        app.wait_exit()
        time.sleep(NOMINAL_COUNTDOWN + 1)  # past the time the log-off would have come
        alive = [w["hwnd"] for w in self.find(NOTEPAD_TITLE, self.own)]
        self.assertIn(witness, alive, "the session ended: the log-off was requested")

    def test_close_box_and_yes_during_the_countdown(self):
        app = self.new_logoff_app().launch()
        notepad = self.watch_notepad(app)
        witness = self.witness(notepad)
        self.close_watched(app, notepad)
        self.wait_countdown(app)
        app.close()  # posted to the main window, disabled under the countdown
        app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), IDYES)
        self.expect_ended_without_request(app, witness)

    def test_yes_with_the_countdown_appeared_behind_the_question(self):
        app = self.new_logoff_app().launch()
        notepad = self.watch_notepad(app)
        witness = self.witness(notepad)
        app.close()
        question = app.wait_msgbox(TEXTS["kQuitQuestion"])
        self.close_watched(app, notepad)
        self.wait_countdown(app)
        app.answer(question, IDYES)
        self.expect_ended_without_request(app, witness)

    def test_no_leaves_the_countdown_holding_the_main_window(self):
        app = self.new_logoff_app().launch()
        notepad = self.watch_notepad(app)
        app.close()
        question = app.wait_msgbox(TEXTS["kQuitQuestion"])
        self.close_watched(app, notepad)
        dialog = self.wait_countdown(app)
        app.answer(question, IDNO)
        # The box gave its owner input back as it went; the countdown holds it.
        self.assertFalse(app.dump().enabled)
        app.driver.call("click", dialog.control(TEXTS["kCancelCountdown"], "push").hwnd)
        wait_until(lambda: self.countdown(app) is None, ACTION_TIMEOUT, "the dialog to close")
        time.sleep(NOMINAL_COUNTDOWN + 1)  # past the time the log-off would have come
        self.assertTrue(app.is_running())
        self.assertTrue(app.dump().enabled)

    def test_refused_logoff_is_reported_and_the_program_stays(self):
        app = self.new_logoff_app()
        # ExitWindowsEx then cannot start the session end and returns 0.
        app.env["WINEDLLOVERRIDES"] = app.env.get("WINEDLLOVERRIDES", "") + ";wineboot.exe=d"
        app.launch()
        notepad = self.watch_notepad(app)
        self.close_watched(app, notepad)
        self.wait_countdown(app)
        box = app.wait_msgbox(timeout=NOMINAL_COUNTDOWN + ACTION_TIMEOUT)
        self.assertTrue(box.text.startswith(TEXTS["kLogoff"] + TEXTS["kRequestRefusedMiddle"]),
                        box.text)
        self.assertTrue(box.text.endswith(")"))
        self.assertEqual(box.caption, TEXTS["kAppTitle"])
        self.assertEqual(box.button_ids, {IDOK})
        app.answer(box, IDOK)
        self.assertTrue(app.no_msgbox())
        self.assertTrue(app.is_running())
        main = app.dump()
        self.assertTrue(main.visible and main.enabled and not main.minimized)
        self.assertTrue(main.controls_with(TEXTS["kNotSet"], "static"))


if __name__ == "__main__":
    unittest.main()
