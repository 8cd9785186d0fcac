// The web page's text: the scenes, the timeline's end frames and the player, in one HTML file.
#include <cstdio>

#include "frames/frame_clock.h"
#include "render/web_export.h"
#include "scene/transform.h"

namespace {

// A JSON string that cannot end the script element it stands in.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::string base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const unsigned a = static_cast<unsigned char>(bytes[i]);
        const unsigned b = left > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const unsigned c = left > 2 ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const unsigned triple = a << 16 | b << 8 | c;
        out += digits[triple >> 18 & 63];
        out += digits[triple >> 12 & 63];
        out += left > 1 ? digits[triple >> 6 & 63] : '=';
        out += left > 2 ? digits[triple & 63] : '=';
    }
    return out;
}

// The player: the renderer's clock at the page's rate, the sound as its clock when there is one.
const char* const pageHead = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width,initial-scale=1">
<title>Prismwafer</title>
<style>
html,body{margin:0;height:100%;background:#000;overflow:hidden}
canvas{display:block;width:100vw;height:100vh}
#note{position:fixed;left:50%;top:50%;transform:translate(-50%,-50%);max-width:80vw;max-height:80vh;
overflow:auto;padding:1em 1.5em;font:16px/1.4 sans-serif;color:#fff;background:rgba(48,48,48,.9);
border-radius:6px;white-space:pre-wrap;cursor:pointer}
#note.error{color:#ffd0d0;background:rgba(110,0,0,.92);font-family:monospace}
</style></head>
<body><canvas id="view"></canvas><div id="note" hidden></div>
)";

const char* const pageScript = R"JS(<script>
"use strict";
const data = JSON.parse(document.getElementById("data").textContent);
const state = window.prismwafer = {ready: false, frames: 0, frame: -1, scene: -1, error: null,
                                   firstFrameMs: null, paused: false, ended: false, second: 0, sound: null};
const fps = data.fps;
const ends = data.endFrames.map(e => e === null ? Infinity : e);
const lastFrame = ends[ends.length - 1];
const canvas = document.getElementById("view");
const note = document.getElementById("note");
function say(text, error) {
  note.textContent = text;
  note.className = error ? "error" : "";
  note.hidden = false;
  if (error) state.error = (state.error ? state.error + "\n" : "") + text;
}
window.addEventListener("error", e => say("The page failed: " + e.message, true));

// The renderer's clock: frame k shows second k / fps; scene i ends in frame ends[i], whose
// reading starts scene i + 1.
function frameAtSecond(t) {
  const product = t * fps;
  return Math.floor(product + 1e-9 * Math.max(1, product));
}
function slot(frame) {
  let scene = 0;
  while (scene < ends.length - 1 && ends[scene] < frame) scene++;
  const start = scene === 0 ? 0 : ends[scene - 1];
  return {scene, elapsed: frame / fps - start / fps};
}

const gl = canvas.getContext("webgl2", {antialias: false, alpha: false, depth: true, stencil: true,
                                        premultipliedAlpha: false});
const programs = [];
function build() {
  const quad = new Float32Array([-1, -1, 0, 1, 0, 0, 1, 0, 0,  1, -1, 0, 1, 0, 0, 1, 1, 0,
                                 -1, 1, 0, 1, 0, 0, 1, 0, 1,  1, 1, 0, 1, 0, 0, 1, 1, 1]);
  gl.bindVertexArray(gl.createVertexArray());
  gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
  gl.bufferData(gl.ARRAY_BUFFER, quad, gl.STATIC_DRAW);
  [[0, 4, 0], [1, 3, 16], [2, 2, 28]].forEach(([location, size, offset]) => {
    gl.enableVertexAttribArray(location);
    gl.vertexAttribPointer(location, size, gl.FLOAT, false, 36, offset);
  });
  gl.enable(gl.DEPTH_TEST);
  const problems = [];
  data.scenes.forEach((scene, i) => {
    const program = gl.createProgram();
    const logs = [];
    [[gl.VERTEX_SHADER, scene.vertex, scene.vertexPath],
     [gl.FRAGMENT_SHADER, scene.fragment, scene.fragmentPath]].forEach(([type, source, path]) => {
      const shader = gl.createShader(type);
      gl.shaderSource(shader, source);
      gl.compileShader(shader);
      if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) logs.push(path + ": " + gl.getShaderInfoLog(shader));
      gl.attachShader(program, shader);
    });
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) {
      logs.push("linking " + scene.vertexPath + " with " + scene.fragmentPath + ": " + gl.getProgramInfoLog(program));
      problems.push("Scene " + (i + 1) + " does not build in this browser:\n" + logs.join("\n").trim());
      programs.push(null);
      return;
    }
    gl.useProgram(program);
    const mvp = gl.getUniformLocation(program, "mvp");
    if (mvp) gl.uniformMatrix4fv(mvp, false, data.mvp);
    programs.push({program, time: gl.getUniformLocation(program, "time"), count: Math.max(0, scene.instances)});
  });
  if (problems.length) say(problems.join("\n\n"), true);
}

// The window's pixels, as a frame of that shape from the renderer: the picture stretches.
function fit() {
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(innerWidth * ratio));
  const height = Math.max(1, Math.round(innerHeight * ratio));
  if (canvas.width === width && canvas.height === height) return false;
  canvas.width = width;
  canvas.height = height;
  return true;
}
function render(frame) {
  gl.viewport(0, 0, canvas.width, canvas.height);
  gl.clearColor(0, 0, 0, 1);
  gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
  const shown = slot(frame);
  const scene = programs[shown.scene];
  if (scene) {
    gl.useProgram(scene.program);
    if (scene.time) gl.uniform1f(scene.time, shown.elapsed);
    gl.drawArraysInstanced(gl.TRIANGLE_STRIP, 0, 4, scene.count);
  }
  state.frame = frame;
  state.scene = shown.scene;
}
// The drawn frame, bottom row first, as base64 RGBA: what the tests compare.
state.read = () => {
  render(state.frame);
  const pixels = new Uint8Array(canvas.width * canvas.height * 4);
  gl.readPixels(0, 0, canvas.width, canvas.height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
  let text = "";
  for (let i = 0; i < pixels.length; i += 32768) text += String.fromCharCode.apply(null, pixels.subarray(i, i + 32768));
  return {width: canvas.width, height: canvas.height, rgba: btoa(text)};
};

const params = new URLSearchParams(location.search);
let first = 0, last = lastFrame;
const sceneNumber = parseInt(params.get("scene"), 10);
if (sceneNumber >= 1 && sceneNumber <= ends.length) {
  first = sceneNumber === 1 ? 0 : ends[sceneNumber - 2];
  last = ends[sceneNumber - 1];
}
const at = params.has("at") ? parseFloat(params.get("at")) : NaN;
const still = isNaN(at) ? null : Math.min(Math.max(first + frameAtSecond(Math.max(at, 0)), 0), last);
const startSecond = (sceneNumber >= 2 && sceneNumber <= ends.length ? first + 1 : 0) / fps;

const sound = document.getElementById("sound");
const audio = sound && still === null ? new Audio("data:audio/ogg;base64," + sound.textContent.trim()) : null;
// Held, the reading is clock.second; running, the sound's position, or past its end (or with none)
// the seconds since clock.since added to clock.second.
const clock = {second: startSecond, since: 0, running: false, started: false};
// What embeds the page may turn the sound down or move it; the picture follows.
state.sound = audio;
function reading(now) {
  if (!clock.running) return clock.second;
  if (audio && !audio.ended) return audio.currentTime;
  return clock.second + (now - clock.since) / 1000;
}
function run(now) {
  clock.since = now;
  clock.running = true;
  clock.started = true;
  state.paused = false;
  if (audio && (isNaN(audio.duration) || clock.second < audio.duration)) {
    audio.currentTime = clock.second;
    audio.play().catch(e => say("The sound does not play: " + e.message, true));
  }
}
// Held on the second of the frame shown, so that pausing never moves the picture.
function hold(now) {
  clock.second = clock.shown !== undefined ? clock.shown : reading(now);
  clock.running = false;
  state.paused = true;
  if (audio) audio.pause();
}
if (audio) {
  audio.addEventListener("ended", () => { clock.second = audio.duration; clock.since = performance.now(); });
}

function tick(now) {
  const resized = fit();
  if (still === null) clock.shown = reading(now);
  state.second = still === null ? clock.shown : still / fps;
  let frame = still !== null ? still : Math.min(frameAtSecond(clock.shown), last);
  if (frame !== state.frame || resized) {
    render(frame);
    state.frames++;
    if (state.firstFrameMs === null) state.firstFrameMs = performance.now();
  }
  if (still === null && clock.running && frame >= last) {
    hold(now);
    state.ended = true;
  }
  if (!state.ready) requestAnimationFrame(() => { state.ready = true; });
  requestAnimationFrame(tick);
}

function toggleFullScreen() {
  if (document.fullscreenElement) document.exitFullscreen();
  else document.documentElement.requestFullscreen().catch(() => {});
}
function togglePause() {
  if (still !== null || state.ended) return;
  const now = performance.now();
  if (clock.running) hold(now); else run(now);
}
window.addEventListener("keydown", e => {
  if (e.key === "f" || e.key === "F") toggleFullScreen();
  else if (e.key === " ") { e.preventDefault(); if (clock.started) togglePause(); else start(); }
});
window.addEventListener("dblclick", toggleFullScreen);
function start() {
  if (clock.started) return;
  if (!state.error) note.hidden = true;
  run(performance.now());
}

if (!gl) {
  say("This page needs WebGL2, which this browser does not offer.", true);
} else {
  build();
  if (still === null && audio) {
    if (!state.error) say("Click to play, with sound");
    window.addEventListener("click", start);
  } else if (still === null) {
    clock.running = true;
    clock.started = true;
    clock.since = performance.now();
  } else {
    state.paused = true;
  }
  requestAnimationFrame(tick);
}
</script>
</body></html>
)JS";

} // namespace

std::string webPageText(const std::vector<SceneDescription>& scenes,
                        const std::vector<WebShader>& vertex,
                        const std::vector<WebShader>& fragment, double fps,
                        const std::string& soundtrack) {
    std::vector<float> durations;
    for (const SceneDescription& scene : scenes) {
        durations.push_back(scene.duration);
    }
    const std::vector<int64_t> ends = sceneEndFrames(durations, fps);
    std::string json = "{\"fps\":" + number(fps) + ",\"mvp\":[";
    const Matrix4 mvp = sceneTransform();
    for (size_t i = 0; i < mvp.size(); ++i) {
        json += (i ? "," : "") + number(mvp[i]);
    }
    json += "],\"endFrames\":[";
    for (size_t i = 0; i < ends.size(); ++i) {
        json +=
            (i ? "," : "") + (ends[i] == neverEnds ? std::string("null") : std::to_string(ends[i]));
    }
    json += "],\"scenes\":[";
    // A scene after one that never ends is never shown.
    for (size_t i = 0; i < ends.size(); ++i) {
        json += std::string(i ? "," : "") +
                "\n{\"vertexPath\":" + jsonString(scenes[i].vertex.path) +
                ",\"fragmentPath\":" + jsonString(scenes[i].fragment.path) +
                ",\"instances\":" + std::to_string(scenes[i].instanceCount) +
                ",\"vertex\":" + jsonString(vertex[i].essl) +
                ",\"fragment\":" + jsonString(fragment[i].essl) + "}";
    }
    json += "]}";
    std::string page = pageHead;
    page += "<script type=\"application/json\" id=\"data\">" + json + "</script>\n";
    if (!soundtrack.empty()) {
        page += "<script type=\"text/plain\" id=\"sound\">" + base64(soundtrack) + "</script>\n";
    }
    return page + pageScript;
}
