// SPDX-License-Identifier: Apache-2.0
// The recording reader (CSV or JSON, see docs/input-format.md), with the command's rules, warnings
// and messages, in the package beside the core:
//
//   import loadRecordingReader, { recordingBatches } from "quorvanta_core/recording";
//   const { readRecording } = await loadRecordingReader();
//   const recording = readRecording(text, "walk.csv");  // SyntaxError with the command's message
//   for (const batch of recordingBatches(recording, 30)) session.process(batch, "Incremental");
import { callRunner, moduleSettings } from "./loader_support.mjs";
import createRecordingWasm from "./quorvanta_recording_wasm.mjs";

/** Loads the reader; `options` as for loadQuorvantaCore. */
export default async function loadRecordingReader(options = {}) {
  const wasm = await createRecordingWasm(
    await moduleSettings(options, new URL("./quorvanta_recording_wasm.wasm", import.meta.url)));
  const run = callRunner(wasm);
  return Object.freeze({
    readRecording: (text, fileName, readOptions) =>
      run(() => wasm.readRecording(text, fileName, readOptions)),
  });
}

/** The recording as session inputs of `batchFrames` consecutive frames each (the last may be
 * shorter), whose arrays are views of the recording's. */
export function recordingBatches(recording, batchFrames = 30) {
  if (!Number.isInteger(batchFrames) || batchFrames < 1) {
    throw new RangeError(`batchFrames must be a whole number of at least 1, not ${batchFrames}`);
  }
  const batches = [];
  for (let first = 0; first < recording.timestamp.length; first += batchFrames) {
    const end = Math.min(first + batchFrames, recording.timestamp.length);
    const signals = {};
    for (const { id, data, confidence } of recording.signals) {
      signals[id] = { data: data.subarray(first, end), confidence: confidence.subarray(first, end) };
    }
    const face = recording.face && {
      coordinates: recording.face.coordinates.slice(first, end),
      confidence: recording.face.confidence.subarray(first, end),
    };
    batches.push({ timestamp: recording.timestamp.subarray(first, end), signals, face });
  }
  return batches;
}
