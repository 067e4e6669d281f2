// SPDX-License-Identifier: Apache-2.0
// The page: loads the module, plays the bundled sample or a recording the user drops or picks, or
// measures the camera, and shows each result as it comes. <body data-state> tells where it is:
// loading, playing, live (the camera), done or error. Query parameters: recording=sample,
// speed=1|10|max, debug (the camera's decisions on the console).
import loadQuorvantaCore from "./quorvanta_core/quorvanta_core.mjs";
import { CAMERA_VITALS, CameraHost } from "./camera.mjs";
import { DRAWN_WAVEFORMS, Playback } from "./playback.mjs";
import { TimePlot } from "./plots.mjs";
import { describe, durationOf, fetchSample, readFile } from "./recordings.mjs";
import { showVitals } from "./vitals-table.mjs";

const RATE_PLOTS = ["heart_rate", "respiratory_rate"];
const WAVEFORM_WINDOWS = { ppg_waveform: 10, respiratory_waveform: 30 };
const SPEEDS = { 1: 1, 10: 10, max: Infinity };
const LIVE_SPAN = 60;  // seconds the rate plots show at first when live; they grow past it

const element = (id) => document.getElementById(id);

function setState(state) {
  document.body.dataset.state = state;
}

function showMessage(text) {
  element("message").textContent = text;
  element("message").hidden = text === "";
}

function showWarnings(warnings) {
  element("warnings").replaceChildren(...warnings.map((warning) => {
    const item = document.createElement("li");
    item.textContent = warning;
    return item;
  }));
  element("warnings").hidden = warnings.length === 0;
}

function fail(error) {
  showMessage(error instanceof SyntaxError ? error.message : `${error.name}: ${error.message}`);
  setState("error");
}

/** What went wrong asking for the camera, in the words of what the user can do about it. */
function cameraFailure(error) {
  if (!navigator.mediaDevices) {
    return new Error("the camera needs a page served over https or from localhost");
  }
  const advice = {
    NotAllowedError: "the camera was not allowed: allow it for this page in the browser's site settings",
    NotFoundError: "no camera was found",
    NotReadableError: "the camera is in use by another program",
  }[error.name];
  return advice ? Object.assign(new Error(advice), { name: error.name }) : error;
}

/** The guide box, the face found in it and the region measured, over the camera's video. */
function drawOverlay(canvas, size, guide, { face, region }) {
  canvas.width = size.width;
  canvas.height = size.height;
  const context = canvas.getContext("2d");
  const box = (rect, color, dash) => {
    context.setLineDash(dash);
    context.strokeStyle = color;
    context.strokeRect(rect.x, rect.y, rect.width, rect.height);
  };
  context.lineWidth = 2;
  box(guide, "rgba(255, 255, 255, 0.9)", [6, 4]);
  if (face) box(face, "#ffd60a", []);
  if (region) box(region, "#30d158", []);
}

function createPlots(qc) {
  const plots = {};
  for (const canvas of document.querySelectorAll("canvas[data-plot]")) {
    const info = qc.getVitalInfo(canvas.dataset.plot);
    const rate = RATE_PLOTS.includes(info.id);
    canvas.setAttribute("aria-label", info.displayName);
    plots[info.id] = new TimePlot(canvas, {
      title: rate ? `${info.displayName} (${info.unit})` : info.displayName,
      color: info.color,
      window: WAVEFORM_WINDOWS[info.id],
      markers: rate,
      minimumSpan: rate ? 10 : 1e-6,
    });
  }
  return plots;
}

/** The page's controller: one recording plays at a time, through its own session. */
class Viewer {
  #qc;
  #plots;
  #speed;
  #playback = null;
  #camera = null;
  #opened = 0;

  #debug;

  constructor(qc, speed, debug) {
    this.#qc = qc;
    this.#debug = debug;
    this.#plots = createPlots(qc);
    this.#speed = speed;
  }

  set speed(speed) {
    this.#speed = speed;
    if (this.#playback) this.#playback.speed = speed;
  }

  /** Stops what plays, reads a recording with `load` and plays it; a newer open() wins. */
  async open(load) {
    const opened = ++this.#opened;
    this.#stop();
    setState("loading");
    showMessage("");
    try {
      const recording = await load();
      if (opened === this.#opened) await this.#play(recording);
    } catch (error) {
      if (opened === this.#opened) fail(error);
    }
  }

  /** Stops what plays and measures the camera until stopCamera() or another open. */
  async openCamera() {
    const opened = ++this.#opened;
    this.#stop();
    setState("loading");
    showMessage("");
    let camera;
    try {
      camera = await CameraHost.open(this.#qc, element("camera-video"), this.#debug ? console.debug : null);
    } catch (error) {
      if (opened === this.#opened) fail(cameraFailure(error));
      return;
    }
    if (opened !== this.#opened) {
      camera.stop();
      return;
    }
    this.#camera = camera;
    this.#showCamera(camera);
    setState("live");
    try {
      await camera.run((frame) => drawOverlay(element("camera-overlay"), camera.size, camera.guide, frame),
                       (result, t, assessment) => this.#showResult(0, null, result, t, assessment));
      if (opened === this.#opened) setState("done");
    } catch (error) {
      if (opened === this.#opened) fail(error);
    } finally {
      if (this.#camera === camera) this.#camera = null;
      element("camera").hidden = true;
      element("stop-camera").hidden = true;
    }
  }

  stopCamera() {
    this.#camera?.stop();
  }

  #stop() {
    this.#playback?.stop();
    this.#playback = null;
    this.stopCamera();
  }

  async #play(recording) {
    this.#show(recording);
    const playback = new Playback(this.#qc, recording, this.#speed);
    this.#playback = playback;
    setState("playing");
    const finished = await playback.play((result, position, assessment) =>
      this.#showResult(recording.timestamp[0], durationOf(recording), result, position, assessment));
    if (!finished) return;
    this.#playback = null;
    element("vitals-empty").textContent = "No vitals: the recording is too short for any estimate.";
    setState("done");
  }

  #show(recording) {
    const recorded = new Set(recording.signals.map((s) => s.id));
    this.#prepare(describe(recording), recording.warnings, durationOf(recording),
                  (id) => this.#emptyPlotText(id, recorded));
    element("batching").hidden = false;
  }

  #showCamera(camera) {
    const { width, height } = camera.size;
    const rate = camera.frameRate ? ` at ${camera.frameRate.toFixed(0)} fps` : "";
    this.#prepare(`Camera · ${width} × ${height}${rate} · ${CAMERA_VITALS.length} vitals from the skin's ` +
                  "colour and the region's motion · one-second batches", [], null,
                  (id) => (RATE_PLOTS.includes(id) ? "No estimate yet" : "Waiting for frames"));
    element("camera").hidden = false;
    element("stop-camera").hidden = false;
    element("batching").hidden = true;  // the camera's batches are the planner's, as the command's
  }

  /** Empties the table and plots for a recording of `duration` seconds, or a live one (null). */
  #prepare(summary, warnings, duration, emptyText) {
    element("recording-summary").textContent = summary;
    showWarnings(warnings);
    for (const [id, plot] of Object.entries(this.#plots)) plot.reset(duration ?? LIVE_SPAN, emptyText(id));
    element("vitals-empty").textContent = "No vitals yet.";
    this.#showVitals({}, {}, "");
    this.#showPosition(0, duration);
  }

  #emptyPlotText(id, recorded) {
    if (RATE_PLOTS.includes(id)) return "No estimate yet";
    if (recorded.has(id)) return "Waiting for frames";
    return `No ${this.#qc.getVitalInfo(id).shortName} in this recording`;
  }

  /** One result, its times counted from `origin`, of a recording `duration` long (null: live). */
  #showResult(origin, duration, result, position, assessment) {
    for (const id of DRAWN_WAVEFORMS) {
      const waveform = result.waveforms[id];
      if (!waveform) continue;
      const count = Math.min(result.timestamp.length, waveform.data.length, waveform.confidence.length);
      this.#plots[id].append(Array.from(result.timestamp.subarray(0, count), (t) => t - origin),
                             waveform.data.subarray(0, count), waveform.confidence.subarray(0, count));
    }
    for (const id of RATE_PLOTS) {
      const vital = result.vitals[id];
      const check = assessment.vitals[id];
      if (vital) {
        this.#plots[id].append([position], [vital.value], [vital.confidence],
                               { checked: [check?.checkedValue ?? NaN], quality: [check?.quality ?? NaN] });
      }
    }
    this.#showVitals(result.vitals, assessment.vitals, result.message);
    this.#showPosition(position, duration);
  }

  #showVitals(vitals, checks, advisory) {
    const count = showVitals(this.#qc, element("vitals"), vitals, checks);
    element("vitals-empty").hidden = count > 0;
    element("advisory").textContent = advisory;
  }

  #showPosition(position, duration) {
    element("progress").hidden = duration === null;
    element("progress").value = duration > 0 ? Math.min(1, position / duration) : 0;
    element("position").textContent = duration === null ? `${position.toFixed(1)} s, live`
                                                        : `${position.toFixed(1)} s of ${duration.toFixed(1)} s`;
  }
}

function speedFromQuery(query) {
  const name = query.get("speed");
  return Object.hasOwn(SPEEDS, name) ? name : "1";
}

function recordingFromQuery(query) {
  const name = query.get("recording") ?? "sample";
  if (name !== "sample") {
    throw new Error(`unknown recording '${name}': the page bundles only 'sample'`);
  }
  return fetchSample;
}

function connectControls(viewer) {
  element("play-sample").addEventListener("click", () => viewer.open(fetchSample));
  element("use-camera").addEventListener("click", () => viewer.openCamera());
  element("stop-camera").addEventListener("click", () => viewer.stopCamera());
  element("speed").addEventListener("change", (event) => {
    viewer.speed = SPEEDS[event.target.value];
  });
  element("file-input").addEventListener("change", (event) => {
    const [file] = event.target.files;
    event.target.value = "";  // picking the same file again plays it again
    if (file) viewer.open(() => readFile(file));
  });
  document.addEventListener("dragover", (event) => {
    event.preventDefault();
    document.body.classList.add("dropping");
  });
  document.addEventListener("dragleave", (event) => {
    if (event.relatedTarget === null) document.body.classList.remove("dropping");
  });
  document.addEventListener("drop", (event) => {
    event.preventDefault();
    document.body.classList.remove("dropping");
    const [file] = event.dataTransfer.files;
    if (file) viewer.open(() => readFile(file));
  });
}

async function main() {
  const query = new URLSearchParams(location.search);
  const speed = speedFromQuery(query);
  element("speed").value = speed;
  try {
    const viewer = new Viewer(await loadQuorvantaCore(), SPEEDS[speed], query.has("debug"));
    connectControls(viewer);
    await viewer.open(recordingFromQuery(query));
  } catch (error) {
    fail(error);
  }
}

main();
