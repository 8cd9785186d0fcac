#!/usr/bin/env python3
"""Measures what users feel, each figure beside its floor measured in the same run: start-up,
frame pacing and heap allocations of the player, the renderer's throughput and scaling, peak
memory, and the live preview's frame cost, reload latency and thousand reloads. Runs alternate between a program and its floor; figures are medians with min and
max; every comparison is a ratio taken within one run. Where a round measures the program and its
floor one after the other, the ratio is the median of the rounds' own ratios, so that the
machine's drift from one round to the next cancels.

usage: bench.py BUILD_DIR SOURCE_DIR [--runs N] [--readme]
"""
import argparse
import os
import platform
import re
import shutil
import statistics
import subprocess
import tempfile
import time

SIZES = ["640x360", "1280x720", "1920x1080", "2560x1440", "3840x2160"]
SCENE_RANGE = ("2", "4")  # two seconds of the demo's second scene, rendered on its own


class Bench:
    def __init__(self, build, source, runs):
        self.build, self.source, self.runs = build, source, runs
        self.scratch = tempfile.mkdtemp(prefix="prismwafer-bench-")
        with open(os.path.join(source, "shaders", "prog.csv")) as f:
            self.demo = [line.rstrip("\n").split("\t") for line in f if line.strip()]

    def close(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def workspace(self, name, lines):
        """A working directory whose shaders/prog.csv holds the given demo lines."""
        path = os.path.join(self.scratch, name)
        if not os.path.exists(path):
            shutil.copytree(os.path.join(self.source, "shaders"), os.path.join(path, "shaders"))
            with open(os.path.join(path, "shaders", "prog.csv"), "w") as f:
                f.write("".join("\t".join(fields) + "\n" for fields in lines))
        return path

    def scenes(self, count, seconds="1000"):
        return [self.demo[i % len(self.demo)][:3] + [seconds] for i in range(count)]

    def probe(self, program, cwd, frames=0, warmup=60, env=None):
        """Runs a GLFW program (a name in the build, or a list: name and arguments) with the
        probe preloaded; returns its result line as numbers."""
        command = [program] if isinstance(program, str) else program
        out = os.path.join(self.scratch, "probe.txt")
        if os.path.exists(out):
            os.unlink(out)
        env = dict(env or os.environ, LD_PRELOAD=os.path.join(self.build, "libframe_probe.so"),
                   PRISMWAFER_PROBE_OUT=out, PRISMWAFER_PROBE_FRAMES=str(frames),
                   PRISMWAFER_PROBE_WARMUP=str(warmup))
        subprocess.run([os.path.join(self.build, command[0])] + command[1:], cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=600)
        with open(out) as f:
            return {key: float(value) for key, value in re.findall(r"(\w+)=([\d.]+)", f.read())}

    def timed(self, args, cwd, stdout=subprocess.DEVNULL):
        """Wall seconds and peak resident KiB of one run."""
        start = time.monotonic()
        process = subprocess.Popen(args, cwd=cwd, stdout=stdout, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.monotonic() - start
        if os.waitstatus_to_exitcode(status) != 0:
            raise RuntimeError("%s failed" % " ".join(args))
        return seconds, usage.ru_maxrss

    def alternate(self, measures, rounds=None, turn_about=False):
        """Runs each measure in turn, self.runs rounds unless told; returns each one's results.
        turn_about: every other round in the opposite order, so that none always runs first."""
        results = {name: [] for name in measures}
        for round_number in range(rounds or self.runs):
            names = list(measures)
            for name in reversed(names) if turn_about and round_number % 2 else names:
                results[name].append(measures[name]())
        return results


def paired_ratio(values, floors):
    """The median of each round's value over the same round's floor."""
    return statistics.median(value / floor for value, floor in zip(values, floors))


def spread(values, unit=""):
    return "%.2f%s (%.2f–%.2f)" % (statistics.median(values), unit, min(values), max(values))


def startup(bench, rows):
    medians = {}
    for count in (1, 10, 100):
        cwd = bench.workspace("startup-%d" % count, bench.scenes(count))
        # Start-up is short and the window system's share of it noisy: three times the rounds.
        results = bench.alternate({
            "player": lambda: bench.probe("prismwafer", cwd)["first_swap_ms"],
            "bare": lambda: bench.probe("bare_startup", cwd)["first_swap_ms"]}, rounds=3 * bench.runs)
        player, bare = statistics.median(results["player"]), statistics.median(results["bare"])
        medians[count] = player
        rows.append(("Start-up to first frame, %d scene%s" % (count, "" if count == 1 else "s"),
                     spread(results["player"], " ms"), spread(results["bare"], " ms"),
                     "%.3f" % (player / bare), "≤ 1.05"))
    rows.append(("Start-up cost per scene (1 to 100 scenes)", "%.2f ms" % ((medians[100] - medians[1]) / 99),
                 "", "", ""))


def frame_loop(bench, rows):
    cwd = bench.workspace("loop", [bench.demo[1][:3] + ["1000"]])
    results = bench.alternate({
        "player": lambda: bench.probe("prismwafer", cwd, frames=240, warmup=30),
        "bare": lambda: bench.probe("bare_loop", cwd, frames=240, warmup=30)})
    player = [r["fps"] for r in results["player"]]
    bare = [r["fps"] for r in results["bare"]]
    rows.append(("Player frames per second, one scene", spread(player), spread(bare),
                 "%.3f" % (statistics.median(player) / statistics.median(bare)), "≥ 0.98"))
    own = [p["allocations_per_frame"] - b["allocations_per_frame"]
           for p, b in zip(results["player"], results["bare"])]
    rows.append(("Heap allocations per frame, the player's own (player − bare loop)", spread(own),
                 spread([b["allocations_per_frame"] for b in results["bare"]]), "", "0"))


def renderer_fps(bench, size, output, cwd, program=None):
    """Frames per second over the range, the fixed cost of start-up taken out: the same run
    for one frame is timed too and subtracted. program: another build's renderer."""
    first, last = SCENE_RANGE
    # --to ends before the frame shown at its second: the short run ends one frame after it starts.
    frames = round((float(last) - float(first)) * 60)
    one_frame = repr(float(first) + 1 / 60)
    if output == "floor":
        base = [os.path.join(bench.build, "render_floor"), "--size", size]
    else:
        target = "-" if output == "y4m" else os.path.join(bench.scratch, "png", "%05d.png")
        base = [program or os.path.join(bench.build, "prismwafer-render"), "-q", "-s", size, "-o", target]
    long_run, short_run = base + ["--from", first, "--to", last], base + ["--from", first, "--to", one_frame]
    long_seconds, peak = bench.timed(long_run, cwd)
    short_seconds, _ = bench.timed(short_run, cwd)
    return (frames - 1) / max(long_seconds - short_seconds, 1e-6), peak


def renderer(bench, rows, chart):
    cwd = bench.workspace("render", [bench.demo[1]])
    results = bench.alternate({output: (lambda output=output: renderer_fps(bench, "1920x1080", output, cwd)[0])
                               for output in ("floor", "y4m", "png")}, turn_about=True)
    frames = os.path.join(bench.scratch, "png")
    kib = statistics.mean(os.path.getsize(os.path.join(frames, name)) for name in os.listdir(frames)) / 1024
    for output, goal, what in (("y4m", "≥ 0.9", "Y4M"), ("png", "≥ 0.85", "PNG (%.0f KiB a frame)" % kib)):
        rows.append(("Renderer frames per second at 1920×1080, writing %s" % what,
                     spread(results[output]), spread(results["floor"]),
                     "%.3f" % paired_ratio(results[output], results["floor"]), goal))
    for size in SIZES:
        scaled = bench.alternate({output: (lambda output=output: renderer_fps(bench, size, output, cwd)[0])
                                  for output in ("floor", "y4m")}, turn_about=True)
        chart.append((size, statistics.median(scaled["floor"]), statistics.median(scaled["y4m"])))
        rows.append(("Renderer frames per second at %s, writing Y4M" % size.replace("x", "×"),
                     spread(scaled["y4m"]), spread(scaled["floor"]),
                     "%.3f" % paired_ratio(scaled["y4m"], scaled["floor"]), ""))


def renderer_against(bench, rows, other):
    """This build's renderer and another's, each output and size alternating with the floor in one
    run: what a change to the output pays, on a machine whose speed drifts between runs."""
    cwd = bench.workspace("render", [bench.demo[1]])
    programs = (("this build", None), (other, os.path.abspath(other)))
    for size in ("1920x1080", "3840x2160"):
        measures = {"floor": lambda size=size: renderer_fps(bench, size, "floor", cwd)[0]}
        for output in ("y4m", "png"):
            for name, program in programs:
                measures[(name, output)] = lambda size=size, output=output, program=program: \
                    renderer_fps(bench, size, output, cwd, program)[0]
        results = bench.alternate(measures, turn_about=True)
        for key, fps in results.items():
            if key == "floor":
                continue
            name, output = key
            rows.append(("Renderer at %s writing %s, %s" % (size.replace("x", "×"), output.upper(), name),
                         spread(fps), spread(results["floor"]), "%.3f" % paired_ratio(fps, results["floor"]), ""))


def memory(bench, rows):
    cwd = bench.workspace("startup-100", bench.scenes(100))
    player = []
    for _ in range(bench.runs):
        env = dict(os.environ, LD_PRELOAD=os.path.join(bench.build, "libframe_probe.so"),
                   PRISMWAFER_PROBE_OUT=os.path.join(bench.scratch, "probe.txt"))
        process = subprocess.Popen([os.path.join(bench.build, "prismwafer")], cwd=cwd, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        player.append(os.wait4(process.pid, 0)[2].ru_maxrss / 1024)
    rows.append(("Peak resident memory, player with 100 scenes", spread(player, " MiB"), "", "", ""))
    render_cwd = bench.workspace("render", [bench.demo[1]])
    for size in ("1920x1080", "3840x2160"):
        peaks = [renderer_fps(bench, size, "y4m", render_cwd)[1] / 1024 for _ in range(bench.runs)]
        rows.append(("Peak resident memory, renderer at %s" % size.replace("x", "×"), spread(peaks, " MiB"),
                     "", "", ""))


LIVE_SAVES = 8  # saves per live session; sessions alternate with runs of the bare compile


def live_loop(bench, rows):
    """The live preview's frames beside the bare loop, its display hidden and shown. Returns the
    milliseconds of a frame with the display hidden."""
    cwd = bench.workspace("loop", [bench.demo[1][:3] + ["1000"]])
    live = ["prismwafer-live", "-s", "1920x1080"]
    results = bench.alternate({
        "hidden": lambda: bench.probe(live + ["--no-hud"], cwd, frames=240, warmup=30),
        "shown": lambda: bench.probe(live, cwd, frames=240, warmup=30),
        "bare": lambda: bench.probe("bare_loop", cwd, frames=240, warmup=30)})
    fps = {name: [r["fps"] for r in runs] for name, runs in results.items()}
    for name, goal in (("hidden", "≥ 0.98"), ("shown", "")):
        rows.append(("Live preview frames per second at 1920×1080, display %s" % name, spread(fps[name]),
                     spread(fps["bare"]), "%.3f" % (statistics.median(fps[name]) / statistics.median(fps["bare"])),
                     goal))
    allocations = {name: [r["allocations_per_frame"] for r in runs] for name, runs in results.items()}
    rows.append(("Heap allocations per frame, the live preview's own, display hidden (live − bare loop)",
                 spread([h - b for h, b in zip(allocations["hidden"], allocations["bare"])]),
                 spread(allocations["bare"]), "", "0"))
    rows.append(("Heap allocations per frame, the display's (shown − hidden)",
                 spread([s - h for s, h in zip(allocations["shown"], allocations["hidden"])]), "", "", ""))
    return 1000.0 / statistics.median(fps["hidden"])


def live_reload(bench, rows, frame_ms):
    """From a save of the shown scene's fragment shader (written in place) to the preview's line
    saying that a frame shows the new program, beside compile, link and a first draw of the same
    sources alone (the driver finishes compiling at the first draw)."""
    cwd = bench.workspace("reload", [bench.demo[1][:3] + ["1000"]])
    fragment = bench.demo[1][1]
    with open(os.path.join(cwd, fragment)) as f:
        source = f.read()
    latency, built, floor, saves = [], [], [], iter(range(1000000))

    def session():
        process = subprocess.Popen([os.path.join(bench.build, "prismwafer-live"), "-s", "1920x1080", "--no-hud"],
                                   cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        while not process.stdout.readline().startswith("Read "):
            pass
        for _ in range(LIVE_SAVES):
            time.sleep(0.3)
            start = time.monotonic()
            with open(os.path.join(cwd, fragment), "w") as f:
                f.write(source + "// save %d\n" % next(saves))
            report = process.stdout.readline()
            while "Reloaded" not in report:
                report = process.stdout.readline()
            latency.append((time.monotonic() - start) * 1000)
            built.append(float(re.search(r" in ([\d.]+) ms", report).group(1)))
        process.terminate()
        process.wait()

    def compile_floor():
        result = subprocess.run([os.path.join(bench.build, "compile_floor"), "shaders/prog.csv", "1920x1080",
                                 str(LIVE_SAVES)],
                                cwd=cwd, capture_output=True, text=True, check=True, timeout=600)
        floor.extend(float(value) for value in result.stdout.split())

    bench.alternate({"live": session, "floor": compile_floor})
    with open(os.path.join(cwd, fragment), "w") as f:
        f.write(source)
    rows.append(("Reload latency, save to the first frame on screen with the new program", spread(latency, " ms"),
                 spread(floor, " ms"), "%.3f" % (statistics.median(latency) / statistics.median(floor)), ""))
    rows.append(("Reload latency beyond compile, link and first draw, in frames of the preview (%.1f ms)" % frame_ms,
                 "%.2f" % ((statistics.median(latency) - statistics.median(floor)) / frame_ms), "", "", "≤ 2"))
    rows.append(("Reload build as the preview reports it: read, compile, link", spread(built, " ms"), "", "", ""))


def live_churn(bench, rows):
    """A thousand reloads through the preview's own code: GL objects alive and resident memory."""
    cwd = bench.workspace("churn", [bench.demo[1][:3] + ["1000"]])
    result = subprocess.run([os.path.join(bench.build, "reload_churn"), "shaders/prog.csv", "1000"], cwd=cwd,
                            capture_output=True, text=True, check=True, timeout=1200)
    value = {key: int(number) for key, number in re.findall(r"(\w+)=(\d+)", result.stdout)}
    rows.append(("GL objects alive, before → after 1000 reloads",
                 "%d → %d" % (value["objects_before"], value["objects_after"]), "", "", "equal"))
    rows.append(("Resident memory, before → after 1000 reloads", "%.1f → %.1f MiB" % (
        value["resident_before_kib"] / 1024, value["resident_after_kib"] / 1024), "", "", "equal"))


def live(bench, rows):
    frame_ms = live_loop(bench, rows)
    live_reload(bench, rows, frame_ms)
    live_churn(bench, rows)


RATE, SOUND_FRAME = 48000, 4  # the soundtracks below: 16-bit stereo at 48 kHz
FLASH_VERTEX = """#version 450 core
layout(location = 0) in vec4 position;
void main() { gl_Position = vec4(position.xy, 0.0, 1.0); }
"""
FLASH_FRAGMENT = """#version 450 core
uniform float time;
out vec4 color;
void main() { color = vec4(vec3(fract(time) < 0.1 ? 1.0 : 0.0), 1.0); }
"""


def write_wave(path, samples):
    import wave
    with wave.open(path, "wb") as f:
        f.setnchannels(2), f.setsampwidth(2), f.setframerate(RATE), f.writeframes(samples)


class DiskSound:
    """SDL's disk driver writing the sound to a file, and when each of its bytes came out: the
    file's size is read every half millisecond on the monotonic clock the probe uses."""

    def __init__(self, path):
        import threading
        self.path, self.sizes, self.running = path, [], True
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def watch(self):
        while self.running:
            size = os.path.getsize(self.path) if os.path.exists(self.path) else 0
            if not self.sizes or size != self.sizes[-1][1]:
                self.sizes.append((time.monotonic(), size))
            time.sleep(0.0005)

    def stop(self):
        self.running = False
        self.thread.join()
        with open(self.path, "rb") as f:
            return f.read()

    def heard_at(self, offset):
        """When the sample at byte offset came out: its buffer's write, and its place in it."""
        previous = 0
        for moment, size in self.sizes:
            if size > offset:
                return moment + (offset - previous) / SOUND_FRAME / RATE
            previous = size
        return None


def soundtrack(bench, rows):
    """The soundtrack as the live preview's clock, through SDL's disk driver: the offset of each
    click against the first frame that shows its flash, the frame rate with and without sound,
    resident memory with five minutes of it, and the time from a seek's key to the sound there."""
    cwd = bench.workspace("sound", [])
    with open(os.path.join(cwd, "shaders", "flash.vert"), "w") as f:
        f.write(FLASH_VERTEX)
    with open(os.path.join(cwd, "shaders", "flash.frag"), "w") as f:
        f.write(FLASH_FRAGMENT)
    seconds = 100
    with open(os.path.join(cwd, "shaders", "prog.csv"), "w") as f:
        f.write("shaders/flash.vert\tshaders/flash.frag\t1\t%d\n" % seconds)
    # A 10 ms click at every whole second, silence between.
    click = (b"\x00\x40" * 2) * (RATE // 100)
    second = click + bytes(SOUND_FRAME * RATE - len(click))
    write_wave(os.path.join(cwd, "clicks.wav"), bytes(SOUND_FRAME * RATE) + second * (seconds + 1))
    live = os.path.join(bench.build, "prismwafer-live")
    disk = os.path.join(cwd, "sound.raw")
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=disk)

    # Sync: the whole sequence once, each flash's first frame against its click.
    trace = os.path.join(cwd, "trace.txt")
    if os.path.exists(disk):
        os.unlink(disk)
    sound = DiskSound(disk)
    subprocess.run([live, "--show", "--audio", "clicks.wav"], cwd=cwd, timeout=seconds + 120,
                   env=dict(env, LD_PRELOAD=os.path.join(bench.build, "libframe_probe.so"),
                            PRISMWAFER_PROBE_TRACE=trace, PRISMWAFER_PROBE_FRAMES="1000000000"),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    data = sound.stop()
    with open(trace) as f:
        swaps = [(float(t), int(level)) for t, level in (l.split() for l in f)]
    flashes = [t for (t, level), (_, before) in zip(swaps[1:], swaps) if level > 600 and before < 100]
    clicks, at = [], 0
    while True:
        at = data.find(b"\x00\x40", at)
        if at < 0:
            break
        at -= at % SOUND_FRAME
        clicks.append(sound.heard_at(at))
        at += len(click)
    offsets = [1000 * (f - c) for c, f in zip(clicks, flashes)]
    if len(offsets) >= seconds - 1:
        frame = 1000 / 60
        rows.append(("Sync: first frame of a flash after its click, through SDL's disk driver (%d clicks)" % len(offsets),
                     spread(offsets, " ms"), "", "", "|median| ≤ %.1f ms" % frame))
        drift = statistics.median(offsets[-10:]) - statistics.median(offsets[:10])
        rows.append(("Sync drift over %d s (last ten offsets − first ten)" % seconds, "%.2f ms" % drift, "", "",
                     "≤ %.1f ms" % frame))

    # Cost: frames with the soundtrack playing beside the same without it.
    cwd_loop = bench.workspace("sound-loop", [bench.demo[1][:3] + ["1000"]])
    shutil.copy(os.path.join(cwd, "clicks.wav"), cwd_loop)
    plain = ["prismwafer-live", "-s", "1920x1080", "--no-hud"]
    env_null = dict(env, SDL_DISKAUDIOFILE="/dev/null")
    results = bench.alternate({
        "sound": lambda: bench.probe(plain + ["--audio", "clicks.wav"], cwd_loop, frames=240, warmup=30, env=env_null),
        "silent": lambda: bench.probe(plain, cwd_loop, frames=240, warmup=30, env=env_null)})
    fps = {name: [r["fps"] for r in runs] for name, runs in results.items()}
    rows.append(("Live preview frames per second with the soundtrack playing", spread(fps["sound"]),
                 spread(fps["silent"]), "%.3f" % (statistics.median(fps["sound"]) / statistics.median(fps["silent"])),
                 "≥ 0.97"))

    # Memory: a five-minute soundtrack is decoded whole.
    write_wave(os.path.join(cwd_loop, "five.wav"), bytes(SOUND_FRAME * RATE * 300))
    with open(os.path.join(cwd_loop, "short.csv"), "w") as f:
        f.write("\t".join(bench.demo[1][:3]) + "\t0.5\n")
    peaks = {}
    for name, extra in (("with", ["--audio", "five.wav"]), ("without", [])):
        process = subprocess.Popen([live, "--show", "short.csv"] + extra, cwd=cwd_loop, env=env_null,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        peaks[name] = os.wait4(process.pid, 0)[2].ru_maxrss / 1024
    rows.append(("Peak resident memory, live preview with a 5-minute soundtrack (decoded whole)",
                 "%.1f MiB" % peaks["with"], "%.1f MiB" % peaks["without"], "+%.1f MiB" % (peaks["with"] - peaks["without"]),
                 ""))

    # Seek: from a key one second on to the first sound from there.
    noise = os.urandom(SOUND_FRAME * RATE * 40)
    write_wave(os.path.join(cwd_loop, "noise.wav"), noise)
    if os.path.exists(disk):
        os.unlink(disk)
    sound = DiskSound(disk)
    process = subprocess.Popen([live, "--audio", "noise.wav", "-s", "640x360", "--no-hud"], cwd=cwd_loop, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    latencies = []
    try:
        window = None
        while not window:
            time.sleep(0.2)
            found = subprocess.run(["xdotool", "search", "--pid", str(process.pid)], capture_output=True, text=True)
            window = found.stdout.split()[-1:] or None
        time.sleep(1.0)
        for _ in range(2 * bench.runs):
            size = os.path.getsize(disk)
            subprocess.run(["xdotool", "key", "--window", window[0], "Right"], capture_output=True)
            # The key is with the X server once xdotool is back; starting xdotool is not the preview's.
            pressed = time.monotonic()
            time.sleep(0.6)
            start = size - size % SOUND_FRAME
            with open(disk, "rb") as f:
                f.seek(start - 4800)
                played = f.read(4800)
                written = f.read()
            # Where the sound would be without the seek, from what came before the key: the
            # driver writes whole buffers, so the seek often starts at the very first byte after it.
            before = noise.find(played)
            if before < 0:
                continue
            # The first stretch that comes from more than half a second further on than that.
            for at in range(0, len(written) - 4800, SOUND_FRAME):
                place = noise.find(written[at:at + 4800])
                if place - (before + len(played) + at) > RATE * SOUND_FRAME // 2:
                    latencies.append(1000 * (sound.heard_at(start + at) - pressed))
                    break
    finally:
        process.kill()
        process.wait()
        sound.stop()
    if latencies:
        rows.append(("Seek: from the key to the sound at the new place", spread(latencies, " ms"), "", "",
                     "≤ %.1f ms (a buffer and a frame)" % (1000 * 1024 / RATE + 1000 / 60)))


def scene_costs(bench):
    """What a frame of each demo scene costs to draw at 1920 x 1080, as a table."""
    result = subprocess.run([os.path.join(bench.build, "frame_cost"), "--frames", "24"], cwd=bench.source,
                            capture_output=True, text=True, check=True, timeout=600)
    names = [os.path.splitext(os.path.basename(fields[0]))[0].capitalize() for fields in bench.demo]
    lines = ["| Scene | Instances | Median ms | Max ms |", "|---|---|---|---|"]
    for row in result.stdout.splitlines():
        fields = row.split()
        if fields and fields[0].isdigit():
            index = int(fields[0]) - 1
            lines.append("| %d %s | %s | %s | %s |" % (index + 1, names[index], bench.demo[index][2], fields[1],
                                                       fields[2]))
    return "\n".join(lines)


def draw_chart(chart, path, machine):
    data = path + ".dat"
    with open(data, "w") as f:
        for size, floor, y4m in chart:
            width, height = size.split("x")
            f.write("%s %d %.3f %.3f\n" % (size, int(width) * int(height), floor, y4m))
    script = """set terminal pngcairo size 800,450 font "DejaVu Sans,10"
set output '%s'
set title "prismwafer-render: frames per second against frame size\\n%s"
set xlabel "frame size"
set ylabel "frames per second"
set logscale y
set grid
set key top right
set style data linespoints
plot '%s' using 0:3:xtic(1) title "drawing only" lw 2 pt 7, '' using 0:4 title "writing Y4M" lw 2 pt 5
""" % (path, machine, data)
    subprocess.run(["gnuplot"], input=script, text=True, check=True)
    os.unlink(data)


def machine_description():
    model = "unknown processor"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    renderer = subprocess.run(["glxinfo", "-B"], capture_output=True, text=True).stdout if shutil.which("glxinfo") else ""
    match = re.search(r"OpenGL renderer string: (.*)", renderer)
    return "%s, %d cores, %s" % (model, os.cpu_count(), match.group(1) if match else "Mesa llvmpipe")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("source")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--readme", action="store_true", help="write the table and chart into the README")
    parser.add_argument("--only", help="measure only this section and print its rows (soundtrack, live, ...)")
    parser.add_argument("--against", metavar="RENDERER",
                        help="measure only the renderer, this build's beside RENDERER, another build's")
    args = parser.parse_args()
    bench = Bench(os.path.abspath(args.build), os.path.abspath(args.source), args.runs)
    rows, chart = [], []
    if args.only or args.against:
        if args.against:
            renderer_against(bench, rows, args.against)
        elif args.only == "renderer":
            renderer(bench, rows, chart)
        else:
            globals()[args.only](bench, rows)
        bench.close()
        print("\n".join("| %s |" % " | ".join(row) for row in rows))
        return
    try:
        for section in (startup, frame_loop, lambda b, r: renderer(b, r, chart), memory, live, soundtrack):
            section(bench, rows)
        costs = scene_costs(bench)
    finally:
        bench.close()

    machine = machine_description()
    table = ["| Measure | Program: median (min–max) | Floor: median (min–max) | Ratio | Goal |",
             "|---|---|---|---|---|"] + ["| %s |" % " | ".join(row) for row in rows]
    text = "\n".join(table)
    print("Machine: %s; %s; %d alternating runs each\n" % (machine, platform.platform(), args.runs))
    print(text)
    print("\nEach demo scene at 1920x1080, drawing only, every frame finished:\n")
    print(costs)
    if args.readme:
        chart_path = os.path.join(args.source, "docs", "render-scaling.png")
        draw_chart(chart, chart_path, machine)
        readme = os.path.join(args.source, "README.md")
        with open(readme) as f:
            content = f.read()
        block = ("<!-- bench:start -->\nMeasured by `scripts/bench` on %s (%s), %d alternating runs each, "
                 "%s.\n\n%s\n\n![Renderer frames per second against frame size](docs/render-scaling.png)\n\n"
                 "What a frame of each demo scene costs to draw at 1920 × 1080, headless, each frame "
                 "finished (`build/frame_cost --frames 24`):\n\n%s\n<!-- bench:end -->"
                 % (machine, platform.platform(terse=True), args.runs, time.strftime("%Y-%m-%d"), text, costs))
        content = re.sub(r"<!-- bench:start -->.*<!-- bench:end -->", lambda _: block, content, flags=re.S)
        with open(readme, "w") as f:
            f.write(content)


if __name__ == "__main__":
    main()
