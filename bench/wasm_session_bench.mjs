// SPDX-License-Identifier: Apache-2.0
// Session.process of the WebAssembly build on the bundled sample recording, fed exactly as
// bench/sample_session_bench.cpp feeds the native build (every vital id, the pulse and respiration
// waveforms returned, 60-frame batches every 45 frames, Incremental mode): the time per batch, and
// the same with Session.assess after every batch, as the web page calls it.
//
//   node bench/wasm_session_bench.mjs build/wasm [repetitions]
import { readFileSync } from "node:fs";
import { resolve } from "node:path";
import { pathToFileURL } from "node:url";

const [buildDir = "build/wasm", repetitions = "20"] = process.argv.slice(2);
const sourceDir = resolve(new URL("..", import.meta.url).pathname);

async function loadDefault(file) {
  const { default: load } = await import(pathToFileURL(resolve(buildDir, file)).href);
  return load();
}

const qc = await loadDefault("package/quorvanta_core.mjs");
const reader = await loadDefault("package/recording_reader.mjs");
const sample = reader.readRecording(
  readFileSync(resolve(sourceDir, "data/sample_recording.csv"), "utf8"), "sample_recording.csv");
const batches = [];
for (let first = 0; first + 60 <= sample.timestamp.length; first += 45) {
  const signals = {};
  for (const s of sample.signals) {
    signals[s.id] = { data: s.data.slice(first, first + 60),
                      confidence: s.confidence.slice(first, first + 60) };
  }
  batches.push({ face: null, signals, timestamp: sample.timestamp.slice(first, first + 60) });
}
const config = {
  modelName: "bench", supportedVitals: qc.vitalIds(),
  returnWaveforms: ["ppg_waveform", "respiratory_waveform"], fpsTarget: 30, inputSize: 40,
  nInputs: 4, roiMethod: "face",
};

// CPU time (of every thread of the process, the garbage collector's included), which other
// processes on the machine disturb less than wall time.
function feedOnce(assess) {
  const session = new qc.Session(config);
  const start = process.cpuUsage();
  for (const batch of batches) {
    session.process(batch, "Incremental");
    if (assess) session.assess();
  }
  const { user, system } = process.cpuUsage(start);
  session.delete();
  return (user + system) / batches.length;
}

// Alternating the two, so that both see the same machine.
feedOnce(false);
feedOnce(true);
const alone = [], assessed = [];
for (let i = 0; i < Number(repetitions); ++i) {
  alone.push(feedOnce(false));
  assessed.push(feedOnce(true));
}
const median = (times) => [...times].sort((a, b) => a - b)[Math.floor(times.length / 2)];
const fastest = (times) => Math.min(...times);
const describe = (times) =>
  `median ${median(times).toFixed(1)} us of CPU per batch (fastest ${fastest(times).toFixed(1)})`;
console.log(`${batches.length} batches of the sample, every vital, ${alone.length} runs each:`);
console.log(`  Session.process                ${describe(alone)}`);
console.log(`  Session.process, then .assess   ${describe(assessed)}`);
console.log(`  assess / process, medians        ${
  ((median(assessed) - median(alone)) / median(alone)).toFixed(2)}`);
