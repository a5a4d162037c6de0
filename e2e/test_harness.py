"""The harness's own expectations and its reading of the driver's reports;
runs without Wine. A fault here would make the end-to-end tests check less
than they claim, silently."""

import unittest

from expected import LAYOUT, TEXTS
from window_dump import Control, Rect, WindowDump, client_origin_twips
from wine_session import REPO


class ExpectationsTest(unittest.TestCase):

    # Guards against expectations taken from the program itself: a wrong
    # text or position would then pass every test.
    def test_nothing_is_read_from_the_sources(self):
        for name in ("kestrune_e2e.py", "window_dump.py", "wine_session.py", "expected.py"):
            source = (REPO / "e2e" / name).read_text(encoding="utf-8")
            for path in ('"src/', '/ "src"', "texts.h", "form1_layout"):
                with self.subTest(name=name, path=path):
                    self.assertNotIn(path, source)

    def test_positions_add_up_through_containers(self):
        rows = [LAYOUT[n] for n in ("Option1(0)", "Frame2", "Frame3")]  # each in the next
        self.assertEqual(client_origin_twips("Option1(0)"),
                         (sum(r.left for r in rows), sum(r.top for r in rows)))
        self.assertEqual(LAYOUT["Command1"].caption, TEXTS["kSelectPrompt"])


def control(hwnd, parent, style=0, enabled=True, rect=(0, 0, 10, 10), cls="Button"):
    return Control(hwnd, parent, 0, cls, "", True, enabled, style, Rect(*rect))


def dump(controls, enabled=True):
    return WindowDump(1, "Kestrune", "main", True, enabled, False, Rect(0, 0, 100, 100),
                      Rect(0, 0, 100, 100), 1, 96, True, controls)


class DumpReadingTest(unittest.TestCase):
    GROUP, RADIO = 7, 9

    def test_a_disabled_container_takes_input_from_what_it_holds(self):
        frame = control(2, 1, self.GROUP, enabled=False)
        option = control(3, 2, self.RADIO)
        self.assertFalse(dump([frame, option]).takes_input(option))
        self.assertTrue(dump([control(2, 1, self.GROUP), option]).takes_input(option))
        self.assertFalse(dump([control(2, 1), option], enabled=False).takes_input(option))

    def test_frame_of_a_sibling_is_the_smallest_group_box_around_it(self):
        outer = control(2, 1, self.GROUP, rect=(0, 0, 90, 90))
        inner = control(3, 1, self.GROUP, rect=(10, 10, 50, 50))
        option = control(4, 1, self.RADIO, rect=(20, 20, 30, 30))
        self.assertIs(dump([outer, inner, option]).frame_of(option), inner)

    def test_button_kinds_follow_the_style(self):
        kinds = {0: "push", 1: "push", 3: "check", 6: "check", 7: "group", 9: "radio"}
        for style, kind in kinds.items():
            with self.subTest(style=style):
                self.assertEqual(control(2, 1, style | 0x50000000).kind, kind)
        self.assertEqual(control(2, 1, cls="Static").kind, "static")


if __name__ == "__main__":
    unittest.main()
