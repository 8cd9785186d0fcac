#!/usr/bin/env python3
"""The release archive: made by CPack from the build, unpacked, and played from its folder.

usage: package_test.py BUILD_DIR
"""
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from e2e import player_window, press_escape, stop  # noqa: E402

BUILD = None


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="prismwafer-package-")
        subprocess.run(["cpack", "-G", "TGZ", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
                        "-B", cls.scratch], check=True, capture_output=True, timeout=300)
        archives = [name for name in os.listdir(cls.scratch) if name.endswith(".tar.gz")]
        assert len(archives) == 1, archives
        with tarfile.open(os.path.join(cls.scratch, archives[0])) as archive:
            cls.names = archive.getnames()
            archive.extractall(os.path.join(cls.scratch, "unpacked"))
        cls.top = os.path.join(cls.scratch, "unpacked", archives[0][:-len(".tar.gz")])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def test_archive_holds_the_programs_the_listed_shaders_and_how_to_run_them(self):
        self.assertTrue(all(name.split("/")[0] == os.path.basename(self.top) for name in self.names))
        programs = {"prismwafer", "prismwafer-render", "prismwafer-live"}
        self.assertTrue(all(os.access(os.path.join(self.top, program), os.X_OK) for program in programs))
        with open(os.path.join(self.top, "README.txt")) as f:
            self.assertIn("./prismwafer\n", f.read())
        with open(os.path.join(self.top, "shaders", "prog.csv")) as f:
            listed = {path for line in f if line.strip() for path in line.split("\t")[:2]}
        # Exactly these files: no scratch files from shaders/.
        files = {name.split("/", 1)[1] for name in self.names if os.path.isfile(os.path.join(self.top, "..", name))}
        self.assertEqual(files, programs | {"README.txt", "shaders/prog.csv", "soundtrack.ogg"} | listed)

    def test_the_unpacked_folder_plays(self):
        # Its soundtrack, made at build time, lasts the sequence, and every cut is on a beat of it.
        check = subprocess.run(["./prismwafer-render", "--check", "--audio", "soundtrack.ogg", "--bpm", "120"],
                               cwd=self.top, capture_output=True, timeout=120)
        self.assertEqual(check.returncode, 0, check.stderr)
        player = subprocess.Popen(["./prismwafer"], cwd=self.top, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            player_window(player)
            press_escape(player)
        finally:
            out, err = stop(player)
        self.assertEqual((player.returncode, err), (0, b""))
        self.assertEqual(out.count(b"Loaded scene ("), check.stdout.count(b"Loaded scene ("))


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
