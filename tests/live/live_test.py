#!/usr/bin/env python3
"""prismwafer-live on the virtual display: one live window driven through every check in turn
(frames against the renderer's, saves of each shape, broken saves, bursts, list edits, keys,
hostile files), and its statuses. usage: live_test.py LIVE RENDERER [TestClass ...]"""
import os
import random
import shutil
import signal
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import Workspace, differing_pixels, line, pixel, read_png, run_in, to_rgb, wait_for, xdotool  # noqa: E402

LIVE = RENDERER = None
PATIENCE = 90  # seconds any one wait may take on a loaded machine
SIZE = (320, 180)

# Instance 1 lies behind instance 0: it shows only if depth testing was left off.
WAVE_VERTEX = """#version 450 core
layout(location = 0) in vec4 position;
flat out int instance;
void main() { instance = gl_InstanceID; gl_Position = vec4(position.x / (1 + instance), position.y, 0.5 * instance, 1); }
"""
WAVE_FRAGMENT = """#version 450 core
uniform float time;
flat in int instance;
out vec4 color;
void main() { color = instance == 1 ? vec4(1, 0, 1, 1) : vec4(fract(time), fract(gl_FragCoord.xy / vec2(97, 61) + time), 1); }
"""


def solid(rgb):
    return "#version 450 core\nout vec4 color;\nvoid main() { color = vec4(%g, %g, %g, 1.0); }\n" % rgb


class LiveWindow(unittest.TestCase):
    """One live window of a test, its output collected, and the ways to wait on it."""

    def start(self, workspace, args, env=None):
        self.workspace = workspace
        self.out, self.err = [], []
        self.live = subprocess.Popen([LIVE] + args, cwd=self.workspace.path, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, env=env)
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
        alive = lambda: self.assertIsNone(self.live.poll(), "prismwafer-live ended: %s" % self.err[-5:])
        return wait_for(what, lambda: predicate() or alive(), PATIENCE, 0.05)

    def title(self):
        return xdotool("getwindowname", self.window).stdout.strip()

    def key(self, key, title):
        """Presses the key (None: none) and waits for the title that should follow."""
        if key:
            xdotool("windowfocus", "--sync", self.window)
            xdotool("key", key)
        self.wait_for(lambda: self.title() == "prismwafer-live: " + title, "the title %r after %s" % (title, key))

    def pixels(self):
        xwd = subprocess.run(["xwd", "-id", self.window, "-silent"], capture_output=True, check=True, timeout=30)
        return to_rgb(xwd.stdout, "xwd")

    def centre(self):
        return pixel(self.pixels(), SIZE[0] // 2, SIZE[1] // 2)

    def save(self, name, text, shape="in place"):
        path = os.path.join(self.workspace.path, "shaders", name)
        if shape == "delete and create":
            os.unlink(path)
        with open(path + (".tmp" if shape == "rename over" else ""), "w") as f:
            f.write(text)
        if shape == "rename over":
            os.replace(path + ".tmp", path)

    def wait_line(self, start, text):
        """The first line of standard output from index start on that holds text."""
        return self.wait_for(lambda: next((l for l in self.out[start:] if text in l), None), "a line with %r" % text)

    def render(self, args, env=None):
        render = run_in(self.workspace, RENDERER, args + ["-o", "ref.png"], env=env)
        self.assertEqual(render.returncode, 0, render.stderr)
        return read_png(os.path.join(self.workspace.path, "ref.png"))


class Session(LiveWindow):
    """One live window through every check, in the order a scene author would meet them."""

    def setUp(self):
        self.start(Workspace(line("flat.vert", "flat.frag", 1, 0.5) + line("wave.vert", "wave.frag", 2, 2),
                             {"wave.vert": WAVE_VERTEX, "wave.frag": WAVE_FRAGMENT}), ["--paused", "--at", "1.25", "-r", "24", "-s", "%dx%d" % SIZE])

    def test_a_live_session(self):
        self.key(None, "scene 2/2, wave.vert, 1.250 s, paused")
        reference = self.render(["-s", "%dx%d" % SIZE, "-r", "24", "--at", "1.25"])
        self.wait_for(lambda: self.pixels() != reference, "the display over the scene")
        self.key("F12", "scene 2/2, wave.vert, 1.250 s, paused")
        self.wait_line(0, "Wrote frame-00030-320x180.png: frame 30, 1.250 s")
        self.assertTrue(read_png(os.path.join(self.workspace.path, "frame-00030-320x180.png")) == reference,
                        "the file holds the renderer's frame, without the display")
        green = lambda image: sum(g > 200 and r < 170 and b < 170 for r, g, b in zip(*[iter(image[2])] * 3))
        self.wait_for(lambda: green(self.pixels()) > green(reference) + 20, "the notice of the frame written")
        self.key("h", "scene 2/2, wave.vert, 1.250 s, paused")
        self.wait_for(lambda: self.pixels() == reference, "the renderer's frame once the display and notice are gone")

        for shape, rgb in (("in place", (0, 1, 0)), ("rename over", (0, 0, 1)), ("delete and create", (1, 1, 0))):
            start = len(self.out)
            self.save("wave.frag", solid(rgb), shape)
            self.assertRegex(self.wait_line(start, "Reloaded shaders/wave.frag (scene 2) in "),
                             r"ms, on screen [\d.]+ ms after the save was seen\n")
            self.assertEqual(self.centre(), tuple(255 * c for c in rgb), shape)

        self.assertEqual(self.err, [], "nothing to report until the first broken save")
        start, errors = len(self.out), 0
        self.save("wave.frag", "#version 450 core\nout vec4 color;\nvoid main() { color = vec4(1.0) + nothing; }\n")
        self.wait_line(start, "Failed shaders/wave.frag (scene 2) in ")
        self.assertRegex("".join(self.err[errors:]), r"(?m)^shaders/wave\.frag:3:\d+: error: .*nothing")
        self.key("Left", "scene 1/2, flat.vert, 0.250 s, paused")
        self.key("Right", "scene 2/2, wave.vert, 1.250 s, paused")
        self.assertEqual(self.centre(), (255, 255, 0), "the last good program draws, after another scene's")
        self.key("h", "scene 2/2, wave.vert, 1.250 s, paused")  # the display lists the problem at the top
        self.wait_for(lambda: any(r > 200 and 80 < g < 150 and b < 130 for r, g, b in zip(*[iter(self.pixels()[2][:3 * SIZE[0] * 40])] * 3)), "the problems panel")
        self.key("h", "scene 2/2, wave.vert, 1.250 s, paused")
        self.save("wave.frag", solid((0, 1, 1)))
        self.assertIn("; its problems are cleared", self.wait_line(start, "Reloaded shaders/wave.frag"))
        self.assertEqual(self.centre(), (0, 255, 255))
        # A save of the good file while the other is broken blames the broken one.
        self.save("wave.vert", "#version 450 core\nvoid main() { gl_Position = nothing; }\n")
        self.wait_line(start, "Failed shaders/wave.vert (scene 2) in ")
        self.save("wave.frag", solid((0, 1, 1)) + "// touched\n")
        self.wait_line(start, "Failed shaders/wave.vert (scene 2), after a save of shaders/wave.frag in ")
        self.save("wave.vert", WAVE_VERTEX)
        self.wait_line(start, "Reloaded shaders/wave.vert (scene 2)")

        # The burst lands while the program cannot read, as on a busy machine; a later save's line
        # then follows the burst's, and nothing of the burst may come after it.
        start = len(self.out)
        os.kill(self.live.pid, signal.SIGSTOP)
        for shade in range(10):
            self.save("wave.frag", solid((1, 0, 1) if shade == 9 else (shade / 10, 0, 0)))
        os.kill(self.live.pid, signal.SIGCONT)
        self.wait_line(start, "Reloaded shaders/wave.frag (scene 2)")
        self.save("flat.frag", solid((0, 0, 0.5)))
        self.wait_line(start, "Reloaded shaders/flat.frag (scene 1)")
        burst = [l for l in self.out[start:] if "shaders/wave.frag" in l]
        self.assertEqual(len(burst), 1, burst)
        self.assertEqual(self.centre(), (255, 0, 255))

        start = len(self.out)
        self.save("prog.csv", line("red.vert", "red.frag", 1, 0.5) + line("wave.vert", "wave.frag", 2, 2) +
                  line("flat.vert", "flat.frag", 1, "3s"))
        self.assertIn(": 3 scenes, 1 built, 0 failed, 2 unchanged\n", self.wait_line(start, "Read shaders/prog.csv in "))
        self.wait_for(lambda: "shaders/prog.csv:3: duration '3s' has 's' after the number, which is ignored (read as "
                      "3)\n" in self.err, "the list's problems, in the checker's words")
        self.key(None, "scene 2/3, wave.vert, 1.250 s, paused")
        self.assertEqual(self.centre(), (255, 0, 255), "the scene kept its program")
        for key, title in (("Left", "1/3, red.vert, 0.250"), ("period", "1/3, red.vert, 0.292"),
                           ("shift+Left", "1/3, red.vert, 0.250"), ("shift+Right", "1/3, red.vert, 0.292"),
                           ("comma", "1/3, red.vert, 0.250"), ("Right", "2/3, wave.vert, 1.250"),
                           ("Next", "3/3, flat.vert, 2.625"), ("Prior", "2/3, wave.vert, 0.583")):
            self.key(key, "scene %s s, paused" % title)
        xdotool("key", "space")
        self.wait_for(lambda: not self.title().endswith("paused"), "playing after Space")
        # Playing, the title is set at most four times a second, however fast the frames come.
        titles, end = set(), time.monotonic() + 1.2
        while time.monotonic() < end:
            titles.add(self.title())
        self.assertLessEqual(len(titles), 6, sorted(titles))
        xdotool("key", "space")
        self.wait_for(lambda: self.title().endswith(", paused"), "paused again after Space")
        # A click halfway along the display's strip (its middle is 27 pixels up) seeks to frame 68.
        self.key("h", self.title()[len("prismwafer-live: "):])
        xdotool("mousemove", "--window", self.window, str(SIZE[0] // 2), str(SIZE[1] - 27))
        xdotool("click", "1")
        self.key(None, "scene 3/3, flat.vert, 2.833 s, paused")
        self.key("h", "scene 3/3, flat.vert, 2.833 s, paused")
        for key, title in (("Home", "1/3, red.vert, 0.000"), ("Next", "2/3, wave.vert, 0.583"), ("Next", "3/3, flat.vert, 2.625")):
            self.key(key, "scene %s s, paused" % title)
        self.save("prog.csv", line("flat.vert", "nowhere.frag", 1, 1))
        self.key(None, "scene 1/1, flat.vert, 1.042 s, paused")  # the shorter sequence's end
        self.wait_for(lambda: "shaders/prog.csv:1: cannot read the fragment shader shaders/nowhere.frag: No such file "
                      "or directory\n" in self.err, "the unreadable file reported as --check words it")

        start, garbage = len(self.out), random.Random(11)
        os.unlink(self.workspace.list_path())
        os.mkdir(self.workspace.list_path())
        self.wait_line(start, "Cannot read shaders/prog.csv: the timeline is empty until it is written")
        self.key(None, "no scenes, 1.042 s, paused")
        os.rmdir(self.workspace.list_path())
        self.save("prog.csv", "".join(garbage.choice("\n\r\0 ,x\x7f\x1b\u00e9") for _ in range(4096)))  # no tab
        self.wait_line(start, "makes no scenes")
        self.save("prog.csv", line("wave.vert", "wave.frag", 1, 2))
        self.key(None, "scene 1/1, wave.vert, 1.042 s, paused")
        start = len(self.out)
        self.save("wave.frag", "".join(chr(garbage.randrange(256)) for _ in range(4096)))
        self.wait_line(start, "Failed shaders/wave.frag (scene 1)")
        shutil.rmtree(os.path.join(self.workspace.path, "shaders"))
        self.wait_line(start, "Cannot read shaders/prog.csv")
        os.mkdir(os.path.join(self.workspace.path, "shaders"))
        for name, text in (("wave.vert", WAVE_VERTEX), ("wave.frag", WAVE_FRAGMENT), ("prog.csv", line("wave.vert", "wave.frag", 1, 2))):
            self.save(name, text)
        self.wait_line(start, "Read shaders/prog.csv in ")
        self.key("Home", "scene 1/1, wave.vert, 0.000 s, paused")

        xdotool("key", "Escape")
        self.assertEqual(self.live.wait(timeout=PATIENCE), 0, self.err[-5:])


class Frames(LiveWindow):
    """The paused window and its F12 file against the renderer's frame, where edges, depth and
    interpolation vary along both axes: tilted, overlapping tiles and a scene of the demo; and the
    window full screen from the start, past the sequence's end and saying so, then at its own size
    after F11."""

    def test_full_screen_and_back(self):
        self.start(Workspace(line("flat.vert", "flat.frag", 1, 2)), ["--fullscreen", "--paused", "--at", "9", "-s", "%dx%d" % SIZE])
        size = lambda: xdotool("getwindowgeometry", self.window).stdout.split()[-1]
        screen = "x".join(xdotool("getdisplaygeometry").stdout.split())
        self.key(None, "scene 1/1, flat.vert, 2.017 s, paused")
        self.assertEqual(self.wait_line(0, "Start: "), "Start: the sequence ends before second 9; starting at its last frame\n")
        self.wait_for(lambda: size() == screen, "the window as large as the screen, %s" % screen)
        self.key("F11", "scene 1/1, flat.vert, 2.017 s, paused")
        self.wait_for(lambda: size() == "%dx%d" % SIZE, "the window at its own size after F11")

    def test_the_strip_marks_beats_bars_and_cuts(self):
        # Three 2 s scenes at 120 bpm: twelve beats along the strip, and a cut at each third.
        self.start(Workspace(line("red.vert", "red.frag", 1, 2) * 3), ["--paused", "--bpm", "120", "-s", "640x360"])
        self.key(None, "scene 1/3, red.vert, 0.000 s, paused")
        scenes = {(70, 90, 130), (50, 65, 100)}

        def laid_out():
            # The display is laid out in the frames after the first.
            image = self.pixels()
            return pixel(image, 320, 340) in scenes and image
        image = self.wait_for(laid_out, "the strip on the display")
        strip = [x for x in range(640) if pixel(image, x, 340) in scenes]

        def runs(y, wanted):
            columns = [x for x in range(strip[0], strip[-1]) if wanted(pixel(image, x, y))]
            return [x for x in columns if x - 1 not in columns]
        # The strip's top rows hold the cuts, its lower ones the grid over the scenes' colours.
        self.assertEqual(len(runs(324, lambda rgb: rgb == (255, 120, 200))), 2, "a mark at each cut, the start's excepted")
        lines = runs(340, lambda rgb: rgb not in scenes and rgb[2] > rgb[0])
        self.assertTrue(10 <= len(lines) <= 12, lines)

    def the_renderers_frame(self, scene_list, files, at, title, env=None):
        self.start(Workspace(scene_list, files), ["--paused", "--no-hud", "--at", at, "-r", "24", "-s", "640x360"], env)
        reference = self.render(["-s", "640x360", "-r", "24", "--at", at], env)
        # The title changes after the frame's swap, so the window holds the frame by then.
        self.key(None, title)
        self.assertEqual(differing_pixels(self.pixels(), reference), 0, "the window")
        frame, name = self.written_frame(title)
        self.assertEqual(differing_pixels(frame, reference), 0, name)

    def written_frame(self, title):
        """F12's file: its pixels and its name."""
        start = len(self.out)
        self.key("F12", title)
        name = self.wait_line(start, "Wrote frame-").split()[1][:-1]
        return read_png(self.workspace.file(name)), name

    def test_tilted_overlapping_tiles(self):
        # As on drivers whose targets are drawn upside down from windows: the preview draws into a
        # target of its own, as the renderer does, and copies it into the window.
        env = dict(os.environ, MESA_EXTENSION_OVERRIDE="-GL_MESA_framebuffer_flip_y")
        self.the_renderers_frame(line("tiles.vert", "gradient.frag", 35, 2), {}, "1", "scene 1/1, tiles.vert, 1.000 s, paused", env)
        # Taller only, the window gets a target of its new size.
        xdotool("windowsize", self.window, "640", "400")
        self.wait_for(lambda: xdotool("getwindowgeometry", self.window).stdout.split()[-1] == "640x400", "the window at 640x400")
        frame, name = self.written_frame("scene 1/1, tiles.vert, 1.000 s, paused")
        self.assertEqual(name, "frame-00024-640x400.png")
        self.assertEqual(differing_pixels(frame, self.render(["-s", "640x400", "-r", "24", "--at", "1"], env)), 0, name)

    def test_a_demo_scene(self):
        read = lambda name: open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shaders", name)).read()
        shatter = next(l for l in read("prog.csv").splitlines(True) if "/shatter.vert" in l)
        self.the_renderers_frame(shatter, {n: read(n) for n in ("shatter.vert", "shatter.frag")}, "5",
                                 "scene 1/1, shatter.vert, 5.000 s, paused")


class Statuses(unittest.TestCase):
    def test_usage_errors_version_and_no_display(self):
        workspace = Workspace(line("red.vert", "red.frag", 1, 1))
        result = run_in(workspace, LIVE, ["a.csv", "b.csv"], text=True)
        self.assertEqual((result.returncode, result.stdout, result.stderr), (2, "", (
            "prismwafer-live: one scene list at most, not 'a.csv' and 'b.csv'\n"
            "Try 'prismwafer-live --help' for more information.\n")))
        self.assertEqual(run_in(workspace, LIVE, ["-V"], text=True).stdout, "prismwafer-live 0.1.0\n")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        result = run_in(workspace, LIVE, env=env)
        workspace.remove()
        self.assertEqual((result.returncode, result.stderr), (1, b"ERROR: Failed to init GLFW\n"))


if __name__ == "__main__":
    LIVE, RENDERER = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
