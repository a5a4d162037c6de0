"""No DLL planted beside Kestrune.exe runs inside it.

People run portable tools from their Downloads folder, where anyone may have
dropped a DLL. For every DLL the program loads that is not a Known DLL, a stub
exporting every name of the real one (read from the prefix's system32 copy) is
planted beside the exe; each writes a marker when a process loads it. Wine
then runs with native-first overrides for all of them, which gives the search
order Windows uses for a DLL that is not a Known DLL: the program's folder
first.

Wine's own libraries load some of these DLLs in every GUI program (its user32
imports version.dll, for one), which no program can prevent. A minimal
reference program of ours, importing kernel32 and user32 only and carrying
the same manifest, runs first from the same folder: what it loads is Wine's
doing, and those stubs are taken away again, since Wine's libraries break on
them. Kestrune is to blame for any marker it leaves of the others, and for any
planted name its own import table holds."""

import re
import subprocess
import time
import unittest
from pathlib import Path

from expected import MENU_IDS, TEXTS
from kestrune_e2e import KestruneApp
from window_dump import IDYES
from wine_session import ACTION_TIMEOUT, WINDOW_TIMEOUT, E2EError, wait_until
from test_actions import ActionsTestBase, choose_sound

PLANTED = Path(__file__).resolve().parent / "planted"
MINGW = "x86_64-w64-mingw32-"
# The DLLs Windows always takes from its system folder, and Wine's core,
# which no override can replace.
KNOWN = {"kernel32", "user32", "gdi32", "advapi32", "msvcrt", "comdlg32", "shell32", "shlwapi",
         "ole32", "oleaut32", "imm32", "psapi", "ws2_32", "rpcrt4", "sechost", "setupapi",
         "combase", "shcore", "wldap32", "normaliz", "nsi", "imagehlp", "difxapi", "gdiplus",
         "msctf", "clbcatq", "coml2", "ntdll", "kernelbase", "win32u"}
# At least these, whatever one run happens to load.
ALWAYS = {"version", "comctl32", "uxtheme", "dwmapi", "winmm"}
MARKER = re.compile(r"^(\w+)\.dll\.(.+)\.loaded$", re.IGNORECASE)


def imports(exe: Path) -> set[str]:
    dump = subprocess.run([MINGW + "objdump", "-p", str(exe)], capture_output=True, text=True,
                          check=True, timeout=60).stdout
    return {name.lower().removesuffix(".dll") for name in re.findall(r"DLL Name: (\S+)", dump)}


def export_definitions(dll: Path) -> str:
    """A module-definition file exporting every ordinal and name of dll, all
    bound to the stub's one empty function."""
    dump = subprocess.run([MINGW + "objdump", "-p", str(dll)], capture_output=True, text=True,
                          check=True, timeout=60).stdout
    table = dump[dump.index("Export Address Table -- Ordinal Base"):]
    base = int(re.match(r"Export Address Table -- Ordinal Base (\d+)", table).group(1))
    slots = [int(i) for i, rva in re.findall(r"\[\s*(\d+)\] \+base\[\s*\d+\] +([0-9a-f]+)", table)
             if int(rva, 16) != 0]
    names: dict[int, list[str]] = {}
    named = table[table.index("[Ordinal/Name Pointer] Table"):]
    for index, name in re.findall(r"^\s*\[\s*(\d+)\] (\S+)\s*$", named, re.MULTILINE):
        names.setdefault(int(index), []).append(name)
    lines = [f"LIBRARY {dll.stem}", "EXPORTS"]
    for slot in sorted(set(slots) | set(names)):
        ordinal = slot + base
        first, *others = names.get(slot, [None])
        if first is None:
            lines.append(f"  KStubOrdinal{ordinal}=KStub @{ordinal} NONAME")
        else:
            lines.append(f"  {first}=KStub @{ordinal}")
            lines.extend(f"  {other}=KStub" for other in others)
    return "\n".join(lines) + "\n"


class PlantedDllTest(ActionsTestBase):

    def build_stub(self, name: str, into: Path) -> None:
        real = self.wine.prefix / "drive_c/windows/system32" / f"{name}.dll"
        definitions = into / f"{name}.def"
        definitions.write_text(export_definitions(real))
        subprocess.run([MINGW + "gcc", "-shared", "-nostdlib", "-Os", "-Wl,-e,DllMain",
                        "-o", str(into / f"{name}.dll"), str(PLANTED / "stub.c"),
                        str(definitions), "-lkernel32"], check=True, timeout=120)
        definitions.unlink()

    def build_reference(self, into: Path) -> Path:
        resource = into / "reference.res"
        subprocess.run([MINGW + "windres", str(PLANTED / "reference.rc"), "-O", "coff", "-o",
                        str(resource)], check=True, timeout=60)
        exe = into / "reference.exe"
        subprocess.run([MINGW + "gcc", "-Os", "-nostdlib", "-mwindows", "-Wl,-e,Start", "-o",
                        str(exe), str(PLANTED / "reference.c"), str(resource), "-lkernel32",
                        "-luser32"], check=True, timeout=120)
        resource.unlink()
        self.assertEqual(imports(exe), {"kernel32", "user32"})
        return exe

    def run_as_a_user(self, app: KestruneApp, env: dict, log=subprocess.DEVNULL) -> None:
        """Starts the program, opens the About box, plays a sound after a
        watch, and closes the program with Yes; checks every window works."""
        app.process = subprocess.Popen(["wine", str(app.exe)], cwd=app.folder, env=env,
                                       stdout=log, stderr=log)
        window = wait_until(lambda: next((w for w in app.main_windows() if w["visible"]), None),
                            WINDOW_TIMEOUT, "the main window")
        app.hwnd, app.pid = window["hwnd"], window["pid"]
        form = app.dump()
        self.assertTrue(form.controls_with(TEXTS["kNotSet"], "static"))
        self.assertTrue(form.controls_with(kind="msctls_hotkey32"))

        app.command(MENU_IDS["kMenuIdVersion"])

        def about():
            for w in app.driver.call("windows", app.pid)["windows"]:
                if w["hwnd"] != app.hwnd and w["visible"] and w["class"] != "#32770":
                    dump = app.dump(w["hwnd"])
                    if any(c.text.startswith("ﾊﾞｰｼﾞｮﾝ ") for c in dump.controls):
                        return dump
            return None

        dialog = wait_until(about, ACTION_TIMEOUT, "the About box")
        self.assertTrue(dialog.controls_with("ﾊﾞｰｼﾞｮﾝ 1.0.0β", "static"))
        self.assertTrue(any("無保証です。" in c.text for c in dialog.controls))
        app.driver.call("click", dialog.control("OK", "push").hwnd)
        wait_until(lambda: about() is None, ACTION_TIMEOUT, "the About box to close")

        # The common controls in use are version 6, from the system's own
        # assembly, and they found their theme library in the system folder.
        comctl = app.driver.call("module", app.pid, "comctl32.dll")
        print(f"\n[e2e] comctl32 in use: {comctl}")
        self.assertIn("\\winsxs\\", comctl["path"].lower())
        self.assertIn("common-controls_6595b64144ccf1df_6.0", comctl["path"].lower())
        theme = app.driver.call("module", app.pid, "uxtheme.dll")
        self.assertTrue(theme["loaded"])
        self.assertTrue(theme["path"].lower().startswith("c:\\windows\\system32\\"), theme)

        self.close_watched(app, self.watch_notepad(app))
        wait_until(lambda: app.dump().controls_with(TEXTS["kNotSet"], "static"), ACTION_TIMEOUT,
                   "the watch to end")
        wait_until(lambda: app.driver.call("module", app.pid, "winmm.dll")["loaded"],
                   ACTION_TIMEOUT, "the multimedia library")
        self.assertTrue(app.no_msgbox(settle=2.0))  # played, no error

        app.close()
        app.answer(app.wait_msgbox(TEXTS["kQuitQuestion"]), IDYES)
        app.wait_exit()

    def loaded_names(self, app: KestruneApp) -> set[str]:
        """Every DLL the program loads in the run above, from +loaddll."""
        log = app.folder / "loaddll.log"
        with open(log, "wb") as out:
            self.run_as_a_user(app, dict(self.wine.env, WINEDEBUG="+loaddll"), out)
        loaded = re.findall(r'Loaded L"[^"]*\\([^"\\]+)\.dll"', log.read_text(errors="replace"),
                            re.IGNORECASE)
        return {name.lower() for name in loaded}

    def test_no_planted_dll_runs(self):
        survey = self.new_app()
        choose_sound(survey, "chime.wav")
        names = (self.loaded_names(survey) | ALWAYS) - KNOWN
        print(f"\n[e2e] planting: {sorted(names)}")

        app = self.new_app(survey.read_ini())  # the same sound, in the survey's folder
        for name in sorted(names):
            self.build_stub(name, app.folder)
        reference = self.build_reference(app.folder)
        overrides = ",".join(sorted(names)) + "=n,b"
        env = dict(self.wine.env, WINEDLLOVERRIDES=f"mscoree,mshtml=;{overrides}")

        wine_own = self.wine_own_loads(reference, env)
        print(f"[e2e] loaded by Wine's own libraries: {sorted(wine_own)}")

        self.run_as_a_user(app, env)
        time.sleep(0.5)
        kestrune = self.markers(app.folder, "kestrune.exe")
        print(f"[e2e] loaded into Kestrune: {sorted(kestrune)}")
        blamed = kestrune | (imports(app.exe) & names)
        self.assertEqual(blamed, set(), "planted DLLs ran inside Kestrune")

    def wine_own_loads(self, reference: Path, env: dict) -> set[str]:
        """The planted DLLs Wine's own libraries load into any GUI program.
        Their stubs are taken away again, as Wine's libraries break on them
        (the reference itself fails then), until the reference loads none."""
        folder = reference.parent
        found: set[str] = set()
        for _ in range(8):
            subprocess.run(["wine", str(reference)], cwd=folder, env=env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            loaded = self.markers(folder, reference.name)
            for marker in folder.glob("*.loaded"):
                marker.unlink()
            if not loaded:
                return found
            found |= loaded
            for name in loaded:
                (folder / f"{name}.dll").unlink()
        raise E2EError(f"the reference program keeps loading planted DLLs: {sorted(found)}")

    @staticmethod
    def markers(folder: Path, image: str) -> set[str]:
        found = set()
        for path in folder.iterdir():
            match = MARKER.match(path.name)
            if match and match.group(2).lower() == image:
                found.add(match.group(1).lower())
        return found


if __name__ == "__main__":
    unittest.main()
