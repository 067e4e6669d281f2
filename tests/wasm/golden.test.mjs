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

test("the signal routines give the native bits", () => {
  const { rate, confidence } = qc.estimateHeartRate(pulse.data.subarray(0, 300), 30);
  expectGolden("rate.periodogram_heart", [rate, confidence]);
  expectGolden("peaks.hrv_detector_1800",
               qc.findPeaks(pulse.data.subarray(0, 1800), 30, true, { rateHint: 72 }));
  for (const metric of ["sdnn", "rmssd", "lfhf", "stress_index", "pnn50", "sd1sd2"]) {
    const estimate = qc.estimateHrvMetric(pulse.data.subarray(0, 1800), 30, metric,
                                          pulse.confidence.subarray(0, 1800));
    expectGolden(`hrv.${metric}`, [estimate.value, estimate.confidence]);
  }
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
