"""The main window on screen at 96 and 144 DPI: no control cut off by the
window or by its frame, none lying on another unless the layout puts it
there, none hidden under a frame, and everything scaled at 144 DPI."""

import subprocess
import unittest
from typing import Optional

from expected import LAYOUT
from kestrune_e2e import KestruneApp, KestruneTestCase
from window_dump import Control, Rect, WindowDump, client_origin_twips, twips_to_pixels
from wine_session import Driver, WineSession, session

HIGH_DPI = 144
KIND_OF = {"CommandButton": "push", "CheckBox": "check", "OptionButton": "radio",
           "Label": "static", "TextBox": "edit", "Frame": "group", "PictureBox": "static",
           "Line": "static"}
HOTKEY_EDITOR = "msctls_hotkey32"
HOST_OF_EDITOR = "picHotKey"
WS_BORDER = 0x00800000
SCALE_TOLERANCE = 2  # pixels: twips are rounded at each edge


def design_rect(name: str, dpi: int) -> Rect:
    """Where the layout puts a control, in the main window's client pixels."""
    left, top = client_origin_twips(name)
    row = LAYOUT[name]
    return Rect(*(twips_to_pixels(v, dpi) for v in (left, top, left + row.width,
                                                     top + row.height)))


def ancestors(name: str) -> list[str]:
    chain, row = [], LAYOUT[name]
    while row.container:
        chain.append(row.container)
        row = LAYOUT[row.container]
    return chain


def overlap(a: Rect, b: Rect) -> bool:
    """Share at least one pixel (touching edges do not count)."""
    return (max(a.left, b.left) < min(a.right, b.right) and
            max(a.top, b.top) < min(a.bottom, b.bottom))


def distance(a: Rect, b: Rect) -> int:
    return (abs(a.left - b.left) + abs(a.top - b.top) + abs(a.right - b.right) +
            abs(a.bottom - b.bottom))


def identify(form: WindowDump) -> dict[str, Control]:
    """Each control of the dump under its layout name: by kind and text, the
    nearest to its place in the layout where several share both (the frames
    without caption, the lines, the picture box)."""
    pool = list(form.controls)
    found = {}
    for name, row in LAYOUT.items():
        if row.kind not in KIND_OF:
            continue
        text = "" if row.kind == "TextBox" else row.caption
        candidates = [c for c in pool if c.kind == KIND_OF[row.kind] and c.text == text]
        if not candidates:
            raise AssertionError(f"{name} not on screen")
        want = design_rect(name, form.dpi)
        best = min(candidates, key=lambda c: distance(c.rect, want))
        pool.remove(best)
        found[name] = best
    editors = [c for c in pool if c.cls.lower() == HOTKEY_EDITOR]
    if len(editors) != 1:
        raise AssertionError(f"expected one hotkey editor, found {len(editors)}")
    found[HOTKEY_EDITOR] = editors[0]
    return found


def inner(control: Control) -> Rect:
    """A control's client area (a border takes one pixel each side)."""
    r = control.rect
    inset = 1 if control.style & WS_BORDER else 0
    return Rect(r.left + inset, r.top + inset, r.right - inset, r.bottom - inset)


def client_rect(form: WindowDump) -> Rect:
    return Rect(0, 0, form.client.width, form.client.height)


class LayoutChecks:
    """Checks shared by both DPI settings."""

    def assert_inside_client(self, form: WindowDump, controls: dict[str, Control]) -> None:
        client = client_rect(form)
        for name, control in controls.items():
            if control.visible:
                with self.subTest(name=name, check="client"):
                    self.assertTrue(client.contains(control.rect),
                                    f"{name} {control.rect} cut off by the client area {client}")


def layout_name(name: str) -> str:
    """The layout row that stands for a control (the editor for its host)."""
    return HOST_OF_EDITOR if name == HOTKEY_EDITOR else name


def containers(name: str) -> list[str]:
    return [HOST_OF_EDITOR, *ancestors(HOST_OF_EDITOR)] if name == HOTKEY_EDITOR else ancestors(name)


class DesignDpiTest(KestruneTestCase, LayoutChecks):
    """At 96 DPI, the layout's own scale."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.form = cls.start_class_app().dump()
        cls.controls = identify(cls.form)
        cls.visible = {n: c for n, c in cls.controls.items() if c.visible}

    def test_nothing_is_cut_off_by_the_window(self):
        self.assert_inside_client(self.form, self.controls)

    def test_nothing_is_cut_off_by_its_frame(self):
        for name, control in self.visible.items():
            for holder in containers(name)[:1]:
                with self.subTest(name=name, container=holder):
                    room = inner(self.controls[holder])
                    self.assertTrue(room.contains(control.rect),
                                    f"{name} {control.rect} cut off by {holder} {room}")

    def test_controls_overlap_only_where_the_layout_overlaps_them(self):
        names = sorted(self.visible)
        for i, a in enumerate(names):
            for b in names[i + 1:]:
                if not overlap(self.visible[a].rect, self.visible[b].rect):
                    continue
                if a in containers(b) or b in containers(a) or layout_name(a) == layout_name(b):
                    continue
                with self.subTest(a=a, b=b):
                    self.assertTrue(overlap(design_rect(layout_name(a), 96),
                                            design_rect(layout_name(b), 96)),
                                    f"{a} {self.visible[a].rect} lies on {b} "
                                    f"{self.visible[b].rect}")

    def test_no_control_is_hidden_under_a_frame(self):
        # Guards frames stacked above what they hold: a group box painted over
        # a sibling hides it, e.g. an inner frame's caption under the outer
        # frame, or Check1 under Frame2's edge.
        order = {c.hwnd: i for i, c in enumerate(self.form.controls)}  # top of the Z order first
        frames = [n for n, r in LAYOUT.items() if r.kind == "Frame" and n in self.visible]
        for name, control in self.visible.items():
            for frame in frames:
                held = frame in containers(name)
                lies_on = (LAYOUT.get(name) is not None and LAYOUT[name].kind != "Frame"
                           and overlap(control.rect, self.visible[frame].rect))
                if not (held or lies_on) or control.parent != self.visible[frame].parent:
                    continue
                with self.subTest(name=name, frame=frame):
                    self.assertLess(order[control.hwnd], order[self.visible[frame].hwnd],
                                    f"{name} is below {frame} in the Z order")


def start_session_at(dpi: int) -> WineSession:
    """A Wine session of its own whose processes all start at this DPI."""
    shared = session()
    wine = WineSession(shared.exe, shared.driver_exe)
    wine.start()
    for key in (r"HKCU\Control Panel\Desktop",
                r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"):
        subprocess.run(["wine", "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                        str(dpi), "/f"], env=wine.env, check=True, capture_output=True,
                       timeout=60)
    # Wine reads the DPI when a process starts: restart the session's processes.
    wine.driver.stop()
    for flag in ("-k", "-w"):
        subprocess.run(["wineserver", flag], env=wine.env, check=False, timeout=60)
    wine.driver = Driver(wine.driver_exe, wine.env, wine.workdir / "driver-dpi.log")
    wine.driver.call("ping", timeout=60)
    return wine


class HighDpiTest(KestruneTestCase, LayoutChecks):
    """At 144 DPI (150 %), compared with the same window at 96 DPI."""

    high: Optional[WineSession] = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.base = cls.start_class_app().dump()
        cls.high = start_session_at(HIGH_DPI)
        cls.addClassCleanup(cls.high.stop)
        app = KestruneApp(cls.high)
        cls.addClassCleanup(app.cleanup)
        cls.form = app.launch().dump()

    def test_window_reports_the_dpi(self):
        self.assertEqual(self.form.dpi, HIGH_DPI)

    def test_client_area_scales_by_half_again(self):
        ratio = HIGH_DPI / self.base.dpi
        self.assertAlmostEqual(self.form.client.width, self.base.client.width * ratio,
                               delta=SCALE_TOLERANCE)
        self.assertAlmostEqual(self.form.client.height, self.base.client.height * ratio,
                               delta=SCALE_TOLERANCE)

    def test_every_control_scales_with_the_window(self):
        ratio = HIGH_DPI / self.base.dpi
        base, high = identify(self.base), identify(self.form)
        for name, control in high.items():
            with self.subTest(name):
                before = base[name].rect
                for want, got in ((before.left, control.rect.left), (before.top, control.rect.top),
                                  (before.width, control.rect.width),
                                  (before.height, control.rect.height)):
                    self.assertAlmostEqual(got, want * ratio, delta=SCALE_TOLERANCE,
                                           msg=f"{name}: {control.rect} from {before}")

    def test_nothing_is_cut_off_by_the_window(self):
        self.assert_inside_client(self.form, identify(self.form))


if __name__ == "__main__":
    unittest.main()
