#!/usr/bin/env python3
"""Hostile input from the rows of docs/hostile-inputs.md: each gets its message, no crash, no
hang, and the right status, from the renderer's --check and, where it differs, the player.

usage: hostile_test.py RENDERER PLAYER [TestClass ...]
"""
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import RED_VERTEX, Workspace, line, run_in  # noqa: E402

RENDERER = PLAYER = None
UNABLE = b"Unable to open file "


class HostileCase(unittest.TestCase):
    def setUp(self):
        self.workspace = Workspace(None)

    def tearDown(self):
        self.workspace.remove()

    def check(self, *args):
        result = run_in(self.workspace, RENDERER, args=["--check"] + list(args))
        self.assertLess(result.returncode, 2, result.stderr[-2000:])  # never a crash or a signal
        return result

    def play(self):
        result = run_in(self.workspace, PLAYER)
        self.assertEqual(result.returncode, 0, result.stderr[-2000:])
        return result


class SceneList(HostileCase):
    def test_what_is_no_file_reads_as_missing_and_empty_plays_nothing(self):
        path = self.workspace.list_path()
        for make, undo in ((lambda: None, lambda: None), (lambda: os.mkdir(path), lambda: os.rmdir(path)),
                           (lambda: os.mkfifo(path), lambda: os.unlink(path))):
            make()
            result = self.check()
            self.assertEqual(result.returncode, 1)
            self.assertTrue(result.stderr.startswith(UNABLE + b"shaders/prog.csv\n"))
            self.assertEqual(self.play().stderr, UNABLE + b"shaders/prog.csv\n")
            undo()
        self.workspace.write_list("")
        result = self.check()
        self.assertEqual((result.returncode, result.stderr), (1, b"shaders/prog.csv: the list makes no scene\n"))
        self.assertTrue(result.stdout.endswith(b"Checked 0 scenes: 1 problem in the list.\n"))
        self.assertEqual(self.play().stdout, b"INFO: Running over OpenGL 4.5\n")

    def test_binary_garbage_and_nul_bytes(self):
        rng = random.Random(20261206)
        garbage = bytes(rng.choice(b"\t\n\0\r\xff abc/.") if rng.random() < 0.3 else rng.randrange(256)
                        for _ in range(64 * 1024))
        # A NUL inside a path names no file; the bytes before it are not opened instead.
        self.workspace.write_list(b"shaders/red.vert\0.old\tshaders/red.frag\t1\t0\n" + garbage)
        result = self.check()
        self.assertTrue(result.stderr.startswith(UNABLE + b"shaders/red.vert\0.old\n"))
        self.assertGreater(result.stdout.count(b"Loaded scene ("), 1)
        self.assertIn(b"skipped: found", result.stderr)
        self.play()

    def test_huge_lines_many_lines_crlf_and_spaces_for_tabs(self):
        body = "".join(("note %d\n" % i) if i % 300 else line("red.vert", "red.frag", 1, 0) for i in range(30000))
        self.workspace.write_list("x" * (1 << 20) + "\n" + "a" * (1 << 20) + "\tb\t1\t0\n" + body +
                                  line("red.vert", "red.frag", 2, 1.5).replace("\n", "\r\n") +
                                  "shaders/red.vert shaders/red.frag 2 1.5\r\n")
        result = self.check()
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout.count(b"Loaded scene ("), 102)
        self.assertIn(b"shaders/prog.csv:1: skipped: found 1 field,", result.stderr)
        self.assertIn(UNABLE + b"a" * (1 << 20) + b"\n", result.stderr)
        self.assertEqual(result.stderr.count(b"skipped: found 1 field"), 29902)
        self.assertIn(b"Loaded scene (shaders/red.vert, shaders/red.frag, 2, 1.5)\n", result.stdout)
        self.assertIn(b"shaders/prog.csv:30004: skipped: found 1 field, a scene needs 4 separated by tabs", result.stderr)
        self.assertTrue(result.stderr.rstrip().endswith(b"this line has spaces where tabs belong"))
        self.assertEqual(self.play().stdout.count(b"Loaded scene ("), 102)


class ShaderFiles(HostileCase):
    def test_missing_empty_binary_non_utf8_and_very_long_paths(self):
        self.workspace.write("shaders/empty.frag", b"")
        self.workspace.write("shaders/binary.frag", bytes(range(256)) * 64)
        odd = b"shaders/\xff\xfe-caf\xe9.vert"
        self.workspace.write(odd, RED_VERTEX)
        long_path = b"shaders/" + b"d" * 5000 + b".frag"
        self.workspace.write_list(line("red.vert", "missing.frag", 1, 0).encode() +
                                  line("red.vert", "empty.frag", 1, 0).encode() +
                                  line("red.vert", "binary.frag", 1, 0).encode() +
                                  odd + b"\tshaders/red.frag\t1\t0\n" + b"shaders/red.vert\t" + long_path + b"\t1\t0\n")
        result = self.check()
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith(b"Checked 5 scenes: 4 do not build.\n"), result.stdout[-300:])
        self.assertTrue(result.stderr.startswith(UNABLE + b"shaders/missing.frag\n"))
        self.assertEqual(result.stderr.count(b"Unable to compile fragmentShader. OpenGL returned:\n"), 4)
        self.assertIn(b"Loaded scene (" + odd + b", shaders/red.frag, 1, 0)\n", result.stdout)
        self.assertIn(UNABLE + long_path + b"\n", result.stderr)
        self.assertEqual(self.play().stdout.count(b"Loaded scene ("), 5)


class RendererOptions(HostileCase):
    def test_control_bytes_in_arguments_cannot_break_the_line(self):
        for args in (["-o", "a.y4m", "bad\nname.csv", "x"], ["-\x1b[31m"]):
            result = run_in(self.workspace, RENDERER, args=args)
            self.assertEqual((result.returncode, result.stdout), (2, b""))
            self.assertRegex(result.stderr, rb"^prismwafer-render: [^\n\x1b]+\nTry 'prismwafer-render --help' for more "
                                            rb"information\.\n$")


if __name__ == "__main__":
    RENDERER = os.path.abspath(sys.argv[1])
    PLAYER = os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
