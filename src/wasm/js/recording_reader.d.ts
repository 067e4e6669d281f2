// SPDX-License-Identifier: Apache-2.0
import type { LoadOptions, SessionInput } from "./quorvanta_core.js";

/** A signal of a recording, by its canonical id. */
export interface RecordedSignal {
  id: string;
  data: Float32Array;
  /** 1 for every frame where the file has no confidence. */
  confidence: Float32Array;
}

/** The face track of a recording. */
export interface RecordedFace {
  /** One [x, y, width, height] per frame. */
  coordinates: Float32Array[];
  confidence: Float32Array;
}

/** A recording of per-frame model outputs, as the reader gives it. */
export interface Recording {
  /** Frame times in seconds. */
  timestamp: Float64Array;
  /** In the order of the file (JSON: of the ids). */
  signals: RecordedSignal[];
  face: RecordedFace | null;
  /** What the reader left out or changed, as the command prints it. */
  warnings: string[];
}

/** How a file is read. */
export interface ReadOptions {
  /** Frames per second of a file without timestamps, whose frames are then timed by number. */
  fs?: number;
  /** Columns of other names read as a signal (id or alias) or as "timestamp": {"ppg": "PLETH"}. */
  columns?: Readonly<Record<string, string>>;
  /** The unit of the file's timestamps; seconds by default. */
  timeUnit?: "s" | "ms" | "us";
  /** Frames per second to resample the recording to, each frame the mean of the samples in its
   * frame interval (the command's --resample). */
  resample?: number;
}

export interface RecordingReader {
  /** Reads the text of a CSV or JSON recording named `fileName` (which messages name); a file
   * that cannot be read throws SyntaxError with the command's message. */
  readRecording(text: string, fileName: string, options?: ReadOptions): Recording;
}

export default function loadRecordingReader(options?: LoadOptions): Promise<RecordingReader>;

/** The recording as session inputs of `batchFrames` (default 30) consecutive frames each, the last
 * possibly shorter; their arrays are views of the recording's. */
export function recordingBatches(recording: Recording, batchFrames?: number): SessionInput[];
