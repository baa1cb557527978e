"""The frame run for real on an X display: placement, clear colour, the
maximized rule, key forwarding and the order of the saves at shutdown."""

import contextlib
import os
import shutil
import subprocess
import tempfile
import unittest
import uuid

from xdisplay import cpu_time, find_window, geometry, own_display, run, wait_for, what_was_there

PROBE = os.environ["FRAME_PROBE"]
WINDOWS = os.environ.get("SYNAPTOR_PLATFORM") == "windows"
WINE = os.environ.get("WINE", "/usr/lib/wine/wine64")
ORG = "AppFrameTest"


def pixel(x, y):
    out = run("import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-").stdout
    # "0,0: (20,20,20)  #141414  srgb(20,20,20)"
    rgb = out.splitlines()[-1].split("(")[1].split(")")[0]
    return tuple(int(float(c)) for c in rgb.split(",")[:3])


@contextlib.contextmanager
def on_display(display):
    """This process's X clients (xdotool, import) and the probes it starts on another display."""
    before = os.environ["DISPLAY"]
    os.environ["DISPLAY"] = display
    try:
        yield
    finally:
        os.environ["DISPLAY"] = before


class Probe:
    """One run of the frame probe with its own settings folder."""

    def __init__(self, test):
        self.test = test
        self.app = "probe-" + uuid.uuid4().hex[:10]
        self.tmp = tempfile.mkdtemp(prefix="frame-test-")
        test.addCleanup(shutil.rmtree, self.tmp, True)
        self.log = os.path.join(self.tmp, "events.log")
        self.out = os.path.join(self.tmp, "stdout")
        self.err = os.path.join(self.tmp, "stderr")
        self.folder = self._folder()
        test.addCleanup(shutil.rmtree, self.folder, True)
        self.proc = None
        self.extra = []

    def _command(self, desktop):
        cmd = [PROBE, ORG, self.app, self._path_for_program(self.log)] + self.extra
        if not WINDOWS:
            return cmd
        if desktop:
            # Wine's own desktop window: Wine then manages the windows itself, as Windows does.
            return [WINE, "explorer", f"/desktop={self.app},1920x1080", self._path_for_program(PROBE)] + cmd[1:]
        return [WINE] + cmd

    def _path_for_program(self, path):
        return "Z:" + path.replace("/", "\\") if WINDOWS else path

    def _folder(self):
        if not WINDOWS:
            return os.path.join(self.tmp, "data", ORG, self.app)
        prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
        user = os.environ.get("USER") or run("id", "-un").stdout.strip()
        return os.path.join(prefix, "drive_c", "users", user, "AppData", "Local", ORG, self.app)

    def write_settings(self, text):
        os.makedirs(self.folder, exist_ok=True)
        with open(os.path.join(self.folder, "appframe.ini"), "w", newline="") as f:
            f.write(text)

    def start(self, display=None, desktop=False):
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.tmp, "data"), WINEDEBUG="-all")
        if display:
            env["DISPLAY"] = display
        with open(self.out, "w") as out, open(self.err, "w") as err:
            self.proc = subprocess.Popen(self._command(desktop), env=env, stdout=out, stderr=err)
        self.test.addCleanup(self._stop)
        return self

    def _stop(self):
        """A probe left open by a failed check would stay on the display."""
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(30)

    def window(self):
        return wait_for(lambda: find_window(self.app))

    def no_window(self):
        """Why no window is there: the probe's state, its output, the windows that are."""
        return "no window" + what_was_there(self.proc, self.err, self.app, f", events {self.events()}")

    def desktop_window(self):
        return wait_for(lambda: find_window(self.app + ".*"))

    def events(self):
        try:
            with open(self.log) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_event(self, prefix):
        return wait_for(lambda: any(e.startswith(prefix) for e in self.events()))

    def press(self, window, key):
        run("xdotool", "windowfocus", "--sync", window)
        run("xdotool", "key", "--window", window, key)

    def finish(self):
        try:
            self.proc.wait(30)
        except subprocess.TimeoutExpired:
            # Whether the key came (its events), and whether the probe still works or waits.
            self.test.fail("the probe did not end" + what_was_there(
                self.proc, self.err, self.app, f", events {self.events()}, {cpu_time(self.proc.pid)}"))
        with open(self.out) as out, open(self.err) as err:
            return self.proc.returncode, out.read(), err.read()

    def file(self, name):
        path = os.path.join(self.folder, name)
        with open(path, "rb") as f:
            return f.read(), os.stat(path).st_mtime_ns


FIRST_RUN = (b"[window]\r\nposx=100\r\nposy=100\r\nmaximized=0\r\nbgcolorr=0.080000\r\n"
             b"bgcolorg=0.080000\r\nbgcolorb=0.080000\r\nwidth=900\r\nheight=600\r\n"
             b"[font]\r\nenabled=1\r\ntype=5\r\nsize=24.000000")


class FrameOnDisplay(unittest.TestCase):
    def test_first_run_places_clears_forwards_keys_and_saves_in_order(self):
        probe = Probe(self).start()
        window = probe.window()
        if window is None:
            self.fail(probe.no_window())
        self.assertTrue(probe.wait_event("frames"), probe.events())
        self.assertIn("frames customFont=1 atlas=7 fixed=1", probe.events())
        x, y, w, h = geometry(window)
        if not WINDOWS:
            self.assertEqual((x, y, w, h), (100, 100, 900, 600))
        self.assertEqual(pixel(100 + 450, 100 + 300), (20, 20, 20))

        probe.press(window, "a")
        self.assertTrue(probe.wait_event("key 65 action 0"), probe.events())
        probe.press(window, "Escape")
        code, _, err = probe.finish()
        self.assertEqual(code, 0, err)

        events = probe.events()
        a = events.index("key 65 action 1")
        self.assertEqual(events[a + 1], "press 65", "a press is forwarded twice, in order")
        self.assertEqual(events[a + 2], "key 65 action 0", "a release is forwarded once")
        self.assertEqual(events[-2:], ["destroyed", "exit 0"])

        app, app_time = probe.file("app.ini")
        frame, frame_time = probe.file("appframe.ini")
        _, imgui_time = probe.file("imgui.ini")
        self.assertEqual(app, b"[probe]\r\ndestroyed=1", "app.ini is saved after the destructor")
        self.assertEqual(frame, FIRST_RUN)
        self.assertLessEqual(app_time, frame_time)
        self.assertLessEqual(frame_time, imgui_time)

    def test_stored_maximized_opens_maximized_and_keeps_normal_placement(self):
        probe = Probe(self)
        probe.write_settings("[window]\r\nposx=150\r\nposy=120\r\nmaximized=1\r\n")
        if WINDOWS:
            # Wine managing its own desktop maximizes as Windows does.
            probe.start(desktop=True)
            window = probe.desktop_window()
        else:
            # Maximizing needs a window manager, and one that maximizes a window of
            # fixed size: fluxbox does, openbox and icewm do not. It gets a display
            # of its own: on the shared one it would manage every other test's windows.
            display = self.enterContext(own_display())
            self.enterContext(on_display(display))
            self.start_window_manager(display)
            probe.start(display)
            window = probe.window()
        if window is None:
            self.fail(probe.no_window())
        self.assertTrue(probe.wait_event("frames"), probe.events())
        self.assertIn("created maximized=1", probe.events())
        # The clear colour far outside the normal 900 x 600 placement.
        self.assertEqual(pixel(1800, 1000), (20, 20, 20))
        probe.press(window, "Escape")
        code, _, err = probe.finish()
        self.assertEqual(code, 0, err)
        frame, _ = probe.file("appframe.ini")
        for line in [b"maximized=1", b"width=900", b"height=600", b"posx=150", b"posy=120"]:
            self.assertIn(line, frame.split(b"\r\n"))

    def start_window_manager(self, display):
        home = tempfile.mkdtemp(prefix="fluxbox-")
        self.addCleanup(shutil.rmtree, home, True)
        # Its wallpaper helper would pop up a message window over the screen.
        quiet = os.path.join(home, "fbsetbg")
        with open(quiet, "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(quiet, 0o755)
        with open(os.path.join(home, "init"), "w") as f:
            f.write("session.screen0.toolbar.visible: false\n")
        wm = subprocess.Popen(["fluxbox", "-rc", os.path.join(home, "init")],
                              env=dict(os.environ, DISPLAY=display, HOME=home,
                                       PATH=home + os.pathsep + os.environ["PATH"]),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (wm.terminate(), wm.wait(10)))
        self.assertTrue(wait_for(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in
                                 run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout))

    def test_stored_position_that_no_monitor_shows_opens_at_the_first_run_position(self):
        # The display is one 1920 x 1080 monitor.
        cases = {
            "where a second monitor was": ((5000, 4000), (100, 100)),
            "just left of the screen": ((-900, 100), (100, 100)),
            "partly on the screen": ((1500, 700), (1500, 700)),
        }
        for name, (stored, expected) in cases.items():
            with self.subTest(name):
                probe = Probe(self)
                probe.write_settings(f"[window]\r\nposx={stored[0]}\r\nposy={stored[1]}\r\n")
                probe.start()
                window = probe.window()
                if window is None:
                    self.fail(probe.no_window())
                self.assertTrue(probe.wait_event("frames"), probe.events())
                if not WINDOWS:
                    self.assertEqual(geometry(window)[:2], expected)
                probe.press(window, "Escape")
                code, _, err = probe.finish()
                self.assertEqual(code, 0, err)
                frame = probe.file("appframe.ini")[0].split(b"\r\n")
                self.assertIn(b"posx=%d" % expected[0], frame)
                self.assertIn(b"posy=%d" % expected[1], frame)

    def test_stored_font_requests_that_build_no_custom_font(self):
        cases = {
            "unknown face": "[font]\r\nenabled=1\r\ntype=9\r\nsize=20\r\n",
            "fonts disabled": "[font]\r\nenabled=0\r\ntype=2\r\nsize=20\r\n",
            "unusable size": "[font]\r\nenabled=1\r\ntype=2\r\nsize=-3\r\n",
        }
        for name, settings in cases.items():
            with self.subTest(name):
                probe = Probe(self)
                probe.extra = ["stored-font"]
                probe.write_settings(settings)
                probe.start()
                window = probe.window()
                if window is None:
                    self.fail(probe.no_window())
                self.assertTrue(probe.wait_event("frames"), probe.events())
                # The built-in font and the five fixed fonts only.
                self.assertIn("frames customFont=0 atlas=6 fixed=1", probe.events())
                probe.press(window, "Escape")
                code, _, err = probe.finish()
                self.assertEqual(code, 0, err)

    def test_an_expected_font_request_changes_nothing_the_frame_builds(self):
        # Told a request in advance, the frame prepares that one; the probe then
        # asks for Inter Regular at 24 pixels, which must be what it gets.
        cases = {"the request it makes": "expect=5,24", "another face and size": "expect=3,13",
                 "a face that does not exist": "expect=9,24"}
        for name, option in cases.items():
            with self.subTest(name):
                probe = Probe(self)
                probe.extra = [option]
                probe.write_settings("[font]\r\nenabled=1\r\ntype=1\r\nsize=30\r\n")
                probe.start()
                window = probe.window()
                if window is None:
                    self.fail(probe.no_window())
                self.assertTrue(probe.wait_event("frames"), probe.events())
                events = probe.events()
                self.assertIn("frames customFont=1 atlas=7 fixed=1", events)
                self.assertIn("custom font 24 pixels", events)
                probe.press(window, "Escape")
                code, _, err = probe.finish()
                self.assertEqual(code, 0, err)
                self.assertIn(b"size=24.000000", probe.file("appframe.ini")[0].split(b"\r\n"))

    def test_failed_start_up_saves_nothing(self):
        if WINDOWS:
            self.skipTest("no way to make the Windows window fail to open from outside")
        probe = Probe(self)
        probe.start(display=":none")
        code, _, err = probe.finish()
        self.assertEqual(code, 1)
        self.assertTrue(err.startswith("Error: "), err)
        self.assertEqual(probe.events(), ["exit 1"])
        for name in ("app.ini", "appframe.ini", "imgui.ini"):
            self.assertFalse(os.path.exists(os.path.join(probe.folder, name)), name)


if __name__ == "__main__":
    unittest.main()
