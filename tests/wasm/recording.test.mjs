// SPDX-License-Identifier: Apache-2.0
// The recording reader in the package: the layouts real tools write read alike, options map and
// time the columns, a file that cannot be read throws SyntaxError with the command's message, and
// recordingBatches cuts a recording into the inputs a session takes.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { resolve } from "node:path";
import { test } from "node:test";
import { pathToFileURL } from "node:url";

import { reader } from "./helpers.mjs";

const packageDir = process.env.QUORVANTA_WASM_PACKAGE;
const { recordingBatches } = await import(pathToFileURL(resolve(packageDir, "recording_reader.mjs")).href);

const times = [0, 0.5, 1, 1.5];
const values = [1, null, 3, 4];
const cell = (v) => (v === null ? "" : String(v));

test("pandas' CSV and JSON layouts, shuffled rows and mapped columns read alike", () => {
  const plain = reader.readRecording(
    "timestamp,ppg\n" + times.map((t, i) => `${t},${cell(values[i])}`).join("\n"), "plain.csv");
  assert.deepEqual([...plain.signals[0].data].map(Number.isNaN), [false, true, false, false]);
  const variants = [
    [",timestamp,ppg\n" + times.map((t, i) => `${i},${t},${cell(values[i])}`).join("\n"), {}],
    [JSON.stringify(times.map((t, i) => ({ timestamp: t, ppg: values[i] }))), {}],
    [JSON.stringify({ timestamp: Object.fromEntries(times.map((t, i) => [i, t])),
                      ppg: Object.fromEntries(values.map((v, i) => [i, v])) }), {}],
    ["PLETH,Time\n" + [3, 1, 0, 2].map((i) => `${cell(values[i])},${times[i]}`).join("\n"),
     { columns: { ppg: "PLETH", timestamp: "Time" } }],
  ];
  for (const [text, options] of variants) {
    const read = reader.readRecording(text, "variant", options);
    assert.deepEqual(read.timestamp, plain.timestamp, text);
    assert.deepEqual(read.signals, plain.signals, text);
  }
});

test("a column of numbers is a pulse waveform timed by options.fs", () => {
  const read = reader.readRecording("1\n2\n3\n", "pleth.txt", { fs: 4, timeUnit: "ms" });
  assert.deepEqual([...read.timestamp], [0, 0.25, 0.5]);
  assert.equal(read.signals[0].id, "ppg_waveform");
  assert.deepEqual(read.warnings, ["pleth.txt:1: no header: the column of numbers is read as ppg_waveform"]);
});

test("options.resample resamples and a long frame interval is named", () => {
  const read = reader.readRecording("1\n2\n3\n4\n5\n", "pleth.txt", { fs: 4, resample: 2 });
  assert.deepEqual([...read.timestamp], [0, 0.5, 1]);
  assert.deepEqual([...read.signals[0].data], [1, 2.5, 4.5]);  // each frame the mean of its half second
  assert.deepEqual(reader.readRecording("timestamp,ppg\n0,1\n33,2\n66,3\n", "ms.csv").warnings, [
    'ms.csv: the median frame interval is 33.0 s, too long for any vital: the timestamps look like milliseconds; ' +
    'if they are, pass timeUnit: "ms"']);
});

test("files and options that cannot be read throw the command's message", () => {
  for (const [call, type, message] of [
    [() => reader.readRecording("t\0i\0m\0e\0", "wide.csv"), SyntaxError, "wide.csv: UTF-16 text: save it as UTF-8"],
    [() => reader.readRecording("1\n2\n", "pleth.txt"), SyntaxError,
     "pleth.txt:1: a column of numbers without a header: give its sample rate (--fs) to read it as ppg_waveform"],
    [() => reader.readRecording("PLETH\n1\n", "a.csv", { columns: { pulse: "PLETH" } }), SyntaxError,
     "a.csv: the column mapping 'pulse=PLETH': 'pulse' is neither 'timestamp' nor a signal"],
    [() => reader.readRecording("1\n", "a.csv", { fs: 0 }), RangeError,
     "options.fs must be a positive number of frames a second"],
    [() => reader.readRecording("1\n", "a.csv", { fs: 1, resample: 0 }), RangeError,
     "options.resample must be a positive number of frames a second"],
    [() => reader.readRecording("1\n", "a.csv", { timeUnit: "min" }), RangeError,
     'options.timeUnit must be "s", "ms" or "us", not "min"'],
    [() => reader.readRecording("1\n", "a.csv", { columns: "PLETH" }), TypeError,
     "options.columns must be an object, not a string"],
  ]) {
    assert.throws(call, { constructor: type, message });
  }
});

test("recordingBatches gives views of consecutive frames", () => {
  const read = reader.readRecording("timestamp,ppg\n" + times.map((t, i) => `${t},${i}`).join("\n"), "a.csv");
  const batches = recordingBatches(read, 3);
  assert.deepEqual(batches.map((b) => [...b.timestamp]), [[0, 0.5, 1], [1.5]]);
  assert.deepEqual([...batches[1].signals.ppg_waveform.data], [3]);
  assert.equal(batches[0].signals.ppg_waveform.data.buffer, read.signals[0].data.buffer);
  assert.throws(() => recordingBatches(read, 0), RangeError);
});

test("the declarations name what the reader returns", () => {
  const text = readFileSync(resolve(packageDir, "recording_reader.d.ts"), "utf8");
  const fields = (name) => [...text.match(new RegExp(`interface ${name} \\{([^}]*)\\}`))[1]
    .matchAll(/^\s*(\w+)\??:/gm)].map((m) => m[1]);
  const read = reader.readRecording(
    "timestamp,ppg,face_x,face_y,face_w,face_h,face_confidence\n0,1,0,0,1,1,1\n", "a.csv");
  assert.deepEqual(fields("Recording"), Object.keys(read));
  assert.deepEqual(fields("RecordedSignal"), Object.keys(read.signals[0]));
  assert.deepEqual(fields("RecordedFace"), Object.keys(read.face));
});
