// SPDX-License-Identifier: Apache-2.0
// Plays a recording through a Session as a live host would: batches of about one second of frames,
// each handed over once the recording time of its last frame has passed (at the chosen speed), in
// "Incremental" mode so that every result holds only the frames not returned before.
import { measuredFps } from "./recordings.mjs";

const BATCH_SECONDS = 1;
const FALLBACK_FPS = 30;
/** The waveforms the page draws; a session returns those the recording has. */
export const DRAWN_WAVEFORMS = ["ppg_waveform", "respiratory_waveform"];

function sessionConfigFor(qc, recording) {
  const recorded = new Set(recording.signals.map((s) => s.id));
  return {
    modelName: "quorvanta-web",
    supportedVitals: qc.vitalIds(),
    returnWaveforms: DRAWN_WAVEFORMS.filter((id) => recorded.has(id)),
    fpsTarget: measuredFps(recording.timestamp) ?? FALLBACK_FPS,
    inputSize: 40,
    nInputs: 4,
    roiMethod: "face",
  };
}

/** [first, end) frame ranges spanning about BATCH_SECONDS each. */
function batchRanges(timestamps) {
  const ranges = [];
  for (let first = 0; first < timestamps.length;) {
    let end = first + 1;
    while (end < timestamps.length && timestamps[end] - timestamps[first] < BATCH_SECONDS) ++end;
    ranges.push({ first, end });
    first = end;
  }
  return ranges;
}

function batchInput(recording, { first, end }) {
  const signals = {};
  for (const s of recording.signals) {
    signals[s.id] = { data: s.data.subarray(first, end), confidence: s.confidence.subarray(first, end) };
  }
  const face = recording.face && {
    coordinates: recording.face.coordinates.slice(first, end),
    confidence: recording.face.confidence.subarray(first, end),
  };
  return { face, signals, timestamp: recording.timestamp.subarray(first, end) };
}

/**
 * Recording time against wall time at a speed that may change while playing; Infinity plays as
 * fast as possible, yielding to the browser between batches so that it can draw.
 */
class PlaybackClock {
  #speed;
  #anchorWall = performance.now();
  #anchorRecording = 0;
  #pending = null;

  constructor(speed) {
    this.#speed = speed;
  }

  /** Restarts the count from `position` (recording seconds) at the new speed. */
  setSpeed(speed, position) {
    this.#speed = speed;
    this.#anchorWall = performance.now();
    this.#anchorRecording = position;
    if (this.#pending) this.#schedule();
  }

  /** Resolves once recording time `position` has come; cancel() resolves it at once. */
  waitFor(position) {
    return new Promise((resolve) => {
      this.#pending = { position, resolve, timer: undefined };
      this.#schedule();
    });
  }

  cancel() {
    if (this.#pending) this.#finish();
  }

  #schedule() {
    clearTimeout(this.#pending.timer);
    const due = this.#anchorWall + ((this.#pending.position - this.#anchorRecording) / this.#speed) * 1000;
    this.#pending.timer = setTimeout(() => this.#finish(), Math.max(0, due - performance.now()));
  }

  #finish() {
    const { resolve, timer } = this.#pending;
    clearTimeout(timer);
    this.#pending = null;
    resolve();
  }
}

/** One recording played through its own Session; the session is deleted when playing stops. */
export class Playback {
  #session;
  #recording;
  #clock;
  #position = 0;
  #stopped = false;

  constructor(qc, recording, speed) {
    this.#recording = recording;
    this.#session = new qc.Session(sessionConfigFor(qc, recording));
    this.#clock = new PlaybackClock(speed);
  }

  /** Seconds of recording played so far. */
  get position() {
    return this.#position;
  }

  set speed(speed) {
    this.#clock.setSpeed(speed, this.#position);
  }

  /**
   * Feeds every batch, calling onResult(result, position, assessment) after each, with what the
   * session's checks say of the result; resolves true when the recording has been played to its
   * end, false when stop() ended it first.
   */
  async play(onResult) {
    const timestamps = this.#recording.timestamp;
    try {
      for (const range of batchRanges(timestamps)) {
        const position = timestamps[range.end - 1] - timestamps[0];
        await this.#clock.waitFor(position);
        if (this.#stopped) return false;
        const result = this.#session.process(batchInput(this.#recording, range), "Incremental");
        if (position > this.#position) this.#position = position;
        onResult(result, this.#position, this.#session.assess());
      }
      return true;
    } finally {
      this.#session.delete();
    }
  }

  stop() {
    this.#stopped = true;
    this.#clock.cancel();
  }
}
