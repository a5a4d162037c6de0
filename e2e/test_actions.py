"""The exit actions on the real program: the countdown dialog and its stop
button, the suspend and log-off requests, and the sound action, each after a
watched notepad has closed with Check1 ticked."""

import subprocess
import time
import unittest
import wave
from pathlib import Path

from expected import TEXTS
from kestrune_e2e import KestruneApp, KestruneTestCase
from window_dump import IDNO, IDOK, IDYES, twips_to_pixels
from wine_session import ACTION_TIMEOUT, WINDOW_TIMEOUT, E2EError, WineSession, wait_until

NOTEPAD_TITLE = "(無題) - メモ帳"  # Wine's notepad in code page 932
QUESTION = TEXTS["kLockedOnPrefix"] + NOTEPAD_TITLE + TEXTS["kLockedOnSuffix"]
SUSPEND, LOGOFF, SOUND = 0, 2, 5
NOMINAL_COUNTDOWN = 5.0  # 500 ticks of 10 ms


def settings(action: int, file_name: bytes = b"") -> bytes:
    """Ctrl+Alt+W, Check1 ticked, one action selected."""
    options = b"|".join(b"True" if i == action else b"False" for i in range(6))
    lines = [b"/HotKey(bShift)", b"False", b"/HotKey(bCtrl)", b"True", b"/HotKey(bAlt)", b"True",
             b"/HotKey(sChar)", b"W", b"/check1.Value", b"1", b"/Option1().Value", options,
             b"/txtFileName.text", file_name, b""]
    return b"\r\n".join(lines)


def write_wav(path: Path, seconds: float = 0.3) -> None:
    with wave.open(str(path), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(8000)
        out.writeframes(b"\x00\x10" * int(8000 * seconds))


def choose_sound(app: KestruneApp, name: str) -> None:
    """A playable WAV file beside the exe, chosen as the action by default.ini."""
    sound = app.folder / name
    write_wav(sound)
    app.write_ini(settings(SOUND, app.wine.windows_path(sound).encode("cp932")))


class ActionsTestBase(KestruneTestCase):

    def find(self, title: str, wine: WineSession = None) -> list:
        return (wine or self.wine).driver.call("find", title)["windows"]

    def start_notepad(self, wine: WineSession) -> dict:
        """A new notepad, besides any already open."""
        before = {w["hwnd"] for w in self.find(NOTEPAD_TITLE, wine)}
        launcher = subprocess.Popen(["wine", "notepad"], env=wine.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(launcher.wait, 15)
        window = wait_until(lambda: next((w for w in self.find(NOTEPAD_TITLE, wine)
                                          if w["hwnd"] not in before), None),
                            WINDOW_TIMEOUT, "notepad")
        self.addCleanup(wine.driver.call, "kill", window["pid"], check=False)
        return window

    def watch_notepad(self, app: KestruneApp) -> dict:
        """Captures a fresh notepad with the hotkey and starts watching it."""
        wine = app.wine
        notepad = self.start_notepad(wine)
        app.click(TEXTS["kSelectPrompt"])
        wait_until(lambda: app.dump().controls_with(TEXTS["kArmedCaption"], "push"),
                   ACTION_TIMEOUT, "the armed caption")
        app.bring_to_front(notepad["hwnd"])
        # Without a window manager the X focus must follow by hand.
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname",
                                "notepad.exe"], env=wine.env, capture_output=True, text=True,
                               timeout=10).stdout.split()
        if not found:
            raise E2EError("no X window for notepad")
        wine.xdotool("windowfocus", "--sync", found[-1])
        wine.xdotool("key", "ctrl+alt+w")
        app.answer(app.wait_msgbox(QUESTION), IDOK)
        app.click(TEXTS["kStartWatch"])
        wait_until(lambda: app.dump().controls_with(TEXTS["kStopWatch"]), ACTION_TIMEOUT,
                   "the watch to start")
        return notepad

    def wait_foreground(self, hwnd: int, what: str) -> None:
        """Activation comes back to hwnd, not to another program's window."""
        def active() -> bool:
            window = self.wine.driver.call("getforeground")["window"]
            return window is not None and window["hwnd"] == hwnd

        wait_until(active, ACTION_TIMEOUT, what)

    def close_watched(self, app: KestruneApp, notepad: dict) -> None:
        app.driver.call("close", notepad["hwnd"])

    def type_keys(self, app: KestruneApp, hwnd: int, *keys: str) -> None:
        """Real key presses into one of the program's windows."""
        rect = app.dump(hwnd).rect
        app.bring_to_front(hwnd)
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "kestrune"],
                               env=app.wine.env, capture_output=True, text=True,
                               timeout=10).stdout.split()
        for window in found:  # the window's X window is the one inside its frame
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                                      env=app.wine.env, capture_output=True, text=True,
                                      timeout=10).stdout
            at = dict(line.split("=") for line in geometry.split())
            x, y, width = int(at["X"]), int(at["Y"]), int(at["WIDTH"])
            if rect.left <= x < rect.right and rect.top <= y < rect.bottom and width <= rect.width:
                app.wine.xdotool("windowfocus", "--sync", window)
                break
        else:
            raise E2EError(f"no X window for the window {hwnd}")
        app.wine.xdotool("key", "--delay", "100", *keys)

    def countdown(self, app: KestruneApp):
        """The countdown dialog's dump once it shows, else None."""
        for window in app.driver.call("windows", app.pid)["windows"]:
            if window["hwnd"] == app.hwnd or not window["visible"]:
                continue
            dump = app.dump(window["hwnd"])
            if dump.controls_with(TEXTS["kCancelCountdown"], "push"):
                return dump
        return None

    def wait_countdown(self, app: KestruneApp):
        return wait_until(lambda: self.countdown(app), ACTION_TIMEOUT, "the countdown dialog",
                          interval=0.05)

    def expect_countdown_dialog(self, app: KestruneApp, dialog) -> None:
        self.assertEqual(dialog.caption, "")
        self.assertTrue(dialog.control(TEXTS["kMovingOn"]).visible)
        bar = dialog.control(kind="msctls_progress32")
        self.assertLess(bar.progress, 500)
        main = app.dump()
        self.assertFalse(main.enabled)  # modal: the main window takes no input
        self.assertFalse(main.minimized)  # restored when the watch ended
        # Centred on the main window.
        self.assertAlmostEqual((dialog.rect.left + dialog.rect.right) / 2,
                               (main.rect.left + main.rect.right) / 2, delta=2)
        self.assertAlmostEqual((dialog.rect.top + dialog.rect.bottom) / 2,
                               (main.rect.top + main.rect.bottom) / 2, delta=2)


class OwnSessionTestBase(ActionsTestBase):
    """A log-off ends every windowed process of its Wine session: tests that
    may request one share a Wine session of their class's own."""

    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        own = cls.wine.sibling()
        cls.addClassCleanup(own.stop)
        own.start()
        cls.own = own

    def new_logoff_app(self) -> KestruneApp:
        """A program in the own session, set to log off, not yet started."""
        app = KestruneApp(self.own)
        self.addCleanup(app.cleanup)
        app.write_ini(settings(LOGOFF))
        return app


class CountdownTest(ActionsTestBase):

    def test_stop_button_cancels_and_the_program_keeps_running(self):
        app = self.start_app(settings(LOGOFF))
        notepad = self.watch_notepad(app)
        self.start_notepad(self.wine)  # another program's window behind
        self.close_watched(app, notepad)
        dialog = self.wait_countdown(app)
        self.expect_countdown_dialog(app, dialog)
        app.driver.call("click", dialog.control(TEXTS["kCancelCountdown"], "push").hwnd)
        wait_until(lambda: self.countdown(app) is None, ACTION_TIMEOUT, "the dialog to close")
        self.wait_foreground(app.hwnd, "the main window to be active")
        time.sleep(NOMINAL_COUNTDOWN + 1)  # past the time a request would have come
        self.assertTrue(app.is_running())
        main = app.dump()
        self.assertTrue(main.visible and main.enabled and not main.minimized)
        self.assertTrue(main.controls_with(TEXTS["kNotSet"], "static"))
        self.assertTrue(app.no_msgbox())

    def test_suspend_follows_the_countdown_and_the_program_ends_by_itself(self):
        app = self.start_app(settings(SUSPEND))
        notepad = self.watch_notepad(app)
        self.close_watched(app, notepad)
        self.wait_countdown(app)
        shown = time.monotonic()
        wait_until(lambda: self.countdown(app) is None, 3 * NOMINAL_COUNTDOWN,
                   "the countdown to end", interval=0.05)
        length = time.monotonic() - shown
        print(f"\n[e2e] countdown shown for {length:.2f} s (nominal {NOMINAL_COUNTDOWN} s)")
        self.assertGreater(length, NOMINAL_COUNTDOWN * 0.9)
        # The suspend returns at once under Wine; no message, no question.
        app.wait_exit()
        self.assertIn(b"/Option1().Value\r\nTrue|False|False|False|False|False\r\n",
                      app.read_ini() or b"")

    def test_display_scale_changed_while_watching_leaves_the_window_whole(self):
        app = self.start_app(settings(SUSPEND))
        notepad = self.watch_notepad(app)
        app.driver.call("dpi-change", app.hwnd, 144)
        self.assertTrue(app.dump().minimized)
        self.close_watched(app, notepad)
        dialog = self.wait_countdown(app)
        main = app.dump()
        app.driver.call("click", dialog.control(TEXTS["kCancelCountdown"], "push").hwnd)
        self.assertFalse(main.minimized)
        # The window Windows draws at 144 DPI around the main window's client
        # area, 6150 by 3975 twips. Wine draws every frame at the one DPI it
        # gives the process, so the client area inside is not Windows'.
        frame = app.driver.call("frame", app.hwnd, 144, twips_to_pixels(6150, 144),
                                twips_to_pixels(3975, 144))
        self.assertEqual((main.rect.width, main.rect.height), (frame["width"], frame["height"]))


class CountdownClosedTest(ActionsTestBase):
    """Closing the countdown any way but its own end is a cancel; the closing
    question stays until it is answered."""

    def expect_cancelled(self, app: KestruneApp, question_open: bool = False) -> None:
        wait_until(lambda: self.countdown(app) is None, ACTION_TIMEOUT, "the dialog to close")
        time.sleep(NOMINAL_COUNTDOWN + 1)  # past the time the suspend would have come
        self.assertTrue(app.is_running())  # a suspend returns at once and the program ends
        main = app.dump()
        self.assertTrue(main.visible and not main.minimized)
        self.assertEqual(main.enabled, not question_open)
        self.assertTrue(main.controls_with("未設定", "static"))

    def start_countdown(self) -> tuple[KestruneApp, object]:
        app = self.start_app(settings(SUSPEND))
        self.close_watched(app, self.watch_notepad(app))
        return app, self.wait_countdown(app)

    def test_close_message_cancels(self):
        app, dialog = self.start_countdown()
        app.driver.call("close", dialog.hwnd)
        self.expect_cancelled(app)
        self.assertTrue(app.no_msgbox())

    def test_alt_f4_cancels(self):
        app, dialog = self.start_countdown()
        self.type_keys(app, dialog.hwnd, "alt+F4")
        self.expect_cancelled(app)
        self.assertTrue(app.no_msgbox())

    def test_taskkill_cancels_and_the_question_waits(self):
        app, _ = self.start_countdown()
        subprocess.run(["wine", "taskkill", "/pid", str(app.pid)], env=app.wine.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        question = app.wait_msgbox("アプリケーションを終了しますか ?")
        self.assertEqual(question.buttons and question.button_ids, {IDYES, IDNO})
        self.expect_cancelled(app, question_open=True)
        app.answer(question, IDNO)
        self.assertTrue(app.is_running())
        self.assertTrue(app.dump().enabled)

    def test_closing_question_outlives_the_countdown(self):
        app, _ = self.start_countdown()
        app.close()
        question = app.wait_msgbox("アプリケーションを終了しますか ?")
        owner = next(b for b in app.driver.call("msgboxes", app.pid)["boxes"]
                     if b["hwnd"] == question.hwnd)["owner"]
        self.assertEqual(owner, app.hwnd)
        wait_until(lambda: self.countdown(app) is None, 3 * NOMINAL_COUNTDOWN,
                   "the countdown to end")
        time.sleep(1.0)
        # Unanswered, the question is still there and nothing went down its
        # Yes road.
        self.assertEqual([b.hwnd for b in app.msgboxes()], [question.hwnd])
        self.assertTrue(app.window_exists())
        app.answer(question, IDNO)
        app.wait_exit()  # the countdown was not cancelled: the suspend follows


class LogoffTest(OwnSessionTestBase):

    def test_logoff_is_requested_and_the_program_ends_by_itself(self):
        app = self.new_logoff_app().launch()
        notepad = self.watch_notepad(app)
        self.close_watched(app, notepad)
        self.wait_countdown(app)
        app.wait_exit(timeout=NOMINAL_COUNTDOWN + ACTION_TIMEOUT)
        self.assertIn(b"/Option1().Value\r\nFalse|False|True|False|False|False\r\n",
                      app.read_ini() or b"")


class SoundTest(ActionsTestBase):

    def play_after_watch(self, file_name: bytes) -> KestruneApp:
        app = self.start_app(settings(SOUND, file_name))
        notepad = self.watch_notepad(app)
        self.close_watched(app, notepad)
        return app

    def expect_message(self, app: KestruneApp, text: str) -> None:
        box = app.wait_msgbox(text)
        self.assertEqual(box.caption, TEXTS["kPlaybackError"])
        self.assertEqual(box.button_ids, {IDOK})
        app.answer(box, IDOK)
        self.assertTrue(app.no_msgbox())
        self.assertTrue(app.is_running())
        self.assertIsNone(self.countdown(app))

    def test_empty_name(self):
        self.expect_message(self.play_after_watch(b""), TEXTS["kEnterFileName"])

    def test_wrong_name(self):
        self.expect_message(self.play_after_watch(b"C:\\no such sound.wav"),
                            TEXTS["kEnterCorrectFileName"])

    def test_real_wave_file_plays_without_a_message(self):
        app = self.new_app()
        choose_sound(app, "ベル 1.wav")
        app.launch()
        notepad = self.watch_notepad(app)
        self.close_watched(app, notepad)
        wait_until(lambda: app.dump().controls_with(TEXTS["kNotSet"], "static"), ACTION_TIMEOUT,
                   "the watch to end")
        self.assertTrue(app.no_msgbox(settle=2.0))
        self.assertTrue(app.is_running())
        # Restored when the watch ended, and shown again after the play.
        wait_until(lambda: not app.dump().minimized, ACTION_TIMEOUT, "the main window restored")


if __name__ == "__main__":
    unittest.main()
