// SPDX-License-Identifier: Apache-2.0
// The module's API: arguments checked with errors that name them, native objects that refuse use
// after delete(), declarations that match the module, and memory that does not grow.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { setFlagsFromString } from "node:v8";
import { runInNewContext } from "node:vm";

import { everyVitalConfig, qc, reader, sampleBatch } from "./helpers.mjs";

const rect = { x: 100, y: 100, width: 200, height: 200 };
const signal = Float32Array.from({ length: 300 }, (_, i) => Math.sin((2 * Math.PI * 1.2 * i) / 30));

// Each call and the error it must throw; the message names the argument.
const BAD_CALLS = [
  [() => qc.estimateHeartRate(new Float64Array(3), 30), TypeError,
   "signal must be a Float32Array or an array of numbers, not Float64Array"],
  [() => qc.estimateHeartRate(["1"], 30), TypeError, /^signal must be/],
  [() => qc.estimateHeartRate(signal, "30"), TypeError, "fs must be a number, not a string"],
  [() => qc.estimateHrvMetric(signal, 30, "hrv_stress", signal), RangeError,
   'metricName: Invalid HRV metric "hrv_stress"'],
  [() => qc.findPeaks(signal, 30, 1), TypeError, "refine must be a boolean, not a number"],
  [() => qc.findPeaks(signal, 30, true, { minRate: "40" }), TypeError, /^options\.minRate must/],
  [() => qc.calculateRoi(rect, "Face"), RangeError, 'method: Invalid RoiMethod string "Face"'],
  [() => qc.calculateRoi(rect, "face", { detector: "nope" }), RangeError,
   'options.detector: Invalid FaceDetector string "nope"'],
  [() => qc.calculateRoi({ x: 1 }, "face"), TypeError, "face.y must be a number, not undefined"],
  [() => qc.getVitalInfo(5), TypeError, "vitalId must be a string, not a number"],
  [() => new qc.Session(everyVitalConfig({ nInputs: -1 })), RangeError,
   "config.nInputs must be an integer from 0 to 9007199254740991, not -1"],
  [() => new qc.Session(everyVitalConfig({ supportedVitals: "hr" })), TypeError,
   "config.supportedVitals must be an array, not a string"],
  [() => new qc.BufferPlanner({ minNoState: 1 }), TypeError, /^config\.minWithState must/],
  [() => reader.readRecording("timestamp,ppg\n0,x\n", "bad.csv"), SyntaxError, /^bad\.csv:2/],
];

test("wrong arguments throw TypeError or RangeError naming them", () => {
  for (const [call, type, message] of BAD_CALLS) {
    assert.throws(call, (error) => {
      assert.equal(error.constructor, type, `${error.constructor.name}: ${error.message}`);
      if (message instanceof RegExp) assert.match(error.message, message);
      else assert.equal(error.message, message);
      return true;
    });
  }
});

test("a session checks its input and mode, and stays usable after a usage error", () => {
  const session = new qc.Session(everyVitalConfig());
  const bad = [
    [{ signals: {}, timestamp: "x" }, "Incremental", TypeError,
     "input.timestamp must be a Float64Array or an array of numbers, not a string"],
    [{ signals: { ppg_waveform: { data: [1], confidence: "y" } }, timestamp: [0] }, "Global",
     TypeError,
     "input.signals.ppg_waveform.confidence must be a Float32Array or an array of numbers, " +
     "not a string"],
    [sampleBatch(0, 30), "windowed", RangeError, 'mode: Invalid WaveformMode string "windowed"'],
    [sampleBatch(0, 30), { window: 10 }, TypeError,
     'mode must be "Incremental", "Global" or { windowed: seconds }, not Object'],
  ];
  for (const [input, mode, type, message] of bad) {
    assert.throws(() => session.process(input, mode), { constructor: type, message });
  }
  const mismatched = { signals: { ppg_waveform: { data: [1, 2], confidence: [1] } }, timestamp: [0, 1] };
  assert.equal(session.process(mismatched, "Global").message,
               "Length mismatch: signals[ppg_waveform].confidence has length 1, expected 2");
  const result = session.process(sampleBatch(0, 900), { windowed: 10 });
  assert.equal(result.timestamp.length, 300);
  assert.ok(result.vitals.heart_rate.value > 60 && result.vitals.heart_rate.value < 90);
  session.delete();
});

test("native objects refuse use after delete()", () => {
  const session = new qc.Session(everyVitalConfig());
  const planner = new qc.BufferPlanner(qc.computeBufferConfig(everyVitalConfig()));
  for (const object of [session, planner]) {
    assert.equal(object.isDeleted(), false);
    object.delete();
    object.delete();
    assert.equal(object.isDeleted(), true);
  }
  assert.throws(() => session.process(sampleBatch(0, 30), "Global"),
                { constructor: TypeError, message: "Session used after delete()" });
  assert.throws(() => session.reset(), TypeError);
  assert.throws(() => planner.poll([], 0, "Stream", false, false),
                { constructor: TypeError, message: "BufferPlanner used after delete()" });
});

test("the planner and geometry work through the module", () => {
  const config = qc.computeBufferConfig(everyVitalConfig());
  assert.deepEqual(Object.keys(config), qc.recordFields().BufferConfig);
  const planner = new qc.BufferPlanner(config);
  const action = planner.evaluateTarget(rect, 1.0, []);
  assert.equal(action.action, "Create");
  const buffer = { id: "b1", roi: rect, count: config.streamMax, createdAt: 0, lastSeen: 1 };
  assert.equal(planner.evaluateTarget(rect, 1.0, [buffer]).matchedId, "b1");
  const plan = planner.poll([buffer], 1.0, "Stream", false, false);
  assert.equal(plan.command.bufferId, "b1");
  planner.delete();
  assert.equal(qc.computeIou(rect, rect), 1);
  assert.equal(qc.isContained(rect, rect, 0.8), true);
  const even = qc.calculateRoi({ x: 100.3, y: 80, width: 121, height: 160 }, "forehead",
                               { detector: "Apple_Vision", container: { width: 640, height: 480 },
                                 forceEven: true });
  assert.ok(even.width % 2 === 0 && even.height % 2 === 0);
});

// The record interfaces of the declarations, by name: their field names in order.
function declaredRecords() {
  const text = readFileSync(join(process.env.QUORVANTA_WASM_PACKAGE, "quorvanta_core.d.ts"), "utf8");
  const records = {};
  for (const [, name, body] of text.matchAll(/export interface (\w+) \{([^}]*)\}/g)) {
    records[name] = [...body.matchAll(/^\s+(\w+)\??:/gm)].map((match) => match[1]);
  }
  return records;
}

test("the TypeScript declarations name every record field the module uses", () => {
  const declared = declaredRecords();
  for (const [record, fields] of Object.entries(qc.recordFields())) {
    assert.deepEqual(declared[record], fields, record);
  }
});

test("10,000 process calls with deleted objects do not grow memory", () => {
  setFlagsFromString("--expose-gc");
  const collect = runInNewContext("gc");
  const batch = sampleBatch(0, 30);
  const run = (calls) => {
    for (let i = 0; i < calls; ++i) {
      const session = new qc.Session(everyVitalConfig());
      session.process(batch, "Incremental");
      session.delete();
    }
    collect();
    return [qc.allocatedBytes(), process.memoryUsage().heapUsed];
  };
  const [nativeBefore, heapBefore] = run(500);
  const [nativeAfter, heapAfter] = run(10_000);
  assert.equal(nativeAfter, nativeBefore);
  assert.ok(heapAfter - heapBefore < 2 * 1024 * 1024, `JS heap grew by ${heapAfter - heapBefore}`);
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
