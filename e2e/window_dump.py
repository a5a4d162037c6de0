"""What the driver reports, as the tests read it: a window's dump with its
controls, message boxes, and where the design's twips land in a dump.

Runs without Wine: test_harness.py checks the reading against made-up dumps.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Optional

from expected import LAYOUT, LayoutRow
from wine_session import E2EError

IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
TWIPS_PER_INCH = 1440


def twips_to_pixels(twips: int, dpi: int) -> int:
    return round(twips * dpi / TWIPS_PER_INCH)


def client_origin_twips(name: str) -> tuple[int, int]:
    """A control's top-left in twips from the main window's client area."""
    left = top = 0
    row: Optional[LayoutRow] = LAYOUT[name]
    while row is not None:
        left, top = left + row.left, top + row.top
        row = LAYOUT[row.container] if row.container else None
    return left, top


BS_TYPEMASK = 0xF
_BUTTON_KINDS = {0: "push", 1: "push", 2: "check", 3: "check", 4: "radio", 5: "check",
                 6: "check", 7: "group", 9: "radio"}


@dataclass
class Rect:
    left: int
    top: int
    right: int
    bottom: int

    @property
    def width(self) -> int:
        return self.right - self.left

    @property
    def height(self) -> int:
        return self.bottom - self.top

    def contains(self, other: "Rect") -> bool:
        return (self.left <= other.left and self.top <= other.top and
                other.right <= self.right and other.bottom <= self.bottom)


@dataclass
class Control:
    hwnd: int
    parent: int
    id: int
    cls: str
    text: str
    visible: bool
    enabled: bool
    style: int
    rect: Rect  # in the main window's client coordinates
    checked: Optional[int] = None
    progress: Optional[int] = None

    @property
    def kind(self) -> str:
        """push, check, radio, group for buttons; else the class in lower case."""
        if self.cls.lower() == "button":
            return _BUTTON_KINDS.get(self.style & BS_TYPEMASK, "button")
        return self.cls.lower()


@dataclass
class WindowDump:
    hwnd: int
    caption: str
    cls: str
    visible: bool
    enabled: bool
    minimized: bool
    rect: Rect
    client: Rect  # screen coordinates
    pid: int
    dpi: int
    has_menu: bool
    controls: list[Control] = field(default_factory=list)

    @classmethod
    def parse(cls, data: dict) -> "WindowDump":
        controls = [Control(c["hwnd"], c["parent"], c["id"], c["class"], c["text"], c["visible"],
                            c["enabled"], c["style"], Rect(**c["rect"]), c.get("checked"),
                            c.get("progress")) for c in data["controls"]]
        return cls(data["hwnd"], data["caption"], data["class"], data["visible"], data["enabled"],
                   data["minimized"], Rect(**data["rect"]), Rect(**data["client"]), data["pid"],
                   data["dpi"], data["has_menu"], controls)

    def controls_with(self, text: Optional[str] = None, kind: Optional[str] = None) -> list[Control]:
        return [c for c in self.controls
                if (text is None or c.text == text) and (kind is None or c.kind == kind)]

    def control(self, text: Optional[str] = None, kind: Optional[str] = None) -> Control:
        """The one control with this text and/or kind; fails on none or several."""
        found = self.controls_with(text, kind)
        if len(found) != 1:
            raise E2EError(f"expected one control (text={text!r}, kind={kind!r}), "
                           f"found {len(found)}: {[(c.cls, c.text) for c in self.controls]}")
        return found[0]

    def parent_of(self, control: Control) -> Optional[Control]:
        return next((c for c in self.controls if c.hwnd == control.parent), None)

    def takes_input(self, control: Control) -> bool:
        """Enabled itself and inside no disabled container window."""
        current: Optional[Control] = control
        while current is not None:
            if not current.enabled:
                return False
            current = self.parent_of(current)
        return self.enabled

    def frame_of(self, control: Control) -> Optional[Control]:
        """The frame holding a control: its container window if it has one,
        else the smallest group box drawn around it."""
        parent = self.parent_of(control)
        if parent is not None:
            return parent
        boxes = [c for c in self.controls if c.kind == "group" and c.rect.contains(control.rect)]
        return min(boxes, key=lambda c: c.rect.width * c.rect.height, default=None)


@dataclass
class MessageBox:
    hwnd: int
    caption: str
    text: str
    pid: int
    buttons: dict[str, int]  # button text -> id

    @classmethod
    def parse(cls, data: dict) -> "MessageBox":
        return cls(data["hwnd"], data["caption"], data["text"], data["pid"],
                   {b["text"]: b["id"] for b in data["buttons"]})

    @property
    def button_ids(self) -> set[int]:
        return set(self.buttons.values())
