// SPDX-License-Identifier: Apache-2.0
// Recordings in the quorvanta command's input format: the bundled sample, fetched from the served
// folder, or a file the user dropped or picked. The command's reader parses them; bad files throw
// SyntaxError with the command's message.

import loadRecordingReader from "./quorvanta_core/recording_reader.mjs";

const SAMPLE_URL = new URL("data/sample_recording.csv", import.meta.url);
const reader = loadRecordingReader();

/** A parsed recording with the name it is shown under. */
async function parse(text, name) {
  return { name, ...(await reader).readRecording(text, name) };
}

export async function fetchSample() {
  const response = await fetch(SAMPLE_URL);
  if (!response.ok) throw new Error(`${SAMPLE_URL.pathname}: ${response.status} ${response.statusText}`);
  return parse(await response.text(), "sample_recording.csv");
}

export async function readFile(file) {
  return parse(await file.text(), file.name);
}

/** Frames per second measured from the timestamps, as the command measures it. */
export function measuredFps(timestamps) {
  const span = timestamps.at(-1) - timestamps[0];
  const fps = (timestamps.length - 1) / span;
  return Number.isFinite(fps) && fps > 0 ? fps : undefined;
}

export function durationOf(recording) {
  const span = recording.timestamp.at(-1) - recording.timestamp[0];
  return Number.isFinite(span) && span > 0 ? span : 0;
}

/** One line saying what the recording holds. */
export function describe(recording) {
  const fps = measuredFps(recording.timestamp);
  const signals = recording.signals.map((s) => s.id).join(", ") || "no signals";
  return [
    recording.name,
    `${recording.timestamp.length} frames, ${durationOf(recording).toFixed(1)} s` +
      (fps === undefined ? "" : ` at ${fps.toFixed(1)} fps`),
    signals,
    recording.face ? "face track" : "no face track",
    "one-second batches",
  ].join(" · ");
}
