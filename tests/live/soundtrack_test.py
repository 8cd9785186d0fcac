#!/usr/bin/env python3
"""prismwafer-live with a soundtrack on the virtual display, the sound written to a file by SDL's
disk driver: the place moves the sound, paused is silent, --show plays once; the soundtrack's
failures. usage: soundtrack_test.py LIVE"""
import os
import random
import subprocess
import sys
import unittest
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import live_test  # noqa: E402
from e2e import Workspace, line, run_in, wait_for  # noqa: E402

RATE, FRAME = 48000, 4  # 16-bit stereo, as the noise is written and the device plays it
# A seek sounds within one device buffer (1024 frames) and a frame of the picture (24 fps).
SLACK = 1024 / RATE + 1 / 24


def noise_workspace(scene_lines, seconds):
    """A workspace with its soundtrack: seeded noise, so that any stretch of it says where it is."""
    workspace = Workspace(scene_lines)
    samples = random.Random(7).randbytes(int(seconds * RATE) * FRAME)
    with wave.open(os.path.join(workspace.path, "noise.wav"), "wb") as f:
        f.setnchannels(2), f.setsampwidth(2), f.setframerate(RATE), f.writeframes(samples)
    return workspace, samples


def disk_output(workspace, device="sound.raw"):
    return dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.path.join(workspace.path, device))


class Sound(live_test.LiveWindow):
    def setUp(self):
        workspace, self.track = noise_workspace(line("flat.vert", "flat.frag", 1, 1.5) * 2, 6)
        self.start(workspace, ["--paused", "--audio", "noise.wav", "-r", "24", "-s", "320x180"], disk_output(workspace))
        self.raw = os.path.join(workspace.path, "sound.raw")

    def sound(self):
        with open(self.raw, "rb") as f:
            data = f.read()
        return data[:len(data) // FRAME * FRAME]

    def next_sound(self, start):
        """The soundtrack's second that the output plays first after byte start, once 0.2 s of it came."""
        def found():
            data = self.sound()
            first = next((i for i in range(start, len(data), FRAME) if data[i:i + FRAME] != bytes(FRAME)), None)
            return first is not None and len(data) - first > 0.2 * RATE * FRAME and data[first:first + 9600]
        stretch = self.wait_for(found, "sound after byte %d" % start)
        at = self.track.find(stretch)
        self.assertGreaterEqual(at, 0, "the output is the soundtrack's own samples")
        return at / FRAME / RATE

    def silent_since(self, start):
        self.wait_for(lambda: len(self.sound()) > start + int(0.3 * RATE) * FRAME, "0.3 s more output")
        # One read: the device goes on writing, so a second one would be longer than the first.
        return not any(self.sound()[start:])

    def test_the_sound_follows_the_place(self):
        self.key(None, "scene 1/2, flat.vert, 0.000 s, paused")
        self.assertTrue(self.silent_since(0), "paused, the device plays silence")
        self.key("Right", "scene 1/2, flat.vert, 1.000 s, paused")
        self.key("Right", "scene 2/2, flat.vert, 2.000 s, paused")
        mark = len(self.sound())
        xdotool_key(self, "space")
        self.assertAlmostEqual(self.next_sound(mark), 2.0, delta=SLACK)
        # The sound starts before the frame whose title says so: on a loaded machine, the pause
        # below would otherwise be taken for done while the title was still the old one.
        self.wait_for(lambda: not self.title().endswith(", paused"), "playing after Space")
        xdotool_key(self, "space")
        self.wait_for(lambda: self.title().endswith(", paused"), "paused after Space")
        stopped = float(self.title().split(", ")[-2][:-2])
        mark = len(self.sound())
        self.assertTrue(self.silent_since(mark + int(SLACK * RATE) * FRAME), "paused again, silence again")
        mark = len(self.sound())
        xdotool_key(self, "space")
        self.assertAlmostEqual(self.next_sound(mark), stopped, delta=SLACK, msg="play goes on where it stopped")


def xdotool_key(window, key):
    live_test.xdotool("windowfocus", "--sync", window.window)
    live_test.xdotool("key", key)


class Show(unittest.TestCase):
    def run_show(self, workspace, env, *args):
        return run_in(workspace, LIVE, ["--show", "--audio", "noise.wav"] + list(args), env=env, text=True, timeout=120)

    def test_show_plays_once_and_failures_are_said(self):
        workspace, track = noise_workspace(line("flat.vert", "flat.frag", 1, 2), 5)
        self.addCleanup(workspace.remove)
        result = self.run_show(workspace, disk_output(workspace))
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(workspace.path, "sound.raw"), "rb") as f:
            sound = f.read()
        # Two seconds and a frame of picture, and the buffer that was under way at the end.
        self.assertTrue(2.0 <= len(sound) / FRAME / RATE <= 2.0 + 3 * SLACK, len(sound) / FRAME / RATE)
        # The device may play a buffer of silence before the first frame is drawn.
        first = next(i for i in range(0, len(sound), FRAME) if sound[i:i + FRAME] != bytes(FRAME))
        self.assertEqual(track.find(sound[first:first + FRAME * 4096]), 0, "from the start, in order")
        for device, said in (("nowhere", "no sound device (Audio target 'nowhere' not available); the picture "
                                         "keeps real time, in silence\n"),
                             ("/dev/full", "the sound device went away; the picture keeps real time\n")):
            env = dict(disk_output(workspace, device), SDL_AUDIODRIVER="disk" if device[0] == "/" else device)
            result = self.run_show(workspace, env)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("prismwafer-live: " + said, result.stderr)
        with open(os.path.join(workspace.path, "garbage.ogg"), "wb") as f:
            f.write(random.Random(3).randbytes(4096))
        for soundtrack, reason in (("missing.ogg", "No such file or directory"), ("garbage.ogg", "Format not recognised.")):
            result = run_in(workspace, LIVE, ["--audio", soundtrack], text=True, timeout=60)
            self.assertEqual((result.returncode, result.stdout, result.stderr),
                             (1, "", "prismwafer-live: cannot read the soundtrack %s: %s\n" % (soundtrack, reason)))


if __name__ == "__main__":
    LIVE = live_test.LIVE = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
