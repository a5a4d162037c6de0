"""default.ini of the real program: read at start into the window, written on
every close attempt, and a failed write reported without losing the old file."""

import unittest

from expected import LAYOUT, TEXTS
from kestrune_e2e import KestruneTestCase
from window_dump import IDNO, IDOK, IDYES

CRLF = b"\r\n"
# C:\サウンド\警報.wav in code page 932, the ANSI code page of the session.
JAPANESE_PATH_ANSI = "C:\\サウンド\\警報.wav".encode("cp932")


def settings_file(shift=b"False", ctrl=b"True", alt=b"True", key=b"W", check=b"1",
                  selected=5, file_name=JAPANESE_PATH_ANSI) -> bytes:
    """A file as the program writes it."""
    options = b"|".join(b"True" if i == selected else b"False" for i in range(6))
    lines = [b"/HotKey(bShift)", shift, b"/HotKey(bCtrl)", ctrl, b"/HotKey(bAlt)", alt,
             b"/HotKey(sChar)", key, b"/check1.Value", check, b"/Option1().Value", options,
             b"/txtFileName.text", file_name, b""]
    return CRLF.join(lines) + CRLF


class SettingsFileTest(KestruneTestCase):

    def options(self, form):
        return [form.control(LAYOUT[f"Option1({i})"].caption, "radio") for i in range(6)]

    def close_answering(self, app, answer):
        app.close()
        app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), answer)

    def test_prepared_file_shows_at_start_and_each_close_rewrites_it_unchanged(self):
        prepared = settings_file(selected=3)
        app = self.start_app(prepared)
        form = app.dump()
        self.assertEqual(form.control(TEXTS["kCheck1Caption"], "check").checked, 1)
        options = self.options(form)
        self.assertEqual([o.checked for o in options], [0, 0, 0, 1, 0, 0])
        # Check1 read as 1 ran the enabling rule: the options take input now.
        self.assertTrue(all(form.takes_input(o) for o in options[:5]))
        self.assertEqual(form.control(kind="edit").text, "C:\\サウンド\\警報.wav")

        self.close_answering(app, IDNO)
        self.assertTrue(app.is_running())
        self.assertEqual(app.read_ini(), prepared)
        app.write_ini(b"stale")
        self.close_answering(app, IDYES)
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(app.read_ini(), prepared)

    def test_reading_stops_at_a_bad_line_and_keeps_what_came_before(self):
        app = self.start_app(CRLF.join([
            b"/check1.Value", b"2", b"/HotKey(bAlt)", b"not a Boolean",
            b"/Option1().Value", b"False|True", b""]))
        form = app.dump()
        self.assertEqual(form.control(TEXTS["kCheck1Caption"], "check").checked, 2)
        self.assertEqual([o.checked for o in self.options(form)], [1, 0, 0, 0, 0, 0])
        self.close_answering(app, IDYES)
        app.wait_exit()
        self.assertEqual(app.read_ini(), settings_file(
            ctrl=b"False", alt=b"False", key=b"\0", check=b"2", selected=0, file_name=b""))

    def test_failed_write_is_reported_then_the_question_follows(self):
        app = self.new_app()
        # A folder in the file's place: it cannot be read, nor replaced.
        app.ini_path.mkdir()
        app.launch()
        app.close()
        box = app.wait_msgbox()
        self.assertTrue(box.text.startswith(TEXTS["kSettingsWriteFailedPrefix"]), box.text)
        self.assertTrue(box.text.endswith(
            TEXTS["kSettingsFileName"] + TEXTS["kSettingsWriteFailedSuffix"]), box.text)
        self.assertEqual(box.caption, TEXTS["kAppTitle"])
        self.assertEqual(box.button_ids, {IDOK})
        app.answer(box, IDOK)
        app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), IDYES)
        app.wait_exit()
        self.assertTrue(app.ini_path.is_dir())
        leftovers = [p.name for p in app.folder.iterdir()
                     if p.name not in ("Kestrune.exe", TEXTS["kSettingsFileName"])
                     and not p.name.startswith("wine-")]
        self.assertEqual(leftovers, [], "no temporary file may stay behind")


if __name__ == "__main__":
    unittest.main()
