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
from e2e import Workspace, line, player_window, press_escape, run_in, stop  # noqa: E402

RENDERER = PLAYER = None
LIBRARIES = "/usr/lib/x86_64-linux-gnu"
DRIVER = [LIBRARIES + "/libGLX_mesa.so.0", LIBRARIES + "/libEGL_mesa.so.0", LIBRARIES + "/dri/swrast_dri.so"]
MEMCHECK = ["valgrind", "--error-exitcode=3", "--leak-check=full", "--show-leak-kinds=definite,indirect",
            "--errors-for-leak-kinds=definite,indirect", "--num-callers=40"]
# Cheap scenes, so that valgrind's slowness goes into the program's own code paths: a scene
# change, a program that does not build, a missing file.
SCENES = line("red.vert", "red.frag", 4, 0.1) + line("flat.vert", "broken.frag", 2, 0.1) + \
    line("red.vert", "missing.frag", 1, "inf")
BROKEN = {"broken.frag": "#version 450 core\nvoid main() { not glsl }\n"}


class Memcheck(unittest.TestCase):
    def assertClean(self, returncode, log):
        self.assertIn("ERROR SUMMARY: 0 errors", log, log[-6000:])
        self.assertEqual(returncode, 0, log[-6000:])

    def test_renderer_over_a_scene_change(self):
        with Workspace(SCENES, BROKEN) as workspace:
            result = run_in(workspace, RENDERER, prefix=MEMCHECK, args=["-q", "--allow-broken", "-s", "320x180", "--to", "0.5", "-o", "v.y4m"],
                            env=dict(os.environ, LD_PRELOAD=":".join(DRIVER)), timeout=900, text=True)
        self.assertClean(result.returncode, result.stderr)

    def test_player_through_a_scene_change_then_escape(self):
        with Workspace(SCENES, BROKEN) as workspace:
            player = subprocess.Popen(MEMCHECK + [PLAYER], cwd=workspace.path, env=dict(os.environ, LD_PRELOAD=":".join(DRIVER)), stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True)
            try:
                player_window(player, deadline=600)
                time.sleep(2)
                press_escape(player, deadline=600)
                out, err = player.communicate(timeout=600)
            finally:
                stop(player)
        self.assertEqual(out.count("Loaded scene ("), 3)
        self.assertClean(player.returncode, err)


if __name__ == "__main__":
    RENDERER = os.path.abspath(sys.argv[1])
    PLAYER = os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
