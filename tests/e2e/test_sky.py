"""The launcher's sky: the idle frame shows the black hole scene around and
through the launcher window, the disk turns, and while the simulator runs only
the frame's clear colour shows outside the window.

Uses the end-to-end harness (harness.py beside this file): a launcher started in
a clean settings folder, its window's screenshots, and clicks on its labels."""

import time
import unittest

import harness

CLEAR = (20, 20, 20)          # the frame's clear colour, 0.08 of full scale
MARGIN_X, MARGIN_Y = 32, 24   # the launcher window's margins inside the main window


def brightness(rgb):
    return max(rgb)


class SkyBehindLauncher(unittest.TestCase):
    def setUp(self):
        self.launcher = harness.Launcher(self)
        self.launcher.start()

    def margins(self, shot):
        """The pixels of the four margins around the launcher window."""
        w, h = shot.width, shot.height
        strips = [(0, 0, w, MARGIN_Y - 2), (0, h - MARGIN_Y + 2, w, h),
                  (0, MARGIN_Y, MARGIN_X - 2, h - MARGIN_Y), (w - MARGIN_X + 2, MARGIN_Y, w, h - MARGIN_Y)]
        return [shot.pixel(x, y) for x0, y0, x1, y1 in strips for y in range(y0, y1) for x in range(x0, x1)]

    def test_idle_frame_shows_the_scene_and_the_disk_turns(self):
        shot = self.launcher.screenshot()
        w, h = shot.width, shot.height
        # Stars on black in the margins, never the frame's clear colour all over.
        margin = self.margins(shot)
        self.assertGreater(sum(brightness(p) > 60 for p in margin), 10, "no stars around the window")
        self.assertLess(sum(p == CLEAR for p in margin), 0.5 * len(margin))
        # Through the translucent window: the hole's shadow dark, the disk bright.
        shadow = [shot.pixel(x, y) for x in range(w // 2 - 6, w // 2 + 6) for y in range(int(0.40 * h), int(0.44 * h))]
        self.assertLess(max(map(brightness, shadow)), 24, "no dark shadow in the middle")
        disk = [(x, y) for x in range(int(0.2 * w), int(0.8 * w), 3) for y in range(int(0.2 * h), int(0.8 * h), 3)]
        before = [shot.pixel(x, y) for x, y in disk]
        self.assertGreater(sum(brightness(p) > 45 for p in before), 200, "no bright disk behind the window")

        time.sleep(1.0)
        later = self.launcher.screenshot()
        after = [later.pixel(x, y) for x, y in disk]
        changed = sum(abs(brightness(a) - brightness(b)) > 3 for a, b in zip(before, after))
        self.assertGreater(changed, 100, "the disk did not turn in a second")

    def test_while_the_simulator_runs_only_the_clear_colour_shows_outside_the_window(self):
        self.launcher.click("Launch Simulation")
        self.launcher.wait_until_running()
        time.sleep(0.5)
        shot = self.launcher.screenshot()
        margin = self.margins(shot)
        self.assertEqual(set(margin), {CLEAR})
        self.launcher.click("Stop / Abort")
        self.launcher.wait_until_idle()
        # Idle again: the sky is back.
        time.sleep(0.5)
        margin = self.margins(self.launcher.screenshot())
        self.assertGreater(sum(brightness(p) > 60 for p in margin), 10)


if __name__ == "__main__":
    unittest.main()
