// SPDX-License-Identifier: Apache-2.0
// Shared by the JavaScript module's tests: the loaded module, the bundled sample recording and the
// golden vectors that the native builds check.
import { readFileSync } from "node:fs";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

const { QUORVANTA_WASM_PACKAGE: packageDir, QUORVANTA_SOURCE_DIR: sourceDir } = process.env;
if (!packageDir || !sourceDir) {
  throw new Error("QUORVANTA_WASM_PACKAGE and QUORVANTA_SOURCE_DIR must be set (ctest sets them)");
}
const loadDefault = async (dir, file) => (await import(pathToFileURL(resolve(dir, file)).href)).default();

export const qc = await loadDefault(packageDir, "quorvanta_core.mjs");
export const reader = await loadDefault(packageDir, "recording_reader.mjs");

export const sample = reader.readRecording(
  readFileSync(join(sourceDir, "data/sample_recording.csv"), "utf8"), "sample_recording.csv");

export const signal = (id) => sample.signals.find((s) => s.id === id);

// The golden vectors: name -> Float32Array of the checked-in bits.
export const golden = new Map(readFileSync(join(sourceDir, "tests/golden/golden_vectors.txt"), "utf8")
  .split("\n").filter((line) => line && !line.startsWith("#")).map((line) => {
    const [name, ...hex] = line.split(" ");
    return [name, new Float32Array(Uint32Array.from(hex, (h) => parseInt(h, 16)).buffer)];
  }));

// The same float bits, NaN payloads included.
export function sameBits(actual, expected) {
  const a = new Uint32Array(Float32Array.from(actual).buffer);
  const b = new Uint32Array(Float32Array.from(expected).buffer);
  return a.length === b.length && a.every((bits, i) => bits === b[i]);
}

export function everyVitalConfig(overrides = {}) {
  return { modelName: "golden", supportedVitals: qc.vitalIds(), fpsTarget: 30, inputSize: 40, nInputs: 4,
           returnWaveforms: ["ppg_waveform", "respiratory_waveform"], roiMethod: "face", ...overrides };
}

// Frames [first, first + count) of the sample as a session input, every signal included.
export function sampleBatch(first, count) {
  const signals = {};
  for (const s of sample.signals) {
    signals[s.id] = { data: s.data.subarray(first, first + count),
                      confidence: s.confidence.subarray(first, first + count) };
  }
  return { face: null, signals, timestamp: sample.timestamp.subarray(first, first + count) };
}
