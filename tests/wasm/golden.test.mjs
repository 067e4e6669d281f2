// SPDX-License-Identifier: Apache-2.0
// The module computes what the native builds compute, bit for bit: the golden vectors.
import assert from "node:assert/strict";
import { test } from "node:test";

import { everyVitalConfig, golden, qc, sameBits, sample, sampleBatch, signal } from "./helpers.mjs";

function expectGolden(name, actual) {
  assert.ok(golden.has(name), `no golden vector ${name}`);
  assert.ok(sameBits(actual, golden.get(name)),
            `${name}: ${Array.from(actual)} instead of ${Array.from(golden.get(name))}`);
}

const pulse = signal("ppg_waveform");
const camelCase = (name) => name.replace(/_(\w)/g, (_, letter) => letter.toUpperCase());

/** An argument as a golden call writes it: a flag, a number, numbers joined by "/", or a name. */
function argument(text) {
  if (text === "true" || text === "false") return text === "true";
  const numbers = text.split("/").map(Number);
  if (numbers.some(Number.isNaN)) return text;
  return numbers.length > 1 ? numbers : numbers[0];
}

/** Makes a golden call through the module, which takes the arguments after the required ones as options. */
function call(name) {
  const [fn, text] = name.split(":");
  const { frames, fs, refine, metricName, face, method, container, ...options } = Object.fromEntries(
    text.split(",").map((pair) => pair.split("=")).map(([key, value]) => [camelCase(key), argument(value)]));
  const data = pulse.data.subarray(0, frames);
  if (container) options.container = { width: container[0], height: container[1] };
  switch (fn) {
    case "estimate_heart_rate": {
      const { rate, confidence } = qc.estimateHeartRate(data, fs);
      return [rate, confidence];
    }
    case "find_peaks":
      return qc.findPeaks(data, fs, refine, options);
    case "estimate_hrv_metric": {
      const confidence = pulse.confidence.subarray(0, frames);
      const estimate = qc.estimateHrvMetric(data, fs, metricName, confidence, options.rateHint);
      return [estimate.value, estimate.confidence];
    }
    default: {
      const [x, y, width, height] = face;
      const [left, top, right, bottom] = Array.isArray(method) ? method : [];
      const roi = qc.calculateRoi({ x, y, width, height },
                                  Array.isArray(method) ? { left, top, right, bottom } : method, options);
      return [roi.x, roi.y, roi.width, roi.height];
    }
  }
}

test("the functions make the golden calls with the native bits", () => {
  const calls = [...golden.keys()].filter((name) => name.includes(":"));
  assert.ok(calls.length > 0);
  for (const name of calls) expectGolden(name, call(name));
});

test("a session fed the sample gives the native bits", () => {
  const session = new qc.Session(everyVitalConfig());
  const record = (label, result) => {
    for (const [id, vital] of Object.entries(result.vitals)) {
      expectGolden(`${label}.vital.${id}`, [vital.value, vital.confidence]);
    }
    for (const [id, waveform] of Object.entries(result.waveforms)) {
      expectGolden(`${label}.waveform.${id}`, waveform.data.filter((_, i) => i % 16 === 0));
    }
    expectGolden(`${label}.fps`, [result.fps]);
    return Object.keys(result.vitals).length + Object.keys(result.waveforms).length + 1;
  };
  // Every batch is processed; the golden file holds the results of some of them.
  let compared = 0;
  for (let first = 0, batch = 0; first + 60 <= sample.timestamp.length; first += 45, ++batch) {
    const label = `session.batch_${String(batch).padStart(3, "0")}`;
    const result = session.process(sampleBatch(first, 60), "Incremental");
    if (golden.has(`${label}.fps`)) compared += record(label, result);
  }
  compared += record("session.global",
                     session.process({ face: null, signals: {}, timestamp: [] }, "Global"));
  session.delete();
  const expected = [...golden.keys()].filter((name) => name.startsWith("session.")).length;
  assert.equal(compared, expected);
});
