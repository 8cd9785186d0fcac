"""What the end-to-end tests share: scratch working directories with shaders and a scene list,
running the programs, waiting with deadlines that say what they waited for, keys into the virtual
display, screenshots, recorded GL calls and pixels read back."""
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
# Colour from the texture coordinate: every pixel tells where it came from.
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
# Overlapping tiles, each turned and tilted by its own angle, through the perspective transform:
# edges, depth and interpolation that vary along x and y, still in time.
TILES_VERTEX = GRADIENT_VERTEX.replace("gl_Position = mvp * position;", """
    float i = float(gl_InstanceID), turn = 0.7 * i, tilt = 0.6 * sin(1.3 * i); vec2 p = mat2(cos(turn), sin(turn), -sin(turn), cos(turn)) * position.xy * 0.8;
    gl_Position = mvp * vec4(p.x + 2.2 * sin(1.9 * i), p.y * cos(tilt) + 1.2 * cos(2.7 * i), 0.15 * p.y * sin(tilt) + 0.02 * sin(2.1 * i), 1.0);""")
# A solid colour that changes with time, so that frames can be told apart.
CLOCK_FRAGMENT = """#version 450 core
uniform float time;
out vec4 color;
void main() { color = vec4(1.0, fract(time), 0.0, 1.0); }
"""
SHADERS = {"red.vert": RED_VERTEX, "red.frag": RED_FRAGMENT, "flat.vert": FLAT_VERTEX,
           "flat.frag": FLAT_FRAGMENT, "gradient.vert": GRADIENT_VERTEX,
           "gradient.frag": GRADIENT_FRAGMENT, "clock.frag": CLOCK_FRAGMENT, "tiles.vert": TILES_VERTEX}


class Workspace:
    """A temporary working directory with shaders/ and, unless None, a scene list."""

    def __init__(self, scene_list, files=None):
        self.path = tempfile.mkdtemp(prefix="prismwafer-e2e-")
        os.mkdir(os.path.join(self.path, "shaders"))
        for name, text in dict(SHADERS, **(files or {})).items():
            self.write(os.path.join("shaders", name), text)
        if scene_list is not None:
            self.write_list(scene_list)

    def file(self, name):
        return os.path.join(self.path.encode() if isinstance(name, bytes) else self.path, name)

    def list_path(self):
        return self.file(os.path.join("shaders", "prog.csv"))

    def write(self, name, content):
        with open(self.file(name), "wb") as f:
            f.write(content.encode() if isinstance(content, str) else content)

    def write_list(self, content):
        self.write(os.path.join("shaders", "prog.csv"), content)

    def listing(self):
        return sorted(os.listdir(self.path))

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.remove()


def line(vertex, fragment, instances, seconds):
    return "shaders/%s\tshaders/%s\t%s\t%s\n" % (vertex, fragment, instances, seconds)


def run_in(workspace, program, args=(), env=None, timeout=300, prefix=(), **kwargs):
    options = {"capture_output": True} if "stdout" not in kwargs and "stderr" not in kwargs else {}
    options.update(kwargs)
    return subprocess.run(list(prefix) + [program] + list(args), cwd=workspace.path, env=env,
                          timeout=timeout, **options)


def wait_for(what, probe, deadline=300, every=0.2):
    """Polls probe() until it returns something true; a deadline generous enough for valgrind on
    a busy machine, and a failure that says which wait ran out."""
    end = time.monotonic() + deadline
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("waited %d s for %s" % (deadline, what))
        time.sleep(every)


def xdotool(*args):
    return subprocess.run(["xdotool"] + list(args), capture_output=True, text=True, timeout=60)


def player_window(process=None, deadline=300):
    """The id of the player's visible window, once it is there."""
    def probe():
        if process is not None and process.poll() is not None:
            raise AssertionError("the program ended (status %s) before its window showed" % process.returncode)
        return xdotool("search", "--onlyvisible", "--name", "^Prismwafer -- ").stdout.split()[:1]
    return wait_for("the player's window", probe, deadline)[0]


def press_escape(process, deadline=300):
    """Presses Escape in the player's window until the player ends."""
    def probe():
        if process.poll() is None:
            found = xdotool("search", "--onlyvisible", "--name", "^Prismwafer -- ").stdout.split()
            if found:
                xdotool("windowfocus", "--sync", found[0])
                xdotool("key", "Escape")
            try:
                process.wait(timeout=2)
            except subprocess.TimeoutExpired:
                pass
        return process.poll() is not None
    wait_for("the player to end on Escape", probe, deadline, every=0)


def stop(process):
    """Ends a process a test started, whatever state the test left it in."""
    if process.poll() is None:
        process.kill()
    return process.communicate()


def to_rgb(image_bytes, kind):
    """An image file's pixels as (width, height, rgb bytes), top row first."""
    ppm = subprocess.run(["/usr/bin/convert", kind + ":-", "-depth", "8", "ppm:-"], input=image_bytes,
                         capture_output=True, check=True, timeout=60).stdout
    header = re.match(rb"P6\s+(?:#[^\n]*\n)?(\d+)\s+(\d+)\s+255\s", ppm)
    width, height = int(header.group(1)), int(header.group(2))
    return width, height, ppm[header.end():]


def screenshot():
    """The whole virtual screen as (width, height, rgb bytes)."""
    xwd = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True, timeout=60)
    return to_rgb(xwd.stdout, "xwd")


def read_png(path):
    with open(path, "rb") as f:
        return to_rgb(f.read(), "png")


def pixel(image, x, y):
    width, _, rgb = image
    return tuple(rgb[3 * (y * width + x):3 * (y * width + x) + 3])


def differing_pixels(a, b):
    """How many pixels two images of one size differ in."""
    return sum(1 for i in range(0, len(a[2]), 3) if a[2][i:i + 3] != b[2][i:i + 3])


def lit_box(image, lit=lambda r, g, b: r + g + b > 0):
    """Bounds (left, right, top, bottom) of the pixels that pass `lit`, and how many there are."""
    width, height, rgb = image
    points = [(i % width, i // width) for i in range(width * height)
              if lit(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2])]
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return (min(xs), max(xs), min(ys), max(ys)), len(points)


class Call:
    """One recorded GL call: its name, argument text and result."""

    def __init__(self, name, args, result):
        self.name, self.args, self.result = name, args, result

    def arg(self, key):
        match = re.search(r"\b%s = ([^,]+(?:\|[^,]+)*)" % key, self.args)
        return match.group(1).strip() if match else None

    def __repr__(self):
        return "%s(%s)" % (self.name, self.args[:60])


def traced_calls(trace):
    """The GL calls of an apitrace recording, in order."""
    dump = subprocess.run(["apitrace", "dump", "--color=never", trace], capture_output=True,
                          text=True, check=True, timeout=300).stdout
    calls = []
    for text in dump.splitlines():
        match = re.match(r"^\d+ (gl\w*)\((.*?)\)(?: = (.*))?$", text) or \
            re.match(r"^\d+ (gl\w*)\((.*)()", text)
        if match and not text.endswith("// fake"):
            calls.append(Call(*match.groups()))
    return calls
