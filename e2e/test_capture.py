"""Choosing the watch target with the global hotkey, on the real program:
arming, the confirmation, a watch on the captured window, and a hotkey
changed in the editor."""

import subprocess
import time
import unittest

from expected import TEXTS
from kestrune_e2e import KestruneTestCase
from window_dump import IDCANCEL, IDNO, IDOK
from wine_session import ACTION_TIMEOUT, WINDOW_TIMEOUT, E2EError, wait_until

NOTEPAD_TITLE = "(無題) - メモ帳"  # Wine's notepad in code page 932
RESET_WITHIN = 2.0  # seconds from the window's end to the reset


def settings(shift: bool, ctrl: bool, alt: bool, key: bytes, check1: int) -> bytes:
    lines = [b"/HotKey(bShift)", str(shift).encode(), b"/HotKey(bCtrl)", str(ctrl).encode(),
             b"/HotKey(bAlt)", str(alt).encode(), b"/HotKey(sChar)", key,
             b"/check1.Value", str(check1).encode(),
             b"/Option1().Value", b"True|False|False|False|False|False",
             b"/txtFileName.text", b"", b""]
    return b"\r\n".join(lines)


CTRL_ALT_W_UNTICKED = settings(False, True, True, b"W", 0)
QUESTION = TEXTS["kLockedOnPrefix"] + NOTEPAD_TITLE + TEXTS["kLockedOnSuffix"]


class CaptureTest(KestruneTestCase):

    def start_notepad(self) -> dict:
        launcher = subprocess.Popen(["wine", "notepad"], env=self.wine.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(launcher.wait, 15)
        window = wait_until(lambda: next(iter(self.find(NOTEPAD_TITLE)), None), WINDOW_TIMEOUT,
                            "notepad")
        self.addCleanup(self.wine.driver.call, "kill", window["pid"])
        return window

    def find(self, title: str) -> list:
        return self.wine.driver.call("find", title)["windows"]

    def x_focus(self, *search: str) -> None:
        """Gives an X window, found by xdotool search arguments, the keyboard:
        without a window manager SetForegroundWindow alone does not move it."""
        found = subprocess.run(["xdotool", "search", *search], env=self.wine.env,
                               capture_output=True, text=True, timeout=10).stdout.split()
        if not found:
            raise E2EError(f"no X window for {search}")
        self.wine.xdotool("windowfocus", "--sync", found[-1])

    def press_over(self, app, window: dict, keys: str = "ctrl+alt+w") -> None:
        app.bring_to_front(window["hwnd"])
        self.x_focus("--classname", "notepad")
        self.wine.xdotool("key", keys)

    def arm(self, app) -> None:
        app.click(TEXTS["kSelectPrompt"])
        wait_until(lambda: app.dump().controls_with(TEXTS["kArmedCaption"], "push"),
                   ACTION_TIMEOUT, "the armed caption")

    def capture_notepad(self, app, notepad, keys: str = "ctrl+alt+w") -> None:
        self.press_over(app, notepad, keys)
        box = app.wait_msgbox(QUESTION)
        self.assertEqual(box.caption, TEXTS["kAppTitle"])
        self.assertEqual(box.button_ids, {IDOK, IDCANCEL})
        app.answer(box, IDOK)
        form = app.dump()
        self.assertTrue(form.controls_with(NOTEPAD_TITLE, "static"))
        self.assertTrue(form.controls_with(TEXTS["kReselectPrompt"], "push"))
        self.assertTrue(form.takes_input(form.control(TEXTS["kStartWatch"], "push")))

    def test_captured_window_is_watched_until_it_closes(self):
        app = self.start_app(CTRL_ALT_W_UNTICKED)
        notepad = self.start_notepad()
        self.arm(app)
        self.capture_notepad(app, notepad)

        app.click(TEXTS["kStartWatch"])
        wait_until(lambda: app.dump().minimized and app.dump().controls_with(TEXTS["kStopWatch"]),
                   ACTION_TIMEOUT, "the watch to start")
        self.wine.driver.call("close", notepad["hwnd"])
        wait_until(lambda: not self.find(NOTEPAD_TITLE), ACTION_TIMEOUT, "notepad to close")
        gone = time.monotonic()

        def reset():
            form = app.dump()
            return (form.controls_with(TEXTS["kNotSet"], "static") and
                    form.controls_with(TEXTS["kSelectPrompt"], "push") and
                    not form.takes_input(form.control(TEXTS["kStartWatch"], "push")))

        wait_until(reset, ACTION_TIMEOUT, "the reset")
        self.assertLessEqual(time.monotonic() - gone, RESET_WITHIN)
        self.assertTrue(app.no_msgbox())  # Check1 unticked: no countdown, no action
        self.assertTrue(app.is_running())
        self.assertTrue(app.dump().minimized)

    def test_cancel_keeps_capture_armed(self):
        app = self.start_app(CTRL_ALT_W_UNTICKED)
        notepad = self.start_notepad()
        self.arm(app)
        self.press_over(app, notepad)
        app.answer(app.wait_msgbox(QUESTION), IDCANCEL)
        form = app.dump()
        self.assertTrue(form.controls_with(TEXTS["kNotSet"], "static"))
        self.assertTrue(form.controls_with(TEXTS["kArmedCaption"], "push"))
        self.assertFalse(form.takes_input(form.control(TEXTS["kStartWatch"], "push")))
        self.capture_notepad(app, notepad)  # still armed: the next press captures

    def test_changed_hotkey_is_saved_and_captures(self):
        app = self.start_app(CTRL_ALT_W_UNTICKED)
        form = app.dump()
        editor = form.control(kind="msctls_hotkey32")
        self.x_focus("--classname", "kestrune")
        self.wine.xdotool("mousemove", str(form.client.left + editor.rect.left + 10),
                          str(form.client.top + editor.rect.top + editor.rect.height // 2),
                          "click", "1")
        self.wine.xdotool("key", "ctrl+shift+q")
        app.click(TEXTS["kChange"])
        wait_until(lambda: b"/HotKey(sChar)\r\nQ\r\n" in (app.read_ini() or b""),
                   ACTION_TIMEOUT, "the new hotkey in default.ini")
        self.assertTrue(app.read_ini().startswith(settings(True, True, False, b"Q", 0)[:80]))

        notepad = self.start_notepad()
        self.arm(app)
        self.press_over(app, notepad, "ctrl+alt+w")  # the old combination is released
        self.assertTrue(app.no_msgbox())
        self.capture_notepad(app, notepad, "ctrl+shift+q")

    def test_own_box_in_front_is_never_offered(self):
        app = self.start_app(CTRL_ALT_W_UNTICKED)
        notepad = self.start_notepad()
        self.arm(app)
        self.press_over(app, notepad)
        box = app.wait_msgbox(QUESTION)
        # The confirmation itself in front: further presses offer nothing.
        app.bring_to_front(box.hwnd)
        self.assertEqual(self.wine.driver.call("getforeground")["window"]["hwnd"], box.hwnd)
        for _ in range(3):
            self.wine.xdotool("key", "ctrl+alt+w")
        time.sleep(1.0)
        self.assertEqual([b.text for b in app.msgboxes()], [QUESTION])
        app.answer(box, IDOK)
        form = app.dump()
        self.assertTrue(form.controls_with(NOTEPAD_TITLE, "static"))

        # The closing question in front, the capture armed again.
        app.click(TEXTS["kReselectPrompt"])
        wait_until(lambda: app.dump().controls_with(TEXTS["kArmedCaption"], "push"),
                   ACTION_TIMEOUT, "the armed caption")
        app.close()
        question = app.wait_msgbox("アプリケーションを終了しますか ?")
        app.bring_to_front(question.hwnd)
        self.wine.xdotool("key", "ctrl+alt+w")
        time.sleep(1.0)
        self.assertEqual([b.text for b in app.msgboxes()], ["アプリケーションを終了しますか ?"])
        app.answer(question, IDNO)
        form = app.dump()
        self.assertTrue(form.controls_with(NOTEPAD_TITLE, "static"))
        self.assertTrue(form.controls_with("「監視ウィンドウ」選択のキャンセル", "push"))

    def test_title_cut_inside_a_character_drops_its_half(self):
        app = self.start_app(CTRL_ALT_W_UNTICKED)
        title = "a" * 248 + "あい"  # 252 bytes in code page 932; the limit falls inside あ
        target = self.wine.driver.call("target", title)["hwnd"]
        self.arm(app)
        app.bring_to_front(target)
        self.x_focus("--name", "^" + "a" * 40)
        self.wine.xdotool("key", "ctrl+alt+w")
        shown = "a" * 248
        app.answer(app.wait_msgbox("ロックオンされたウインドウ名は" + shown + "です"), IDOK)
        self.assertTrue(app.dump().controls_with(shown, "static"))


if __name__ == "__main__":
    unittest.main()
