#!/usr/bin/env python3
"""End-to-end tests of the built renderer, headless: which frames come out and what is in them,
PNG and y4m output, statuses, and failures half-way.

usage: render_test.py RENDERER [TestClass ...]
"""
import os
import pty
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import Workspace, line, pixel, read_png, run_in, to_rgb  # noqa: E402

RENDERER = None
# 0.5 s then 0.25 s: at 10 fps, frames 0..6 show the first scene, 7..9 the second.
TWO_SCENES = line("red.vert", "clock.frag", 1, 0.5) + line("red.vert", "red.frag", 1, 0.25)


def render(workspace, *args, **kwargs):
    return run_in(workspace, RENDERER, args=args, **kwargs)


class Frames(unittest.TestCase):
    def setUp(self):
        self.workspace = Workspace(TWO_SCENES)

    def tearDown(self):
        self.workspace.remove()

    def test_every_output_carries_the_same_frames(self):
        small = ("-r", "10", "-s", "64x36")
        for output in ("seq/%05d.png", "video.y4m", "-"):
            # Started with standard input closed, as some schedulers do: its files get descriptor 0.
            result = render(self.workspace, *small, "-o", output, preexec_fn=lambda: os.close(0))
            self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(self.workspace.file("seq"))), ["%05d.png" % k for k in range(10)])
        with open(self.workspace.file("video.y4m"), "rb") as f:
            video = f.read()
        header = b"YUV4MPEG2 W64 H36 F10:1 Ip A1:1 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED\n"
        self.assertTrue(video.startswith(header))
        self.assertEqual(len(video), len(header) + 10 * (len(b"FRAME\n") + 64 * 36 * 3 // 2))
        probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                "stream=width,height,nb_read_frames,r_frame_rate,pix_fmt", "-of", "csv=p=0",
                                self.workspace.file("video.y4m")], capture_output=True, text=True, timeout=60)
        self.assertEqual(probe.stdout.strip(), "64,36,yuv420p,10/1,10")
        # The same stream on standard output, byte for byte, every message moved to standard error.
        self.assertEqual(result.stdout, video)
        self.assertIn(b"Loaded scene (shaders/red.vert, shaders/clock.frag, 1, 0.5)\n", result.stderr)
        # --at picks the frame the whole run writes: frame 5 shows second 0.5 of the first scene,
        # frame 6 still the first at 0.6, frame 7 the second.
        self.assertEqual(render(self.workspace, *small, "--at", "0.55", "-o", "still.png").returncode, 0)
        frame = [read_png(self.workspace.file("seq/%05d.png" % k)) for k in range(10)]
        self.assertEqual(read_png(self.workspace.file("still.png")), frame[5])
        self.assertEqual([pixel(frame[k], 32, 18) for k in (5, 6, 7)], [(255, 128, 0), (255, 153, 0), (255, 0, 0)])

    def test_y4m_colours_decode_back_to_the_frame(self):
        self.workspace.write_list(line("gradient.vert", "gradient.frag", 1, 1))
        for output in (["-o", "v.y4m"], ["--at", "0", "-o", "f.png"]):
            self.assertEqual(render(self.workspace, "-s", "320x180", "-r", "1", *output).returncode, 0)
        decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", self.workspace.file("v.y4m"), "-frames:v", "1",
                                  "-f", "image2pipe", "-vcodec", "ppm", "-"], capture_output=True, check=True,
                                 timeout=60).stdout
        video, still = to_rgb(decoded, "ppm"), read_png(self.workspace.file("f.png"))
        self.assertEqual(video[:2], (320, 180))
        # Away from the quad's edges, where chroma is shared with neighbours, colours survive.
        for x, y in ((160, 90), (120, 60), (200, 120), (10, 10)):
            for got, want in zip(pixel(video, x, y), pixel(still, x, y)):
                self.assertAlmostEqual(got, want, delta=4, msg=(x, y))


class Statuses(unittest.TestCase):
    """Exit statuses and their one-line reasons."""

    def setUp(self):
        self.workspace = Workspace(line("red.vert", "red.frag", 1, 0.2) + line("gradient.vert", "gradient.frag", 2, 0.1))

    def tearDown(self):
        self.workspace.remove()

    def test_check_and_the_command_line(self):
        # Headless: no display server to talk to at all.
        no_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        result = render(self.workspace, "--check", env=no_display)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode(), "INFO: Running over OpenGL 4.5\n"
                         "Loaded scene (shaders/red.vert, shaders/red.frag, 1, 0.2)\n"
                         "Loaded scene (shaders/gradient.vert, shaders/gradient.frag, 2, 0.1)\n"
                         "Checked 2 scenes: no errors.\n")
        result = render(self.workspace, "--check", "nowhere.csv")
        self.assertEqual((result.returncode, result.stderr.decode()), (1, "Unable to open file nowhere.csv\n"
                         "prismwafer-render: cannot read the scene list nowhere.csv: No such file or directory, "
                         "looked for in %s; -C DIR works in another folder\n" % os.path.realpath(self.workspace.path)))
        # Each mistake the parser knows is a unit test; what the program prints for one, a hostile one.
        result = render(self.workspace, "--help")
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.startswith(b"Usage: prismwafer-render [options] [SCENE_LIST]\n"))
        self.assertEqual(render(self.workspace, "-V").stdout[:18], b"prismwafer-render ")
        self.assertEqual(self.workspace.listing(), ["shaders"])

    def test_what_cannot_be_done_is_refused_before_anything_is_written(self):
        self.workspace.write("afile", "x")
        for env, args, reason in (
                ({"MESA_GL_VERSION_OVERRIDE": "3.3"}, ["-o", "v.y4m"], b"no OpenGL 4.5 core context is available\n"),
                ({"__EGL_VENDOR_LIBRARY_FILENAMES": "/nonexistent.json"}, ["-o", "v.y4m"],
                 b"no EGL display could be opened\n"),
                # Displays there are, but none that starts without its driver.
                ({"LIBGL_DRIVERS_PATH": "/nonexistent", "EGL_LOG_LEVEL": "fatal"}, ["-o", "v.y4m"], b"no EGL display could be opened\n"),
                ({}, ["-o", "afile/v.y4m"], b"cannot "), ({}, ["-o", "afile/%05d.png"], b"cannot "),
                ({}, ["--at", "0", "-o", "/proc/prismwafer/still.png"], b"cannot ")):
            with self.subTest(args=args, env=env):
                result = render(self.workspace, *args, env=dict(os.environ, **env))
                self.assertEqual((result.returncode, result.stderr.count(b"\n")), (1, 1), result.stderr)
                self.assertTrue(result.stderr.startswith(b"prismwafer-render: " + reason), result.stderr)
                self.assertNotIn(b"Loaded scene", result.stdout)
        self.assertEqual(self.workspace.listing(), ["afile", "shaders"])
        # A scene without end needs to be told where to stop.
        with open(self.workspace.list_path(), "a") as f:
            f.write(line("red.vert", "red.frag", 1, "inf"))
        result = render(self.workspace, "-s", "32x32", "-r", "10", "-o", "v.y4m")
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stderr.endswith(
            b"prismwafer-render: scene 3 never ends (duration inf); give --to to say where to stop\n"))
        self.assertEqual(self.workspace.listing(), ["afile", "shaders"])
        self.assertEqual(render(self.workspace, "-s", "32x32", "-r", "10", "--to", "1", "-o", "f/%d.png").returncode, 0)
        self.assertEqual(len(os.listdir(self.workspace.file("f"))), 10)

    def test_failures_half_way_leave_nothing_that_looks_complete(self):
        # A reader that goes away.
        reader = subprocess.Popen(["head", "-c", "1000"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        result = render(self.workspace, "-s", "320x180", "-o", "-", stdout=reader.stdin, stderr=subprocess.PIPE)
        reader.stdin.close()
        reader.wait()
        self.assertTrue(result.stderr.endswith(b"prismwafer-render: cannot write to standard output: Broken pipe\n"))
        # Full disks, failing syncs and renames: tests/hardening/fault_test.py injects them.

    def test_progress_only_on_a_terminal_without_q(self):
        for args, expected in (([], b"\rframe 21/21 "), (["-q"], b"")):
            controller, terminal = pty.openpty()
            result = render(self.workspace, "-s", "32x32", "-o", "v.y4m", *args, stderr=terminal, stdout=subprocess.PIPE)
            os.close(terminal)
            shown = b""
            try:
                while chunk := os.read(controller, 65536):
                    shown += chunk
            except OSError:  # the other end is closed
                pass
            os.close(controller)
            self.assertEqual(result.returncode, 0)
            self.assertTrue(expected in shown if expected else shown == b"", shown)
        self.assertNotIn(b"frame ", render(self.workspace, "-s", "32x32", "-o", "v.y4m").stderr)


if __name__ == "__main__":
    RENDERER = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
