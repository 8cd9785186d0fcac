#!/usr/bin/env python3
"""End-to-end tests of the built player on the virtual display: statuses, every GL call of a run,
timing, keys, and what reaches the screen compared with the renderer's frame.

usage: player_test.py PLAYER RENDERER [TestClass ...]
"""
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import (Workspace, differing_pixels, lit_box, line, player_window,  # noqa: E402
                 press_escape, read_png, run_in, screenshot, stop, traced_calls, wait_for, xdotool)

PLAYER = RENDERER = None


class Console(unittest.TestCase):
    def test_start_up_failures_exit_1_with_one_line(self):
        no_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        for env, message in ((no_display, b"ERROR: Failed to init GLFW\n"),
                             (dict(os.environ, MESA_GL_VERSION_OVERRIDE="3.3"), b"ERROR: Failed to open window\n")):
            with self.subTest(message=message), Workspace(line("red.vert", "red.frag", 1, 1)) as workspace:
                result = run_in(workspace, PLAYER, env=env)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (1, b"", message))


class Calls(unittest.TestCase):
    """One short sequence that ends by itself, every GL call recorded with apitrace."""

    @classmethod
    def setUpClass(cls):
        # A 1 s scene, a 0 s one (duration "x") without uniforms, and one whose count clamps
        # and whose fifth field is ignored; the arguments are not read.
        cls.workspace = Workspace(line("red.vert", "red.frag", 3, 1) + line("flat.vert", "flat.frag", 5, "x") +
                                  line("red.vert", "red.frag", "-99999999999", "0.2\textra")[:-1])
        trace = cls.workspace.file("run.trace")
        cls.result = run_in(cls.workspace, PLAYER, args=["--help", "shaders/other.csv"],
                            prefix=["apitrace", "trace", "-o", trace])
        cls.calls = traced_calls(trace)
        names = [c.name for c in cls.calls]
        first_frame = next(i for i, c in enumerate(cls.calls) if c.name == "glGetUniformLocation" and '"time"' in c.args)
        cls.construction = cls.calls[names.index("glCreateBuffers"):first_frame]
        # Frames end at the buffer swap; what follows the last one is teardown.
        swaps = [i for i, name in enumerate(names) if name == "glXSwapBuffers" and i > first_frame]
        bounds = [first_frame - 1] + swaps
        cls.frames = [cls.calls[a + 1:b] for a, b in zip(bounds, bounds[1:])]
        cls.teardown = [c.name for c in cls.calls[swaps[-1] + 1:] if not c.name.startswith("glX")]

    @classmethod
    def tearDownClass(cls):
        cls.workspace.remove()

    def scene_frames(self, instances):
        return [f for f in self.frames if any(c.name == "glDrawArraysInstanced" and
                                              c.arg("instancecount") == str(instances) for c in f)]

    def test_console_and_status(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        self.assertEqual([l for l in self.result.stderr.splitlines() if not l.startswith(b"apitrace:")], [])
        context = next(c.args for c in self.calls if c.name == "glXCreateContextAttribsARB")
        self.assertIn("{GLX_CONTEXT_MAJOR_VERSION_ARB, 4, GLX_CONTEXT_MINOR_VERSION_ARB, 5, "
                      "GLX_CONTEXT_PROFILE_MASK_ARB, GLX_CONTEXT_CORE_PROFILE_BIT_ARB, 0}", context)
        self.assertEqual(self.result.stdout.decode(), "INFO: Running over OpenGL 4.5\n"
                         "Loaded scene (shaders/red.vert, shaders/red.frag, 3, 1)\n"
                         "Loaded scene (shaders/flat.vert, shaders/flat.frag, 5, 0)\n"
                         "Loaded scene (shaders/red.vert, shaders/red.frag, -2147483648, 0.2)\n")

    def test_construction_follows_the_fixed_order(self):
        per_scene = ["glCreateBuffers", "glNamedBufferStorage", "glNamedBufferSubData", "glCreateVertexArrays",
                     "glBindVertexArray", "glBindBuffer"] + ["glEnableVertexAttribArray", "glVertexAttribPointer"] * 3 + \
                    ["glBindVertexArray", "glCreateProgram"] + \
                    ["glCreateShader", "glShaderSource", "glCompileShader", "glGetShaderiv", "glAttachShader",
                     "glDeleteShader"] * 2 + ["glLinkProgram", "glGetProgramiv", "glEnable", "glGetUniformLocation"]
        upload = ["glUseProgram", "glUniformMatrix4fv"]
        self.assertEqual([c.name for c in self.construction], per_scene + upload + per_scene + per_scene + upload)
        c = self.construction
        self.assertEqual((c[1].arg("size"), c[1].arg("data"), c[1].arg("flags")), ("144", "NULL", "GL_DYNAMIC_STORAGE_BIT"))
        self.assertEqual([(p.arg("index"), p.arg("size"), p.arg("type"), p.arg("normalized"), p.arg("stride"),
                           p.arg("pointer")) for p in c[:20] if p.name == "glVertexAttribPointer"],
                         [("0", "4", "GL_FLOAT", "GL_FALSE", "36", "NULL"), ("1", "3", "GL_FLOAT", "GL_FALSE", "36", "0x10"),
                          ("2", "2", "GL_FLOAT", "GL_FALSE", "36", "0x1c")])
        self.assertEqual((c[4].arg("array"), c[5].arg("target"), c[12].arg("array")), ("1", "GL_ARRAY_BUFFER", "0"))
        self.assertEqual(c[len(per_scene) - 2].arg("cap"), "GL_DEPTH_TEST")
        matrix = c[len(per_scene) + 1]
        self.assertEqual((matrix.arg("count"), matrix.arg("transpose")), ("1", "GL_FALSE"))
        values = [float(v) for v in re.findall(r"-?[\d.]+(?:e-?\d+)?", matrix.args.split("value = ")[1])]
        expected = [0.8820336, 0, 0, 0, 0, 1.5611995, 0, 0, 0, 0, -10.002001, -10, 0, 0, 2.9805982, 3]
        self.assertTrue(len(values) == 16 and all(abs(g - w) < 1e-5 for g, w in zip(values, expected)), values)

    def test_every_frame_makes_the_same_calls_and_time_ends_strictly(self):
        with_time = ["glGetUniformLocation", "glUseProgram", "glUniform1f", "glClearColor", "glClear",
                     "glUseProgram", "glBindVertexArray", "glDrawArraysInstanced"]
        without_time = with_time[:1] + with_time[3:]
        first, second, third = self.scene_frames(3), self.scene_frames(5), self.scene_frames(-2147483648)
        self.assertEqual(len(first) + len(second) + len(third), len(self.frames))
        self.assertTrue(all([c.name for c in f] == with_time for f in first + third))
        self.assertTrue(all([c.name for c in f] == without_time and f[0].result == "-1" for f in second))
        frame = first[0]
        self.assertEqual((frame[3].arg("red"), frame[3].arg("alpha")), ("0", "1"))
        self.assertEqual(frame[4].arg("mask"), "GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT")
        self.assertEqual([frame[7].arg(k) for k in ("mode", "first", "count")], ["GL_TRIANGLE_STRIP", "0", "4"])
        # The first scene's clock starts just before its first frame; the third's after the swap
        # that ended the second, which a loaded machine may stretch past 0.2 s: only the rule holds.
        first_times, third_times = ([float(f[2].arg("v0")) for f in frames] for frames in (first, third))
        self.assertTrue(len(first_times) > 1 and first_times[0] < 1, first_times)
        for times, duration in ((first_times, 1), (third_times, 0.2)):
            self.assertEqual(times, sorted(times))
            self.assertTrue(all(t <= duration for t in times[:-1]) and times[-1] >= duration, times)
        self.assertEqual(len(second), 1, "a scene of duration 0 is drawn exactly once")

    def test_teardown_releases_every_scene_in_order(self):
        self.assertEqual(self.teardown, ["glDeleteProgram", "glDeleteVertexArrays", "glDeleteBuffers"] * 3)


class Screen(unittest.TestCase):
    """A scene without end on the screen: keys, the picture against the renderer's, Escape."""

    def test_keys_picture_and_escape(self):
        trace = tempfile.mktemp(suffix=".trace")
        with Workspace(line("gradient.vert", "gradient.frag", 1, "inf") + line("flat.vert", "flat.frag", 2, 1)) as ws:
            player = subprocess.Popen(["apitrace", "trace", "-o", trace, PLAYER], cwd=ws.path,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                window = player_window(player)
                xdotool("windowfocus", "--sync", window)
                xdotool("key", "--window", window, "q", "space", "Return")
                time.sleep(1.5)
                self.assertIsNone(player.poll(), "only Escape ends playback")
                shown = screenshot()
                press_escape(player)
                out, err = player.communicate(timeout=60)
            finally:
                stop(player)
            self.assertEqual(player.returncode, 0, err)
            self.assertTrue(out.endswith(b"Loaded scene (shaders/flat.vert, shaders/flat.frag, 2, 1)\n"))
            rendered = run_in(ws, RENDERER, args=["--at", "2", "-o", "frame.png"])
            self.assertEqual(rendered.returncode, 0, rendered.stderr)
            frame = read_png(ws.file("frame.png"))
        # The renderer's frame is the player's screen, pixel for pixel.
        self.assertEqual(frame[:2], shown[:2])
        self.assertEqual(sum(1 for a, b in zip(frame[2], shown[2]) if a != b), 0)
        # (+-0.8820336 / 3, +-1.5611995 / 3) in normalised device coordinates; black around it.
        bounds, count = lit_box(shown)
        for got, want in zip(bounds, (678, 1241, 259, 820)):  # columns and rows, inclusive
            self.assertAlmostEqual(got, want, delta=2)
        self.assertEqual(count, (bounds[1] - bounds[0] + 1) * (bounds[3] - bounds[2] + 1), "a solid rectangle")
        calls = traced_calls(trace)
        os.unlink(trace)
        draws = {c.arg("instancecount") for c in calls if c.name == "glDrawArraysInstanced"}
        self.assertEqual(draws, {"1"}, "the second scene is never drawn")
        deletes = [c.name for c in calls if c.name.startswith("glDelete") and c.name != "glDeleteShader"]
        self.assertEqual(deletes, ["glDeleteProgram", "glDeleteVertexArrays", "glDeleteBuffers"] * 2)

    def test_tilted_overlapping_gradients_are_the_renderers_frame(self):
        with Workspace(line("tiles.vert", "gradient.frag", 35, "inf")) as ws:
            rendered = run_in(ws, RENDERER, args=["--at", "0", "-o", "frame.png"])
            self.assertEqual(rendered.returncode, 0, rendered.stderr)
            frame = read_png(ws.file("frame.png"))
            player = subprocess.Popen([PLAYER], cwd=ws.path, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                # Nearly the frame is the scene drawn; the test is whether it is the frame exactly.
                near = lambda shot: shot if shot[:2] == frame[:2] and differing_pixels(frame, shot) < 20000 else None
                shown = wait_for("the tiles on the screen", lambda: near(screenshot()))
                press_escape(player)
            finally:
                stop(player)
        self.assertGreater(lit_box(frame)[1], 1500000, "the tiles cover most of the screen")
        self.assertEqual(differing_pixels(frame, shown), 0)


if __name__ == "__main__":
    PLAYER = os.path.abspath(sys.argv[1])
    RENDERER = os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
