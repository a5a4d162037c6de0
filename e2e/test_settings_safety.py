"""default.ini that the user wrote is never lost by the real program: LF line
ends read as CR LF, bytes it did not read whole are kept as default.ini.bak
before a replace, a huge file is not read, a read-only file is never
replaced, and deep folders work or fail with a report, never a crash."""

import os
import stat
import time
import unittest
from pathlib import Path

from expected import LAYOUT, TEXTS
from kestrune_e2e import KestruneApp, KestruneTestCase
from window_dump import IDNO, IDOK, IDYES
from wine_session import WINDOW_TIMEOUT, wait_until
from test_settings import settings_file

BACKUP = "default.ini.bak"
WRITE_FAILED_PREFIX = "設定ファイルを保存できませんでした。\r\n\r\n"
WRITE_FAILED_SUFFIX = ("\r\n\r\nフォルダーに書き込めるか、ファイルが読み取り専用でないか確認してください。"
                       "以前の設定はそのまま残っています。")
# What the program writes from its design state: no file was read.
DESIGN = settings_file(ctrl=b"False", alt=b"False", key=b"\0", selected=0, file_name=b"")


class SafetyBase(KestruneTestCase):

    def close_answering(self, app: KestruneApp, answer: int) -> None:
        app.close()
        app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), answer)

    def expect_write_failure_then_quit(self, app: KestruneApp) -> None:
        app.close()
        box = app.wait_msgbox()
        self.assertTrue(box.text.startswith(WRITE_FAILED_PREFIX), box.text)
        self.assertTrue(box.text.endswith("default.ini" + WRITE_FAILED_SUFFIX), box.text)
        app.answer(box, IDOK)
        app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), IDYES)
        self.assertEqual(app.wait_exit(), 0)

    def launch_reporting_unreadable(self, app: KestruneApp) -> None:
        """Starts the program on a file it cannot read: the report names the
        file before the main window shows."""
        app.process = app.spawn()
        prefix, suffix = TEXTS["kSettingsReadFailedPrefix"], TEXTS["kSettingsReadFailedSuffix"]
        box = wait_until(lambda: next((b for b in app.msgboxes()
                                       if b.text.startswith(prefix)), None),
                         WINDOW_TIMEOUT, "the report of the unreadable file")
        self.assertTrue(box.text.endswith("\\default.ini" + suffix), box.text)
        self.assertEqual(box.caption, TEXTS["kAppTitle"])
        self.assertEqual(box.button_ids, {IDOK})
        app.answer(box, IDOK)
        window = wait_until(lambda: next((w for w in app.main_windows() if w["visible"]), None),
                            WINDOW_TIMEOUT, "the main window")
        app.hwnd, app.pid = window["hwnd"], window["pid"]

    def leftovers(self, folder: Path) -> list:
        return [p.name for p in folder.iterdir()
                if p.name not in ("Kestrune.exe", "default.ini", BACKUP)
                and not p.name.startswith("wine-")]

    def windows_path(self, path: Path) -> str:
        return self.wine.windows_path(path)


class HandEditedFileTest(SafetyBase):

    def test_lf_line_ends_read_as_crlf_and_are_written_back_as_crlf(self):
        crlf = settings_file(selected=3)
        app = self.start_app(crlf.replace(b"\r\n", b"\n"))
        form = app.dump()
        self.assertEqual(form.control(kind="edit").text, "C:\\サウンド\\警報.wav")
        options = [form.control(LAYOUT[f"Option1({i})"].caption, "radio") for i in range(6)]
        self.assertEqual([o.checked for o in options], [0, 0, 0, 1, 0, 0])
        self.close_answering(app, IDYES)
        app.wait_exit()
        self.assertEqual(app.read_ini(), crlf)

    def test_utf16_and_a_typo_are_kept_as_the_backup_at_the_first_write(self):
        fifty = b"|".join([b"False"] * 50)
        typo = settings_file(selected=5).replace(
            b"False|False|False|False|False|True", fifty)
        utf16 = settings_file(selected=5).decode("cp932").encode("utf-16")
        for user in (utf16, typo):
            with self.subTest(user=user[:20]):
                app = self.start_app(user)
                self.close_answering(app, IDNO)
                self.assertEqual((app.folder / BACKUP).read_bytes(), user)
                written = app.read_ini()
                (app.folder / BACKUP).write_bytes(b"older backup")
                self.close_answering(app, IDYES)
                app.wait_exit()
                self.assertEqual(app.read_ini(), written)
                self.assertEqual((app.folder / BACKUP).read_bytes(), b"older backup")
                self.assertEqual(self.leftovers(app.folder), [])

    def test_file_edited_while_running_is_kept_at_the_next_write(self):
        app = self.start_app(settings_file())
        app.write_ini(b"edited meanwhile")
        self.close_answering(app, IDYES)
        app.wait_exit()
        self.assertEqual((app.folder / BACKUP).read_bytes(), b"edited meanwhile")
        self.assertEqual(app.read_ini(), settings_file())

    def test_huge_file_is_not_read_and_becomes_the_backup(self):
        app = self.new_app()
        with open(app.ini_path, "wb") as huge:
            huge.write(settings_file(check=b"0"))
            huge.truncate(1 << 30)  # sparse: 1 GiB on disk in name only
        started = time.monotonic()
        self.launch_reporting_unreadable(app)
        print(f"\n[e2e] started with a 1 GiB default.ini in {time.monotonic() - started:.2f} s")
        # Started as without a file: Check1 keeps its design value.
        self.assertEqual(app.dump().control(TEXTS["kCheck1Caption"], "check").checked, 1)
        self.close_answering(app, IDYES)
        app.wait_exit()
        self.assertEqual(app.read_ini(), DESIGN)
        self.assertEqual((app.folder / BACKUP).stat().st_size, 1 << 30)


    def test_utf8_file_keeps_its_characters_and_becomes_the_backup(self):
        sound = "D:\\効果音\\完了.wav"
        utf8 = settings_file(file_name=sound.encode("utf-8"))
        app = self.start_app(utf8)
        self.assertEqual(app.dump().control(kind="edit").text, sound)
        self.close_answering(app, IDYES)
        app.wait_exit()
        self.assertEqual(app.read_ini(), settings_file(file_name=sound.encode("cp932")))
        self.assertEqual((app.folder / BACKUP).read_bytes(), utf8)
        self.assertEqual(self.leftovers(app.folder), [])

    def test_file_held_open_at_start_is_reported_and_kept_as_the_backup(self):
        held = settings_file(check=b"0")
        app = self.new_app(held)
        self.wine.driver.call("hold-file", self.windows_path(app.ini_path))
        try:
            self.launch_reporting_unreadable(app)
            # Started with the defaults: Check1 keeps its design value.
            self.assertEqual(app.dump().control(TEXTS["kCheck1Caption"], "check").checked, 1)
        finally:
            self.wine.driver.call("release-file")
        self.close_answering(app, IDYES)
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(app.read_ini(), DESIGN)
        self.assertEqual((app.folder / BACKUP).read_bytes(), held)
        self.assertEqual(self.leftovers(app.folder), [])


class AwkwardFolderTest(SafetyBase):

    def test_read_only_file_is_never_replaced(self):
        app = self.start_app(settings_file())
        app.click(TEXTS["kCheck1Caption"])
        app.ini_path.chmod(0o444)  # what attrib +r does under Wine
        self.expect_write_failure_then_quit(app)
        self.assertEqual(app.read_ini(), settings_file())
        self.assertEqual(stat.S_IMODE(app.ini_path.stat().st_mode), 0o444)
        self.assertEqual(self.leftovers(app.folder), [])

    def deep_app(self, length: int) -> KestruneApp:
        """A copy of the program in a folder whose Windows path has length
        characters."""
        app = self.new_app()
        deep = app.folder
        remaining = length - len(self.windows_path(app.folder))
        while remaining > 0:
            # Parts of up to 100 characters, each after a separator; never
            # leave a single character, which could hold no name.
            part = min(remaining - 1, 100 if remaining - 101 != 1 else 99)
            deep = deep / ("d" * part)
            remaining -= part + 1
        deep.mkdir(parents=True)
        self.assertEqual(remaining, 0)
        os.replace(app.exe, deep / "Kestrune.exe")
        app.folder, app.exe = deep, deep / "Kestrune.exe"
        return app

    def test_folder_at_the_classic_path_limit_reads_and_writes(self):
        # The longest folder whose program path still fits in 260 characters.
        app = self.deep_app(260 - 1 - len("\\Kestrune.exe"))
        app.write_ini(b"hand-edited\r\n")
        app.launch()
        self.close_answering(app, IDYES)
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(app.read_ini(), DESIGN)
        self.assertEqual((app.folder / BACKUP).read_bytes(), b"hand-edited\r\n")
        self.assertEqual(self.leftovers(app.folder), [])

    def test_folder_beyond_the_classic_path_limit_reads_and_writes(self):
        app = self.deep_app(300)
        app.write_ini(settings_file(check=b"0"))
        app.launch()
        self.assertEqual(app.dump().control(TEXTS["kCheck1Caption"], "check").checked, 0)
        self.close_answering(app, IDYES)
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(app.read_ini(), settings_file(check=b"0"))
        self.assertEqual(self.leftovers(app.folder), [])


class NoCreateFolderTest(SafetyBase):
    """A folder whose access rule lets the file be written but no file be
    created. Root may create files anywhere, so the Wine session of these
    tests runs its server without the capability to override permissions."""

    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        own = cls.wine.sibling()
        cls.addClassCleanup(own.stop)
        # Every Wine program of the session, and so the server the first one
        # starts, runs through these.
        wrappers = own.workdir / "bin"
        wrappers.mkdir()
        for program in ("wine", "wineboot"):
            wrapper = wrappers / program
            wrapper.write_text("#!/bin/sh\nexec setpriv --inh-caps=-all --bounding-set="
                               f"-dac_override,-dac_read_search /usr/bin/{program} \"$@\"\n")
            wrapper.chmod(0o755)
        path = os.environ["PATH"]
        os.environ["PATH"] = f"{wrappers}:{path}"  # the session copies it at start
        try:
            own.start()
        finally:
            os.environ["PATH"] = path
        cls.own = own

    def start_locked(self, ini: bytes) -> KestruneApp:
        app = KestruneApp(self.own)
        self.addCleanup(app.cleanup)
        self.addCleanup(app.folder.chmod, 0o755)
        app.write_ini(ini)
        app.folder.chmod(0o555)
        return app.launch()

    def test_file_is_written_in_place(self):
        app = self.start_locked(settings_file())
        app.click(TEXTS["kCheck1Caption"])
        self.close_answering(app, IDYES)
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(app.read_ini(), settings_file(check=b"0"))
        self.assertEqual(self.leftovers(app.folder), [])

    def test_bytes_that_cannot_be_backed_up_are_not_overwritten(self):
        app = self.start_locked(b"hand-edited\r\n")
        self.expect_write_failure_then_quit(app)
        self.assertEqual(app.read_ini(), b"hand-edited\r\n")
        self.assertFalse((app.folder / BACKUP).exists())


if __name__ == "__main__":
    unittest.main()
