#!/usr/bin/env python3
"""Hostile input, one case per row of docs/hostile-inputs.md: each gets its message, no crash,
no hang, and the right status, from the renderer's --check and, where it differs, the player.

usage: hostile_test.py RENDERER PLAYER [TestClass ...]
"""
import os
import random
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import Workspace, line, run_in  # noqa: E402

RENDERER = PLAYER = None
UNABLE = b"Unable to open file "


class HostileCase(unittest.TestCase):
    def setUp(self):
        self.workspace = Workspace(None)

    def tearDown(self):
        self.workspace.remove()

    def write_list(self, content):
        with open(self.workspace.list_path(), "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode())

    def check(self, *args, timeout=120):
        result = run_in(self.workspace, RENDERER, args=["--check"] + list(args), timeout=timeout)
        self.assertLess(result.returncode, 2, result.stderr[-2000:])  # never a crash or a signal
        return result

    def play(self, timeout=120):
        result = run_in(self.workspace, PLAYER, timeout=timeout)
        self.assertEqual(result.returncode, 0, result.stderr[-2000:])
        return result

    def assertLoaded(self, result, count):
        self.assertEqual(result.stdout.count(b"Loaded scene ("), count, result.stdout[-2000:])


class SceneList(HostileCase):
    def test_missing_directory_and_fifo_read_as_missing(self):
        for kind in ("missing", "directory", "fifo"):
            with self.subTest(kind=kind):
                if kind == "directory":
                    os.mkdir(self.workspace.list_path())
                elif kind == "fifo":
                    os.mkfifo(self.workspace.list_path())
                result = self.check(timeout=30)
                self.assertEqual(result.returncode, 1)
                self.assertTrue(result.stderr.startswith(UNABLE + b"shaders/prog.csv\n"))
                self.assertEqual(self.play(timeout=30).stderr, UNABLE + b"shaders/prog.csv\n")
                if kind == "directory":
                    os.rmdir(self.workspace.list_path())
                elif kind == "fifo":
                    os.unlink(self.workspace.list_path())

    def test_empty_list_plays_nothing(self):
        self.write_list("")
        result = self.check()
        self.assertEqual((result.returncode, result.stderr), (1, b"shaders/prog.csv: the list makes no scene\n"))
        self.assertTrue(result.stdout.endswith(b"Checked 0 scenes: 1 problem in the list.\n"))
        self.assertEqual(self.play().stdout, b"INFO: Running over OpenGL 4.5\n")

    def test_binary_garbage_and_nul_bytes(self):
        rng = random.Random(20261206)
        garbage = bytes(rng.choice(b"\t\n\0\r\xff abc/.") if rng.random() < 0.3 else rng.randrange(256)
                        for _ in range(64 * 1024))
        # A NUL inside a path names no file; the bytes before it are not opened instead.
        self.write_list(b"shaders/red.vert\0.old\tshaders/red.frag\t1\t0\n" + garbage)
        result = self.check()
        self.assertTrue(result.stderr.startswith(UNABLE + b"shaders/red.vert\0.old\n"))
        self.assertGreater(result.stdout.count(b"Loaded scene ("), 1)
        self.assertIn(b"skipped: found", result.stderr)
        self.play()

    def test_a_one_mebibyte_line(self):
        self.write_list("x" * (1 << 20) + "\n" + "a" * (1 << 20) + "\tb\t1\t0\n")
        result = self.check()
        self.assertIn(b"shaders/prog.csv:1: skipped: found 1 field,", result.stderr)
        self.assertIn(UNABLE + b"a" * (1 << 20) + b"\n", result.stderr)
        self.assertLoaded(result, 1)

    def test_tens_of_thousands_of_lines(self):
        body = "".join(("note %d\n" % i) if i % 300 else line("red.vert", "red.frag", 1, 0) for i in range(30000))
        self.write_list(body)
        result = self.check()
        self.assertEqual(result.returncode, 1)
        self.assertLoaded(result, 100)
        self.assertEqual(result.stderr.count(b"skipped: found 1 field"), 29900)
        self.assertEqual(self.play().stdout.count(b"Loaded scene ("), 100)

    def test_crlf_line_ends_and_spaces_instead_of_tabs(self):
        self.write_list(line("red.vert", "red.frag", 2, 1.5).replace("\n", "\r\n") +
                        "shaders/red.vert shaders/red.frag 2 1.5\r\n")
        result = self.check()
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"Loaded scene (shaders/red.vert, shaders/red.frag, 2, 1.5)\n", result.stdout)
        self.assertIn(b"shaders/prog.csv:2: skipped: found 1 field, a scene needs 4 separated by tabs", result.stderr)
        self.assertIn(b"this line has spaces where tabs belong", result.stderr)

    def test_numbers_far_out_of_range_inf_and_nan(self):
        self.write_list(line("red.vert", "red.frag", "99999999999999999999", "1e999") +
                        line("red.vert", "red.frag", "-99999999999999999999", "-1e999") +
                        line("red.vert", "red.frag", "0x7fffffff", "nan") +
                        line("red.vert", "red.frag", "1", "1e-999"))
        result = self.check()
        self.assertEqual(result.stdout.decode().splitlines()[1:5], [
            "Loaded scene (shaders/red.vert, shaders/red.frag, 2147483647, inf)",
            "Loaded scene (shaders/red.vert, shaders/red.frag, -2147483648, -inf)",
            "Loaded scene (shaders/red.vert, shaders/red.frag, 0, nan)",
            "Loaded scene (shaders/red.vert, shaders/red.frag, 1, 0)"])
        render = run_in(self.workspace, RENDERER, args=["-s", "16x16", "-o", "v.y4m"], timeout=60)
        self.assertEqual(render.returncode, 1)
        self.assertIn(b"scene 1 never ends (duration inf); give --to", render.stderr)


class ShaderFiles(HostileCase):
    def test_missing_empty_and_binary_shaders_are_reported_and_played(self):
        shaders = os.path.join(self.workspace.path, "shaders")
        with open(os.path.join(shaders, "empty.frag"), "wb"):
            pass
        with open(os.path.join(shaders, "binary.frag"), "wb") as f:
            f.write(bytes(range(256)) * 64)
        self.write_list(line("red.vert", "missing.frag", 1, 0) + line("red.vert", "empty.frag", 1, 0) +
                        line("red.vert", "binary.frag", 1, 0))
        result = self.check()
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith(b"Checked 3 scenes: 3 do not build.\n"))
        self.assertEqual(result.stderr.count(b"Unable to compile fragmentShader. OpenGL returned:\n"), 3)
        self.assertIn(UNABLE + b"shaders/missing.frag\n", result.stderr)
        played = self.play()
        self.assertEqual(played.stdout.count(b"Loaded scene ("), 3)

    def test_non_utf8_and_very_long_paths(self):
        odd = b"shaders/\xff\xfe-caf\xe9.vert"
        with open(os.path.join(self.workspace.path.encode(), odd), "wb") as f, \
                open(os.path.join(self.workspace.path, "shaders", "red.vert"), "rb") as source:
            f.write(source.read())
        long_path = b"shaders/" + b"d" * 5000 + b".frag"
        self.write_list(odd + b"\tshaders/red.frag\t1\t0\n" + b"shaders/red.vert\t" + long_path + b"\t1\t0\n")
        result = self.check()
        self.assertIn(b"Loaded scene (" + odd + b", shaders/red.frag, 1, 0)\n", result.stdout)
        self.assertEqual(result.stderr.split(b"\n")[0], UNABLE + long_path)
        self.assertTrue(result.stdout.endswith(b"Checked 2 scenes: 1 does not build.\n"))


class RendererOptions(HostileCase):
    def test_malformed_options_are_usage_errors(self):
        self.write_list(line("red.vert", "red.frag", 1, 0.1))
        for args in (["-o"], ["-s", "12x"], ["-s", "x12"], ["-s", "99999999x1"], ["-r", "1e400"], ["-r", "-0"],
                     ["--at", "-1", "-o", "a.png"], ["--from", "nan", "-o", "a.y4m"], ["--size=1x1x1", "-o", "a.y4m"],
                     ["-o", "a.y4m", "bad\nname.csv", "x"], ["-\x1b[31m"]):
            with self.subTest(args=args):
                result = run_in(self.workspace, RENDERER, args=args, timeout=30)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stderr.count(b"\n"), 2, result.stderr)
                self.assertNotIn(b"\x1b", result.stderr)

    def test_far_away_seconds_say_why_instead_of_rendering_forever(self):
        self.write_list(line("red.vert", "red.frag", 1, 0.1))
        result = run_in(self.workspace, RENDERER, args=["--at", "1e300", "-o", "a.png"], timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"--at 1e+300 is past the end of the sequence", result.stderr)


if __name__ == "__main__":
    RENDERER = os.path.abspath(sys.argv[1])
    PLAYER = os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
