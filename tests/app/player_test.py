#!/usr/bin/env python3
"""End-to-end tests of the built player on the virtual display: console, statuses, GL calls,
timing, Escape and what reaches the screen.

usage: player_test.py PLAYER [TestClass ...]
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import (Workspace, line, player_window, press_escape, red_box, run_in,  # noqa: E402
                 screenshot, xdotool)

PLAYER = None


def run_player(workspace, **kwargs):
    return run_in(workspace, PLAYER, **kwargs)


class Call:
    def __init__(self, name, args, result):
        self.name, self.args, self.result = name, args, result

    def arg(self, key):
        match = re.search(r"\b%s = ([^,]+(?:\|[^,]+)*)" % key, self.args)
        return match.group(1).strip() if match else None

    def __repr__(self):
        return "%s(%s)" % (self.name, self.args[:60])


def traced_calls(trace):
    dump = subprocess.run(["apitrace", "dump", "--color=never", trace], capture_output=True,
                          text=True, check=True, timeout=120).stdout
    calls = []
    for text in dump.splitlines():
        match = re.match(r"^\d+ (gl\w*)\((.*?)\)(?: = (.*))?$", text) or \
            re.match(r"^\d+ (gl\w*)\((.*)()", text)
        if match and not text.endswith("// fake"):
            calls.append(Call(*match.groups()))
    return calls


class Console(unittest.TestCase):
    """What the program prints and the status it ends with."""

    def setUp(self):
        self.workspace = None

    def tearDown(self):
        if self.workspace:
            self.workspace.remove()

    def test_without_a_display_start_up_fails_with_status_1(self):
        self.workspace = Workspace(line("red.vert", "red.frag", 1, 1))
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        result = run_player(self.workspace, env=env)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, b"ERROR: Failed to init GLFW\n")
        self.assertEqual(result.stdout, b"")

    def test_without_an_opengl_4_5_context_no_window_opens(self):
        self.workspace = Workspace(line("red.vert", "red.frag", 1, 1))
        env = dict(os.environ, MESA_GL_VERSION_OVERRIDE="3.3")
        result = run_player(self.workspace, env=env)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, b"ERROR: Failed to open window\n")
        self.assertEqual(result.stdout, b"")

    def test_a_short_sequence_ends_by_itself(self):
        self.workspace = Workspace(line("red.vert", "red.frag", 3, 0.3) +
                                   line("flat.vert", "flat.frag", 1, "x") +
                                   line("red.vert", "red.frag", "-99999999999", "1e6abc")[:-1]
                                   .replace("1e6abc", "0.2\textra"))
        # Arguments are not read.
        result = run_player(self.workspace, args=["--help", "shaders/other.csv"])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.stdout.decode(), "INFO: Running over OpenGL 4.5\n"
                         "Loaded scene (shaders/red.vert, shaders/red.frag, 3, 0.3)\n"
                         "Loaded scene (shaders/flat.vert, shaders/flat.frag, 1, 0)\n"
                         "Loaded scene (shaders/red.vert, shaders/red.frag, -2147483648, 0.2)\n")

    def test_hostile_shader_paths_are_reported_and_the_scene_still_plays(self):
        self.workspace = Workspace(
            line("fifo.vert", "missing.frag", 1, 0) +
            "shaders\tshaders/red.frag\t1\t0\n" +
            "red.vert   red.frag   1   0\n")
        os.mkfifo(os.path.join(self.workspace.path, "shaders", "fifo.vert"))
        result = run_player(self.workspace, timeout=30)
        self.assertEqual(result.returncode, 0)
        err = result.stderr.decode()
        self.assertTrue(err.startswith("Unable to open file shaders/fifo.vert\n"
                                       "Unable to open file shaders/missing.frag\n"
                                       "Unable to compile vertexShader. OpenGL returned:\n"), err)
        self.assertIn("Unable to open file shaders\n", err)
        self.assertIn("shaders/prog.csv:3: skipped: found 1 field,", err)
        self.assertEqual(result.stdout.decode().count("Loaded scene ("), 2)


class Calls(unittest.TestCase):
    """Every GL call of a real run, recorded with apitrace."""

    @classmethod
    def setUpClass(cls):
        cls.workspace = Workspace(line("red.vert", "red.frag", 3, 0.25) +
                                  line("flat.vert", "flat.frag", 5, 0))
        trace = os.path.join(cls.workspace.path, "run.trace")
        result = run_player(cls.workspace, prefix=["apitrace", "trace", "-o", trace])
        assert result.returncode == 0, result.stderr
        cls.calls = traced_calls(trace)
        construction_start = next(i for i, c in enumerate(cls.calls) if c.name == "glCreateBuffers")
        first_frame = next(i for i, c in enumerate(cls.calls)
                           if c.name == "glGetUniformLocation" and '"time"' in c.args)
        cls.construction = cls.calls[construction_start:first_frame]
        # Frames end at the buffer swap; what follows the last one is teardown.
        swaps = [i for i, c in enumerate(cls.calls) if c.name == "glXSwapBuffers" and i > first_frame]
        bounds = [first_frame - 1] + swaps
        cls.frames = [cls.calls[a + 1:b] for a, b in zip(bounds, bounds[1:])]
        cls.teardown = cls.calls[swaps[-1] + 1:]

    @classmethod
    def tearDownClass(cls):
        cls.workspace.remove()

    def scene_frames(self, instances):
        return [f for f in self.frames
                if any(c.name == "glDrawArraysInstanced" and c.arg("instancecount") == str(instances)
                       for c in f)]

    def test_construction_follows_the_fixed_order(self):
        names = [c.name for c in self.construction]
        per_scene = ["glCreateBuffers", "glNamedBufferStorage", "glNamedBufferSubData",
                     "glCreateVertexArrays", "glBindVertexArray", "glBindBuffer"] + \
                    ["glEnableVertexAttribArray", "glVertexAttribPointer"] * 3 + \
                    ["glBindVertexArray", "glCreateProgram"] + \
                    ["glCreateShader", "glShaderSource", "glCompileShader", "glGetShaderiv",
                     "glAttachShader", "glDeleteShader"] * 2 + \
                    ["glLinkProgram", "glGetProgramiv", "glEnable", "glGetUniformLocation"]
        self.assertEqual(names, per_scene + ["glUseProgram", "glUniformMatrix4fv"] + per_scene)
        storage = self.construction[1]
        self.assertEqual(storage.arg("size"), "144")
        self.assertEqual(storage.arg("data"), "NULL")
        self.assertEqual(storage.arg("flags"), "GL_DYNAMIC_STORAGE_BIT")
        pointers = [c for c in self.construction[:20] if c.name == "glVertexAttribPointer"]
        self.assertEqual([(p.arg("index"), p.arg("size"), p.arg("type"), p.arg("normalized"),
                           p.arg("stride"), p.arg("pointer")) for p in pointers],
                         [("0", "4", "GL_FLOAT", "GL_FALSE", "36", "NULL"),
                          ("1", "3", "GL_FLOAT", "GL_FALSE", "36", "0x10"),
                          ("2", "2", "GL_FLOAT", "GL_FALSE", "36", "0x1c")])
        self.assertEqual(self.construction[4].arg("array"), "1")
        self.assertEqual(self.construction[5].arg("target"), "GL_ARRAY_BUFFER")
        self.assertEqual(self.construction[12].arg("array"), "0")
        self.assertEqual(self.construction[len(per_scene) - 2].arg("cap"), "GL_DEPTH_TEST")
        upload = self.construction[len(per_scene) + 1]
        self.assertEqual((upload.arg("count"), upload.arg("transpose")), ("1", "GL_FALSE"))
        values = [float(v) for v in re.findall(r"-?[\d.]+(?:e-?\d+)?", upload.args.split("value = ")[1])]
        self.assertEqual(len(values), 16)
        expected = [0.8820336, 0, 0, 0, 0, 1.5611995, 0, 0, 0, 0, -10.002001, -10, 0, 0, 2.9805982, 3]
        for got, want in zip(values, expected):
            self.assertAlmostEqual(got, want, places=5)

    def test_every_frame_makes_the_same_calls(self):
        with_time = ["glGetUniformLocation", "glUseProgram", "glUniform1f", "glClearColor", "glClear",
                     "glUseProgram", "glBindVertexArray", "glDrawArraysInstanced"]
        without_time = ["glGetUniformLocation", "glClearColor", "glClear", "glUseProgram",
                        "glBindVertexArray", "glDrawArraysInstanced"]
        first, second = self.scene_frames(3), self.scene_frames(5)
        self.assertEqual(len(first) + len(second), len(self.frames))
        for frame in first:
            self.assertEqual([c.name for c in frame], with_time)
        for frame in second:
            self.assertEqual([c.name for c in frame], without_time)
            self.assertEqual(frame[0].result, "-1")
        frame = first[0]
        self.assertEqual((frame[3].arg("red"), frame[3].arg("alpha")), ("0", "1"))
        self.assertEqual(frame[4].arg("mask"), "GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT")
        self.assertEqual([frame[7].arg(k) for k in ("mode", "first", "count")],
                         ["GL_TRIANGLE_STRIP", "0", "4"])

    def test_time_restarts_per_scene_and_ends_strictly_after_the_duration(self):
        times = [float(f[2].arg("v0")) for f in self.scene_frames(3)]
        self.assertGreater(len(times), 1)
        self.assertLess(times[0], 0.25)
        self.assertEqual(times, sorted(times))
        self.assertTrue(all(t <= 0.25 for t in times[:-1]), times)
        self.assertGreaterEqual(times[-1], 0.25)
        # A scene of duration 0 is drawn exactly once.
        self.assertEqual(len(self.scene_frames(5)), 1)

    def test_teardown_releases_every_scene_in_order(self):
        gl = [(c.name, c.args) for c in self.teardown if not c.name.startswith("glX")]
        self.assertEqual([name for name, _ in gl],
                         ["glDeleteProgram", "glDeleteVertexArrays", "glDeleteBuffers"] * 2)
        programs = [c.args for c in self.construction if c.name == "glCreateProgram"]
        self.assertEqual(len(programs), 2)


class Interaction(unittest.TestCase):
    """Escape, and what the screen shows."""

    def setUp(self):
        self.workspace = None
        self.player = None

    def tearDown(self):
        if self.player:
            if self.player.poll() is None:
                self.player.send_signal(signal.SIGKILL)
            self.player.communicate()
        if self.workspace:
            self.workspace.remove()

    def start(self, scene_list, prefix=()):
        self.workspace = Workspace(scene_list)
        self.player = subprocess.Popen(list(prefix) + [PLAYER], cwd=self.workspace.path,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_escape_ends_a_scene_without_end_and_releases_the_rest(self):
        trace = tempfile.mktemp(suffix=".trace")
        self.start(line("red.vert", "red.frag", 1, "inf") + line("flat.vert", "flat.frag", 2, 1),
                   prefix=["apitrace", "trace", "-o", trace])
        press_escape(self.player)
        out, err = self.player.communicate(timeout=20)
        self.assertEqual(self.player.returncode, 0, err)
        self.assertTrue(out.decode().endswith("Loaded scene (shaders/flat.vert, shaders/flat.frag, 2, 1)\n"))
        calls = traced_calls(trace)
        os.unlink(trace)
        draws = [c.arg("instancecount") for c in calls if c.name == "glDrawArraysInstanced"]
        self.assertGreater(len(draws), 0)
        self.assertEqual(set(draws), {"1"}, "the second scene is never drawn")
        deletes = [c.name for c in calls if c.name.startswith("glDelete") and c.name != "glDeleteShader"]
        self.assertEqual(deletes, ["glDeleteProgram", "glDeleteVertexArrays", "glDeleteBuffers"] * 2)

    def test_other_keys_do_not_end_playback(self):
        self.start(line("red.vert", "red.frag", 1, "nan"))
        window = player_window()
        time.sleep(0.5)
        xdotool("windowfocus", "--sync", window)
        xdotool("key", "q", "space", "Return")
        time.sleep(1.0)
        self.assertIsNone(self.player.poll())
        press_escape(self.player)
        self.assertEqual(self.player.wait(timeout=20), 0)

    def test_the_quad_covers_the_centre_of_the_screen(self):
        self.start(line("red.vert", "red.frag", 1, "inf"))
        player_window()
        time.sleep(1.5)
        width, height, rgb = screenshot()
        press_escape(self.player)
        self.assertEqual(self.player.wait(timeout=20), 0)
        self.assertEqual((width, height), (1920, 1080))
        (left, right, top, bottom), count = red_box(width, height, rgb)
        # (+-0.8820336 / 3, +-1.5611995 / 3) in normalised device coordinates.
        self.assertAlmostEqual(left, 678, delta=2)
        self.assertAlmostEqual(right, 1241, delta=2)
        self.assertAlmostEqual(top, 259, delta=2)
        self.assertAlmostEqual(bottom, 820, delta=2)
        self.assertEqual(count, (right - left + 1) * (bottom - top + 1), "a solid rectangle")
        self.assertEqual(rgb[0:3], b"\0\0\0", "cleared to black around it")


if __name__ == "__main__":
    PLAYER = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
