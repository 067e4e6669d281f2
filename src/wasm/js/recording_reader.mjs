// SPDX-License-Identifier: Apache-2.0
// The quorvanta command's recording reader (CSV or JSON, see docs/input-format.md), for pages that
// read recordings:
//
//   import loadRecordingReader from "./recording_reader/recording_reader.mjs";
//   const { readRecording } = await loadRecordingReader();
//   const recording = readRecording(text, "walk.csv");  // SyntaxError with the command's message
import { callRunner, moduleSettings } from "./loader_support.mjs";
import createRecordingWasm from "./quorvanta_recording_wasm.mjs";

/** Loads the reader; `options` as for loadQuorvantaCore. */
export default async function loadRecordingReader(options = {}) {
  const wasm = await createRecordingWasm(
    await moduleSettings(options, new URL("./quorvanta_recording_wasm.wasm", import.meta.url)));
  const run = callRunner(wasm);
  return Object.freeze({
    readRecording: (text, fileName) => run(() => wasm.readRecording(text, fileName)),
  });
}
