"""The About box of the real program: opened from the menu, its version line,
and the System Information button with and without the registry entries that
locate the program."""

import re
import shutil
import subprocess
import unittest
from typing import Optional

from expected import MENU_IDS, TEXTS
from test_actions import ActionsTestBase
from window_dump import IDOK, twips_to_pixels
from wine_session import ACTION_TIMEOUT, REPO, WINDOW_TIMEOUT, wait_until

PATH_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO"
FOLDER_KEY = r"HKLM\SOFTWARE\Microsoft\Shared Tools Location"
CLIENT_TWIPS = (4605, 1890)
PIXEL_TOLERANCE = 1


def project_version() -> str:
    source = (REPO / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(Kestrune\s+VERSION\s+(\d+)\.(\d+)\.(\d+)", source)
    assert match, "no project version in CMakeLists.txt"
    return ".".join(str(int(part)) for part in match.groups())


class AboutTest(ActionsTestBase):

    def setUp(self):
        self.clear_registry()
        self.app = self.start_app()

    # --- the Wine registry -----------------------------------------------------

    def reg(self, *args: str, check: bool = True) -> None:
        # "wine reg" runs the 32-bit tool, whose writes land under Wow6432Node
        # where the 64-bit program does not look.
        subprocess.run(["wine", "reg", *args, "/reg:64"], env=self.wine.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=WINDOW_TIMEOUT, check=check)

    def clear_registry(self) -> None:
        for key in (PATH_KEY, FOLDER_KEY):
            self.reg("delete", key, "/f", check=False)

    def set_value(self, key: str, name: str, kind: str, data: str) -> None:
        self.reg("add", key, "/v", name, "/t", kind, "/d", data, "/f")
        self.addCleanup(self.clear_registry)

    # --- the dialog ------------------------------------------------------------

    def open_about(self) -> int:
        self.app.command(MENU_IDS["kMenuIdVersion"])

        def shown() -> Optional[int]:
            return next((w["hwnd"] for w in self.app.main_windows()
                         if w["pid"] == self.app.pid and w["hwnd"] != self.app.hwnd
                         and w["visible"]), None)

        return wait_until(shown, ACTION_TIMEOUT, "the About box")

    def click_sysinfo(self, about: int) -> None:
        button = self.app.dump(about).control(TEXTS["kSysInfoButton"], "push")
        self.app.driver.call("click", button.hwnd)

    def new_program_window(self, before: set[int]) -> dict:
        """Waits for a visible top-level window of a process other than ours."""
        def found() -> Optional[dict]:
            windows = self.app.driver.call("windows", 0)["windows"]
            return next((w for w in windows if w["hwnd"] not in before and w["visible"]
                         and w["pid"] != self.app.pid), None)

        window = wait_until(found, WINDOW_TIMEOUT, "the started program's window")
        self.addCleanup(self.app.driver.call, "kill", window["pid"])
        return window

    def all_windows(self) -> set[int]:
        return {w["hwnd"] for w in self.app.driver.call("windows", 0)["windows"]}

    # --- the tests -------------------------------------------------------------

    def test_opens_modally_from_menu_and_ok_closes_it(self):
        about = self.open_about()
        form = self.app.dump(about)
        self.assertEqual(form.caption, TEXTS["kAppTitle"])
        labels = [c.text for c in form.controls_with(kind="static") if c.visible]
        self.assertIn(TEXTS["kVersionPrefix"] + project_version() + TEXTS["kBeta"], labels)
        self.assertIn(TEXTS["kAppTitle"], labels)
        self.assertTrue(any("Kestrune" in text and text != TEXTS["kAppTitle"] for text in labels),
                        f"no legal notice among {labels}")
        self.assertTrue(form.control(TEXTS["kSysInfoButton"], "push").enabled)
        self.assertTrue(form.control(TEXTS["kOk"], "push").enabled)
        self.assertAlmostEqual(form.client.width, twips_to_pixels(CLIENT_TWIPS[0], form.dpi),
                               delta=PIXEL_TOLERANCE)
        self.assertAlmostEqual(form.client.height, twips_to_pixels(CLIENT_TWIPS[1], form.dpi),
                               delta=PIXEL_TOLERANCE)
        self.assertFalse(self.app.dump().enabled, "the main window takes input behind the box")
        self.wine.screenshot("about-box")

        self.app.driver.call("click", form.control(TEXTS["kOk"], "push").hwnd)
        wait_until(lambda: about not in self.all_windows(), ACTION_TIMEOUT, "the About box to close")
        wait_until(lambda: self.app.dump().enabled, ACTION_TIMEOUT, "the main window to take input")
        self.assertTrue(self.app.is_running())

    def test_activation_comes_back_to_the_window_that_opened_the_box_or_dialog(self):
        self.start_notepad(self.wine)  # another program's window behind
        self.app.bring_to_front()
        about = self.open_about()
        self.click_sysinfo(about)
        self.app.answer(self.app.wait_msgbox(TEXTS["kSysInfoUnavailable"]), IDOK)
        self.wait_foreground(about, "the About box to be active after its message")
        ok = self.app.dump(about).control(TEXTS["kOk"], "push")
        self.app.driver.call("click", ok.hwnd)
        self.wait_foreground(self.app.hwnd, "the main window to be active after the About box")

    def test_without_registry_entries_the_button_tells_it_is_unavailable(self):
        about = self.open_about()
        self.click_sysinfo(about)
        box = self.app.wait_msgbox(TEXTS["kSysInfoUnavailable"])
        self.assertEqual(box.caption, TEXTS["kAppTitle"])
        self.assertEqual(box.button_ids, {IDOK})
        self.app.answer(box, IDOK)
        self.assertIn(about, self.all_windows(), "the About box closed with the message")

    def assert_sysinfo_starts_a_program(self):
        about = self.open_about()
        before = self.all_windows()
        self.click_sysinfo(about)
        self.new_program_window(before)
        self.assertTrue(self.app.no_msgbox())

    def test_registered_path_is_started(self):
        self.set_value(PATH_KEY, "PATH", "REG_SZ", r"C:\windows\notepad.exe")
        self.assert_sysinfo_starts_a_program()

    def test_registered_expandable_path_is_expanded_and_started(self):
        self.set_value(PATH_KEY, "PATH", "REG_EXPAND_SZ", r"%SystemRoot%\notepad.exe")
        self.assert_sysinfo_starts_a_program()

    def test_registered_path_to_missing_file_tells_it_is_unavailable(self):
        self.set_value(PATH_KEY, "PATH", "REG_SZ", r"C:\nowhere\msinfo32.exe")
        about = self.open_about()
        self.click_sysinfo(about)
        self.app.answer(self.app.wait_msgbox(TEXTS["kSysInfoUnavailable"]), IDOK)

    def register_folder_with_program(self) -> str:
        folder = self.wine.prefix / "drive_c" / "kestrune-msinfo"
        folder.mkdir(exist_ok=True)
        self.addCleanup(shutil.rmtree, folder, True)
        shutil.copyfile(self.wine.prefix / "drive_c" / "windows" / "notepad.exe",
                        folder / "MSINFO32.EXE")
        self.set_value(FOLDER_KEY, "MSINFO", "REG_SZ", r"C:\kestrune-msinfo")
        return r"C:\kestrune-msinfo\MSINFO32.EXE"

    def test_registered_folder_holding_the_program_is_used(self):
        self.register_folder_with_program()
        self.assert_sysinfo_starts_a_program()

    def test_hidden_program_in_the_registered_folder_is_not_used(self):
        program = self.register_folder_with_program()
        subprocess.run(["wine", "attrib", "+h", program], env=self.wine.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=WINDOW_TIMEOUT, check=True)
        about = self.open_about()
        self.click_sysinfo(about)
        self.app.answer(self.app.wait_msgbox(TEXTS["kSysInfoUnavailable"]), IDOK)


if __name__ == "__main__":
    unittest.main()
