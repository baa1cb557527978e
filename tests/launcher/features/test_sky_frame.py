"""The sky drawn by the real frame on an X display, through the start-up probe:
the hole, the disk and the stars in an idle frame, and the disk turning."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest
import uuid

from xdisplay import PLATFORM, SHOTS, find_window, geometry, wait_for, what_was_there

PROBE = os.environ["SKY_PROBE"]
WINDOWS = os.environ.get("SYNAPTOR_PLATFORM") == "windows"
WINE = os.environ.get("WINE", "/usr/lib/wine/wine64")


class Shot:
    """A window's pixels as brightness (the largest channel), taken where the
    window is at that moment: the frame shows its window before it moves it to
    its place, so a place read once, early, may be where the window no longer is."""

    def __init__(self, window):
        self.where = geometry(window)
        x, y, w, h = self.where
        raw = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "rgb:-"],
                             capture_output=True, timeout=30).stdout
        assert len(raw) == w * h * 3, f"screenshot of {len(raw)} bytes"
        self.w, self.h, self.raw = w, h, raw
        self.value = [max(raw[i], raw[i + 1], raw[i + 2]) for i in range(0, len(raw), 3)]
        # A window that moved while the shot was taken left a picture of neither place.
        self.steady = geometry(window) == self.where

    def save(self, name):
        """The shot as a PNG under the screenshots' folder; its path."""
        os.makedirs(SHOTS, exist_ok=True)
        path = os.path.join(SHOTS, f"{PLATFORM}-{name}.png")
        subprocess.run(["convert", "-size", f"{self.w}x{self.h}", "-depth", "8", "rgb:-", path],
                       input=self.raw, timeout=30)
        return path

    def box(self, x0, y0, x1, y1):
        return [self.value[y * self.w + x] for y in range(int(y0), int(y1)) for x in range(int(x0), int(x1))]


class SkyOnDisplay(unittest.TestCase):
    def setUp(self):
        self.name = "sky-" + uuid.uuid4().hex[:10]
        tmp = tempfile.mkdtemp(prefix="sky-test-")
        self.addCleanup(shutil.rmtree, tmp, True)
        env = dict(os.environ, XDG_DATA_HOME=tmp, WINEDEBUG="-all")
        cmd = [PROBE, "run", "--name", self.name, "--frames", "0", "--overlay", "0"]
        self.err = os.path.join(tmp, "stderr")
        with open(self.err, "w") as err:
            self.proc = subprocess.Popen([WINE] + cmd if WINDOWS else cmd, env=env,
                                         stdout=subprocess.DEVNULL, stderr=err)
        self.addCleanup(self._stop)

    def _stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(30)

    def test_idle_frames_show_hole_disk_and_stars_and_the_disk_turns(self):
        window = wait_for(lambda: find_window(self.name), timeout=30.0, step=0.2)
        if window is None:
            self.fail("the probe's window did not appear" + what_was_there(self.proc, self.err, self.name))

        def drawn():
            shot = Shot(window)
            cx, cy = shot.w / 2, shot.h / 2
            return shot if shot.steady and max(shot.box(cx - 60, cy - 10, cx + 60, cy + 10)) > 150 else None
        if wait_for(drawn, timeout=30.0, step=0.2) is None:
            self.fail("the disk never appeared in the middle of the window" +
                      what_was_there(self.proc, self.err, self.name))

        # The first frames draw the sky without its panorama; the stars follow
        # once the whole texture is uploaded.
        def starry():
            shot = drawn()
            return shot if shot and sum(v > 90 for v in shot.box(0, 0, shot.w, 0.12 * shot.h)) > 30 else None
        first = wait_for(starry, timeout=15.0, step=0.2) or Shot(window)
        time.sleep(1.0)
        second = Shot(window)
        try:
            self.judge(first, second)
        except AssertionError as failure:
            raise AssertionError(f"{failure}; window at {first.where}, then {second.where}; frames judged "
                                 f"{first.save('sky-first')} and {second.save('sky-second')}" +
                                 what_was_there(self.proc, self.err, self.name)) from None
        self.assertIsNone(self.proc.poll(), "the probe ended early")

    def judge(self, first, second):
        self.assertEqual(first.where, second.where, "the window moved between the frames")
        w, h = first.w, first.h
        cx, cy = w / 2, h / 2
        # The shadow just above the disk's near edge, which crosses the middle.
        shadow = first.box(cx - 8, cy - 0.1 * h, cx + 8, cy - 0.06 * h)
        self.assertLess(max(shadow), 16, "the hole's shadow is not dark")
        # The disk glows bright around it.
        disk = first.box(cx - 0.4 * h, cy - 0.3 * h, cx + 0.4 * h, cy + 0.3 * h)
        self.assertGreater(sum(v > 200 for v in disk), 500, "no bright disk")
        # Stars on a dark sky along the top.
        sky = first.box(0, 0, w, 0.12 * h)
        self.assertLess(sorted(sky)[len(sky) // 2], 40, "the sky is not dark")
        self.assertGreater(sum(v > 90 for v in sky), 30, "no stars")

        changed = sum(abs(a - b) > 10 for a, b in zip(disk, second.box(cx - 0.4 * h, cy - 0.3 * h, cx + 0.4 * h, cy + 0.3 * h)))
        self.assertGreater(changed, 300, "the disk did not turn in a second")
        corner = first.box(0, 0, 0.15 * w, 0.15 * h)
        corner_changed = sum(abs(a - b) > 10 for a, b in zip(corner, second.box(0, 0, 0.15 * w, 0.15 * h)))
        self.assertLess(corner_changed, 0.01 * len(corner), "the star field should stand still")


if __name__ == "__main__":
    unittest.main()
