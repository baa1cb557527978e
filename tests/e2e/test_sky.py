"""The sky behind the real launcher: an idle frame shows the black hole scene in
the margins and through the translucent window, the disk turns, and while the
stand-in simulator runs only the frame's clear colour shows around the window."""

import subprocess
import time
import unittest

import harness

MARGIN_X, MARGIN_Y = 32, 24  # the launcher window's margins in the main window


class Screen:
    """The main window's pixels as brightness (the largest channel)."""

    def __init__(self, app):
        x, y, w, h = app.geometry
        raw = subprocess.run(["convert", app.shot(), "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "rgb:-"],
                             capture_output=True, timeout=30).stdout
        assert len(raw) == w * h * 3, f"a screenshot of {len(raw)} bytes"
        self.w, self.h = w, h
        self.rgb = [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]

    def box(self, x0, y0, x1, y1):
        return [self.rgb[y * self.w + x] for y in range(int(y0), int(y1)) for x in range(int(x0), int(x1))]

    def margins(self):
        w, h = self.w, self.h
        return (self.box(0, 0, w, MARGIN_Y - 2) + self.box(0, h - MARGIN_Y + 2, w, h)
                + self.box(0, MARGIN_Y, MARGIN_X - 2, h - MARGIN_Y) + self.box(w - MARGIN_X + 2, MARGIN_Y, w, h - MARGIN_Y))


def bright(pixels, level):
    return sum(max(p) > level for p in pixels)


class SkyBehindLauncher(unittest.TestCase):
    def test_idle_sky_turns_and_gives_way_to_the_clear_colour_while_running(self):
        with harness.Launcher(self) as app:
            # The stars come with the panorama, a few frames after the window.
            first = harness.wait_for(lambda: (lambda s: s if bright(s.margins(), 60) > 10 else None)(Screen(app)),
                                     timeout=30, step=0.5)
            self.assertIsNotNone(first, "no stars around the launcher window")
            w, h = first.w, first.h
            margins = first.margins()
            self.assertLess(margins.count(harness.CLEAR_COLOUR), len(margins) // 2, "the margins show the clear colour")
            # Through the window, below its buttons: the hole's shadow dark, the disk's
            # lensed far side glowing under it.
            shadow = first.box(w / 2 - 6, 0.40 * h, w / 2 + 6, 0.44 * h)
            self.assertLess(max(max(p) for p in shadow), 24, "no dark shadow in the middle")
            disk_box = (0.1 * w, 0.55 * h, 0.9 * w, 0.9 * h)
            disk = first.box(*disk_box)
            self.assertGreater(bright(disk, 30), 500, "no glowing disk behind the window")

            time.sleep(1.0)
            later = Screen(app).box(*disk_box)
            changed = sum(abs(max(a) - max(b)) > 2 for a, b in zip(disk, later))
            self.assertGreater(changed, 100, "the disk did not turn in a second")
            app.shot("sky-idle")

            # A run that waits, so the running state can be seen.
            open(app.hold_file, "w").close()
            app.click_text("Launch Simulation")
            app.expect(harness.wait_for(app.standin_up, timeout=10),
                       "the stand-in did not start", "sky-launch")
            time.sleep(0.5)
            running = Screen(app)
            app.shot("sky-running")
            self.assertEqual(set(running.margins()), {harness.CLEAR_COLOUR}, "something drawn around the window")

            app.click_text("Stop / Abort")
            self.assertTrue(harness.wait_for(lambda: not harness.standin_pids(app.work), timeout=5))
            back = harness.wait_for(lambda: bright(Screen(app).margins(), 60) > 10, timeout=5)
            self.assertTrue(back, "the sky did not come back after the run")


if __name__ == "__main__":
    unittest.main()
