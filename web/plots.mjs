// SPDX-License-Identifier: Apache-2.0
// Time plots on canvas: a waveform scrolling through a trailing window, or a rate over the whole
// recording with one point per result, shaded by its confidence, drawn as a ring where the
// session's checks give it a quality below 0.5, and the value the checks stand behind as a dashed
// line. Drawing waits for the next animation frame, so that many results in a row cost one redraw.

const MARGIN = { left: 46, right: 12, top: 26, bottom: 22 };
const FONT = "12px system-ui, sans-serif";
const GRID_COLOR = "rgba(128, 128, 128, 0.25)";
const CHECKED_COLOR = "#333a45";
const LOW_QUALITY = 0.5;

/**
 * Points in time order; points appended at or before the last stored time replace those. Each
 * point has a value, a confidence, and the checked value and quality of the session's checks (NaN
 * where there are none).
 */
class Series {
  times = [];
  values = [];
  confidences = [];
  checked = [];
  qualities = [];

  #lists() {
    return [this.times, this.values, this.confidences, this.checked, this.qualities];
  }

  append(times, values, confidences, checks) {
    const keep = firstIndexAtOrAfter(this.times, times[0]);
    for (const list of this.#lists()) list.length = keep;
    this.times.push(...times);
    this.values.push(...values);
    this.confidences.push(...confidences);
    this.checked.push(...(checks?.checked ?? times.map(() => NaN)));
    this.qualities.push(...(checks?.quality ?? times.map(() => NaN)));
  }

  /** Drops the points before `time`. */
  trimBefore(time) {
    const drop = firstIndexAtOrAfter(this.times, time);
    for (const list of this.#lists()) list.splice(0, drop);
  }
}

function firstIndexAtOrAfter(times, time) {
  let index = times.length;
  while (index > 0 && times[index - 1] >= time) --index;
  return index;
}

/** Tick values from `low` to `high` at a round step (1, 2 or 5 times a power of ten): at least two
 *  ticks, as near to `wanted` as such steps allow. */
function ticks(low, high, wanted) {
  const magnitude = 10 ** Math.floor(Math.log10((high - low) / wanted));
  const steps = [0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50].map((m) => m * magnitude);
  const count = (step) => Math.floor(high / step) - Math.ceil(low / step) + 1;
  const step = steps.filter((s) => count(s) >= 2)
    .reduce((best, s) => (Math.abs(count(s) - wanted) <= Math.abs(count(best) - wanted) ? s : best));
  const values = [];
  for (let i = Math.ceil(low / step); i * step <= high; ++i) values.push(i * step);
  return { values, decimals: Math.max(0, -Math.floor(Math.log10(step) + 1e-9)) };
}

function valueRange(values, minimumSpan) {
  let low = Math.min(...values.filter(Number.isFinite));
  let high = Math.max(...values.filter(Number.isFinite));
  if (!Number.isFinite(low)) return [0, minimumSpan];
  const missing = Math.max(0, minimumSpan - (high - low));
  low -= missing / 2;
  high += missing / 2;
  const pad = (high - low) * 0.08;
  return [low - pad, high + pad];
}

export class TimePlot {
  #canvas;
  #options;
  #series = new Series();
  #xRange = [0, 1];
  #emptyText = "";
  #drawRequested = false;

  /**
   * options: title, color, minimumSpan (of the value axis), and either window (seconds shown
   * before the newest point) or markers (one dot per point over the whole recording).
   */
  constructor(canvas, options) {
    this.#canvas = canvas;
    this.#options = options;
    new ResizeObserver(() => this.invalidate()).observe(canvas);
  }

  /** Empties the plot for a recording of `duration` seconds. */
  reset(duration, emptyText) {
    this.#series = new Series();
    this.#xRange = [0, this.#options.window ?? Math.max(duration, 1)];
    this.#emptyText = emptyText;
    this.invalidate();
  }

  /** checks, for a rate: { checked, quality }, one number each per time. */
  append(times, values, confidences, checks) {
    if (times.length === 0) return;
    this.#series.append(times, values, confidences, checks);
    const window = this.#options.window;
    const newest = times.at(-1);
    if (window !== undefined) {
      this.#series.trimBefore(newest - window);
      this.#xRange = [Math.max(0, newest - window), Math.max(window, newest)];
    } else if (newest > this.#xRange[1]) {
      this.#xRange = [0, newest];  // live: the span grows with the measurement
    }
    this.invalidate();
  }

  invalidate() {
    if (this.#drawRequested) return;
    this.#drawRequested = true;
    requestAnimationFrame(() => {
      this.#drawRequested = false;
      this.#draw();
    });
  }

  #draw() {
    const context = this.#resizedContext();
    const { width, height } = this.#canvas.getBoundingClientRect();
    const area = { left: MARGIN.left, top: MARGIN.top, right: width - MARGIN.right,
                   bottom: height - MARGIN.bottom };
    const textColor = getComputedStyle(this.#canvas).color;
    context.clearRect(0, 0, width, height);
    context.font = FONT;
    this.#drawTitle(context, area, textColor);
    if (this.#series.times.length === 0) {
      drawCentred(context, area, this.#emptyText, textColor);
      return;
    }
    const yRange = valueRange([...this.#series.values, ...this.#series.checked], this.#options.minimumSpan);
    const scale = {
      x: (t) => area.left + ((t - this.#xRange[0]) / (this.#xRange[1] - this.#xRange[0])) * (area.right - area.left),
      y: (v) => area.bottom - ((v - yRange[0]) / (yRange[1] - yRange[0])) * (area.bottom - area.top),
    };
    drawGrid(context, area, scale, this.#xRange, yRange, textColor);
    this.#drawLine(context, scale);
    if (this.#options.markers) {
      this.#drawChecked(context, scale);
      this.#drawMarkers(context, scale, area);
    }
  }

  /** The drawing context, its canvas sized to the element at the screen's pixel density. */
  #resizedContext() {
    const ratio = window.devicePixelRatio || 1;
    const { width, height } = this.#canvas.getBoundingClientRect();
    const pixels = [Math.round(width * ratio), Math.round(height * ratio)];
    if (this.#canvas.width !== pixels[0] || this.#canvas.height !== pixels[1]) {
      [this.#canvas.width, this.#canvas.height] = pixels;
    }
    const context = this.#canvas.getContext("2d");
    context.setTransform(ratio, 0, 0, ratio, 0, 0);
    return context;
  }

  #drawTitle(context, area, textColor) {
    context.fillStyle = this.#options.color;
    context.fillRect(area.left, 8, 10, 10);
    context.fillStyle = textColor;
    context.textAlign = "left";
    context.textBaseline = "middle";
    context.fillText(this.#options.title, area.left + 16, 13);
    const latest = this.#series.values.at(-1);
    if (this.#options.markers && latest !== undefined) {
      context.textAlign = "right";
      context.fillText(latest.toFixed(1), area.right, 13);
    }
  }

  #drawLine(context, scale) {
    const { times, values } = this.#series;
    context.strokeStyle = this.#options.color;
    context.lineWidth = 1.5;
    context.lineJoin = "round";
    context.beginPath();
    times.forEach((t, i) => context[i === 0 ? "moveTo" : "lineTo"](scale.x(t), scale.y(values[i])));
    context.stroke();
  }

  /** The checked values as a dashed line, broken where a point has none. */
  #drawChecked(context, scale) {
    const { times, checked } = this.#series;
    context.strokeStyle = CHECKED_COLOR;
    context.lineWidth = 1.5;
    context.setLineDash([3, 3]);
    context.beginPath();
    times.forEach((t, i) => {
      if (!Number.isFinite(checked[i])) return;
      const joined = i > 0 && Number.isFinite(checked[i - 1]);
      context[joined ? "lineTo" : "moveTo"](scale.x(t), scale.y(checked[i]));
    });
    context.stroke();
    context.setLineDash([]);
  }

  /** Dots at most 2.5 px across, smaller where they would crowd each other; rings where the
   *  quality is low. */
  #drawMarkers(context, scale, area) {
    const { times, values, confidences, qualities } = this.#series;
    const spacing = ((area.right - area.left) / (this.#xRange[1] - this.#xRange[0])) * meanStep(times);
    const radius = Math.min(2.5, Math.max(1, spacing / 3));
    context.fillStyle = this.#options.color;
    context.strokeStyle = this.#options.color;
    context.lineWidth = 1;
    times.forEach((t, i) => {
      context.globalAlpha = 0.2 + 0.8 * Math.min(1, Math.max(0, confidences[i]));
      context.beginPath();
      context.arc(scale.x(t), scale.y(values[i]), radius, 0, 2 * Math.PI);
      if (qualities[i] < LOW_QUALITY) context.stroke();
      else context.fill();
    });
    context.globalAlpha = 1;
  }
}

/** The mean time between points; one second when there are fewer than two. */
function meanStep(times) {
  return times.length > 1 ? (times.at(-1) - times[0]) / (times.length - 1) || 1 : 1;
}

function drawGrid(context, area, scale, xRange, yRange, textColor) {
  context.strokeStyle = GRID_COLOR;
  context.fillStyle = textColor;
  context.lineWidth = 1;
  const xTicks = ticks(xRange[0], xRange[1], Math.max(2, Math.floor((area.right - area.left) / 70)));
  const yTicks = ticks(yRange[0], yRange[1], Math.max(2, Math.floor((area.bottom - area.top) / 30)));
  context.textAlign = "center";
  context.textBaseline = "top";
  for (const t of xTicks.values) {
    const x = Math.round(scale.x(t)) + 0.5;
    strokeSegment(context, x, area.top, x, area.bottom);
    const label = `${t.toFixed(xTicks.decimals)} s`;
    const half = context.measureText(label).width / 2;
    context.fillText(label, Math.min(x, area.right + MARGIN.right - half - 1), area.bottom + 5);
  }
  context.textAlign = "right";
  context.textBaseline = "middle";
  for (const v of yTicks.values) {
    const y = Math.round(scale.y(v)) + 0.5;
    strokeSegment(context, area.left, y, area.right, y);
    context.fillText(v.toFixed(yTicks.decimals), area.left - 6, y);
  }
}

function strokeSegment(context, x0, y0, x1, y1) {
  context.beginPath();
  context.moveTo(x0, y0);
  context.lineTo(x1, y1);
  context.stroke();
}

function drawCentred(context, area, text, textColor) {
  context.fillStyle = textColor;
  context.globalAlpha = 0.6;
  context.textAlign = "center";
  context.textBaseline = "middle";
  context.fillText(text, (area.left + area.right) / 2, (area.top + area.bottom) / 2);
  context.globalAlpha = 1;
}
