"""The harness's own reading of the sources and of the driver's reports; runs
without Wine. A fault here would make the end-to-end tests check less than
they claim, silently."""

import re
import tempfile
import unittest
from pathlib import Path

from kestrune_e2e import (LAYOUT, REPO, TEXTS, Control, Rect, WindowDump, client_origin_twips,
                          load_layout, load_texts)


class SourceReadingTest(unittest.TestCase):

    # Guards against a reformatted row slipping past the pattern: the tests
    # that walk the layout would then skip that control.
    def test_every_row_of_the_layout_table_is_read(self):
        source = (REPO / "src/app/form1_layout.cpp").read_text(encoding="utf-8")
        table = source[source.index("kControls[]"):source.index("kMenus[]")]
        rows = re.findall(r'\{\s*"(\w+)",\s*(-?\d+)', table)
        names = {n if i == "-1" else f"{n}({i})" for n, i in rows}
        self.assertEqual(set(LAYOUT), names)

    def test_texts_join_adjacent_literals_and_unescape(self):
        header = ('inline constexpr char kA[] = "one\\r\\n"\n    "two \\"q\\"";\n'
                  'inline constexpr char kB[] = "監視\\\\";\n')
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        path = Path(folder.name) / "texts.h"
        path.write_text(header, encoding="utf-8")
        self.assertEqual(load_texts(path), {"kA": 'one\r\ntwo "q"', "kB": "監視\\"})

    def test_every_fixed_text_is_read(self):
        source = (REPO / "src/app/texts.h").read_text(encoding="utf-8")
        self.assertEqual(len(TEXTS), source.count("constexpr char k"))

    def test_positions_add_up_through_containers(self):
        rows = [LAYOUT[n] for n in ("Option1(0)", "Frame2", "Frame3")]  # each in the next
        self.assertEqual(client_origin_twips("Option1(0)"),
                         (sum(r.left for r in rows), sum(r.top for r in rows)))

    def test_layout_captions_come_from_the_texts(self):
        layout = load_layout(texts=TEXTS)
        self.assertEqual(layout["Command1"].caption, TEXTS["kSelectPrompt"])
        self.assertEqual(layout["Frame3"].caption, "")


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
