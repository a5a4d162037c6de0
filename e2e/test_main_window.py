"""The main window of the real program: its fresh start, the single-instance
rule and the closing question."""

import unittest

from expected import LAYOUT, MENU_IDS, TEXTS
from kestrune_e2e import KestruneTestCase
from window_dump import IDNO, IDOK, IDYES, client_origin_twips, twips_to_pixels
from wine_session import ACTION_TIMEOUT, wait_until

# How each kind of the layout shows up as a standard control.
KIND_OF = {"CommandButton": "push", "CheckBox": "check", "OptionButton": "radio",
           "Label": "static", "TextBox": "edit"}
HIDDEN_ROW = ["Option1(5)", "Command3", "Command4", "Command5", "txtFileName"]
PIXEL_TOLERANCE = 2  # rounding of twips at each container level


class FreshStartTest(KestruneTestCase):
    """Started in a folder without default.ini. The menu bar's items cannot be
    read from another process under Wine; ClosingTest and test_about work them
    through their command ids."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.app = cls.start_class_app()
        cls.form = cls.app.dump()

    def control_for(self, name):
        row = LAYOUT[name]
        if row.kind == "TextBox":
            return self.form.control(kind="edit")
        return self.form.control(row.caption, KIND_OF[row.kind])

    def test_window(self):
        form = self.form
        self.assertEqual(form.caption, TEXTS["kAppTitle"])
        self.assertTrue(form.visible)
        self.assertTrue(form.enabled)
        self.assertFalse(form.minimized)
        self.assertTrue(form.has_menu)
        self.assertAlmostEqual(form.client.width, twips_to_pixels(6150, form.dpi), delta=1)
        self.assertAlmostEqual(form.client.height, twips_to_pixels(3975, form.dpi), delta=1)

    def test_every_control_shows_its_caption_where_the_layout_puts_it(self):
        for name, row in LAYOUT.items():
            if row.kind not in KIND_OF:
                continue
            with self.subTest(name):
                control = self.control_for(name)
                self.assertEqual(control.text, row.caption)
                left, top = client_origin_twips(name)
                dpi = self.form.dpi
                expected = (twips_to_pixels(left, dpi), twips_to_pixels(top, dpi),
                            twips_to_pixels(row.width, dpi), twips_to_pixels(row.height, dpi))
                actual = (control.rect.left, control.rect.top, control.rect.width,
                          control.rect.height)
                for want, got in zip(expected, actual):
                    self.assertAlmostEqual(got, want, delta=PIXEL_TOLERANCE,
                                           msg=f"{name}: {actual} != {expected}")

    def test_frame_captions(self):
        for name, row in LAYOUT.items():
            if row.kind == "Frame" and row.caption:
                with self.subTest(name):
                    self.assertTrue(self.form.controls_with(row.caption))

    def test_initial_states(self):
        form = self.form
        command2 = self.control_for("Command2")
        self.assertEqual(command2.text, TEXTS["kStartWatch"])
        self.assertFalse(form.takes_input(command2))
        command1 = self.control_for("Command1")
        self.assertEqual(command1.text, TEXTS["kSelectPrompt"])
        self.assertTrue(form.takes_input(command1))
        self.assertEqual(self.control_for("Label1").text, TEXTS["kNotSet"])
        self.assertEqual(self.control_for("Check1").checked, 1)
        self.assertTrue(form.takes_input(self.control_for("Check1")))
        self.assertTrue(form.takes_input(self.control_for("cmdSet")))

        options = [self.control_for(f"Option1({i})") for i in range(6)]
        self.assertEqual([o.checked for o in options], [1, 0, 0, 0, 0, 0])
        frame2 = form.frame_of(options[0])
        self.assertIsNotNone(frame2, "no frame around the options")
        # No settings file: Check1 is ticked, so the row shows as it will act.
        self.assertTrue(frame2.enabled, "Frame2 should start enabled")
        for option in options[:5]:
            with self.subTest(option.text):
                self.assertTrue(form.takes_input(option))

    def test_sound_row_exists_but_is_not_visible(self):
        for name in HIDDEN_ROW:
            with self.subTest(name):
                control = self.control_for(name)
                self.assertFalse(control.visible)
        self.assertEqual(self.control_for("txtFileName").text, "")


class EnablingTest(KestruneTestCase):

    def test_ticking_check1_turns_the_action_rows_on_and_off(self):
        # Guards enabled states that stop following Check1 after the first
        # change (the window's state must be re-read, not assumed).
        app = self.start_app()
        check1 = TEXTS["kCheck1Caption"]
        for _ in range(3):
            app.click(check1)
            form = app.dump()
            ticked = form.control(check1, "check").checked == 1
            options = [form.control(LAYOUT[f"Option1({i})"].caption, "radio") for i in range(5)]
            for option in options:
                with self.subTest(option.text, ticked=ticked):
                    self.assertEqual(form.takes_input(option), ticked)
                    self.assertEqual(option.enabled, ticked)


class SingleInstanceTest(KestruneTestCase):

    def test_second_instance_is_refused_and_the_first_runs_on(self):
        app = self.start_app()
        second = app.spawn()

        def refusal():
            return next((b for b in app.msgboxes() if b.pid != app.pid), None)

        box = wait_until(refusal, ACTION_TIMEOUT, "the second instance's message")
        self.assertEqual(box.text, TEXTS["kAlreadyRunning"])
        self.assertEqual(box.caption, TEXTS["kAppTitle"])
        self.assertEqual(box.button_ids, {IDOK})
        # The refused instance never shows a main window of its own.
        shown = [w["hwnd"] for w in app.main_windows() if w["visible"]]
        self.assertEqual(shown, [app.hwnd])

        app.answer(box, IDOK)
        app.wait_exit(second)
        self.assertTrue(app.is_running())
        self.assertTrue(app.window_exists())
        self.assertTrue(app.dump().visible)
        self.assertEqual(app.msgboxes(), [])
        # The refused instance must not have written the settings file.
        self.assertIsNone(app.read_ini())


class ClosingTest(KestruneTestCase):

    def ask_to_close(self, app, how):
        how()
        box = app.wait_msgbox(TEXTS["kQuitQuestion"])
        self.assertEqual(box.caption, TEXTS["kAppTitle"])
        self.assertEqual(box.button_ids, {IDYES, IDNO})
        return box

    def check_no_keeps_then_yes_ends(self, app, how):
        app.answer(self.ask_to_close(app, how), IDNO)
        self.assertTrue(app.no_msgbox())
        self.assertTrue(app.is_running())
        self.assertTrue(app.dump().visible)

        app.answer(self.ask_to_close(app, how), IDYES)
        self.assertEqual(app.wait_exit(), 0)

    def test_close_box_asks_first(self):
        app = self.start_app()
        self.check_no_keeps_then_yes_ends(app, app.close)

    def test_exit_menu_asks_the_same(self):
        app = self.start_app()
        self.check_no_keeps_then_yes_ends(app, lambda: app.command(MENU_IDS["kMenuIdExit"]))


if __name__ == "__main__":
    unittest.main()
