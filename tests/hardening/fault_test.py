#!/usr/bin/env python3
"""Faults of the disk, the pipe and the reading of files, injected by fault_inject.c: every output
under every fault at its first call and a middle one, and unreadable files in every program.

usage: fault_test.py LIBRARY RENDERER PLAYER LIVE [TestClass ...]
"""
import os
import sys
import unittest
from unittest import mock

sys.path[:0] = [os.path.join(os.path.dirname(os.path.abspath(__file__)), folder) for folder in ("..", "../live")]
import live_test  # noqa: E402
from e2e import Workspace, line, read_png, run_in  # noqa: E402

LIBRARY = RENDERER = PLAYER = None
UNABLE = b"Unable to open file "
LIST = line("tiles.vert", "gradient.frag", 35, 0.5) + line("red.vert", "clock.frag", 1, 0.5)
REASONS = {"EIO": "Input/output error", "ENOSPC": "No space left on device", "EPIPE": "Broken pipe",
           "EINTR!": "Interrupted system call", "EMFILE": "Too many open files"}
# Interrupted and short calls are retried (an interrupted close has released the descriptor after
# fsync kept the data); every other fault stops the output.
FAULTS = {"open": ("EIO", "ENOSPC"), "write": ("ENOSPC", "EIO", "EINTR", "short"), "fsync": ("EIO",),
          "close": ("EIO", "EINTR"), "rename": ("EIO",)}
RIDDEN = {"EINTR", "short"}
# What the renderer makes, the path its faults aim at, how a failure names it, and the calls that
# reach it. Standard output is its opener's: the renderer only writes it. ffmpeg gives up on an
# interrupted close of its file, which is heard as a failure; the pipes to it may not open at all.
# A farm part is its frames and its record; the join reads parts made beforehand in parts/.
SETTINGS = ["-r", "10", "-s", "64x36"]
PARTS = [SETTINGS + ["--part", "%d/3" % k, "-o", "parts/p%d.y4m" % k] for k in (1, 2, 3)]
JOIN = ["--join", "-o", "j.y4m"] + ["parts/p%d.y4m" % k for k in (1, 2, 3)]
OUTPUTS = (("PNG still", SETTINGS + ["-s", "1280x720", "--at", "0.2", "-o", "still.png"], "still.png",
             r"cannot write still\.png: {0}", FAULTS),
           # A folder whose name no path of the driver's shader cache holds (its folders are hex).
           ("PNG sequence", SETTINGS + ["-o", "frames/%02d.png"], "frames/", r"cannot write frames/\d\d\.png: {0}",
            FAULTS),
           ("y4m file", SETTINGS + ["-o", "v.y4m"], "v.y4m", r"cannot write v\.y4m: {0}", FAULTS),
           ("y4m on standard output", SETTINGS + ["-o", "-"], "-", "cannot write to standard output: {0}",
            {"write": FAULTS["write"] + ("EPIPE",)}),
           ("video through ffmpeg", SETTINGS + ["-o", "v.mp4"], "v.mp4",
            r"cannot write v\.mp4: (cannot start ffmpeg: {0}|{0}|ffmpeg failed with exit status 1; its last lines:\n.*{0}.*)",
            dict(FAULTS, close=("EIO", "EINTR!"), pipe=("EMFILE",))),
           ("farm part", SETTINGS + ["--part", "2/3", "-o", "p.y4m"], "p.y4m", r"cannot write p\.y4m(\.partinfo)?: {0}", FAULTS),
           ("web page", ["-o", "page.html"], "page.html", r"cannot write page\.html: {0}", FAULTS),
           ("join of parts", JOIN, "j.y4m", r"cannot write j\.y4m: {0}", FAULTS, PARTS),
           ("join reading its parts", JOIN, "parts/p", r"cannot read parts/p\d\.y4m: {0}",
            {"pread": ("EIO", "EINTR", "short")}, PARTS))


def faulty(*rules, counts=None):
    """The environment that gives the programs and their children these faults."""
    preload = ":".join(filter(None, [os.environ.get("LD_PRELOAD"), LIBRARY]))
    return dict(os.environ, LD_PRELOAD=preload, PRISMWAFER_FAULT=";".join(rules), **(
        {"PRISMWAFER_FAULT_COUNTS": counts} if counts else {}))


def made(workspace):
    """Every file a run left outside shaders/ and parts/, with its bytes, taken away for the next run."""
    found = {}
    for folder, _, names in os.walk(workspace.path):
        kept = any(name in os.path.relpath(folder, workspace.path).split(os.sep) for name in ("shaders", "parts"))
        for path in (os.path.join(folder, name) for name in names if not kept):
            found[os.path.relpath(path, workspace.path)] = open(path, "rb").read()
            os.unlink(path)
    return found


class Outputs(unittest.TestCase):
    def test_every_output_under_every_fault(self):
        for kind, args, target, named, calls, *setup in OUTPUTS:
            with Workspace(LIST) as workspace:
                os.makedirs(os.path.join(workspace.path, "parts"))
                for before in setup[0] if setup else []:
                    self.assertEqual(run_in(workspace, RENDERER, ["-q"] + before).returncode, 0, before)
                run = lambda env: run_in(workspace, RENDERER, ["-q"] + args, env=env)
                counts = workspace.file("counts")
                clean = run(faulty(*("%s 0 none %s" % (call, target) for call in calls), counts=counts))
                self.assertEqual((clean.returncode, clean.stderr), (0, b""), kind)
                seen = {}
                for call, number in (l.split() for l in open(counts).read().splitlines()):
                    seen[call] = max(seen.get(call, 0), int(number))
                os.unlink(counts)
                whole = made(workspace)
                for call, faults in calls.items():
                    for fault in faults:
                        for nth in sorted({1, seen[call] // 2 + 1}):
                            with self.subTest(output=kind, fault="%s %d %s" % (call, nth, fault)):
                                result = run(faulty("%s %d %s %s" % (call, nth, fault.rstrip("!"), target)))
                                left = made(workspace)
                                if fault in RIDDEN:
                                    self.assertEqual((result.returncode, result.stderr), (0, b""))
                                    self.assertEqual((left, result.stdout), (whole, clean.stdout))
                                    continue
                                self.assertEqual(result.returncode, 1)
                                self.assertRegex(result.stderr.decode(), "(?s)^prismwafer-render: %s\n$" %
                                                 named.format(REASONS[fault]))
                                # Frames finished before the fault stay; nothing else does.
                                self.assertTrue(all(whole.get(name) == data for name, data in left.items()), left.keys())
                                self.assertEqual(left if "%" not in args[-1] else {}, {})


class Reading(unittest.TestCase):
    def test_a_list_or_a_shader_that_fails_to_read_is_one_that_cannot_be_read(self):
        with Workspace(line("red.vert", "red.frag", 1, 0) + line("flat.vert", "flat.frag", 1, 0)) as workspace:
            clean = run_in(workspace, RENDERER, ["--check"])
            for path, problem in (("shaders/prog.csv", "cannot read the scene list shaders/prog.csv: "),
                                  ("shaders/flat.frag", "shaders/prog.csv:2: cannot read the fragment shader "
                                                        "shaders/flat.frag: ")):
                for fault in ("EIO", "EINTR", "short"):
                    with self.subTest(path=path, fault=fault):
                        env = faulty("read 1 %s %s" % (fault, path))
                        check = run_in(workspace, RENDERER, ["--check"], env=env)
                        played = run_in(workspace, PLAYER, env=env)
                        self.assertEqual(played.returncode, 0, played.stderr)
                        if fault in RIDDEN:
                            self.assertEqual((check.returncode, check.stdout, check.stderr, played.stderr),
                                             (0, clean.stdout, clean.stderr, b""))
                            continue
                        self.assertEqual(check.returncode, 1)
                        self.assertTrue(check.stderr.startswith(UNABLE + path.encode() + b"\n"), check.stderr)
                        self.assertIn(problem + "Input/output error", check.stderr.decode())
                        self.assertTrue(played.stderr.startswith(UNABLE + path.encode() + b"\n"), played.stderr)
                        self.assertEqual(played.stdout.count(b"Loaded scene ("), 0 if "csv" in path else 2)


class Live(live_test.LiveWindow):
    """F12 on a disk that fails, with a shader that cannot be read, the strip full of scenes."""

    def test_f12_is_written_whole_or_not_at_all(self):
        scenes = "".join(line("tiles.vert", "gradient.frag", 35, 1) if k == 20 else
                         line("red.vert", "flat.frag" if k == 7 else "clock.frag", 1, 0.1 * (k % 3)) for k in range(40))
        args = ["-s", "320x180", "-r", "24", "--scene", "21", "--at", "0.25"]
        with mock.patch.dict(os.environ, faulty("read 1 EIO flat.frag", "write 1 ENOSPC frame-", "fsync 1 EIO frame-")):
            self.start(Workspace(scenes), ["--paused"] + args)
        self.wait_for(lambda: self.title().startswith("prismwafer-live: scene 21/40, tiles.vert, "), "scene 21")
        title = self.title()[len("prismwafer-live: "):]
        self.wait_for(lambda: "shaders/prog.csv:8: cannot read the fragment shader shaders/flat.frag: Input/output "
                      "error\n" in self.err, "the unreadable shader in --check's words")
        for reason in ("No space left on device", "Input/output error"):
            self.key("F12", title)
            self.wait_for(lambda: any(l.endswith(": " + reason + "\n") for l in self.err), "F12's failure: " + reason)
            self.assertEqual([name for name in os.listdir(self.workspace.path) if name.startswith("frame-")], [])
        self.key("F12", title)
        name = self.wait_line(0, "Wrote frame-").split()[1][:-1]
        self.assertEqual(read_png(self.workspace.file(name)), self.render(args))
        self.assertRegex("".join(self.err), r"prismwafer-live: cannot write frame-\d+-320x180\.png: No space left on ")


if __name__ == "__main__":
    LIBRARY, RENDERER, PLAYER, live_test.LIVE = (os.path.abspath(path) for path in sys.argv[1:5])
    live_test.RENDERER = RENDERER
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
