// SPDX-License-Identifier: Apache-2.0
// The page's camera mode in headless chromium, whose fake camera plays the synthetic face video
// that tools/make_face_video.py renders: after 27 s the checked heart and respiratory rates are
// within 3 per minute of the reference rates of the pulse and breathing rendered in (from the
// recording's ECG and belt), the session's heart rate within 3 of what it reads in the rendered
// pulse itself over the same 10 s, the debug lines show
// each region derived from its face by calculateRoi and the planner's buffer kept alive and run
// once a second, and stopping releases the camera. A screenshot goes to QUORVANTA_SCREENSHOT_DIR.
import assert from "node:assert/strict";
import { execFile } from "node:child_process";
import { mkdir, mkdtemp, readFile, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { pathToFileURL } from "node:url";
import { promisify } from "node:util";

import { launch, serve } from "./harness.mjs";

const SECONDS = 27;  // of the video's 30: the fake camera starts it again at its end
const { QUORVANTA_WEB_DIR: webDir, QUORVANTA_SOURCE_DIR: sourceDir,
        QUORVANTA_SCREENSHOT_DIR: screenshotDir } = process.env;
assert.ok(webDir && sourceDir && screenshotDir,
          "QUORVANTA_WEB_DIR, QUORVANTA_SOURCE_DIR and QUORVANTA_SCREENSHOT_DIR must be set (ctest sets them)");
const qc = await (await import(pathToFileURL(join(webDir, "quorvanta_core/quorvanta_core.mjs")).href)).default();
let server, browser, video;

before(async () => {
  video = await mkdtemp(join(tmpdir(), "quorvanta-face-video-"));
  await promisify(execFile)(process.env.QUORVANTA_PYTHON || "/usr/bin/python3",
                            [join(sourceDir, "tools/make_face_video.py"), video, "--seconds", "30"]);
  await mkdir(screenshotDir, { recursive: true });
  server = await serve(webDir);
  browser = await launch(["--use-fake-device-for-media-stream", "--use-fake-ui-for-media-stream",
                          `--use-file-for-fake-video-capture=${join(video, "face.y4m")}`]);
});

after(async () => {
  await browser?.close();
  server?.close();
  if (video) await rm(video, { recursive: true, force: true });
});

const sides = (text) => text.split(",").map(Number);

test("the camera mode follows the rendered pulse and breathing through the planner", async () => {
  const truth = JSON.parse(await readFile(join(video, "face.json"), "utf8"));
  const page = await browser.newPage({ width: 1280, height: 900 });
  await page.goto(`${server.origin}/?debug`);
  await page.waitFor(() => document.body.dataset.state === "playing", 10_000);  // the controls are ready
  await page.evaluate(() => document.getElementById("use-camera").click());
  await page.waitFor(() => document.body.dataset.state === "live", 10_000);
  await page.waitFor((seconds) => parseFloat(document.getElementById("position").textContent) >= seconds,
                     (SECONDS + 10) * 1000, SECONDS);
  await page.screenshot(join(screenshotDir, "camera.png"));
  const [position, rows] = await page.evaluate(() => [
    parseFloat(document.getElementById("position").textContent),
    [...document.querySelectorAll("#vitals tbody tr")].map(
      (row) => [row.dataset.vital, Number(row.dataset.value), Number(row.dataset.checked)])]);
  const second = Math.round(position);
  assert.deepEqual(rows.map(([id]) => id), ["heart_rate", "respiratory_rate"]);
  for (const [id, , checked] of rows) {
    const [, expected] = truth[id].find(([at]) => at === second);
    assert.ok(Math.abs(checked - expected) <= 3, `${id} at ${second} s: checked ${checked} against ${expected}`);
  }
  // The session's own heart rate reads a 10 s window, as estimateHeartRate does the pulse itself.
  const fps = truth.fps, rendered = Float32Array.from(truth.pulse.slice((second - 10) * fps, second * fps));
  const { rate: fromPulse } = qc.estimateHeartRate(rendered, fps);
  assert.ok(Math.abs(rows[0][1] - fromPulse) <= 3, `heart rate ${rows[0][1]} against ${fromPulse} in the pulse`);

  const frames = page.console.filter((line) => line.startsWith("frame"))
    .map((line) => line.match(/^frame t=\S+ face (\S+) region (\S+) (\w+) (\w+)$/));
  assert.ok(frames.length >= 25 * SECONDS && frames.every(Boolean), "a face in every frame");
  const [width, height] = truth.size;
  for (const [, face, region] of frames.filter((_, i) => i % 50 === 0)) {
    const [x, y, w, h] = sides(face);
    const derived = qc.calculateRoi({ x, y, width: w, height: h }, "face",
                                    { container: { width, height }, forceEven: true });
    assert.deepEqual(sides(region), [derived.x, derived.y, derived.width, derived.height]);
  }
  assert.deepEqual(frames[0].slice(3), ["Create", "b1"]);
  assert.deepEqual(new Set(frames.slice(1).map((m) => m.slice(3).join(" "))), new Set(["KeepAlive b1"]));
  const runs = page.console.filter((line) => line.startsWith("poll"))
    .map((line) => line.match(/^poll t=\S+ run b1 take (\d+) keep (\d+) drop -$/)).filter(Boolean);
  assert.ok(runs.length >= SECONDS - 3, `${runs.length} runs`);
  for (const [, take, keep] of runs) assert.equal(Number(keep), Math.min(Number(take), 47));

  await page.evaluate(() => document.getElementById("stop-camera").click());
  await page.waitFor(() => document.body.dataset.state === "done", 5000);
  assert.deepEqual(await page.evaluate(() => [document.getElementById("camera-video").srcObject,
                                               document.getElementById("camera").hidden]), [null, true]);
  assert.deepEqual(page.errors, []);
  await page.close();
});
