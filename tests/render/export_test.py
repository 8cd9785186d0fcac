#!/usr/bin/env python3
"""End-to-end tests of the renderer as a checker and exporter: the strict --check, refusing broken
scenes, -q, ranges that tile, --scene, -C, finished video through ffmpeg, and signals.

usage: export_test.py RENDERER [TestClass ...]
"""
import fcntl
import json
import os
import re
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import termios
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import Workspace, line, read_png, run_in, wait_for  # noqa: E402

RENDERER = None
BAD_FRAGMENT = "#version 450 core\nout vec4 color;\nvoid main() {\n  color = vec4(1.0) nonsense;\n}\n"
UNMATCHED_FRAGMENT = "#version 450 core\nin vec3 nowhere;\nout vec4 color;\nvoid main() { color = vec4(nowhere, 1); }\n"
FOREIGN_FRAGMENT = "#version 450 core\nuniform float iTime;\nout vec4 color;\nvoid main() { color = vec4(iTime); }\n"
SHADERS = {"bad.frag": BAD_FRAGMENT, "unmatched.frag": UNMATCHED_FRAGMENT,
           "empty.frag": "", "foreign.frag": FOREIGN_FRAGMENT, "bom.frag": "\ufeff" + FOREIGN_FRAGMENT,
           "unversioned.frag": FOREIGN_FRAGMENT.split("\n", 1)[1]}
# At 10 fps, frames 0..5, 6..8 and 9..12; the third scene's time starts at frame 8's reading.
THREE_SCENES = line("red.vert", "clock.frag", 1, 0.45) + line("red.vert", "red.frag", 1, 0.25) + \
    line("red.vert", "clock.frag", 1, 0.35)


def render(workspace, *args, **kwargs):
    return run_in(workspace, RENDERER, args=("-r", "10", "-s", "64x36") + args, **kwargs)


def y4m_frames(path):
    with open(path, "rb") as f:
        return f.read().split(b"FRAME\n")[1:]


class ExportCase(unittest.TestCase):
    def setUp(self):
        self.workspace = Workspace(THREE_SCENES, SHADERS)

    def tearDown(self):
        self.workspace.remove()

    def path(self, *names):
        return os.path.join(self.workspace.path, *names)


class Check(ExportCase):
    def test_every_problem_on_a_line_that_says_where(self):
        listed = (line("red.vert", "red.frag", "3,600", 1) + "shaders/red.vert shaders/red.frag 1 1\n" +
                  "shaders/red.vert,shaders/red.frag,1,1\n" + line("red.vert", "red.frag", "", "12s") +
                  line("red.vert", "red.frag", "9999999999", "1e39") + line("red.vert", "red.frag", -1, -2) +
                  "\t \n" + line("red.vert", "missing.frag", 1, 1) + line("red.vert", "empty.frag", 1, 1) +
                  line("red.vert", "bad.frag", 1, 1) + line("red.vert", "unmatched.frag", 1, 1) +
                  line("red.vert", "red.frag", 1, "inf").replace("\n", "\r\n") +
                  line("red.vert", "foreign.frag", 1, 1) + line("red.vert", "bom.frag", 1, 1) +
                  line("red.vert", "unversioned.frag", 1, 1) + line("red.vert", "red.frag", 2000000, 1))
        with open(self.path("hostile.csv"), "w") as f:
            f.write(listed)
        result = render(self.workspace, "-q", "--check", "hostile.csv")
        self.assertEqual(result.returncode, 1)
        tabs = "skipped: found 1 field, a scene needs 4 separated by tabs (vertex shader, fragment shader, " \
               "instances, seconds); this line has "
        problems = result.stderr.decode().splitlines()
        self.assertEqual(problems[:11], [
            "hostile.csv:1: instance count '3,600' has ',600' after the number, which is ignored (read as 3)",
            "hostile.csv:2: " + tabs + "spaces where tabs belong",
            "hostile.csv:3: " + tabs + "commas where tabs belong",
            "hostile.csv:4: instance count is empty (read as 0)",
            "hostile.csv:4: duration '12s' has 's' after the number, which is ignored (read as 12)",
            "hostile.csv:5: instance count '9999999999' is out of range: from 0 to 2147483647 (read as 2147483647)",
            "hostile.csv:5: duration '1e39' is out of range: more seconds than a float holds (read as inf)",
            "hostile.csv:6: instance count '-1' is out of range: from 0 to 2147483647 (read as -1)",
            "hostile.csv:6: duration '-2' is negative: a scene lasts 0 seconds or more (read as -2)",
            "hostile.csv:8: cannot read the fragment shader shaders/missing.frag: No such file or directory",
            "hostile.csv:9: the fragment shader shaders/empty.frag is empty"])
        # The driver's compile log, placed in the file; the link's, on the list line that pairs the two.
        self.assertRegex(problems[11], r"^shaders/bad\.frag:4:\d+: error: \S")
        self.assertEqual(len(problems), 19)
        self.assertRegex(problems[12], r"^hostile\.csv:11: linking shaders/red\.vert with shaders/unmatched\.frag: "
                                       r"error: .*`nowhere'")
        # Warnings: a uniform nothing sets, and more instances than a frame can draw in good time; hints
        # before the driver's words where they do not say what to change.
        self.assertEqual(problems[13], "shaders/foreign.frag:2: uniform 'iTime' is never set (only mvp and time are); "
                                       "it stays 0")
        self.assertEqual(problems[14], "shaders/bom.frag:1: the file starts with a UTF-8 byte-order mark, which the "
                                       "driver reads before #version; save it without the mark")
        self.assertEqual(problems[16], "shaders/unversioned.frag:1: no #version line first: a scene's shaders start "
                                       "with '#version 450 core'")
        self.assertTrue(problems[15].startswith("shaders/bom.frag:1:") and problems[17].startswith("shaders/unversioned"))
        self.assertEqual(problems[18], "hostile.csv:16: 2000000 instances are more than 1000000: each frame draws the "
                                       "quad that often, which can take seconds")
        self.assertEqual(result.stdout.decode().splitlines(), [
            "hostile.csv:8: scene 5 does not build (shaders/red.vert, shaders/missing.frag)",
            "hostile.csv:9: scene 6 does not build (shaders/red.vert, shaders/empty.frag)",
            "hostile.csv:10: scene 7 does not build (shaders/red.vert, shaders/bad.frag)",
            "hostile.csv:11: scene 8 does not build (shaders/red.vert, shaders/unmatched.frag)",
            "hostile.csv:14: scene 11 does not build (shaders/red.vert, shaders/bom.frag)",
            "hostile.csv:15: scene 12 does not build (shaders/red.vert, shaders/unversioned.frag)",
            "Checked 13 scenes: 6 do not build, 9 problems in the list, 2 warnings."])
        # The list's own mark, and a list given from elsewhere whose paths are beside it.
        os.mkdir(self.path("elsewhere"))
        os.rename(self.path("shaders"), self.path("elsewhere", "shaders"))
        with open(self.path("elsewhere", "prog.csv"), "w") as f:
            f.write("\ufeff" + line("red.vert", "red.frag", 1, 1))
        problems = render(self.workspace, "-q", "--check", "elsewhere/prog.csv").stderr.decode().splitlines()
        self.assertEqual(problems[:2], [
            "elsewhere/prog.csv:1: the list starts with a UTF-8 byte-order mark, which is read as part of the first "
            "path; save the list without it",
            "elsewhere/prog.csv:1: cannot read the vertex shader \ufeffshaders/red.vert: No such file or directory",
        ])
        self.assertTrue(problems[2].endswith("fragment shader shaders/red.frag: No such file or directory; the list's "
                                             "paths are read from the working folder, and elsewhere/shaders/red.frag "
                                             "is there (-C elsewhere works from there)"), problems[2])

    def test_quiet_means_silent_and_broken_scenes_stop_a_render(self):
        for args in (["--check"], ["-r", "30000/1001", "-o", "v.y4m"], ["--scene", "2", "--at", "0.1", "-o", "s.png"]):
            with self.subTest(args=args):
                result = render(self.workspace, "-q", *args)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
        with open(self.path("v.y4m"), "rb") as f:
            self.assertIn(b" F30000:1001 ", f.readline())
        with open(self.workspace.list_path(), "a") as f:
            f.write(line("red.vert", "bad.frag", 1, 0.2))
        result = render(self.workspace, "-q", "-o", "-", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual((result.returncode, result.stdout), (1, b""))
        self.assertEqual(result.stderr.decode().splitlines()[-2:], [
            "prismwafer-render: scene 4 does not build (shaders/red.vert, shaders/bad.frag)",
            "prismwafer-render: nothing written; --allow-broken renders broken scenes anyway"])
        # The folders made for a failed render go with it; those that were there stay.
        os.mkdir(self.path("kept"))
        self.assertEqual(render(self.workspace, "-q", "-o", "kept/made/deeper/%02d.png").returncode, 1)
        self.assertEqual(os.listdir(self.path("kept")), [])
        # A range that does not reach the broken scene renders.
        self.assertEqual(render(self.workspace, "-q", "--to", "1", "-o", "f/%02d.png").returncode, 0)
        self.assertEqual(len(os.listdir(self.path("f"))), 10)
        result = render(self.workspace, "-q", "--allow-broken", "-o", "v.y4m")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stderr.decode(), r"^shaders/bad\.frag:4:\d+: error: ")
        self.assertEqual(len(y4m_frames(self.path("v.y4m"))), 16)


class Ranges(ExportCase):
    def test_adjoining_ranges_tile_the_sequence(self):
        for args in (["-o", "all.y4m"], ["--to", "0.7", "-o", "a.y4m"], ["--from", "0.7", "-o", "b.y4m"]):
            self.assertEqual(render(self.workspace, "-q", *args).returncode, 0, args)
        whole = y4m_frames(self.path("all.y4m"))
        self.assertEqual([len(y4m_frames(self.path(name))) for name in ("all.y4m", "a.y4m", "b.y4m")], [13, 7, 6])
        self.assertEqual(y4m_frames(self.path("a.y4m")) + y4m_frames(self.path("b.y4m")), whole)

    def test_scene_by_number_in_its_own_time_from_another_folder(self):
        self.assertEqual(render(self.workspace, "-q", "-o", "all/%02d.png").returncode, 0)
        elsewhere = tempfile.mkdtemp()
        try:
            result = subprocess.run([RENDERER, "-q", "-r", "10", "-s", "64x36", "-C", self.workspace.path, "--scene",
                                     "3", "-o", "s/%02d.png"], cwd=elsewhere, capture_output=True, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(os.listdir(elsewhere), [])
        finally:
            os.rmdir(elsewhere)
        self.assertEqual(sorted(os.listdir(self.path("s"))), ["%02d.png" % k for k in range(9, 13)])
        for k in range(9, 13):
            self.assertEqual(read_png(self.path("s", "%02d.png" % k)), read_png(self.path("all", "%02d.png" % k)))
        # With --at, the seconds are the scene's own: scene 3's time 0.2 is frame 10, green 0.2. Which
        # frame each second picks, and what is past a scene's end, is the clock's unit test.
        self.assertEqual(render(self.workspace, "-q", "--scene", "3", "--at", "0.2", "-o", "p.png").returncode, 0)
        self.assertEqual(read_png(self.path("p.png")), read_png(self.path("all", "10.png")))
        self.assertEqual(read_png(self.path("p.png"))[2][3 * (18 * 64 + 32):][:3], bytes([255, 51, 0]))


class Video(ExportCase):
    def test_finished_video_with_the_soundtrack_cut_to_the_range(self):
        # A tone only from second 0.5 to 0.8 of the soundtrack: a range from 0.5 starts with it.
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                        "aevalsrc=if(between(t\\,0.5\\,0.8)\\,0.8*sin(2*PI*440*t)\\,0):s=48000:d=3",
                        self.path("tone.wav")], check=True, timeout=60)
        for name, video, audio in (("v.mp4", "h264", "aac"), ("v.webm", "vp9", "opus")):
            with self.subTest(output=name):
                result = render(self.workspace, "-q", "--from", "0.5", "--crf", "30", "--audio", "tone.wav", "-o", name)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
                probe = json.loads(subprocess.run(
                    ["ffprobe", "-v", "error", "-count_frames", "-of", "json", "-show_entries",
                     "stream=codec_name,pix_fmt,nb_read_frames,r_frame_rate:format=duration", self.path(name)],
                    capture_output=True, check=True, timeout=60).stdout)
                streams = probe["streams"]
                self.assertEqual([stream["codec_name"] for stream in streams], [video, audio])
                self.assertEqual([streams[0][key] for key in ("pix_fmt", "r_frame_rate", "nb_read_frames")],
                                 ["yuv420p", "10/1", "8"])
                self.assertAlmostEqual(float(probe["format"]["duration"]), 0.8, delta=0.05)
                samples = subprocess.run(["ffmpeg", "-v", "error", "-i", self.path(name), "-map", "0:a", "-ac", "1",
                                          "-ar", "8000", "-f", "s16le", "-"], capture_output=True, check=True,
                                         timeout=60).stdout
                loudness = [max(abs(int.from_bytes(samples[i:i + 2], "little", signed=True))
                                for i in range(2 * start, 2 * (start + 800), 2)) for start in (800, 4000)]
                self.assertGreater(loudness[0], 10000)
                self.assertLess(loudness[1], 500)
        self.assertEqual(sorted(os.listdir(self.workspace.path)), ["shaders", "tone.wav", "v.mp4", "v.webm"])

    def test_check_reads_the_soundtrack_in_every_format(self):
        # The three scenes last 1.3 s at 10 fps: the tone's 3 s cover them, half a second does not.
        for seconds, name in ((3, "tone.flac"), (3, "tone.ogg"), (3, "tone.opus"), (3, "tone.mp3"), (0.5, "short.wav")):
            subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=440:d=%g" % seconds, "-ac", "2",
                            self.path(name)], check=True, timeout=60)
            result = render(self.workspace, "-q", "--check", "--audio", name)
            with self.subTest(soundtrack=name):
                expected = (0, "") if seconds == 3 else (1, "short.wav: the soundtrack is 0.500 s long, the sequence "
                                                            "1.300 s: its end plays in silence\n")
                self.assertEqual((result.returncode, result.stderr.decode()), expected)
        with open(self.path("noise.ogg"), "wb") as f:
            f.write(bytes(range(256)) * 16)
        result = render(self.workspace, "-q", "--check", "--audio", "noise.ogg")
        self.assertEqual((result.returncode, result.stderr.decode()),
                         (1, "cannot read the soundtrack noise.ogg: Format not recognised.\n"))

    def test_a_failing_or_missing_ffmpeg_leaves_nothing_complete(self):
        fake = self.path("bin", "ffmpeg")
        os.mkdir(self.path("bin"))
        with open(fake, "w") as f:
            f.write('#!/bin/sh\necho "$@" >> "$(dirname "$0")/asked"\nfor last; do :; done\nhead -c 5000 > "$last"\n'
                    'echo "something odd" >&2\necho "Conversion failed!" >&2\nexit 1\n')
        os.chmod(fake, stat.S_IRWXU)
        for path, args, reason in (
                (self.path("bin") + ":" + os.environ["PATH"], [],
                 "cannot write out.mp4: ffmpeg failed with exit status 1; its last lines:\nsomething odd\nConversion "
                 "failed!\n"),
                (self.path("shaders"), [], "ffmpeg is not installed (Debian package ffmpeg)\n"),
                (os.environ["PATH"], ["--audio", "none.wav"],
                 "cannot read the soundtrack none.wav: No such file or directory\n")):
            with self.subTest(path=path, args=args):
                result = render(self.workspace, "-q", "-o", "out.mp4", *args, env=dict(os.environ, PATH=path))
                self.assertEqual((result.returncode, result.stderr.decode()), (1, "prismwafer-render: " + reason))
                self.assertEqual(sorted(os.listdir(self.workspace.path)), ["bin", "shaders"])
        render(self.workspace, "-q", "-o", "out.webm", env=dict(os.environ, PATH=self.path("bin") + ":" + os.environ["PATH"]))
        with open(self.path("bin", "asked")) as f:
            asked = f.read().splitlines()
        # Without --crf, each codec is asked for the quality the usage names.
        self.assertIn("-c:v libx264 -preset medium -crf 18 ", asked[0])
        self.assertIn("-c:v libvpx-vp9 -crf 31 ", asked[-1])


class Interrupted(ExportCase):
    def test_a_signal_stops_the_render_and_takes_away_what_it_began(self):
        self.workspace.write_list(line("red.vert", "clock.frag", 1, 100000))
        os.mkdir(self.path("kept"))
        # Standard output into a pipe that is never read: the stream's writes block.
        pipe_end, stdout_end = os.pipe()
        self.addCleanup(os.close, pipe_end)
        self.addCleanup(os.close, stdout_end)
        last = -1
        held = lambda: struct.unpack("i", fcntl.ioctl(pipe_end, termios.FIONREAD, b"\0" * 4))[0]
        for output, sign, begun, left in (
                ("kept/made/v.y4m", signal.SIGINT, "kept/made/v.y4m.partial",
                 "removed kept/made/v.y4m.partial and the folder kept/made/"),
                ("v.mp4", signal.SIGINT, "v.mp4.partial", "removed v.mp4.partial"),
                ("f/%05d.png", signal.SIGTERM, "f/00002.png", r"kept the finished frames f/00000\.png to f/(\d+)\.png"),
                ("-", signal.SIGHUP, None, r"the video on standard output is cut short after \d+ frames")):
            with self.subTest(output=output):
                process = subprocess.Popen([RENDERER, "-q", "-r", "10", "-s", "320x180", "-o", output], cwd=self.path(),
                                           stdout=stdout_end, stderr=subprocess.PIPE, start_new_session=True)
                self.addCleanup(process.kill)
                if begun:
                    wait_for(begun + " to be written", lambda: os.path.exists(self.path(begun)))
                else:
                    # Past the stream's header: inside the write of a frame larger than the pipe holds.
                    wait_for("a pipe half full", lambda: held() >= fcntl.fcntl(pipe_end, fcntl.F_GETPIPE_SZ) // 2)
                # As Ctrl-C does, the whole process group is signalled, ffmpeg with it.
                os.killpg(process.pid, sign)
                stderr = process.communicate(timeout=60)[1].decode()
                self.assertEqual(process.returncode, 128 + sign, stderr)
                found = re.fullmatch("prismwafer-render: interrupted by %s; %s\n" % (sign.name, left), stderr)
                self.assertTrue(found, stderr)
                if found.groups():
                    last = int(found.group(1))
        # The finished frames stay, in a row from the first, so that a rerun can go on from the next.
        self.assertEqual(sorted(os.listdir(self.path())), ["f", "kept", "shaders"])
        self.assertEqual(os.listdir(self.path("kept")), [])
        self.assertEqual(sorted(os.listdir(self.path("f"))), ["%05d.png" % k for k in range(last + 1)])
        self.assertEqual(read_png(self.path("f", "%05d.png" % last))[:2], (320, 180))

    def test_a_sequence_stopped_after_its_first_frame_keeps_that_frame(self):
        # The second frame is held: its file is a pipe that nobody reads, whose opening waits until
        # the signal cuts it short. The first frame is quick and every later one takes over a
        # second, so that the signal comes before any after the second is done.
        self.workspace.write("shaders/slow.frag", "#version 450 core\nuniform float time;\nout vec4 color;\nvoid main() {\n"
                             "  float v = time;\n  for (int j = 0; j < (time > 0.0 ? 400 : 1); ++j)\n"
                             "    for (int i = 0; i < 10000; ++i) v = sin(v * 3.1 + float(i) * time);\n"
                             "  color = vec4(v, 0.0, 0.0, 1.0);\n}\n")
        self.workspace.write_list(line("flat.vert", "slow.frag", 1, 100000))
        os.mkdir(self.path("f"))
        os.mkfifo(self.path("f", "00001.png.partial"))
        process = subprocess.Popen([RENDERER, "-q", "-r", "10", "-s", "160x90", "-o", "f/%05d.png"], cwd=self.path(),
                                   stderr=subprocess.PIPE)
        self.addCleanup(process.kill)
        wait_for("the first frame", lambda: os.path.exists(self.path("f", "00000.png")), every=0.01)
        process.send_signal(signal.SIGTERM)
        stderr = process.communicate(timeout=60)[1].decode()
        self.assertEqual((process.returncode, stderr),
                         (128 + signal.SIGTERM, "prismwafer-render: interrupted by SIGTERM; kept the finished frames "
                          "f/00000.png\n"))
        self.assertEqual(sorted(os.listdir(self.path("f"))), ["00000.png", "00001.png.partial"])

if __name__ == "__main__":
    RENDERER = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
