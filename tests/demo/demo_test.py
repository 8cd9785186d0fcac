#!/usr/bin/env python3
"""The demo in shaders/: its shape, and that its files agree with each other.

usage: demo_test.py SOURCE_DIR SOUNDTRACK
"""
import array
import math
import os
import re
import subprocess
import sys
import unittest

SOURCE = None
SOUNDTRACK = None


def scene_list():
    with open(os.path.join(SOURCE, "shaders", "prog.csv")) as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def read(path):
    with open(os.path.join(SOURCE, path)) as f:
        return f.read()


class Demo(unittest.TestCase):
    def test_six_to_eight_scenes_of_one_to_two_minutes_many_instances_each(self):
        scenes = scene_list()
        self.assertTrue(6 <= len(scenes) <= 8, len(scenes))
        self.assertTrue(all(len(fields) == 4 for fields in scenes))
        total = sum(float(fields[3]) for fields in scenes)
        self.assertTrue(60 <= total <= 120, total)
        self.assertEqual(len({(v, f) for v, f, _, _ in scenes}), len(scenes), "no two scenes alike")
        # Every scene draws many instances and tells them apart by the index.
        for vertex, _, instances, _ in scenes:
            self.assertTrue(100 <= int(instances) <= 100000 and "gl_InstanceID" in read(vertex), vertex)

    def test_shaders_know_their_scene_length_and_fade_at_both_ends(self):
        # Shaders are fed only the time since the scene began, so the fade out needs the length.
        for vertex, fragment, _, seconds in scene_list():
            source = read(vertex)
            match = re.search(r"const float sceneLength = ([\d.]+);", source)
            self.assertIsNotNone(match, vertex)
            self.assertEqual(float(match.group(1)), float(seconds), vertex)
            self.assertRegex(source + read(fragment), r"smoothstep\([^;]*sceneLength - time", vertex)

    def test_every_shader_file_says_what_it_shows_first(self):
        files = sorted(name for name in os.listdir(os.path.join(SOURCE, "shaders")) if name != "prog.csv")
        listed = {os.path.basename(path) for fields in scene_list() for path in fields[:2]}
        self.assertEqual(set(files), listed, "every shader file is used, every listed one exists")
        for name in files:
            lines = read(os.path.join("shaders", name)).splitlines()
            self.assertRegex(lines[0], r"^// \w+: .{20,}", name)
            self.assertEqual(lines[1], "#version 450 core", name)

    def test_soundtrack_cuts_on_bar_lines_with_the_scenes_and_rings_out(self):
        rate, bar, tail = 48000, 2.0, 1.5
        # At 60 fps a scene shows every frame until its time has passed its duration.
        frames = [0]
        for fields in scene_list():
            frames.append(frames[-1] + math.floor(float(fields[3]) * 60) + 1)
        cuts = [frame / 60 for frame in frames]
        self.assertTrue(all(cut % bar == 0 for cut in cuts), f"cuts on 120 bpm bars: {cuts}")
        decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", SOUNDTRACK, "-f", "f32le", "-ac", "1",
                                  "-ar", str(rate), "-"], capture_output=True, check=True).stdout
        sound = array.array("f", decoded)
        self.assertAlmostEqual(len(sound) / rate, cuts[-1] + tail, delta=0.01)
        self.assertLessEqual(max(map(abs, sound)), 1.0, "peaks kept inside the range")

        def loudness(start, end):
            part = sound[int(start * rate):int(end * rate)]
            return math.sqrt(sum(x * x for x in part) / len(part))

        # A cymbal marks each cut: what follows it is louder than what leads up to it.
        for cut in cuts[1:-1]:
            self.assertGreater(loudness(cut, cut + 0.09), 2 * loudness(cut - 0.1, cut - 0.01), f"cut at {cut} s")
        whole = loudness(0, len(sound) / rate)
        self.assertLess(loudness(len(sound) / rate - 0.25, len(sound) / rate), whole / 50, "fades out")


if __name__ == "__main__":
    SOURCE = os.path.abspath(sys.argv[1])
    SOUNDTRACK = sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
