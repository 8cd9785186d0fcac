"""What the end-to-end tests share: scratch working directories with shaders and a scene list,
running the programs, keys into the virtual display, and reading pixels back."""
import os
import re
import shutil
import subprocess
import tempfile
import time

RED_VERTEX = """#version 450 core
layout(location = 0) in vec4 position;
uniform mat4 mvp;
void main() { gl_Position = mvp * position; }
"""
RED_FRAGMENT = """#version 450 core
uniform float time;
out vec4 color;
void main() { color = vec4(1.0, 0.0, min(time, 0.0), 1.0); }
"""
# No "time" and no "mvp": the uniform uploads are skipped for this one.
FLAT_VERTEX = """#version 450 core
layout(location = 0) in vec4 position;
void main() { gl_Position = position; }
"""
FLAT_FRAGMENT = """#version 450 core
out vec4 color;
void main() { color = vec4(0.0, 0.0, 1.0, 1.0); }
"""


class Workspace:
    """A temporary working directory with shaders/ and a scene list."""

    def __init__(self, scene_list, files=None):
        self.path = tempfile.mkdtemp(prefix="prismwafer-e2e-")
        os.mkdir(os.path.join(self.path, "shaders"))
        shaders = {"red.vert": RED_VERTEX, "red.frag": RED_FRAGMENT,
                   "flat.vert": FLAT_VERTEX, "flat.frag": FLAT_FRAGMENT}
        shaders.update(files or {})
        for name, text in shaders.items():
            with open(os.path.join(self.path, "shaders", name), "w") as f:
                f.write(text)
        if scene_list is not None:
            with open(self.list_path(), "wb") as f:
                f.write(scene_list.encode() if isinstance(scene_list, str) else scene_list)

    def list_path(self):
        return os.path.join(self.path, "shaders", "prog.csv")

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def line(vertex, fragment, instances, seconds):
    return "shaders/%s\tshaders/%s\t%s\t%s\n" % (vertex, fragment, instances, seconds)


def run_in(workspace, program, args=(), env=None, timeout=60, prefix=(), **kwargs):
    options = {"capture_output": True} if "stdout" not in kwargs else {}
    options.update(kwargs)
    return subprocess.run(list(prefix) + [program] + list(args), cwd=workspace.path, env=env,
                          timeout=timeout, **options)


def xdotool(*args):
    return subprocess.run(["xdotool"] + list(args), capture_output=True, text=True, timeout=30)


def player_window():
    found = xdotool("search", "--sync", "--onlyvisible", "--name", "^Prismwafer -- ")
    return found.stdout.split()[0]


def press_escape(process, patience=60):
    """Presses Escape in the player's window until the player ends, or patience runs out."""
    deadline = time.time() + patience
    while process.poll() is None:
        window = player_window()
        xdotool("windowfocus", "--sync", window)
        xdotool("key", "Escape")
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            if time.time() > deadline:
                return


def to_rgb(image_bytes, kind):
    """An image file's pixels as (width, height, rgb bytes), top row first."""
    ppm = subprocess.run(["/usr/bin/convert", kind + ":-", "-depth", "8", "ppm:-"], input=image_bytes,
                         capture_output=True, check=True, timeout=60).stdout
    header = re.match(rb"P6\s+(?:#[^\n]*\n)?(\d+)\s+(\d+)\s+255\s", ppm)
    width, height = int(header.group(1)), int(header.group(2))
    return width, height, ppm[header.end():]


def screenshot():
    """The whole virtual screen as (width, height, rgb bytes)."""
    xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True, timeout=30)
    return to_rgb(xwd.stdout, "xwd")


def read_png(path):
    with open(path, "rb") as f:
        return to_rgb(f.read(), "png")


def red_box(width, height, rgb):
    """Bounds (left, right, top, bottom) of the pure red pixels, and how many there are."""
    red = [(i % width, i // width) for i in range(width * height)
           if rgb[3 * i] > 200 and rgb[3 * i + 1] < 50 and rgb[3 * i + 2] < 50]
    xs, ys = [p[0] for p in red], [p[1] for p in red]
    return (min(xs), max(xs), min(ys), max(ys)), len(red)
