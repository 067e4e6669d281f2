// SPDX-License-Identifier: Apache-2.0
// The page: loads the module, plays the bundled sample or a recording the user drops or picks, and
// shows each result as it comes. <body data-state> tells where it is: loading, playing, done or
// error. Query parameters: recording=sample, speed=1|10|max.
import loadQuorvantaCore from "./quorvanta_core/quorvanta_core.mjs";
import { DRAWN_WAVEFORMS, Playback } from "./playback.mjs";
import { TimePlot } from "./plots.mjs";
import { describe, durationOf, fetchSample, readFile } from "./recordings.mjs";
import { showVitals } from "./vitals-table.mjs";

const RATE_PLOTS = ["heart_rate", "respiratory_rate"];
const WAVEFORM_WINDOWS = { ppg_waveform: 10, respiratory_waveform: 30 };
const SPEEDS = { 1: 1, 10: 10, max: Infinity };

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
  #opened = 0;

  constructor(qc, speed) {
    this.#qc = qc;
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

  #stop() {
    this.#playback?.stop();
    this.#playback = null;
  }

  async #play(recording) {
    this.#show(recording);
    const playback = new Playback(this.#qc, recording, this.#speed);
    this.#playback = playback;
    setState("playing");
    const finished = await playback.play((result, position, assessment) =>
      this.#showResult(recording, result, position, assessment));
    if (!finished) return;
    this.#playback = null;
    element("vitals-empty").textContent = "No vitals: the recording is too short for any estimate.";
    setState("done");
  }

  #show(recording) {
    const recorded = new Set(recording.signals.map((s) => s.id));
    element("recording-summary").textContent = describe(recording);
    showWarnings(recording.warnings);
    for (const [id, plot] of Object.entries(this.#plots)) {
      plot.reset(durationOf(recording), this.#emptyPlotText(id, recorded));
    }
    element("vitals-empty").textContent = "No vitals yet.";
    this.#showVitals({}, {}, "");
    this.#showPosition(0, durationOf(recording));
  }

  #emptyPlotText(id, recorded) {
    if (RATE_PLOTS.includes(id)) return "No estimate yet";
    if (recorded.has(id)) return "Waiting for frames";
    return `No ${this.#qc.getVitalInfo(id).shortName} in this recording`;
  }

  #showResult(recording, result, position, assessment) {
    const origin = recording.timestamp[0];
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
    this.#showPosition(position, durationOf(recording));
  }

  #showVitals(vitals, checks, advisory) {
    const count = showVitals(this.#qc, element("vitals"), vitals, checks);
    element("vitals-empty").hidden = count > 0;
    element("advisory").textContent = advisory;
  }

  #showPosition(position, duration) {
    element("progress").value = duration > 0 ? Math.min(1, position / duration) : 0;
    element("position").textContent = `${position.toFixed(1)} s of ${duration.toFixed(1)} s`;
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
    const viewer = new Viewer(await loadQuorvantaCore(), SPEEDS[speed]);
    connectControls(viewer);
    await viewer.open(recordingFromQuery(query));
  } catch (error) {
    fail(error);
  }
}

main();
