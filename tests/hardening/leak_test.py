#!/usr/bin/env python3
"""Both programs under valgrind's memcheck: no invalid access, and nothing definitely or
indirectly lost.

The Mesa driver libraries are preloaded so that they stay mapped until the process ends:
otherwise the windowing and EGL libraries unload them at teardown, and what the driver keeps
for itself shows up as lost memory from code that no longer has a name.

usage: leak_test.py RENDERER PLAYER [TestClass ...]
"""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import Workspace, player_window, press_escape  # noqa: E402

RENDERER = PLAYER = None
SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
LIBRARIES = "/usr/lib/x86_64-linux-gnu"
DRIVER = [LIBRARIES + "/libGLX_mesa.so.0", LIBRARIES + "/libEGL_mesa.so.0", LIBRARIES + "/dri/swrast_dri.so"]
MEMCHECK = ["valgrind", "--error-exitcode=3", "--leak-check=full", "--show-leak-kinds=definite,indirect",
            "--errors-for-leak-kinds=definite,indirect", "--num-callers=40"]


def environment():
    return dict(os.environ, LD_PRELOAD=":".join(path for path in DRIVER if os.path.exists(path)))


class Memcheck(unittest.TestCase):
    def assertClean(self, returncode, log):
        self.assertIn("ERROR SUMMARY: 0 errors", log, log[-6000:])
        self.assertEqual(returncode, 0, log[-6000:])

    def test_renderer_on_a_short_range_of_the_demo(self):
        workspace = Workspace(None)
        try:
            result = subprocess.run(MEMCHECK + [RENDERER, "-q", "-s", "320x180", "--from", "11.9", "--to", "12.1",
                                                "-o", os.path.join(workspace.path, "v.y4m")],
                                    cwd=SOURCE, env=environment(), capture_output=True, text=True, timeout=600)
        finally:
            workspace.remove()
        self.assertClean(result.returncode, result.stderr)

    def test_player_for_a_few_seconds_of_the_demo_then_escape(self):
        player = subprocess.Popen(MEMCHECK + [PLAYER], cwd=SOURCE, env=environment(), stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True)
        try:
            player_window()
            time.sleep(4)
            press_escape(player, patience=300)
            out, err = player.communicate(timeout=600)
        finally:
            if player.poll() is None:
                player.kill()
                player.communicate()
        self.assertIn("Loaded scene (", out)
        self.assertClean(player.returncode, err)


if __name__ == "__main__":
    RENDERER = os.path.abspath(sys.argv[1])
    PLAYER = os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
