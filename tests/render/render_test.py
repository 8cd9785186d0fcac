#!/usr/bin/env python3
"""End-to-end tests of the built renderer, headless: frame counts, ranges, PNG and y4m output,
the player's pixels, statuses, and failures half-way.

usage: render_test.py RENDERER PLAYER [TestClass ...]
"""
import glob
import os
import pty
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import Workspace, is_red, line, lit_box, read_png, run_in, to_rgb  # noqa: E402

RENDERER = PLAYER = None

# Colour from the texture coordinate and the instance: every pixel tells where it came from.
GRADIENT_VERTEX = """#version 450 core
layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;
uniform mat4 mvp;
out vec2 uv;
void main() { gl_Position = mvp * position; uv = texCoord; }
"""
GRADIENT_FRAGMENT = """#version 450 core
in vec2 uv;
out vec4 color;
void main() { color = vec4(uv, 0.25, 0.5); }
"""
# A solid colour that changes with time, so that frames can be told apart.
CLOCK_FRAGMENT = """#version 450 core
uniform float time;
out vec4 color;
void main() { color = vec4(1.0, fract(time), 0.0, 1.0); }
"""
SHADERS = {"gradient.vert": GRADIENT_VERTEX, "gradient.frag": GRADIENT_FRAGMENT,
           "clock.frag": CLOCK_FRAGMENT}
TRY_HELP = b"Try 'prismwafer-render --help' for more information.\n"


def render(workspace, *args, **kwargs):
    return run_in(workspace, RENDERER, args=args, **kwargs)


def ffprobe(path, *entries):
    result = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries",
                             "stream=" + ",".join(entries), "-of", "default=noprint_wrappers=1", path],
                            capture_output=True, text=True, check=True, timeout=120)
    return dict(item.split("=", 1) for item in result.stdout.split())


class Frames(unittest.TestCase):
    """Which frames come out, and what is in them."""

    def setUp(self):
        # 0.5 s then 0.25 s: at 10 fps, frames 0..6 and 7..9.
        self.workspace = Workspace(line("red.vert", "clock.frag", 1, 0.5) + line("red.vert", "red.frag", 1, 0.25),
                                   SHADERS)

    def tearDown(self):
        self.workspace.remove()

    def path(self, name):
        return os.path.join(self.workspace.path, name)

    def test_frame_counts_follow_the_strict_boundary(self):
        result = render(self.workspace, "-r", "10", "-s", "64x36", "-o", "seq/%05d.png")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(self.path("seq"))), ["%05d.png" % k for k in range(10)])
        result = render(self.workspace, "-r", "10", "-s", "64x36", "-o", "video.y4m")
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(self.path("video.y4m"), "rb") as f:
            video = f.read()
        header = b"YUV4MPEG2 W64 H36 F10:1 Ip A1:1 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED\n"
        self.assertTrue(video.startswith(header))
        self.assertEqual(len(video), len(header) + 10 * (len(b"FRAME\n") + 64 * 36 * 3 // 2))
        probe = ffprobe(self.path("video.y4m"), "width", "height", "nb_read_frames", "r_frame_rate", "pix_fmt")
        self.assertEqual(probe, {"width": "64", "height": "36", "nb_read_frames": "10", "r_frame_rate": "10/1",
                                 "pix_fmt": "yuv420p"})
        # The same stream on standard output, byte for byte, and nothing else there.
        streamed = render(self.workspace, "-r", "10", "-s", "64x36", "-o", "-")
        self.assertEqual(streamed.returncode, 0, streamed.stderr)
        self.assertEqual(streamed.stdout, video)
        self.assertIn(b"Loaded scene (shaders/red.vert, shaders/clock.frag, 1, 0.5)\n", streamed.stderr)

    def test_at_and_ranges_pick_the_same_frames_as_the_whole_run(self):
        self.assertEqual(render(self.workspace, "-r", "10", "-s", "64x36", "-o", "all/%03d.png").returncode, 0)
        at = render(self.workspace, "-r", "10", "-s", "64x36", "--at", "0.55", "-o", "still.png")
        self.assertEqual(at.returncode, 0, at.stderr)
        part = render(self.workspace, "-r", "10", "-s", "64x36", "--from", "0.3", "--to", "0.7", "-o", "part/%03d.png")
        self.assertEqual(part.returncode, 0, part.stderr)
        self.assertEqual(sorted(os.listdir(self.path("part"))), ["003.png", "004.png", "005.png", "006.png"])

        def pixels(name):
            return read_png(self.path(name))
        self.assertEqual(pixels("still.png"), pixels("all/005.png"))
        for k in range(3, 7):
            self.assertEqual(pixels("part/%03d.png" % k), pixels("all/%03d.png" % k))
        # Frame 5 shows second 0.5 of the first scene; frame 6, still the first, 0.6.
        self.assertEqual(pixels("all/005.png")[2][3 * (18 * 64 + 32):3 * (18 * 64 + 32) + 3], bytes([255, 128, 0]))
        self.assertEqual(pixels("all/006.png")[2][3 * (18 * 64 + 32):3 * (18 * 64 + 32) + 3], bytes([255, 153, 0]))
        self.assertEqual(pixels("all/007.png")[2][3 * (18 * 64 + 32):3 * (18 * 64 + 32) + 3], bytes([255, 0, 0]))

    def test_png_has_the_size_and_the_quad_where_the_transform_puts_it(self):
        for size, box in (("1920x1080", (678, 1241, 259, 820)), ("640x360", (226, 413, 86, 273))):
            with self.subTest(size=size):
                result = render(self.workspace, "-s", size, "--at", "0.6", "-o", "quad.png")
                self.assertEqual(result.returncode, 0, result.stderr)
                width, height, rgb = read_png(self.path("quad.png"))
                self.assertEqual("%dx%d" % (width, height), size)
                bounds, count = lit_box((width, height, rgb), is_red)
                for got, want in zip(bounds, box):
                    self.assertAlmostEqual(got, want, delta=1)
                self.assertEqual(count, (bounds[1] - bounds[0] + 1) * (bounds[3] - bounds[2] + 1))
                self.assertEqual(rgb[:3], b"\0\0\0")

    def test_y4m_colours_decode_back_to_the_frame(self):
        workspace = Workspace(line("gradient.vert", "gradient.frag", 1, 1), SHADERS)
        try:
            self.assertEqual(render(workspace, "-s", "320x180", "-r", "1", "-o", "v.y4m").returncode, 0)
            self.assertEqual(render(workspace, "-s", "320x180", "-r", "1", "--at", "0", "-o", "f.png").returncode, 0)
            decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", os.path.join(workspace.path, "v.y4m"),
                                      "-frames:v", "1", "-f", "image2pipe", "-vcodec", "ppm", "-"],
                                     capture_output=True, check=True, timeout=60).stdout
            width, height, video = to_rgb(decoded, "ppm")
            _, _, still = read_png(os.path.join(workspace.path, "f.png"))
            self.assertEqual((width, height), (320, 180))
            # Away from the quad's edges, where chroma is shared with neighbours, colours survive.
            for x, y in ((160, 90), (120, 60), (200, 120), (10, 10)):
                i = 3 * (y * width + x)
                for channel in range(3):
                    self.assertAlmostEqual(video[i + channel], still[i + channel], delta=4, msg=(x, y, channel))
        finally:
            workspace.remove()


class Statuses(unittest.TestCase):
    """Exit statuses and their one-line reasons."""

    def setUp(self):
        self.workspace = Workspace(line("red.vert", "red.frag", 1, 0.2) + line("gradient.vert", "gradient.frag", 2, 0.1),
                                   SHADERS)

    def tearDown(self):
        self.workspace.remove()

    def test_check_builds_every_scene_and_writes_nothing(self):
        result = render(self.workspace, "--check")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode(), "INFO: Running over OpenGL 4.5\n"
                         "Loaded scene (shaders/red.vert, shaders/red.frag, 1, 0.2)\n"
                         "Loaded scene (shaders/gradient.vert, shaders/gradient.frag, 2, 0.1)\n"
                         "Checked 2 scenes: no errors.\n")
        self.assertEqual(sorted(os.listdir(self.workspace.path)), ["shaders"])

        with open(os.path.join(self.workspace.path, "shaders", "bad.frag"), "w") as f:
            f.write("#version 450 core\nvoid main() { nonsense }\n")
        with open(os.path.join(self.workspace.path, "broken.csv"), "w") as f:
            f.write(line("red.vert", "bad.frag", 1, 1) + line("red.vert", "missing.frag", 1, 1) +
                    line("red.vert", "red.frag", 1, 1))
        result = render(self.workspace, "--check", "broken.csv")
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.decode().endswith("Checked 3 scenes: 2 do not build.\n"))
        err = result.stderr.decode()
        self.assertTrue(err.startswith("Unable to compile fragmentShader. OpenGL returned:\n"), err)
        self.assertIn("Unable to open file shaders/missing.frag\n", err)

        result = render(self.workspace, "--check", "nowhere.csv")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, b"Unable to open file nowhere.csv\n"
                                        b"prismwafer-render: cannot read the scene list nowhere.csv\n")

    def test_usage_errors_exit_2_with_a_reason_and_a_pointer_to_help(self):
        for args in (["--bogus"], [], ["-o", "x.y4m", "-r", "0"], ["-o", "x.y4m", "-s", "0x10"],
                     ["-o", "x.y4m", "--from", "2", "--to", "1"], ["-o", "x.y4m", "--fps"], ["-o", "x.gif"],
                     ["-o", "x.png"], ["-o", "x.y4m", "a.csv", "b.csv"]):
            with self.subTest(args=args):
                result = render(self.workspace, *args)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                lines = result.stderr.splitlines(keepends=True)
                self.assertEqual(len(lines), 2, result.stderr)
                self.assertTrue(lines[0].startswith(b"prismwafer-render: "))
                self.assertEqual(lines[1], TRY_HELP)
        result = render(self.workspace, "--help")
        self.assertEqual(result.returncode, 0)
        self.assertTrue(result.stdout.startswith(b"Usage: prismwafer-render [options] [SCENE_LIST]\n"))
        self.assertIn(b"-o, --output PATH", result.stdout)
        result = render(self.workspace, "--version")
        self.assertEqual((result.returncode, result.stdout[:18]), (0, b"prismwafer-render "))
        self.assertEqual(sorted(os.listdir(self.workspace.path)), ["shaders"])

    def test_without_an_opengl_4_5_context_nothing_is_rendered(self):
        for variable, value, reason in (
                ("MESA_GL_VERSION_OVERRIDE", "3.3", b"no OpenGL 4.5 core context is available"),
                ("__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent.json", b"no EGL display could be opened")):
            with self.subTest(variable=variable):
                result = render(self.workspace, "-o", "v.y4m", env=dict(os.environ, **{variable: value}))
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr, b"prismwafer-render: " + reason + b"\n")
                self.assertEqual(sorted(os.listdir(self.workspace.path)), ["shaders"])

    def test_a_scene_without_end_needs_to(self):
        with open(self.workspace.list_path(), "a") as f:
            f.write(line("red.vert", "red.frag", 1, "inf"))
        result = render(self.workspace, "-s", "32x32", "-r", "10", "-o", "v.y4m")
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stderr.endswith(
            b"prismwafer-render: scene 3 never ends (duration inf); give --to to say where to stop\n"))
        self.assertFalse(os.path.exists(os.path.join(self.workspace.path, "v.y4m")))
        self.assertFalse(os.path.exists(os.path.join(self.workspace.path, "v.y4m.partial")))
        result = render(self.workspace, "-s", "32x32", "-r", "10", "--to", "1", "-o", "f/%d.png")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(os.listdir(os.path.join(self.workspace.path, "f"))), 10)

    def test_past_the_end_and_empty_lists(self):
        result = render(self.workspace, "-r", "10", "--at", "5", "-o", "s.png")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"--at 5 is past the end of the sequence", result.stderr)
        with open(self.workspace.list_path(), "w"):
            pass
        result = render(self.workspace, "-o", "s.y4m")
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stderr.endswith(b"prismwafer-render: the scene list has no scenes to render\n"))
        self.assertEqual(sorted(os.listdir(self.workspace.path)), ["shaders"])

    def test_unwritable_outputs_fail_before_rendering(self):
        with open(os.path.join(self.workspace.path, "afile"), "w") as f:
            f.write("x")
        for output in ("afile/v.y4m", "afile/%05d.png", "/proc/prismwafer/still.png"):
            with self.subTest(output=output):
                args = ["--at", "0", "-o", output] if output.endswith("still.png") else ["-o", output]
                result = render(self.workspace, *args)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
                self.assertTrue(result.stderr.startswith(b"prismwafer-render: cannot "), result.stderr)
                self.assertNotIn(b"Loaded scene", result.stdout)

    def test_failures_half_way_leave_nothing_that_looks_complete(self):
        # A reader that goes away.
        reader = subprocess.Popen(["head", "-c", "1000"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        result = render(self.workspace, "-s", "320x180", "-o", "-", stdout=reader.stdin, stderr=subprocess.PIPE)
        reader.stdin.close()
        reader.wait()
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stderr.endswith(
            b"prismwafer-render: cannot write to standard output: Broken pipe\n"), result.stderr)
        # A full disk behind standard output.
        with open("/dev/full", "wb") as full:
            result = render(self.workspace, "-s", "32x32", "-o", "-", stdout=full, stderr=subprocess.PIPE)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"No space left on device", result.stderr)
        # A full disk under a video file, where a small file system can be mounted.
        mount = tempfile.mkdtemp()
        try:
            if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount],
                              capture_output=True).returncode != 0:
                self.skipTest("no tmpfs can be mounted here")
            # Leave room for a few frames only.
            with open(os.path.join(mount, "filler"), "wb") as f:
                f.write(b"x" * (1024 - 24) * 1024)
            for output in ("v.y4m", "f/%03d.png"):
                result = render(self.workspace, "-s", "200x200", "-o", os.path.join(mount, output))
                self.assertEqual(result.returncode, 1, output)
                self.assertIn(b"No space left on device", result.stderr)
                self.assertEqual(glob.glob(os.path.join(mount, "**", "*.partial"), recursive=True), [])
                self.assertFalse(os.path.exists(os.path.join(mount, "v.y4m")))
                for png in glob.glob(os.path.join(mount, "f", "*.png")):
                    self.assertEqual(read_png(png)[:2], (200, 200))
        finally:
            subprocess.run(["umount", mount], capture_output=True)
            os.rmdir(mount)

    def test_progress_only_on_a_terminal(self):
        quiet = render(self.workspace, "-s", "32x32", "-o", "v.y4m")
        self.assertNotIn(b"frame ", quiet.stderr)
        controller, terminal = pty.openpty()
        try:
            result = render(self.workspace, "-s", "32x32", "-o", "v.y4m", stderr=terminal, stdout=subprocess.PIPE)
            os.close(terminal)
            terminal = None
            shown = b""
            while True:
                try:
                    chunk = os.read(controller, 65536)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
        finally:
            os.close(controller)
            if terminal is not None:
                os.close(terminal)
        self.assertEqual(result.returncode, 0)
        self.assertIn(b"\rframe 21/21 ", shown)
        with_q = render(self.workspace, "-q", "-s", "32x32", "-o", "v.y4m", stderr=subprocess.PIPE,
                        stdout=subprocess.PIPE)
        self.assertNotIn(b"frame ", with_q.stderr)


if __name__ == "__main__":
    RENDERER = os.path.abspath(sys.argv[1])
    PLAYER = os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
