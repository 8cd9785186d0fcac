#!/usr/bin/env python3
"""End-to-end tests of prismwafer-live on the virtual display: one live window driven through
every check in turn (frames against the renderer's, saves of each shape, broken saves, bursts,
list edits, keys, hostile files), and the statuses of the command line.

usage: live_test.py LIVE RENDERER [TestClass ...]
"""
import os
import random
import shutil
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import Workspace, line, read_png, run_in, to_rgb, xdotool  # noqa: E402

LIVE = RENDERER = None
PATIENCE = 90  # seconds any one wait may take on a loaded machine
SIZE = (320, 180)

# Instance 1 lies behind instance 0: it shows only if depth testing was left off.
WAVE_VERTEX = """#version 450 core
layout(location = 0) in vec4 position;
flat out int instance;
void main() {
    instance = gl_InstanceID;
    gl_Position = vec4(position.x * (1.0 - 0.5 * float(gl_InstanceID)), position.y, 0.5 * float(gl_InstanceID), 1.0);
}
"""
WAVE_FRAGMENT = """#version 450 core
uniform float time;
flat in int instance;
out vec4 color;
void main() {
    color = instance == 0 ? vec4(fract(time * 0.37), fract(gl_FragCoord.x / 97.0), fract(gl_FragCoord.y / 61.0 + time), 1.0)
                          : vec4(1.0, 0.0, 1.0, 1.0);
}
"""


def solid(rgb, tail=""):
    return "#version 450 core\nout vec4 color;\nvoid main() { color = vec4(%g, %g, %g, 1.0); }\n%s" % (rgb + (tail,))


class Session(unittest.TestCase):
    """One live window through every check, in the order a scene author would meet them."""

    def setUp(self):
        self.workspace = Workspace(line("wave.vert", "wave.frag", 2, 2) + line("flat.vert", "flat.frag", 1, 3),
                                   {"wave.vert": WAVE_VERTEX, "wave.frag": WAVE_FRAGMENT})
        self.out, self.err = [], []
        self.live = subprocess.Popen([LIVE, "--paused", "--at", "1.25", "-r", "24", "-s", "%dx%d" % SIZE],
                                     cwd=self.workspace.path, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        for stream, lines in ((self.live.stdout, self.out), (self.live.stderr, self.err)):
            threading.Thread(target=lambda s=stream, l=lines: l.extend(s), daemon=True).start()
        self.window = self.wait_for(lambda: xdotool("search", "--pid", str(self.live.pid)).stdout.split()[-1:],
                                    "the window")[0]

    def tearDown(self):
        if self.live.poll() is None:
            self.live.kill()
        self.live.wait(timeout=30)
        self.workspace.remove()

    def wait_for(self, predicate, what):
        deadline = time.monotonic() + PATIENCE
        while True:
            value = predicate()
            if value:
                return value
            self.assertIsNone(self.live.poll(), "prismwafer-live ended while waiting for %s: %s" % (what, self.err[-5:]))
            if time.monotonic() > deadline:
                self.fail("waited %d s for %s; output ends %s" % (PATIENCE, what, self.out[-3:]))
            time.sleep(0.05)

    def title(self):
        return xdotool("getwindowname", self.window).stdout.strip()

    def key(self, key, title):
        xdotool("windowfocus", "--sync", self.window)
        xdotool("key", key)
        return self.wait_for(lambda: self.title() == "prismwafer-live: " + title, "the title %r after %s" % (title, key))

    def pixels(self):
        xwd = subprocess.run(["xwd", "-id", self.window, "-silent"], capture_output=True, check=True, timeout=30)
        return to_rgb(xwd.stdout, "xwd")

    def centre(self):
        width, height, rgb = self.pixels()
        at = 3 * (height // 2 * width + width // 2)
        return tuple(rgb[at:at + 3])

    def save(self, name, text, shape="in place"):
        path = os.path.join(self.workspace.path, "shaders", name)
        if shape == "rename over":
            with open(path + ".tmp", "w") as f:
                f.write(text)
            os.replace(path + ".tmp", path)
            return
        if shape == "delete and create":
            os.unlink(path)
        with open(path, "w") as f:
            f.write(text)

    def wait_line(self, lines, start, text):
        """The first line from index start on that holds text."""
        return self.wait_for(lambda: next((l for l in lines[start:] if text in l), None), "a line with %r" % text)

    def test_a_live_session(self):
        self.wait_for(lambda: self.title() == "prismwafer-live: scene 1/2, wave.vert, 1.250 s, paused", "the start")
        render = run_in(self.workspace, RENDERER, ["-s", "%dx%d" % SIZE, "-r", "24", "--at", "1.25", "-o", "ref.png"])
        self.assertEqual(render.returncode, 0, render.stderr)
        reference = read_png(os.path.join(self.workspace.path, "ref.png"))
        self.wait_for(lambda: self.pixels() != reference, "the display over the scene")
        self.key("F12", "scene 1/2, wave.vert, 1.250 s, paused")
        self.wait_line(self.out, 0, "Wrote frame-00030-320x180.png: frame 30, 1.250 s")
        self.assertEqual(read_png(os.path.join(self.workspace.path, "frame-00030-320x180.png")), reference,
                         "the file holds the scene without the display")
        self.key("h", "scene 1/2, wave.vert, 1.250 s, paused")
        self.wait_for(lambda: self.pixels() == reference, "the renderer's frame once the display is hidden")

        for shape, rgb in (("in place", (0, 1, 0)), ("rename over", (0, 0, 1)), ("delete and create", (1, 1, 0))):
            start = len(self.out)
            self.save("wave.frag", solid(rgb), shape)
            self.assertRegex(self.wait_line(self.out, start, "Reloaded shaders/wave.frag (scene 1) in "),
                             r"ms, on screen [\d.]+ ms after the save was seen\n")
            self.assertEqual(self.centre(), tuple(255 * c for c in rgb), shape)

        start, errors = len(self.out), len(self.err)
        self.save("wave.frag", "#version 450 core\nout vec4 color;\nvoid main() { color = vec4(1.0) + nothing; }\n")
        self.wait_line(self.out, start, "Failed shaders/wave.frag (scene 1) in ")
        self.assertRegex("".join(self.err[errors:]), r"(?m)^shaders/wave\.frag:3:\d+: error: .*nothing")
        self.assertEqual(self.centre(), (255, 255, 0), "the last good picture stays")
        self.save("wave.frag", solid((0, 1, 1)))
        self.assertIn("; its problems are cleared", self.wait_line(self.out, start, "Reloaded shaders/wave.frag"))
        self.assertEqual(self.centre(), (0, 255, 255))

        start = len(self.out)
        for shade in range(10):
            self.save("wave.frag", solid((1, 0, 1) if shade == 9 else (shade / 10, 0, 0)))
        self.save("flat.frag", solid((0, 0, 0.5)))  # a later save: its line follows the burst's
        self.wait_line(self.out, start, "Reloaded shaders/flat.frag (scene 2)")
        burst = [l for l in self.out[start:] if "shaders/wave.frag" in l]
        self.assertEqual(len(burst), 1, burst)
        self.assertEqual(self.centre(), (255, 0, 255))

        start = len(self.out)
        with open(self.workspace.list_path(), "w") as f:
            f.write(line("red.vert", "red.frag", 1, 0.5) + line("wave.vert", "wave.frag", 2, 2) +
                    line("flat.vert", "flat.frag", 1, 3))
        self.assertIn(": 3 scenes, 1 built, 2 unchanged\n", self.wait_line(self.out, start, "Read shaders/prog.csv in "))
        self.wait_for(lambda: self.title() == "prismwafer-live: scene 2/3, wave.vert, 1.250 s, paused", "the same second")
        self.assertEqual(self.centre(), (255, 0, 255), "the scene kept its program")
        for key, title in (("Left", "1/3, red.vert, 0.250"), ("period", "1/3, red.vert, 0.292"),
                           ("comma", "1/3, red.vert, 0.250"), ("shift+Right", "1/3, red.vert, 0.292"),
                           ("shift+Left", "1/3, red.vert, 0.250"), ("Right", "2/3, wave.vert, 1.250"),
                           ("Next", "3/3, flat.vert, 2.625"), ("Next", "3/3, flat.vert, 2.625"),
                           ("Prior", "2/3, wave.vert, 0.583"), ("Home", "1/3, red.vert, 0.000"),
                           ("Right", "2/3, wave.vert, 1.000"), ("Right", "2/3, wave.vert, 2.000"),
                           ("Right", "3/3, flat.vert, 3.000"), ("Right", "3/3, flat.vert, 4.000"),
                           ("Right", "3/3, flat.vert, 5.000"), ("Right", "3/3, flat.vert, 5.625")):
            self.key(key, "scene %s s, paused" % title)
        xdotool("key", "space")
        self.wait_for(lambda: not self.title().endswith("paused"), "playing after Space")
        xdotool("key", "space")
        self.wait_for(lambda: self.title().endswith(", paused"), "paused again after Space")
        self.key("Home", "scene 1/3, red.vert, 0.000 s, paused")
        for _ in range(3):
            xdotool("key", "Right")
        self.wait_for(lambda: self.title().endswith(" 3.000 s, paused"), "three seconds on")

        with open(self.workspace.list_path(), "w") as f:
            f.write(line("flat.vert", "flat.frag", 1, 1))
        self.wait_for(lambda: self.title() == "prismwafer-live: scene 1/1, flat.vert, 1.042 s, paused",
                      "the end of the shorter sequence")

        start = len(self.out)
        os.unlink(self.workspace.list_path())
        os.mkdir(self.workspace.list_path())
        self.wait_line(self.out, start, "Cannot read shaders/prog.csv: the timeline is empty until it is written")
        self.wait_for(lambda: self.title() == "prismwafer-live: no scenes, 1.042 s, paused", "the empty timeline")
        os.rmdir(self.workspace.list_path())
        garbage = random.Random(11)
        with open(self.workspace.list_path(), "wb") as f:  # no tabs: no line can make a scene
            f.write(bytes(garbage.choice([b for b in range(256) if b != 9]) for _ in range(4096)))
        self.wait_line(self.out, start, "makes no scenes")
        with open(self.workspace.list_path(), "w") as f:
            f.write(line("wave.vert", "wave.frag", 1, 2))
        self.wait_for(lambda: self.title() == "prismwafer-live: scene 1/1, wave.vert, 1.042 s, paused", "the list again")
        start = len(self.out)
        with open(os.path.join(self.workspace.path, "shaders", "wave.frag"), "wb") as f:
            f.write(bytes(garbage.randrange(256) for _ in range(4096)))
        self.wait_line(self.out, start, "Failed shaders/wave.frag (scene 1)")
        shaders = os.path.join(self.workspace.path, "shaders")
        shutil.rmtree(shaders)
        self.wait_line(self.out, start, "Cannot read shaders/prog.csv")
        os.mkdir(shaders)
        for name, text in (("wave.vert", WAVE_VERTEX), ("wave.frag", WAVE_FRAGMENT), ("prog.csv", line("wave.vert", "wave.frag", 1, 2))):
            with open(os.path.join(shaders, name), "w") as f:
                f.write(text)
        self.wait_line(self.out, start, "Read shaders/prog.csv in ")
        self.key("Home", "scene 1/1, wave.vert, 0.000 s, paused")

        xdotool("key", "Escape")
        self.assertEqual(self.live.wait(timeout=PATIENCE), 0, self.err[-5:])


class Statuses(unittest.TestCase):
    def test_help_version_usage_errors_and_no_display(self):
        workspace = Workspace(line("red.vert", "red.frag", 1, 1))
        try:
            result = run_in(workspace, LIVE, ["--help"], text=True)
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            self.assertTrue(result.stdout.startswith("Usage: prismwafer-live [options] [SCENE_LIST]\n"))
            self.assertEqual(run_in(workspace, LIVE, ["-V"], text=True).stdout, "prismwafer-live 0.1.0\n")
            for args, reason in ((["--scene", "0"], "--scene needs a whole number from 1 up, not '0'"),
                                 (["-s", "12"], "--size needs WIDTHxHEIGHT in pixels, both above 0, not '12'"),
                                 (["a.csv", "b.csv"], "one scene list at most, not 'a.csv' and 'b.csv'"),
                                 (["--loop"], "unrecognised option '--loop'")):
                result = run_in(workspace, LIVE, args, text=True)
                self.assertEqual((result.returncode, result.stdout), (2, ""))
                self.assertEqual(result.stderr, "prismwafer-live: %s\n"
                                 "Try 'prismwafer-live --help' for more information.\n" % reason)
            env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
            result = run_in(workspace, LIVE, env=env)
            self.assertEqual((result.returncode, result.stderr), (1, b"ERROR: Failed to init GLFW\n"))
        finally:
            workspace.remove()


if __name__ == "__main__":
    LIVE, RENDERER = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
