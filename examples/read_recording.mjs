// SPDX-License-Identifier: Apache-2.0
// Reads a recording file as a data set ships it and streams it through a Session in Node, printing
// each vital the session estimates at the end: "VITAL VALUE UNIT (checked CHECKED, quality Q)".
// The JavaScript twin of read_recording.py, on the same file by default: the first minute of
// NeuroKit2's resting recording (finger PPG, chest belt and ECG at 100 Hz, no timestamps).
//
//   node examples/read_recording.mjs [FILE]
//
// It loads the package from build/wasm/package, or from the folder QUORVANTA_WASM_PACKAGE names;
// an application imports "quorvanta_core" and "quorvanta_core/recording" instead.
import { readFileSync } from "node:fs";
import { basename, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

const sourceDir = resolve(fileURLToPath(import.meta.url), "../..");
const packageDir = process.env.QUORVANTA_WASM_PACKAGE ?? resolve(sourceDir, "build/wasm/package");
const load = async (file) => import(pathToFileURL(resolve(packageDir, file)).href);
const { default: loadQuorvantaCore } = await load("quorvanta_core.mjs");
const { default: loadRecordingReader, recordingBatches } = await load("recording_reader.mjs");

const FS = 100;
const file = process.argv[2] ?? resolve(sourceDir, "data/recordings/neurokit_rest_60s.csv");
const [qc, { readRecording }] = await Promise.all([loadQuorvantaCore(), loadRecordingReader()]);
const recording = readRecording(readFileSync(file, "utf8"), basename(file), {
  fs: FS,
  columns: { ppg_waveform: "PPG", respiratory_waveform: "RSP" },
});
for (const warning of recording.warnings) console.error(`warning: ${warning}`);

const session = new qc.Session({ modelName: "recording-example", supportedVitals: ["heart_rate", "respiratory_rate"],
                                 fpsTarget: FS, inputSize: 40, nInputs: 4, roiMethod: "face" });
let result;
for (const batch of recordingBatches(recording, FS)) result = session.process(batch, "Incremental");
const checks = session.assess().vitals;
for (const [vital, estimate] of Object.entries(result.vitals).sort(([a], [b]) => a.localeCompare(b))) {
  const check = checks[vital];
  console.log(`${vital} ${estimate.value.toFixed(1)} ${estimate.unit} ` +
              `(checked ${check.checkedValue.toFixed(1)}, quality ${check.quality.toFixed(2)})`);
}
session.delete();
