// SPDX-License-Identifier: Apache-2.0
// The web page in headless chromium (chromium.mjs), served from the assembled folder: the sample
// plays to its true heart and respiratory rates, checked ones too, a bad dropped file shows the command's message, a
// picked one plays, and the page fits a phone. Screenshots go to QUORVANTA_SCREENSHOT_DIR.
import assert from "node:assert/strict";
import { mkdir, mkdtemp, readFile, rm, writeFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { pathToFileURL } from "node:url";

import { launch, serve } from "./harness.mjs";

const DESKTOP = { width: 1280, height: 800 };
const PHONE = { width: 390, height: 844, deviceScaleFactor: 2, mobile: true };
// The window each rate's estimator reads, over which the truth is averaged (docs/input-format.md).
const RATE_WINDOWS = { heart_rate: 10, respiratory_rate: 30 };

const { QUORVANTA_WEB_DIR: webDir, QUORVANTA_SOURCE_DIR: sourceDir,
        QUORVANTA_SCREENSHOT_DIR: screenshotDir } = process.env;
assert.ok(webDir && sourceDir && screenshotDir,
          "QUORVANTA_WEB_DIR, QUORVANTA_SOURCE_DIR and QUORVANTA_SCREENSHOT_DIR must be set (ctest sets them)");
const qc = await (await import(pathToFileURL(join(webDir, "quorvanta_core/quorvanta_core.mjs")).href)).default();
const sampleText = await readFile(join(sourceDir, "data/sample_recording.csv"), "utf8");
let server, origin, browser, scratch;

before(async () => {
  server = await serve(webDir);
  origin = server.origin;
  scratch = await mkdtemp(join(tmpdir(), "quorvanta-web-files-"));
  await mkdir(screenshotDir, { recursive: true });
  browser = await launch();
});

after(async () => {
  await browser?.close();
  server?.close();
  if (scratch) await rm(scratch, { recursive: true, force: true });
});

/** A new tab at `viewport` that has played the sample as fast as it can. */
async function samplePage(viewport) {
  const page = await browser.newPage(viewport);
  await page.goto(`${origin}/?recording=sample&speed=max`);
  await expectState(page, "done");
  return page;
}

/** Waits until the page has finished playing or failed, as `state` says, without errors; returns its message. */
async function expectState(page, state) {
  await page.waitFor(() => ["done", "error"].includes(document.body?.dataset.state), 30_000);
  const [settled, message] = await page.evaluate(
    () => [document.body.dataset.state, document.getElementById("message").textContent]);
  assert.equal(settled, state, `the page stopped with: ${message}`);
  assert.deepEqual(page.errors, []);
  return message;
}

function vitalRows(page) {
  return page.evaluate(() => [...document.querySelectorAll("#vitals tbody tr")].map((row) => ({
    id: row.dataset.vital, value: Number(row.dataset.value), checked: Number(row.dataset.checked),
    quality: Number(row.dataset.quality), name: row.cells[0].textContent, unit: row.cells[2].textContent })));
}

test("the sample plays to the end with the true rates and the registry's names", async () => {
  const page = await samplePage(DESKTOP);
  const rows = await vitalRows(page);
  const ids = rows.map((row) => row.id);
  assert.deepEqual(ids, qc.vitalIds().filter((id) => ids.includes(id)), "registry order");
  for (const id of ["heart_rate", "respiratory_rate", "spo2", "sbp", "dbp"]) assert.ok(ids.includes(id), id);
  for (const { id, value, checked, quality, name, unit } of rows) {
    assert.ok(Number.isFinite(value) && Number.isFinite(checked), id);
    assert.ok(quality >= 0 && quality <= 1, `${id}: quality ${quality}`);
    assert.deepEqual([name, unit], [qc.getVitalInfo(id).displayName, qc.getVitalInfo(id).unit]);
  }
  const truth = JSON.parse(await readFile(join(sourceDir, "data/sample_recording.truth.json"), "utf8"));
  const end = Number(sampleText.trim().split("\n").at(-1).split(",")[0]);
  for (const [id, window] of Object.entries(RATE_WINDOWS)) {
    const inWindow = truth.vitals[id].filter((_, i) => end - window < truth.timestamp[i] &&
                                                       truth.timestamp[i] <= end);
    const expected = inWindow.reduce((sum, value) => sum + value, 0) / inWindow.length;
    const { value, checked } = rows.find((row) => row.id === id);
    assert.ok(Math.abs(value - expected) <= 3, `${id}: ${value} against ${expected}`);
    assert.ok(Math.abs(checked - expected) <= 3, `${id}: checked ${checked} against ${expected}`);
  }
  await page.screenshot(join(screenshotDir, "desktop.png"));
  await page.close();
});

test("on a phone the page fits the width; a dropped bad file shows the command's message and a picked one " +
     "plays with its warnings", async () => {
  const page = await samplePage(PHONE);
  const [overflow, tableRight] = await page.evaluate(() => [
    document.documentElement.scrollWidth - window.innerWidth,
    document.getElementById("vitals").getBoundingClientRect().right]);
  assert.ok(overflow <= 0, `the page is ${overflow} px wider than the screen`);
  assert.ok(tableRight <= PHONE.width, `the vitals table ends at ${tableRight} px`);
  await page.screenshot(join(screenshotDir, "phone.png"));

  await page.evaluate(() => {
    const dataTransfer = new DataTransfer();
    dataTransfer.items.add(new File(["timestamp,ppg_waveform\n0,1\n0.033,abc\n"], "text.csv"));
    document.body.dispatchEvent(new DragEvent("drop", { dataTransfer, bubbles: true }));
  });
  assert.equal(await expectState(page, "error"), "text.csv:3:7: 'abc' in column 'ppg_waveform' is not a number");

  const lines = sampleText.split("\n");  // the first frame again after the second
  await writeFile(join(scratch, "back.csv"), [...lines.slice(0, 3), lines[1], ...lines.slice(3, 400)].join("\n"));
  await page.setInputFile("#file-input", join(scratch, "back.csv"));
  assert.equal(await expectState(page, "done"), "");
  const [warnings, summary] = await page.evaluate(() => ["warnings", "recording-summary"].map(
    (id) => document.getElementById(id).textContent));
  assert.match(warnings, /^back\.csv:4: timestamp 0 comes before the previous one \(0\.0284\): the frames are read in the order/);
  assert.match(summary, /^back\.csv · 400 frames.* · one-second batches$/);
  assert.ok((await vitalRows(page)).length > 0);
  await page.close();
});
