// SPDX-License-Identifier: Apache-2.0
// The web page in a real browser: Debian's chromium, headless, driven over the DevTools protocol, loads the
// assembled page from a local http.server, plays the sample as fast as possible and must show the
// sample's true heart and respiratory rates; bad files must show the command's messages; the page
// must fit a phone's screen. Screenshots go to QUORVANTA_SCREENSHOT_DIR.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { mkdir, mkdtemp, readFile, rm, writeFile } from "node:fs/promises";
import { createServer } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { pathToFileURL } from "node:url";

import { launchChromium } from "./chromium.mjs";

const CHROMIUM = process.env.QUORVANTA_CHROMIUM || "/usr/bin/chromium";
const CHROMIUM_FLAGS = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                        "--disable-background-networking", "--disable-component-update",
                        "--disable-sync"];
const DESKTOP = { width: 1280, height: 800 };
const PHONE = { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true };
const SAMPLE_PAGE = "/?recording=sample&speed=max";
const PLAY_TIMEOUT_MS = 30_000;
// The window each rate's estimator reads, over which the truth is averaged (see
// docs/input-format.md, "Truth file"): 10 s for heart rate, 30 s for respiratory rate.
const RATE_WINDOWS = { heart_rate: 10, respiratory_rate: 30 };
const RATE_TOLERANCE = 3;

const { QUORVANTA_WEB_DIR: webDir, QUORVANTA_SOURCE_DIR: sourceDir,
        QUORVANTA_SCREENSHOT_DIR: screenshotDir } = process.env;
if (!webDir || !sourceDir || !screenshotDir) {
  throw new Error("QUORVANTA_WEB_DIR, QUORVANTA_SOURCE_DIR and QUORVANTA_SCREENSHOT_DIR must be " +
                  "set (ctest sets them)");
}

async function freePort() {
  const probe = createServer();
  await new Promise((resolve) => probe.listen(0, "127.0.0.1", resolve));
  const { port } = probe.address();
  await new Promise((resolve) => probe.close(resolve));
  return port;
}

/** Python's http.server on a free loopback port, serving `folder`; resolves once it answers. */
async function serve(folder) {
  const port = await freePort();
  const server = spawn("/usr/bin/python3", ["-m", "http.server", "--bind", "127.0.0.1",
                                            String(port), "--directory", folder],
                       { stdio: ["ignore", "ignore", "pipe"] });
  let log = "";
  server.stderr.on("data", (chunk) => { log += chunk; });
  const origin = `http://127.0.0.1:${port}`;
  for (const deadline = Date.now() + 10_000; Date.now() < deadline;) {
    if (server.exitCode !== null) break;
    if (await fetch(`${origin}/index.html`).then((r) => r.ok, () => false)) {
      return { origin, stop: () => server.kill() };
    }
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  server.kill();
  throw new Error(`http.server did not answer on ${origin}:\n${log}`);
}

const { default: loadQuorvantaCore } =
  await import(pathToFileURL(join(webDir, "quorvanta_core", "quorvanta_core.mjs")).href);
const qc = await loadQuorvantaCore();
let server;
let browser;
let profile;
let scratch;

before(async () => {
  server = await serve(webDir);
  profile = await mkdtemp(join(tmpdir(), "quorvanta-chromium-"));
  scratch = await mkdtemp(join(tmpdir(), "quorvanta-web-files-"));
  await mkdir(screenshotDir, { recursive: true });
  browser = await launchChromium(CHROMIUM, [...CHROMIUM_FLAGS, `--user-data-dir=${profile}`]);
});

after(async () => {
  await browser?.close();
  server?.stop();
  for (const folder of [profile, scratch]) if (folder) await rm(folder, { recursive: true, force: true });
});

/** A new tab at `viewport` showing `path`, with the page's errors collected. */
async function openPage(viewport, path) {
  const page = await browser.newPage(viewport);
  await page.goto(server.origin + path);
  return page;
}

/** Waits until the page has finished playing or failed; returns the state. */
async function settledState(page) {
  await page.waitFor(() => ["done", "error"].includes(document.body?.dataset.state), PLAY_TIMEOUT_MS);
  return page.evaluate(() => document.body.dataset.state);
}

/** A property of the first element that `selector` matches. */
function property(page, selector, name) {
  return page.evaluate((s, n) => document.querySelector(s)[n], selector, name);
}

async function expectDone(page) {
  const state = await settledState(page);
  const message = await property(page, "#message", "textContent");
  assert.equal(state, "done", `the page stopped with: ${message}`);
  assert.deepEqual(page.errors, []);
}

function vitalRows(page) {
  return page.evaluate(() => [...document.querySelectorAll("#vitals tbody tr")].map((row) => ({
    id: row.dataset.vital, value: Number(row.dataset.value),
    name: row.cells[0].textContent, unit: row.cells[2].textContent,
  })));
}

async function sampleTruth() {
  const truth = JSON.parse(await readFile(join(sourceDir, "data/sample_recording.truth.json"), "utf8"));
  const csv = (await readFile(join(sourceDir, "data/sample_recording.csv"), "utf8")).trim();
  const end = Number(csv.slice(csv.lastIndexOf("\n") + 1).split(",")[0]);
  return (id) => {
    const inWindow = truth.vitals[id].filter((_, i) =>
      truth.timestamp[i] > end - RATE_WINDOWS[id] && truth.timestamp[i] <= end);
    return inWindow.reduce((sum, value) => sum + value, 0) / inWindow.length;
  };
}

/** Pixels near `color` in each plot's drawing area (below its title line). */
function plotPixels(page) {
  return page.evaluate((colors) => Object.fromEntries(
    [...document.querySelectorAll("canvas[data-plot]")].map((canvas) => {
      const target = colors[canvas.dataset.plot].match(/\w\w/g).map((hex) => parseInt(hex, 16));
      const top = Math.round(26 * window.devicePixelRatio);
      const { data } = canvas.getContext("2d").getImageData(0, top, canvas.width, canvas.height - top);
      let near = 0;
      for (let i = 0; i < data.length; i += 4) {
        const distance = Math.hypot(data[i] - target[0], data[i + 1] - target[1], data[i + 2] - target[2]);
        if (data[i + 3] > 128 && distance < 80) ++near;
      }
      return [canvas.dataset.plot, near];
    })), Object.fromEntries(qc.vitalIds().map((id) => [id, qc.getVitalInfo(id).color])));
}

/** Drops a file with `text` named `name` on the page, as a dragged file would land. */
function dropFile(page, name, text) {
  return page.evaluate((fileName, content) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([content], fileName));
    document.body.dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, bubbles: true,
                                                         cancelable: true }));
  }, name, text);
}

async function pickFile(page, name, text) {
  const file = join(scratch, name);
  await writeFile(file, text);
  await page.setInputFile("#file-input", file);
}

async function expectMessage(page, message) {
  assert.equal(await settledState(page), "error");
  assert.equal(await property(page, "#message", "textContent"), message);
}

test("the sample plays to the end with the true rates, the registry's names and drawn plots",
     async () => {
  const page = await openPage(DESKTOP, SAMPLE_PAGE);
  await expectDone(page);
  const rows = await vitalRows(page);
  const ids = rows.map((row) => row.id);
  assert.deepEqual(ids, qc.vitalIds().filter((id) => ids.includes(id)), "registry order");
  for (const id of ["heart_rate", "respiratory_rate", "spo2", "sbp", "dbp"]) assert.ok(ids.includes(id), id);
  for (const row of rows) {
    const info = qc.getVitalInfo(row.id);
    assert.ok(Number.isFinite(row.value), row.id);
    assert.deepEqual([row.name, row.unit], [info.displayName, info.unit]);
  }
  const truth = await sampleTruth();
  for (const id of Object.keys(RATE_WINDOWS)) {
    const { value } = rows.find((row) => row.id === id);
    assert.ok(Math.abs(value - truth(id)) <= RATE_TOLERANCE, `${id}: ${value} against ${truth(id)}`);
  }
  for (const [plot, pixels] of Object.entries(await plotPixels(page))) {
    assert.ok(pixels > 100, `${plot} plot: ${pixels} pixels in its colour`);
  }
  await page.screenshot(join(screenshotDir, "desktop.png"), { fullPage: true });
  await page.close();
});

test("bad files show the command's message; a good one plays and shows its warnings", async () => {
  const page = await openPage(DESKTOP, SAMPLE_PAGE);
  await expectDone(page);
  await dropFile(page, "text.csv", "timestamp,ppg_waveform\n0,1\n0.033,abc\n");
  await expectMessage(page, "text.csv:3:7: 'abc' in column 'ppg_waveform' is not a number");
  await pickFile(page, "mismatch.json",
                 '{"timestamp": [0, 1], "signals": {"ppg_waveform": {"data": [1]}}}');
  await expectMessage(page, "mismatch.json: signals.ppg_waveform.data: 1 values for 2 timestamps");
  await page.screenshot(join(screenshotDir, "desktop-error.png"));

  const lines = (await readFile(join(sourceDir, "data/sample_recording.csv"), "utf8")).split("\n");
  const [header, first, second] = lines;
  await dropFile(page, "back.csv", [header, first, second, first, ...lines.slice(3, 400)].join("\n"));
  await expectDone(page);
  assert.equal(await property(page, "#message", "hidden"), true);
  assert.match(await property(page, "#warnings", "textContent"),
               /^back\.csv:4: timestamp 0 does not increase on the previous one/);
  assert.match(await property(page, "#recording-summary", "textContent"),
               /^back\.csv · 400 frames/);
  await page.close();
});

test("on a phone-sized screen the page fits the width", async () => {
  const page = await openPage(PHONE, SAMPLE_PAGE);
  await expectDone(page);
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  assert.ok(overflow <= 0, `the page is ${overflow} px wider than the screen`);
  const tableRight = await page.evaluate(() => document.querySelector("#vitals").getBoundingClientRect().right);
  assert.ok(tableRight <= PHONE.width, `the vitals table ends at ${tableRight} px`);
  await page.screenshot(join(screenshotDir, "phone.png"), { fullPage: true });
  await page.close();
});
