// The exported web page in Debian's chromium, headless with SwiftShader's WebGL2, held against the renderer.
"use strict";
const {execFileSync, spawnSync} = require("child_process");
const fs = require("fs");
const os = require("os");
const path = require("path");

const [renderer, sourceDir] = process.argv.slice(2);
const chromiumPath = ["/usr/bin/chromium", "/usr/lib/chromium/chromium"].find(p => fs.existsSync(p));
if (!chromiumPath) {
  console.log("SKIP: chromium is not installed (Debian package chromium); scripts/test installs it");
  process.exit(77);
}
let chromium;
try {
  ({chromium} = require(path.join(__dirname, "node_modules", "playwright-core")));
} catch (e) {
  console.error("playwright-core is missing: run PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci in tests/web (scripts/test does)");
  process.exit(1);
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), "prismwafer-web-"));
const failures = [];
function check(condition, what) {
  if (!condition) failures.push(what);
  console.log((condition ? "ok   " : "FAIL ") + what);
}
function render(args, cwd = sourceDir) {
  return spawnSync(renderer, args, {cwd, encoding: "utf8"});
}
// The page's deadlines name what they wait for.
async function waitFor(page, what, predicate, seconds = 30) {
  try {
    await page.waitForFunction(predicate, null, {timeout: seconds * 1000, polling: 50});
  } catch (e) {
    const said = await page.evaluate(() => document.getElementById("note").textContent).catch(() => "");
    throw new Error(`the page did not ${what} within ${seconds} s (it says: ${said || "nothing"})`);
  }
}
// Only the file itself may be fetched: the page must need nothing beside it.
async function openPage(browser, file, query, width, height) {
  const page = await browser.newPage({viewport: {width, height}, deviceScaleFactor: 1});
  const fetched = [];
  await page.route("**/*", route => {
    fetched.push(route.request().url());
    return route.request().url().startsWith("file:") ? route.continue() : route.abort();
  });
  const started = Date.now();
  await page.goto("file://" + file + query);
  await waitFor(page, "set its ready flag", () => window.prismwafer && window.prismwafer.ready);
  page.loadSeconds = (Date.now() - started) / 1000;
  page.fetched = fetched;
  return page;
}

// Share of pixels whose every channel is within tolerance of the renderer's frame. With a reach
// of 1, the renderer's value may be any in the range that its pixel and the eight around it span:
// what a shift of under a pixel gives, where the two rasterisers' sines differ in the last bits
// and move an edge or a steep gradient by a fraction of a pixel.
function matchingShare(page, refPng, width, height, tolerance, reach = 0) {
  const reference = execFileSync("convert", [refPng, "-depth", "8", "rgb:-"], {maxBuffer: 1 << 26});
  const pixels = Buffer.from(page.rgba, "base64");
  let close = 0;
  for (let y = 0; y < height; y++) {
    const pageRow = (height - 1 - y) * width * 4; // the page's rows come bottom first
    for (let x = 0; x < width; x++) {
      let ok = true;
      for (let c = 0; c < 3 && ok; c++) {
        let low = 255, high = 0;
        for (let ry = Math.max(0, y - reach); ry <= Math.min(height - 1, y + reach); ry++) {
          for (let rx = Math.max(0, x - reach); rx <= Math.min(width - 1, x + reach); rx++) {
            const value = reference[(ry * width + rx) * 3 + c];
            low = Math.min(low, value);
            high = Math.max(high, value);
          }
        }
        const shown = pixels[pageRow + x * 4 + c];
        ok = shown >= low - tolerance && shown <= high + tolerance;
      }
      close += ok ? 1 : 0;
    }
  }
  return close / (width * height);
}

async function main() {
  const demo = path.join(work, "demo.html");
  let result = render(["-q", "-o", demo]);
  check(result.status === 0, "the demo exports as a web page: " + result.stderr.trim());
  const text = fs.readFileSync(demo, "utf8");
  check(text.length <= 100 * 1024, `the page without a soundtrack is at most 100 KB (${(text.length / 1024).toFixed(1)} KB)`);
  check(!/https?:\/\//.test(text), "the page names no address");
  check(/uniform mat4 mvp;/.test(text) && /uniform (highp )?float time;/.test(text), "the translated shaders keep mvp and time");

  const browser = await chromium.launch({
    executablePath: chromiumPath, headless: true,
    args: ["--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
           "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
           "--autoplay-policy=user-gesture-required"],
  });
  try {
    // The page's frames against the renderer's, in scenes whose pixels depend only on the
    // transform, the instance index and the time: either side of the first scene's end frame
    // (0.5 s at 60 fps ends in frame 31, which still shows it) and in the next scene.
    const width = 480, height = 270, tolerance = 3, share = 0.99;
    const exact = path.join(work, "exact");
    fs.mkdirSync(path.join(exact, "shaders"), {recursive: true});
    fs.writeFileSync(path.join(exact, "shaders/grid.vert"), `#version 450 core
layout(location = 0) in vec4 position;
layout(location = 2) in vec2 texCoord;
uniform mat4 mvp;
uniform float time;
out vec2 uv;
out float shade;
void main() {
    float column = gl_InstanceID % 12 - 5.5;
    float row = gl_InstanceID / 12 - 3;
    vec4 clip = mvp * vec4(position.xy * 0.16, 0.0, 1.0);
    gl_Position = clip + vec4(column * 0.15, row * 0.25 + time * 0.2, 0.0, 0.0) * clip.w;
    uv = texCoord;
    shade = fract(time * 3.0 + gl_InstanceID * 0.01);
}
`);
    fs.writeFileSync(path.join(exact, "shaders/grid.frag"), `#version 450 core
in vec2 uv;
in float shade;
uniform float time;
out vec4 color;
void main() {
    color = vec4(uv, shade, 1.0) * (0.5 + 0.5 * fract(time * 7.0));
}
`);
    fs.writeFileSync(path.join(exact, "shaders/prog.csv"),
      "shaders/grid.vert\tshaders/grid.frag\t84\t0.5\nshaders/grid.vert\tshaders/grid.frag\t60\t0.25\n");
    const exactPage = path.join(exact, "exact.html");
    result = render(["-q", "-o", exactPage], exact);
    check(result.status === 0, "a list of its own exports: " + result.stderr.trim());
    for (const [at, scene] of [["0.3", 0], [(31 / 60).toFixed(5), 0], [(33 / 60).toFixed(5), 1], ["0.7", 1]]) {
      const ref = path.join(work, `exact-${at}.png`);
      const rendered = render(["-q", "-s", `${width}x${height}`, "--at", at, "-o", ref], exact);
      const page = await openPage(browser, exactPage, "?at=" + at, width, height);
      const shown = await page.evaluate(() => Object.assign({scene: window.prismwafer.scene}, window.prismwafer.read()));
      const matching = rendered.status === 0 ? matchingShare(shown, ref, width, height, tolerance) : 0;
      check(shown.scene === scene && shown.width === width && matching >= share,
            `at ${at} s, scene ${shown.scene + 1}: ${(matching * 100).toFixed(2)} % of pixels within ${tolerance} levels of the renderer's frame`);
      await page.close();
    }

    // Every demo scene builds in the browser and draws the renderer's frame, within the tolerance
    // above of what the renderer draws less than a pixel away; at a size where its smallest dots are
    // several pixels wide, so that not every pixel of them is an edge.
    const [demoWidth, demoHeight] = [960, 540];
    const durations = fs.readFileSync(path.join(sourceDir, "shaders/prog.csv"), "utf8").trim().split("\n")
      .map(line => parseFloat(line.split("\t")[3]));
    let start = 0;
    for (let i = 0; i < durations.length; i++) {
      const at = (start + durations[i] / 2).toFixed(3);
      start += durations[i];
      const ref = path.join(work, `ref-${i + 1}.png`);
      result = render(["-q", "-s", `${demoWidth}x${demoHeight}`, "--at", at, "-o", ref]);
      const page = await openPage(browser, demo, "?at=" + at, demoWidth, demoHeight);
      const shown = await page.evaluate(() => Object.assign({scene: window.prismwafer.scene, error: window.prismwafer.error},
                                                            window.prismwafer.read()));
      const lit = Buffer.from(shown.rgba, "base64").some((v, k) => k % 4 !== 3 && v > 32);
      check(shown.scene === i && shown.error === null && lit, `demo scene ${i + 1} at ${at} s builds and draws in the browser`);
      const [same, near] = result.status === 0 ? [0, 1].map(reach => matchingShare(shown, ref, demoWidth, demoHeight, tolerance, reach)) : [0, 0];
      check(near >= share, `it matches the renderer's frame: ${(near * 100).toFixed(2)} % of pixels within ${tolerance} levels ` +
            `less than a pixel away (${(same * 100).toFixed(2)} % in place)`);
      check(page.fetched.length === 1, `the page fetched nothing but itself (${page.fetched.join(", ")})`);
      const frames = await page.evaluate(() => window.prismwafer.frames);
      await page.waitForTimeout(200);
      check(await page.evaluate(f => window.prismwafer.frames === f && window.prismwafer.paused, frames), "?at holds the frame");
      await page.close();
    }

    // Playing: the frame counter advances on the page's own clock, and ?scene=N starts at scene N.
    const playing = await openPage(browser, demo, "?scene=3", 640, 360);
    await waitFor(playing, "draw 20 frames", () => window.prismwafer.frames >= 20);
    const t0 = Date.now(), f0 = await playing.evaluate(() => window.prismwafer.frames);
    await playing.waitForTimeout(2000);
    const state = await playing.evaluate(() => window.prismwafer);
    const fps = (state.frames - f0) / ((Date.now() - t0) / 1000);
    check(state.scene === 2 && !state.paused, `?scene=3 plays scene 3 (scene ${state.scene + 1})`);
    console.log(`page at 640x360: ${fps.toFixed(1)} frames drawn a second; first frame ${state.firstFrameMs.toFixed(0)} ms after navigation`);
    await playing.keyboard.press(" ");
    await waitFor(playing, "paused after Space", () => window.prismwafer.paused);
    const held = await playing.evaluate(() => window.prismwafer.frame);
    await playing.waitForTimeout(300);
    check(await playing.evaluate(f => window.prismwafer.paused && window.prismwafer.frame === f, held), "Space pauses");
    if (process.env.PRISMWAFER_WEB_SCREENSHOT) {
      const shot = await openPage(browser, demo, "?at=79", 960, 540);
      await shot.screenshot({path: process.env.PRISMWAFER_WEB_SCREENSHOT});
    }
    await playing.close();

    // With a soundtrack: re-encoded as Opus, it waits for a click, then the sound is the clock.
    const wav = path.join(work, "tone.wav");
    execFileSync("ffmpeg", ["-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=6", wav]);
    const sounded = path.join(work, "sound.html");
    result = render(["-q", "-o", sounded, "--audio", wav]);
    check(result.status === 0 && /id="sound"/.test(fs.readFileSync(sounded, "utf8")), "a WAV soundtrack is embedded: " + result.stderr.trim());
    const withSound = await openPage(browser, sounded, "", 320, 180);
    check(await withSound.isVisible("text=Click to play"), "with sound it asks for a click");
    await withSound.mouse.click(160, 90);
    await waitFor(withSound, "play on a click", () => window.prismwafer.frame > 10);
    // How far the picture's second is from the sound's, read at thirty frames.
    const gaps = await withSound.evaluate(() => new Promise(done => {
      const gaps = [];
      const step = () => {
        gaps.push(Math.abs(window.prismwafer.second - window.prismwafer.sound.currentTime));
        if (gaps.length < 30) requestAnimationFrame(step); else done(gaps);
      };
      requestAnimationFrame(step);
    }));
    console.log(`     the picture's second is at most ${(Math.max(...gaps) * 1000).toFixed(0)} ms from the sound's over 30 frames`);
    await withSound.evaluate(() => { window.prismwafer.sound.currentTime = 4; });
    await waitFor(withSound, "the picture to follow the sound to its fourth second",
                  () => window.prismwafer.second >= 4 && window.prismwafer.second < 5);
    await withSound.evaluate(() => window.prismwafer.sound.pause());
    await waitFor(withSound, "a frame drawn at the paused sound's second",
                  () => window.prismwafer.second === window.prismwafer.sound.currentTime);
    const heldAt = await withSound.evaluate(() => window.prismwafer.second);
    await withSound.waitForTimeout(300);
    check(await withSound.evaluate(s => window.prismwafer.second === s && !window.prismwafer.paused, heldAt),
          `the sound is the clock: moved to 4 s, the picture went there, and held, it holds (${heldAt.toFixed(3)} s)`);
    await withSound.close();

    // A scene that translates but does not link in the browser says so on the page.
    const broken = path.join(work, "broken");
    fs.mkdirSync(path.join(broken, "shaders"), {recursive: true});
    fs.copyFileSync(path.join(sourceDir, "shaders/drift.vert"), path.join(broken, "shaders/drift.vert"));
    fs.writeFileSync(path.join(broken, "shaders/lost.frag"),
      "#version 450 core\nin float lost;\nout vec4 color;\nvoid main() {\n  color = vec4(lost);\n}\n");
    fs.writeFileSync(path.join(broken, "shaders/clip.frag"),
      "#version 450 core\nout vec4 color;\nvoid main() {\n  color = vec4(gl_ClipDistance[0]);\n}\n");
    fs.writeFileSync(path.join(broken, "shaders/wide.frag"),
      "#version 450 core\nuniform float time;\nout vec4 color;\n\nvoid main() {\n  double t = double(time);\n  color = vec4(float(t));\n}\n");
    fs.writeFileSync(path.join(broken, "shaders/prog.csv"), "shaders/drift.vert\tshaders/lost.frag\t10\t1\n");
    result = render(["-q", "-o", "lost.html"], broken);
    check(result.status === 0, "a scene that does not link still exports");
    const lost = await openPage(browser, path.join(broken, "lost.html"), "", 320, 180);
    check(await lost.isVisible("text=Scene 1 does not build in this browser"), "the browser's refusal is shown on the page");
    await lost.close();

    // What ES 3.00 cannot express is refused at export and by --check --web, placed in the file.
    fs.writeFileSync(path.join(broken, "shaders/prog.csv"),
      "shaders/drift.vert\tshaders/wide.frag\t10\t1\nshaders/drift.vert\tshaders/clip.frag\t10\t1\n" +
      "shaders/drift.vert\tshaders/lost.frag\t10\t1\n");
    result = render(["-o", "refused.html"], broken);
    check(result.status === 1 && !fs.existsSync(path.join(broken, "refused.html")) &&
          /^shaders\/wide\.frag:6: .*FP64/m.test(result.stderr) && /^shaders\/clip\.frag:4: .*gl_ClipDistance/m.test(result.stderr),
          "the export refuses double and gl_ClipDistance with FILE:LINE: " + result.stderr.trim());
    const checked = render(["-q", "--check", "--web"], broken);
    check(checked.status === 1 && /^shaders\/wide\.frag:6: /m.test(checked.stderr) && /^shaders\/clip\.frag:4: /m.test(checked.stderr) &&
          /, 2 cannot be translated for the web page\.$/m.test(checked.stdout),
          "--check --web says the same, and counts those two scenes of three: " + checked.stderr.trim() + checked.stdout.trim());
    check(render(["-q", "--check", "--web"]).status === 0, "--check --web passes the demo");
  } finally {
    await browser.close();
  }
}

main().catch(e => failures.push(String(e.stack || e))).finally(() => {
  fs.rmSync(work, {recursive: true, force: true});
  if (failures.length) {
    console.error(failures.length + " failed:\n" + failures.join("\n"));
    process.exit(1);
  }
});
