"""A small harness for driving the real launcher on the X display.

    with harness.Launcher(self) as app:      # clean settings folder, own work folder
        app.click_text("Run Pulsemarker")    # real pointer input through xdotool
        app.wait_for_text("Results:")        # OCR of the launcher window (tesseract)
        app.shot("after-result")             # PNG under $SYNAPTOR_SHOTS

The launcher runs in a temporary work folder (its current directory) that holds
a copy of the stand-in simulator, so the stand-in's log files land there and a
test may remove the stand-in. Everything started is ended at clean-up.

Environment (set by tests/e2e/CMakeLists.txt): SYNAPTOR_BIN (the build's bin
folder), SYNAPTOR_PLATFORM (linux or windows), SYNAPTOR_EMULATOR (the command that
runs the Windows build's programs: wine64 with a UTF-8 locale), SYNAPTOR_SHOTS (where screenshots go), PYTHONPATH (tests/launcher, for
xdisplay), DISPLAY, WINEPREFIX.
"""

import os
import re
import shlex
import shutil
import signal
import subprocess
import tempfile
import time

import xdisplay
from xdisplay import cpu_time, geometry as window_geometry, run

BIN = os.environ["SYNAPTOR_BIN"]
WINDOWS = os.environ.get("SYNAPTOR_PLATFORM") == "windows"
EMULATOR = shlex.split(os.environ.get("SYNAPTOR_EMULATOR") or "/usr/lib/wine/wine64")
SHOTS = os.environ.get("SYNAPTOR_SHOTS") or tempfile.gettempdir()
TITLE = "Synaptor Demo"
STANDIN = "Neuroblitz64.exe" if WINDOWS else "Neuroblitz64"
CLEAR_COLOUR = (20, 20, 20)  # the frame's clear colour, 0.08 grey
CLICK_REST = 0.4  # seconds the pointer rests around a click, longer than a slow frame
LEAK_EXIT_CODES = (1, 23)  # AddressSanitizer's and LeakSanitizer's
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def wait_for(predicate, timeout=15.0, step=0.05):
    """The predicate's first true value within the time, else None; quicker
    steps than the display tests', for input and OCR."""
    return xdisplay.wait_for(predicate, timeout, step)


def overlap(a, b):
    """The part of screen box b that lies on box a, as (x, y, w, h); None if they do not meet."""
    x0, y0 = max(a[0], b[0]), max(a[1], b[1])
    x1, y1 = min(a[0] + a[2], b[0] + b[2]), min(a[1] + a[3], b[1] + b[3])
    return (x0, y0, x1 - x0, y1 - y0) if x0 < x1 and y0 < y1 else None


def screen_pixels(x, y, w, h):
    """The screen's RGB bytes in a box."""
    return subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "rgb:-"],
                          capture_output=True, timeout=30).stdout


def mostly_changed(before, after):
    """Whether most pixels differ: a window drawn over what another left, not a few
    lines of text that this other window printed meanwhile."""
    same = sum(before[i:i + 3] == after[i:i + 3] for i in range(0, min(len(before), len(after)), 3))
    return len(after) == len(before) and same < len(before) // 6


def program_path(path):
    """A path as the launched program sees it (Wine maps / to drive Z:)."""
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


def settings_folder(work):
    if not WINDOWS:
        return os.path.join(work, "data", "AppFrame", TITLE)
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    user = os.environ.get("USER") or run("id", "-un").stdout.strip()
    return os.path.join(prefix, "drive_c", "users", user, "AppData", "Local", "AppFrame", TITLE)


def _processes_of(work):
    """(pid, comm, cmdline) of every process started under this work folder's
    launcher, known by the hold file in its environment."""
    marker = f"NEUROBLITZ_HOLD_FILE={program_path(os.path.join(work, 'hold'))}".encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if marker not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{entry}/comm") as f:
                comm = f.read().strip()
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                cmdline = f.read()
        except OSError:
            continue
        found.append((int(entry), comm, cmdline))
    return found


def standin_pids(work):
    """The stand-in's processes. Under Wine it has no name in /proc, and its
    command line is the launcher's, which begins with a blank: an empty first word."""
    return [pid for pid, comm, cmdline in _processes_of(work)
            if comm.startswith("Neuroblitz64") or (WINDOWS and cmdline.startswith(b"\0-project"))]


def console_pids(work):
    """Under Wine, the console host of each stand-in. Wine's own shared processes
    (the desktop, services) can carry the launcher's environment too, when the
    launcher was the program that started them; they serve every Windows program
    on the display and must outlive the test."""
    return [pid for pid, comm, _ in _processes_of(work) if WINDOWS and comm == "conhost.exe"]


class Word:
    def __init__(self, text, x, y, w, h, line):
        self.text, self.x, self.y, self.w, self.h, self.line = text, x, y, w, h, line


class Launcher:
    """One run of the launcher in a clean settings folder and its own work folder;
    or, given a folder that holds the launcher and the stand-in (an unpacked
    download), from that folder, which is removed at clean-up."""

    def __init__(self, test, env=None, folder=None):
        self.test = test
        self.program_dir = folder or BIN
        if folder:
            self.work = folder
        else:
            self.work = tempfile.mkdtemp(prefix="launcher-e2e-")
            shutil.copy2(os.path.join(BIN, STANDIN), self.work)
        self.hold_file = os.path.join(self.work, "hold")
        self.settings = settings_folder(self.work)
        shutil.rmtree(self.settings, ignore_errors=True)
        self.env = dict(os.environ,
                        XDG_DATA_HOME=os.path.join(self.work, "data"),
                        NEUROBLITZ_MAX_NEURONS="4096",
                        NEUROBLITZ_HOLD_FILE=program_path(self.hold_file),
                        **(env or {}))
        self.proc = None
        self.last_words = []
        self.window = None
        self._geometry = None

    # ---- life cycle ----------------------------------------------------------------

    def __enter__(self):
        # Appending: the launcher and the stand-in it starts both write here.
        self._output_file = open(os.path.join(self.work, "launcher.out"), "a")
        program = os.path.join(self.program_dir, "launcher.exe" if WINDOWS else "launcher")
        command = [*EMULATOR, program] if WINDOWS else [program]
        self.proc = subprocess.Popen(command, cwd=self.work, env=self.env, stdout=self._output_file,
                                     stderr=subprocess.STDOUT, start_new_session=True)
        # The window's id, or True once the launcher has ended without one.
        found = wait_for(lambda: self._find_window() or self.proc.poll() is not None, timeout=60)
        self.window = found if isinstance(found, str) else None
        if self.window is None:
            self.expect(None, "the launcher window did not appear", "no-window")
        self.park_pointer()
        self.expect(self.wait_for_text("Run Pulsemarker", timeout=60), "the launcher drew nothing", "drew-nothing")
        # The stars arrive a few frames after the window, in one long frame that
        # uploads the panorama; input is only given once that frame is over.
        self.expect(wait_for(self._stars_shown, timeout=60, step=0.3), "the sky's stars never came", "no-stars")
        return self

    def expect(self, value, failure, name):
        """The value, if true; else the test fails with the failure's words and the
        diagnosis, whose screenshot carries the name."""
        if not value:
            self.test.fail(failure + self.diagnosis(name))
        return value

    def diagnosis(self, name):
        """What a failed wait leaves to look at: whether the launcher still runs and
        uses the processor, the processes started under it, the visible windows,
        its last output, and a screenshot (under SHOTS)."""
        lines = [f"launcher: exit status {self.proc.poll()}, {cpu_time(self.proc.pid)}"]
        for pid, comm, cmdline in _processes_of(self.work):
            words = cmdline.replace(b"\0", b" ").decode(errors="replace").strip()[:80]
            lines.append(f"process {pid} {comm!r} {words!r}: {cpu_time(pid)}")
        for window in run("xdotool", "search", "--onlyvisible", "--name", ".*").stdout.split():
            title = run("xdotool", "getwindowname", window).stdout.strip()
            where = run("xdotool", "getwindowgeometry", window).stdout.split()
            lines.append(f"window {window} {title!r} {' '.join(where[3:4] + where[-1:])}")
        self._output_file.flush()
        lines.append(f"output: {self.output()[-800:]!r}")
        self.shot(f"failed-{name}")
        lines.append(f"screenshot: {os.path.join(SHOTS, ('windows' if WINDOWS else 'linux') + f'-failed-{name}.png')}")
        return "\n" + "\n".join(lines)

    @property
    def geometry(self):
        """The window's place and size on the screen, read afresh: the window is shown
        before the frame moves it to its place, and a reading taken in between would
        send every click and screen reading beside the window."""
        self._geometry = window_geometry(self.window) or self._geometry  # a window gone keeps its last
        return self._geometry

    def _stars_shown(self):
        """Bright pixels in the window's left margin, where only the sky shows."""
        self.raise_window()
        x, y, w, h = self.geometry
        raw = subprocess.run(["import", "-window", "root", "-crop", f"28x{h}+{x}+{y}", "-depth", "8", "gray:-"],
                             capture_output=True, timeout=30).stdout
        return sum(b > 60 for b in raw) > 10

    def __exit__(self, *exc):
        self.close()
        for pid in standin_pids(self.work) + console_pids(self.work):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        self._output_file.close()
        shutil.rmtree(self.work, ignore_errors=True)
        shutil.rmtree(self.settings, ignore_errors=True)
        return False

    def close(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait(10)

    def _find_window(self):
        out = run("xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$").stdout.split()
        return out[-1] if out else None

    def output(self):
        """What the launcher (and the stand-in, which shares its output) printed."""
        with open(os.path.join(self.work, "launcher.out"), errors="replace") as f:
            return f.read()

    def output_size(self):
        return os.path.getsize(os.path.join(self.work, "launcher.out"))

    def exit_code(self):
        """The launcher's exit code, with one allowance for sanitizer builds: a leak
        report whose stacks name none of our sources (the GL driver's, whose
        library is unloaded by then) counts as a clean exit."""
        code = self.proc.returncode
        report = self.output()
        only_leaks = ("ERROR: LeakSanitizer" in report and "ERROR: AddressSanitizer" not in report
                      and "runtime error" not in report)
        if code in LEAK_EXIT_CODES and only_leaks and SOURCE_ROOT not in report:
            return 0
        return code

    def window_exists(self):
        return run("xdotool", "getwindowname", self.window).returncode == 0

    def log(self):
        """The stand-in's log: the command line of each start, in order."""
        try:
            with open(os.path.join(self.work, "Neuroblitz64.log"), newline="") as f:
                return [line.rstrip("\r\n") for line in f]
        except FileNotFoundError:
            return []

    def results(self):
        """The stand-in's record of each result it sent: (wParam, lParam)."""
        try:
            with open(os.path.join(self.work, "Neuroblitz64.results")) as f:
                return [tuple(int(v) for v in line.split()) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def standin_up(self):
        """The stand-in's processes once it runs; under Wine, only once the console
        window it runs in shows too. That window opens over the launcher a moment
        after the stand-in starts (seconds on a busy machine), so a reading of the
        screen taken before it came could be covered by it."""
        pids = standin_pids(self.work)
        console = run("xdotool", "search", "--onlyvisible", "--name", r"Neuroblitz64\.exe$").stdout.split()
        return pids if pids and (console or not WINDOWS) else []

    # ---- input -------------------------------------------------------------------------

    def raise_window(self):
        """The launcher above the windows that cover it: under Wine the stand-in runs
        in a console window of its own, which opens over the launcher and which Wine
        may stack there again a while after it showed (seconds on a busy machine)."""
        if not (WINDOWS and self.window):
            return
        covered = self.covering()
        if not covered:
            return
        before = [screen_pixels(*box) for box in covered]
        wait_for(lambda: run("xdotool", "windowraise", self.window) and not self.covering(), timeout=10, step=0.2)
        # X keeps no copy of what a covered window showed: what lay over the launcher
        # stays on the screen until the launcher draws its next frame.
        wait_for(lambda: all(mostly_changed(old, screen_pixels(*box)) for old, box in zip(before, covered)),
                 timeout=30, step=0.1)

    def covering(self):
        """The screen boxes of the launcher that visible windows stacked above it cover."""
        listing = run("xwininfo", "-root", "-children").stdout  # the root's children, the top one first
        above = []
        for number in re.findall(r"^\s+(0x[0-9a-f]+)", listing, re.M):
            if str(int(number, 16)) == self.window:
                break
            above.append(str(int(number, 16)))
        visible = set(run("xdotool", "search", "--onlyvisible", "--name", ".*").stdout.split())
        boxes = (overlap(self.geometry, window_geometry(window) or (0, 0, 0, 0))  # (0, 0, 0, 0): gone meanwhile
                 for window in above if window in visible)
        return [box for box in boxes if box]

    def click(self, x, y):
        """A press and a release with the pointer resting on the spot before, between
        and after them. The user interface reads the pointer's position once a frame,
        and a frame can be long (a busy machine, a sanitizer build, Wine): a quicker
        click would be taken where the pointer went next, and be lost."""
        self.raise_window()
        run("xdotool", "mousemove", str(x), str(y))
        for step in (("mousedown", "1"), ("mouseup", "1"), None):
            time.sleep(CLICK_REST)
            if step:
                run("xdotool", *step)
        self.park_pointer()

    def park_pointer(self):
        """The pointer over an empty part of the window, so that nothing is hovered."""
        x, y, w, h = self.geometry
        run("xdotool", "mousemove", str(x + w // 2), str(y + h - 60))
        time.sleep(0.1)

    def click_text(self, phrase, timeout=10, fresh=False):
        """Clicks the phrase's middle; where the last reading of the screen has it
        (the layout does not move), without reading the screen again."""
        box = None if fresh else self.find_text(phrase, self.last_words)
        box = box or self.wait_for_text(phrase, timeout)
        self.test.assertTrue(box, f'"{phrase}" is not on the screen')
        self.click(box[0] + box[2] // 2, box[1] + box[3] // 2)

    def key(self, name):
        # A click on an empty spot first: Wine gives keys to the window it has activated.
        self.raise_window()
        x, y, w, h = self.geometry
        run("xdotool", "mousemove", str(x + w // 2), str(y + h - 60), "click", "1")
        run("xdotool", "windowfocus", "--sync", self.window)
        run("xdotool", "key", name)

    # ---- what is on the screen ------------------------------------------------------

    def shot(self, name=None):
        """A screenshot of the whole display, with nothing over the launcher while it
        was taken; kept under SHOTS when named."""
        path = os.path.join(self.work, "screen.png")

        def taken():
            self.raise_window()
            run("import", "-window", "root", path)
            return not (WINDOWS and self.window and self.covering())
        wait_for(taken, timeout=20, step=0.2)
        if name:
            os.makedirs(SHOTS, exist_ok=True)
            shutil.copy(path, os.path.join(SHOTS, f"{'windows' if WINDOWS else 'linux'}-{name}.png"))
        return path

    def words(self, scale=2, threshold=62, source=None):
        """The words in the launcher window, with screen boxes, read by tesseract."""
        x, y, w, h = self.geometry
        source = source or self.shot()
        prepared = os.path.join(self.work, "ocr.png")
        # Light text on a dark window: grey, enlarged, inverted and thresholded.
        run("convert", source, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-colorspace", "Gray",
            "-resize", f"{scale * 100}%", "-negate", "-threshold", f"{threshold}%", prepared)
        tsv = subprocess.run(["tesseract", prepared, "stdout", "--psm", "11", "tsv"], capture_output=True,
                             text=True, timeout=60, env=dict(os.environ, OMP_THREAD_LIMIT="1")).stdout
        words = []
        for row in tsv.splitlines()[1:]:
            cols = row.split("\t")
            if len(cols) < 12 or not cols[11].strip():
                continue
            left, top, width, height = (int(c) for c in cols[6:10])
            words.append(Word(cols[11].strip(), x + left // scale, y + top // scale, width // scale,
                              height // scale, (cols[2], cols[3], cols[4])))
        self.last_words = words
        return words

    def find_text(self, phrase, words=None):
        """The screen box (x, y, w, h) of the phrase's words, or None."""
        wanted = phrase.split()
        words = self.words() if words is None else words
        for i in range(len(words) - len(wanted) + 1):
            run_ = words[i:i + len(wanted)]
            if all(a.text == b for a, b in zip(run_, wanted)):
                x0 = min(w.x for w in run_)
                y0 = min(w.y for w in run_)
                x1 = max(w.x + w.w for w in run_)
                y1 = max(w.y + w.h for w in run_)
                return (x0, y0, x1 - x0, y1 - y0)
        return None

    def text(self):
        return " ".join(w.text for w in self.words())

    def readings(self):
        """The window's text read from one screenshot in several ways (enlargement and
        threshold): thin digits over the moving sky defeat any single reading now and then."""
        shot = self.shot()
        return [" ".join(w.text for w in self.words(scale, threshold, shot))
                for scale, threshold in ((2, 62), (3, 55), (2, 70), (3, 62))]

    def wait_for_text(self, phrase, timeout=10):
        return wait_for(lambda: self.find_text(phrase), timeout=timeout, step=0.2)

    def pixel(self, x, y):
        out = run("convert", self.shot(), "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-").stdout
        rgb = out.splitlines()[-1].split("(")[1].split(")")[0]
        return tuple(int(float(c)) for c in rgb.split(",")[:3])

    def brightness(self, box, shot=None):
        """Mean grey level of a screen box."""
        x, y, w, h = box
        out = run("convert", shot or self.shot(), "-crop", f"{w}x{h}+{x}+{y}", "-colorspace", "Gray",
                  "-format", "%[fx:mean*255]", "info:").stdout
        return float(out or 0)


def numbers(pattern, text):
    return re.findall(pattern, text)
