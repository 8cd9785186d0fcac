#!/usr/bin/env python3
"""The demo in shaders/: its shape, and that its files agree with each other.

usage: demo_test.py SOURCE_DIR
"""
import os
import re
import sys
import unittest

SOURCE = None


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


if __name__ == "__main__":
    SOURCE = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
