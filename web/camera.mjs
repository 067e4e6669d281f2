// SPDX-License-Identifier: Apache-2.0
// The camera mode: the page as a host without a trained model, all of it in this browser. Each
// frame is drawn at most PROCESS_WIDTH wide; the face is the skin inside the guide box the user
// centres it in; calculateRoi derives the region to measure; the BufferPlanner matches the region
// with the open buffers (a face that moves a little keeps its buffer and region) and, once a
// second, picks the buffer to run, the frames to take and keep, and the buffers to drop. A run turns
// the region's mean skin colour into a pulse (extractPulse) and its row profiles into a respiration
// (extractRespiration), and the session takes both, as it would a model's output.
import { measure, skinBox } from "./skin.mjs";

const PROCESS_WIDTH = 320;
const GUIDE = { width: 0.5, height: 0.75 };  // shares of the frame, centred
const POLL_SECONDS = 1;
const WINDOW_SECONDS = 1.6;  // the pulse extractor's window: the frames a run needs at least
const FALLBACK_FPS = 30;
export const CAMERA_VITALS = ["heart_rate", "respiratory_rate"];
const CAMERA_WAVEFORMS = ["ppg_waveform", "respiratory_waveform"];

/** One buffer of frames: the planner's view of it and, per frame, what was measured in its region. */
class Buffer {
  reference = null;  // the first frame's row profile, which every rise is measured against
  times = [];
  colours = [];
  profiles = [];
  faces = [];

  constructor(id, roi, t) {
    this.meta = { id, roi, count: 0, createdAt: t, lastSeen: t };
  }

  add(t, { colour, profile }, face) {
    this.reference ??= profile;
    this.times.push(t);
    this.colours.push(colour);
    this.profiles.push(profile);
    this.faces.push([face.x, face.y, face.width, face.height]);
    this.meta.count = this.times.length;
    this.meta.lastSeen = t;
  }

  /** The first `count` frames, keeping the last `keep` of them for the next run. */
  take(count, keep) {
    const taken = {
      times: Float64Array.from(this.times.slice(0, count)),
      channels: [0, 1, 2].map((k) => Float32Array.from(this.colours.slice(0, count), (c) => c[k])),
      profiles: concatenated(this.profiles.slice(0, count)),
      faces: this.faces.slice(0, count),
    };
    for (const list of [this.times, this.colours, this.profiles, this.faces]) list.splice(0, count - keep);
    this.meta.count = this.times.length;
    return taken;
  }
}

function concatenated(arrays) {
  const joined = new Float32Array(arrays.reduce((n, a) => n + a.length, 0));
  arrays.reduce((at, a) => (joined.set(a, at), at + a.length), 0);
  return joined;
}

function rectText({ x, y, width, height }) {
  return [x, y, width, height].map((v) => v.toFixed(0)).join(",");
}

/** Where a frame was taken, in milliseconds: its capture time when the browser knows it. */
function frameTime(now, metadata) {
  return metadata.captureTime ?? metadata.expectedDisplayTime ?? now;
}

export class CameraHost {
  #qc;
  #video;
  #stream;
  #session;
  #planner;
  #buffers = new Map();
  #created = 0;
  #context;
  #firstTime = null;
  #nextPoll = POLL_SECONDS;
  #stopped = false;
  #finish = null;
  #log;

  /**
   * Asks for the camera and plays it in `video`; rejects as getUserMedia does. `log`, when given,
   * is called with a line for each decision: each frame's face, region and planner action, each
   * plan.
   */
  static async open(qc, video, log = null) {
    const stream = await navigator.mediaDevices.getUserMedia({
      audio: false, video: { facingMode: "user", width: { ideal: 640 }, height: { ideal: 480 } } });
    try {
      video.srcObject = stream;
      await video.play();
      return new CameraHost(qc, video, stream, log);
    } catch (error) {
      for (const track of stream.getTracks()) track.stop();
      video.srcObject = null;
      throw error;
    }
  }

  constructor(qc, video, stream, log) {
    this.#qc = qc;
    this.#log = log;
    this.#video = video;
    this.#stream = stream;
    const scale = Math.min(1, PROCESS_WIDTH / video.videoWidth);
    const canvas = document.createElement("canvas");
    canvas.width = Math.round(video.videoWidth * scale);
    canvas.height = Math.round(video.videoHeight * scale);
    this.#context = canvas.getContext("2d", { willReadFrequently: true });
    const fps = stream.getVideoTracks()[0]?.getSettings().frameRate || FALLBACK_FPS;
    const config = {
      modelName: "quorvanta-camera", supportedVitals: CAMERA_VITALS, returnWaveforms: CAMERA_WAVEFORMS,
      fpsTarget: fps, inputSize: 72, nInputs: Math.round(WINDOW_SECONDS * fps), roiMethod: "face",
    };
    this.#session = new qc.Session(config);
    this.#planner = new qc.BufferPlanner(qc.computeBufferConfig(config));
  }

  /** The size of the frames measured. */
  get size() {
    return { width: this.#context.canvas.width, height: this.#context.canvas.height };
  }

  /** The box, centred in the frame, that the user is asked to centre the face in. */
  get guide() {
    const { width, height } = this.size;
    return { x: (width * (1 - GUIDE.width)) / 2, y: (height * (1 - GUIDE.height)) / 2,
             width: width * GUIDE.width, height: height * GUIDE.height };
  }

  get frameRate() {
    return this.#stream.getVideoTracks()[0]?.getSettings().frameRate;
  }

  /**
   * Measures every frame until stop(): onFrame({ t, face, region }) after each (face and region
   * null without a face), onResult(result, t, assessment) after each run. Resolves once stopped;
   * rejects, stopped, when a frame fails.
   */
  run(onFrame, onResult) {
    return new Promise((resolve, reject) => {
      this.#finish = resolve;
      const next = () => this.#video.requestVideoFrameCallback((now, metadata) => {
        if (this.#stopped) return;
        try {
          onFrame(this.#frame(frameTime(now, metadata), onResult));
          next();
        } catch (error) {
          this.stop();
          reject(error);
        }
      });
      next();
    });
  }

  /** Releases the camera and the native objects; the camera's light goes off. */
  stop() {
    if (this.#stopped) return;
    this.#stopped = true;
    for (const track of this.#stream.getTracks()) track.stop();
    this.#video.srcObject = null;
    this.#session.delete();
    this.#planner.delete();
    this.#finish?.();
  }

  #frame(milliseconds, onResult) {
    this.#firstTime ??= milliseconds;
    const t = (milliseconds - this.#firstTime) / 1000;
    const { width, height } = this.size;
    this.#context.drawImage(this.#video, 0, 0, width, height);
    const image = this.#context.getImageData(0, 0, width, height);
    const face = skinBox(image, this.guide);
    const region = face && this.#add(image, t, face);
    if (!face) this.#log?.(`frame t=${t.toFixed(3)} no face`);
    if (t >= this.#nextPoll) {
      this.#poll(t, onResult);
      this.#nextPoll = (Math.floor(t / POLL_SECONDS) + 1) * POLL_SECONDS;
    }
    return { t, face, region };
  }

  /** Matches the face's region with the buffers and adds the frame to the one it joins. */
  #add(image, t, face) {
    const region = this.#qc.calculateRoi(face, "face", {
      container: { width: image.width, height: image.height }, forceEven: true });
    const metas = [...this.#buffers.values()].map((buffer) => buffer.meta);
    const { action, matchedId, roi } = this.#planner.evaluateTarget(region, t, metas);
    let buffer = this.#buffers.get(matchedId);
    if (action === "Create") {
      const id = `b${++this.#created}`;
      buffer = new Buffer(id, roi, t);
      this.#buffers.set(id, buffer);
    }
    this.#log?.(`frame t=${t.toFixed(3)} face ${rectText(face)} region ${rectText(region)} ${action} ` +
                (buffer?.meta.id ?? "-"));
    if (!buffer) return region;
    buffer.add(t, measure(image, buffer.meta.roi), face);
    return buffer.meta.roi;
  }

  #poll(t, onResult) {
    const metas = [...this.#buffers.values()].map((buffer) => buffer.meta);
    const { command, buffersToDrop } = this.#planner.poll(metas, t, "Stream", false, false);
    const ran = command ? `run ${command.bufferId} take ${command.takeCount} keep ${command.keepCount}` : "wait";
    this.#log?.(`poll t=${t.toFixed(3)} ${ran} drop ${buffersToDrop.join(",") || "-"}`);
    if (command) this.#runOn(this.#buffers.get(command.bufferId), command, t, onResult);
    for (const id of buffersToDrop) this.#buffers.delete(id);
  }

  #runOn(buffer, { takeCount, keepCount }, t, onResult) {
    const { times, channels, profiles, faces } = buffer.take(takeCount, keepCount);
    const signals = {
      ppg_waveform: this.#qc.extractPulse(...channels, times, "pos"),
      respiratory_waveform: this.#qc.extractRespiration(buffer.reference, profiles),
    };
    const face = { coordinates: faces, confidence: new Float32Array(faces.length).fill(1) };
    const result = this.#session.process({ face, signals, timestamp: times }, "Incremental");
    onResult(result, t, this.#session.assess());
  }
}
