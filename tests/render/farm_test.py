#!/usr/bin/env python3
"""End-to-end tests of parts and joins: parts of y4m, video and PNG joined and held against the
whole render, refusals that name the part, reruns that skip what is complete, and the parts drawn
by real schedulers: a Slurm job array on a one-node cluster of the test's own, and GNU parallel.

usage: farm_test.py RENDERER [TestClass ...]
"""
import os
import shutil
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import Workspace, line, read_png, run_in, wait_for  # noqa: E402
from farm import SlurmCluster  # noqa: E402

RENDERER = None
# 13 frames at 10 fps: tiles in a gradient that move with time, then a colour that changes.
SCENES = line("tiles.vert", "gradient.frag", 40, 0.45) + line("red.vert", "clock.frag", 1, 0.8)
SETTINGS = ("-q", "-r", "10", "-s", "64x36")


class FarmCase(unittest.TestCase):
    def setUp(self):
        self.workspace = Workspace(SCENES)

    def tearDown(self):
        self.workspace.remove()

    def path(self, name):
        return self.workspace.file(name)

    def render(self, *args, settings=SETTINGS):
        result = run_in(self.workspace, RENDERER, args=settings + args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.decode()

    def join(self, *args):
        # Standard input closed, as some schedulers leave it: the joined file gets descriptor 0.
        return run_in(self.workspace, RENDERER, args=("--join",) + args, preexec_fn=lambda: os.close(0))

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def parts(self, pattern, count=3, *args):
        for k in range(1, count + 1):
            self.render("--part", "%d/%d" % (k, count), "-o", pattern % k, *args)
        return [pattern % k for k in range(1, count + 1)]


class Join(FarmCase):
    def test_parts_joined_are_the_whole_render(self):
        self.render("-o", "whole.y4m", "--from", "0.5")
        parts = self.parts("p%d.y4m", 3, "--from", "0.5")
        result = self.join("-o", "joined.y4m", *parts)
        self.assertEqual(result.stdout.decode(), "Joined 3 parts into joined.y4m: 10 frames, 5 to 14, 64x36 at 10 fps\n")
        self.assertEqual(self.read("joined.y4m"), self.read("whole.y4m"))
        self.assertEqual([self.read(p).count(b"FRAME\n") for p in parts], [3, 3, 4])
        # At the encoders' highest quality a frame out of place or twice shows at once.
        for name, quality, audio in (("mp4", "1", "aac"), ("webm", "1", "opus")):
            with self.subTest(video=name):
                self.render("-o", "whole." + name, "--crf", quality)
                parts = self.parts("p%d." + name, 3, "--crf", quality)
                subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=3", self.path("tone.wav")],
                               check=True, timeout=60)
                self.assertEqual(self.join("-q", "-o", "joined." + name, "--audio", "tone.wav", *parts).returncode, 0)
                if name == "mp4":  # H.264 parts go into any container that holds it
                    self.assertEqual(self.join("-q", "-o", "joined.mkv", *parts).returncode, 0)
                whole, joined = self.probe("whole." + name), self.probe("joined." + name)
                self.assertEqual(joined[:3], [name == "mp4" and "h264" or "vp9", "15", audio])
                self.assertEqual(whole[1], "15")
                self.assertAlmostEqual(float(joined[-1]), float(whole[-1]), delta=0.05)
                psnr = subprocess.run(["ffmpeg", "-v", "error", "-i", self.path("joined." + name), "-i",
                                       self.path("whole." + name), "-lavfi", "psnr=stats_file=-", "-f", "null", "-"],
                                      capture_output=True, text=True, check=True, timeout=60).stdout.split("\n")
                values = [float(field.split(":")[1]) for field in " ".join(psnr).split() if field.startswith("psnr_avg")]
                self.assertEqual(len(values), 15)
                self.assertGreaterEqual(min(values), 45)
                os.unlink(self.path("tone.wav"))

    def probe(self, name):
        text = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-of", "csv=p=0", "-show_entries",
                               "stream=codec_name,nb_read_frames:format=duration", self.path(name)],
                              capture_output=True, text=True, check=True, timeout=60).stdout
        return text.replace("\n", ",").strip(",").split(",")

    def test_refusals_name_the_part_and_write_nothing(self):
        parts = self.parts("p%d.y4m")
        self.render("-r", "20", "--part", "2/3", "-o", "other.y4m", settings=("-q", "-s", "64x36"))
        os.rename(self.path("p3.y4m"), self.path("p3.y4m.partial"))
        with open(self.path("cut.y4m"), "wb") as f:
            f.write(self.read("p1.y4m")[:-10])
        shutil.copy(self.path("p1.y4m.partinfo"), self.path("cut.y4m.partinfo"))
        before = self.workspace.listing()
        for given, refusal in (
                (parts[:2], "part 3/3 is missing (frames 10 to 14)"),
                (parts, "p3.y4m: not complete: p3.y4m was not finished (its .partial is there)"),
                (["p3.y4m.partial"] + parts[:2], "p3.y4m.partial: an unfinished file; its part stopped before the end "
                                                 "and must be rendered again"),
                (["p1.y4m", "other.y4m", "p2.y4m"], "other.y4m: a part of another render than p1.y4m: its frame rate "
                                                    "(20:1, not 10:1) differs"),
                (["p1.y4m", "p2.y4m", "p2.y4m.partinfo"], "p2.y4m and p2.y4m.partinfo are both part 2/3"),
                (["cut.y4m", "p2.y4m"], "cut.y4m: not complete: it holds %d bytes where its record says %d" %
                 (len(self.read("cut.y4m")), len(self.read("p1.y4m")))),
                (["shaders/red.frag"], "shaders/red.frag: no record shaders/red.frag.partinfo, so not a complete part")):
            with self.subTest(refusal=refusal):
                result = self.join("-o", "joined.y4m", *given)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr.decode().splitlines(), ["prismwafer-render: " + refusal,
                                                                      "prismwafer-render: nothing written"])
                self.assertEqual(self.workspace.listing(), before)

    def test_a_rerun_draws_only_what_is_not_complete(self):
        parts = self.parts("p%d.y4m")
        first = os.stat(self.path("p1.y4m"))
        os.unlink(self.path("p2.y4m"))
        with open(self.path("p3.y4m"), "r+b") as f:
            f.truncate(100)
        said = [self.render("--part", "%d/3" % k, "-o", "p%d.y4m" % k, settings=SETTINGS[1:]) for k in (1, 2, 3)]
        self.assertEqual(said[0].splitlines()[-1], "p1.y4m: part 1/3 (frames 0 to 4) is complete already; skipped")
        self.assertNotIn("skipped", said[1] + said[2])
        self.assertEqual(os.stat(self.path("p1.y4m")).st_mtime_ns, first.st_mtime_ns)
        self.render("-o", "whole.y4m")
        self.assertEqual(self.join("-o", "joined.y4m", *parts).returncode, 0)
        self.assertEqual(self.read("joined.y4m"), self.read("whole.y4m"))
        # A part killed half-way leaves its .partial and no record; the next run draws it whole.
        process = subprocess.Popen([RENDERER, "-q", "-r", "400", "-s", "1280x720", "--part", "2/3", "-o", "big.y4m"],
                                   cwd=self.workspace.path)
        wait_for("the part's .partial to grow", lambda: os.path.exists(self.path("big.y4m.partial")) and
                 os.path.getsize(self.path("big.y4m.partial")) > 10 ** 6, deadline=120, every=0.01)
        process.send_signal(signal.SIGKILL)
        process.wait()
        self.assertFalse([n for n in self.workspace.listing() if n.startswith("big.y4m") and n != "big.y4m.partial"])
        self.assertIn("big.y4m.partial is left", self.join("-o", "j.y4m", "big.y4m").stderr.decode())

    def test_png_parts_are_one_sequence_with_the_pixels_drawn(self):
        self.render("-o", "whole/%02d.png")
        for k in (1, 2, 3):
            self.render("--part", "%d/3" % k, "-o", "frames/%02d.png")
        records = sorted(n for n in os.listdir(self.path("frames")) if n.endswith(".partinfo"))
        self.assertEqual(records, ["00.png.partinfo", "05.png.partinfo", "10.png.partinfo"])
        result = self.join("-o", "frames/%02d.png", *["frames/" + r for r in records])
        self.assertEqual(result.stdout.decode(), "frames/%02d.png: 15 frames, 0 to 14, 64x36 at 10 fps, complete in 3 "
                                                 "parts; the frames are one sequence already\n")
        self.assertEqual(result.returncode, 0)
        # Frames have nowhere to carry a soundtrack.
        refused = self.join("-o", "frames/%02d.png", "--audio", "frames/00.png", *["frames/" + r for r in records])
        self.assertEqual((refused.returncode, refused.stderr.decode()), (1, "prismwafer-render: --audio goes with a "
                         "finished video; the parts are PNG frames\nprismwafer-render: nothing written\n"))
        # Every frame is the whole render's, and decodes to the pixels whose luma the y4m carries.
        self.render("-o", "whole.y4m")
        lumas = self.read("whole.y4m").split(b"FRAME\n")[1:]
        for k in range(15):
            self.assertEqual(self.read("frames/%02d.png" % k), self.read("whole/%02d.png" % k))
            _, _, rgb = read_png(self.path("frames/%02d.png" % k))
            luma = bytes(((66 * rgb[i] + 129 * rgb[i + 1] + 25 * rgb[i + 2] + 128) >> 8) + 16
                         for i in range(0, len(rgb), 3))
            self.assertEqual(luma, lumas[k][:64 * 36], k)
        os.unlink(self.path("frames/07.png"))
        self.assertEqual(self.join("-o", "frames/%02d.png", *["frames/" + r for r in records]).stderr.decode(),
                         "prismwafer-render: frames/05.png.partinfo: not complete: frames/07.png is missing\n"
                         "prismwafer-render: nothing written\n")


class SchedulerCase(FarmCase):
    COMMAND = "%s -q -r 10 -s 64x36 --part %s/3 -o p%s.y4m"

    def joined_is_whole(self):
        self.render("-o", "whole.y4m")
        self.assertEqual(self.join("-q", "-o", "joined.y4m", "p1.y4m", "p2.y4m", "p3.y4m").returncode, 0)
        self.assertEqual(self.read("joined.y4m"), self.read("whole.y4m"))


class Slurm(SchedulerCase):
    def test_a_slurm_job_array(self):
        cluster = SlurmCluster()
        reason = cluster.why_not()
        if reason:
            self.skipTest(reason)
        try:
            cluster.start()
            result = subprocess.run(["sbatch", "--wait", "--array=1-3", "-o", "slurm-%a.out", "-D",
                                     self.workspace.path, "--wrap",
                                     self.COMMAND % (RENDERER, "$SLURM_ARRAY_TASK_ID", "$SLURM_ARRAY_TASK_ID")],
                                    cwd=self.workspace.path, env=cluster.env, capture_output=True, text=True,
                                    timeout=300)
            self.assertEqual(result.returncode, 0, result.stderr + cluster.log())
        finally:
            cluster.stop()
        self.joined_is_whole()


class Parallel(SchedulerCase):
    def test_gnu_parallel_on_local_cores(self):
        if not shutil.which("parallel"):
            self.skipTest("GNU parallel is not installed (Debian package parallel)")
        result = subprocess.run(["parallel", "--will-cite", "--halt", "now,fail=1", self.COMMAND % (RENDERER, "{}", "{}"),
                                 ":::", "1", "2", "3"], cwd=self.workspace.path, capture_output=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.joined_is_whole()


if __name__ == "__main__":
    RENDERER = os.path.abspath(sys.argv[1])
    result = unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    # A scheduler that cannot run here is a skip that ctest shows as one, with the reason above.
    sys.exit(77 if result.skipped and len(result.skipped) == result.testsRun else 0)
