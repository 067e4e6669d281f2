// SPDX-License-Identifier: Apache-2.0
// The module's API: each function through the door, typed arrays in and out, arguments checked
// with errors that name them, declarations that match the module, and memory that does not grow.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { setFlagsFromString } from "node:v8";
import { runInNewContext } from "node:vm";

import { everyVitalConfig, qc, reader, sampleBatch } from "./helpers.mjs";

const rect = { x: 100, y: 100, width: 200, height: 200 };
const signal = Float32Array.from({ length: 300 }, (_, i) => Math.sin((2 * Math.PI * 1.2 * i) / 30));
const session = new qc.Session(everyVitalConfig());

// One call for each way the door refuses an argument, and the error it throws.
const BAD_CALLS = [
  [() => qc.estimateHeartRate(new Float64Array(3), 30), TypeError,
   "signal must be a Float32Array or an array of numbers, not Float64Array"],
  [() => qc.estimateHeartRate(signal, "30"), TypeError, "fs must be a number, not a string"],
  [() => qc.findPeaks(signal, 30, 1), TypeError, "refine must be a boolean, not a number"],
  [() => qc.findPeaks(signal, 30, true, { minRate: "40" }), TypeError, /^options\.minRate must/],
  [() => qc.findBeats(signal, 30, [0, 1]), RangeError, "Length mismatch: timestamps has length 2, expected 300"],
  [() => qc.findBeats(signal, 30, "t"), TypeError,
   "timestamps must be a Float64Array or an array of numbers, not a string"],
  [() => qc.extractPulse(signal, signal, signal.subarray(1), [0]), RangeError,
   "Length mismatch: blue has length 299, expected 300"],
  [() => qc.extractPulse([1], [1], [1], [0], "ica"), RangeError, 'method: Invalid PulseMethod string "ica"'],
  [() => qc.extractRespiration([0, 0, 1, 0, 0], [0, 1]), RangeError,
   "Length mismatch: frame_rows has length 2, expected a multiple of 5 (the length of reference_rows)"],
  [() => qc.estimateHrvMetric(signal, 30, "hrv_stress", signal), RangeError,
   'metricName: Invalid HRV metric "hrv_stress"'],
  [() => qc.calculateRoi({ x: 1 }, "face"), TypeError, "face.y must be a number, not undefined"],
  [() => qc.getVitalInfo(5), TypeError, "vitalId must be a string, not a number"],
  [() => new qc.Session(everyVitalConfig({ nInputs: -1 })), RangeError,
   "config.nInputs must be an integer from 0 to 9007199254740991, not -1"],
  [() => new qc.Session(everyVitalConfig({ supportedVitals: "hr" })), TypeError,
   "config.supportedVitals must be an array, not a string"],
  [() => session.process({ signals: {}, timestamp: "x" }, "Incremental"), TypeError,
   "input.timestamp must be a Float64Array or an array of numbers, not a string"],
  [() => session.process({ signals: { ppg_waveform: { data: [1], confidence: "y" } }, timestamp: [0] }, "Global"),
   TypeError, /^input\.signals\.ppg_waveform\.confidence must be a Float32Array/],
  [() => session.process(sampleBatch(0, 30), { window: 10 }), TypeError,
   'mode must be "Incremental", "Global" or { windowed: seconds }, not Object'],
  [() => reader.readRecording("timestamp,ppg\n0,x\n", "bad.csv"), SyntaxError, /^bad\.csv:2/],
  [() => reader.readRecording('{"timestamp": [0, 1e400]}', "big.json"), SyntaxError,
   "big.json:1:19: the number 1e400 is out of range"],
];

test("wrong arguments throw TypeError, RangeError or SyntaxError naming them", () => {
  for (const [call, type, message] of BAD_CALLS) assert.throws(call, { constructor: type, message });
});

test("a session stays usable after usage errors, returns typed arrays and starts again after reset()", () => {
  const mismatched = { signals: { ppg_waveform: { data: [1, 2], confidence: [1] } }, timestamp: [0, 1] };
  assert.equal(session.process(mismatched, "Global").message,
               "Length mismatch: signals[ppg_waveform].confidence has length 1, expected 2");
  const result = session.process(sampleBatch(0, 900), { windowed: 10 });
  assert.ok(result.timestamp instanceof Float64Array && result.timestamp.length === 300);
  assert.ok(result.waveforms.ppg_waveform.data instanceof Float32Array);
  session.reset();
  assert.deepEqual(session.process(sampleBatch(0, 900), { windowed: 10 }), result);
});

test("an assessment checks the last batch: the fundamental where the spectrum took a harmonic", () => {
  const checked = new qc.Session(everyVitalConfig({ supportedVitals: ["heart_rate"] }));
  const timestamp = Float64Array.from({ length: 300 }, (_, i) => i / 30);
  const data = Float32Array.from(timestamp, (t) => Math.cos(2 * Math.PI * 1.2 * t) + 2 * Math.cos(4 * Math.PI * 1.2 * t));
  checked.process({ signals: { ppg_waveform: { data, confidence: new Float32Array(300).fill(1) } }, timestamp },
                  "Incremental");
  const { vitals, beats } = checked.assess();
  assert.deepEqual(vitals.heart_rate.reasons, ["harmonic"]);
  assert.ok(Math.abs(vitals.heart_rate.value - 144) < 1 && Math.abs(vitals.heart_rate.checkedValue - 72) < 1);
  assert.ok(beats.times instanceof Float64Array && beats.intervals instanceof Float32Array);
  assert.deepEqual(new Set(beats.status), new Set(["Normal"]));
  checked.delete();
});

test("the signal routines, planner, geometry and registry work through the module", () => {
  assert.deepEqual(qc.estimateHeartRate(Array.from(signal), 30), qc.estimateHeartRate(signal, 30));
  assert.ok(qc.findPeaks(signal, 30, true) instanceof Float32Array);
  const beats = qc.findBeats(signal, 30);
  assert.ok(beats.times instanceof Float64Array && beats.intervals instanceof Float32Array);
  assert.equal(beats.times.length, 12);  // 1.2 Hz for 10 s
  const placed = qc.findBeats(Array.from(signal), 30, Float64Array.from(signal, (_, i) => 5 + i / 30));
  assert.ok(placed.times.every((t, i) => Math.abs(t - 5 - beats.times[i]) < 1e-9), "placed by the timestamps");
  const skin = (tone) => Float32Array.from(signal, (v) => tone * (1 - 0.002 * v));
  const colour = [skin(0.75), Array.from(skin(0.55)), skin(0.45), Float64Array.from(signal, (_, i) => i / 30)];
  const pulse = qc.extractPulse(...colour, "CHROM");
  assert.ok(pulse.data instanceof Float32Array && pulse.confidence.length === 300);
  assert.deepEqual(pulse, qc.extractPulse(...colour, "chrom"));
  assert.deepEqual(qc.extractRespiration([0, 0, 1, 0, 0], [0, 1, 0, 0, 0]),
                   { data: Float32Array.of(1), confidence: Float32Array.of(1) });
  const config = qc.computeBufferConfig(everyVitalConfig());
  const planner = new qc.BufferPlanner(config);
  const buffer = { id: "b1", roi: rect, count: config.streamMax, createdAt: 0, lastSeen: 1 };
  assert.equal(planner.evaluateTarget(rect, 1.0, [buffer]).matchedId, "b1");
  assert.deepEqual([config.minNoState - 1, config.minNoState].map(
    (count) => planner.isReady(count, "Stream", false, false)), [false, true]);
  assert.equal(planner.poll([buffer], 1.0, "Stream", false, false).command.bufferId, "b1");
  planner.delete();
  assert.equal(qc.computeIou(rect, rect), 1);
  assert.equal(qc.isContained(rect, rect, 0.8), true);
  assert.equal(qc.getVitalInfo(qc.vitalIds()[0]).id, qc.vitalIds()[0]);
});

test("the TypeScript declarations name every record field the module uses", () => {
  const text = readFileSync(join(process.env.QUORVANTA_WASM_PACKAGE, "quorvanta_core.d.ts"), "utf8");
  const declared = Object.fromEntries([...text.matchAll(/export interface (\w+) \{([^}]*)\}/g)].map(
    ([, name, body]) => [name, [...body.matchAll(/^\s+(\w+)\??:/gm)].map((match) => match[1])]));
  for (const [name, fields] of Object.entries(qc.recordFields())) assert.deepEqual(declared[name], fields, name);
});

test("10,000 process calls with deleted objects do not grow memory", () => {
  setFlagsFromString("--expose-gc");
  const collect = runInNewContext("gc");
  const run = (calls) => {
    for (let i = 0; i < calls; ++i) {
      const used = new qc.Session(everyVitalConfig());
      used.process(sampleBatch(0, 30), "Incremental");
      used.delete();
    }
    collect();
    return [qc.allocatedBytes(), process.memoryUsage().heapUsed];
  };
  const [[nativeBefore, heapBefore], [nativeAfter, heapAfter]] = [run(500), run(10_000)];
  assert.equal(nativeAfter, nativeBefore);
  assert.ok(heapAfter - heapBefore < 2 * 1024 * 1024, `JS heap grew by ${heapAfter - heapBefore}`);
});

test("signals nothing reads are warned of once on the console and keep no history", () => {
  const session = new qc.Session(everyVitalConfig({ supportedVitals: ["heart_rate"], returnWaveforms: [] }));
  const warned = [];
  const warn = console.warn;
  console.warn = (text) => warned.push(text);
  try {
    const batch = (call) => {
      const input = sampleBatch(30 * call, 30);
      const pulse = input.signals.ppg_waveform;
      input.signals = { ppg_waveform: pulse, ppg: pulse };
      for (let k = 0; k < 50; ++k) input.signals[`x${call}_${k}`] = pulse;
      return input;
    };
    session.process(batch(0), "Incremental");
    const before = qc.allocatedBytes();
    for (let call = 1; call <= 80; ++call) session.process(batch(call), "Incremental");
    assert.ok(qc.allocatedBytes() - before < 256 * 1024, `grew by ${qc.allocatedBytes() - before}`);
  } finally {
    console.warn = warn;
    session.delete();
  }
  assert.equal(warned.length, 17);
  assert.ok(warned.includes("quorvanta_core: signal 'ppg' is read by no vital, returned waveform or check " +
                            "of this session, which keeps none of it; did you mean 'ppg_waveform'?"), warned);
  assert.equal(warned.at(-1), "quorvanta_core: more signals are read by nothing of this session; no more are named");
});

test("an internal fault throws InternalFault and poisons the session",
     { skip: !process.env.QUORVANTA_FAULT_INJECTION && "built without fault injection" }, () => {
  const faulty = new qc.Session(everyVitalConfig({ modelName: "quorvanta-test-fault" }));
  assert.throws(() => faulty.process(sampleBatch(0, 30), "Global"),
                { constructor: qc.InternalFault, message: "injected fault" });
  for (const later of [() => faulty.process(sampleBatch(30, 30), "Incremental"), () => faulty.reset()]) {
    assert.throws(later, { constructor: qc.InternalFault,
                           message: "Failed to lock Session core: PoisonError { .. }" });
  }
  assert.throws(() => faulty.process({ signals: {}, timestamp: "x" }, "Global"), TypeError);
  faulty.delete();
});
