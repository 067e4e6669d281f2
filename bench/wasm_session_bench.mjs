// SPDX-License-Identifier: Apache-2.0
// Session.process of the WebAssembly build on the bundled sample recording, fed exactly as
// bench/sample_session_bench.cpp feeds the native build (every vital id, the pulse and respiration
// waveforms returned, 60-frame batches every 45 frames, Incremental mode): the time per batch.
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
const reader = await loadDefault("recording_reader/recording_reader.mjs");
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
function feedOnce() {
  const session = new qc.Session(config);
  const start = process.cpuUsage();
  for (const batch of batches) session.process(batch, "Incremental");
  const { user, system } = process.cpuUsage(start);
  session.delete();
  return (user + system) / batches.length;
}

feedOnce();
const times = Array.from({ length: Number(repetitions) }, feedOnce).sort((a, b) => a - b);
const median = times[Math.floor(times.length / 2)];
console.log(`Session.process, ${batches.length} batches of the sample, every vital: ` +
            `median ${median.toFixed(1)} us of CPU per batch over ${times.length} runs ` +
            `(fastest ${times[0].toFixed(1)})`);
