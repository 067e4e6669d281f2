// SPDX-License-Identifier: Apache-2.0
// quorvanta_core for JavaScript: loads the WebAssembly module and gives it its public API.
//
//   import loadQuorvantaCore from "quorvanta_core";
//   const qc = await loadQuorvantaCore();
//   const session = new qc.Session(config);
//   const result = session.process(input, "Incremental");
//   session.delete();
//
// Native objects (Session, BufferPlanner) hold memory inside the module until delete() is called;
// afterwards every method throws a TypeError. The module's own checks throw TypeError or
// RangeError naming the argument; an internal fault throws InternalFault.
import { callRunner, InternalFault, moduleSettings } from "./loader_support.mjs";
import createQuorvantaWasm from "./quorvanta_core_wasm.mjs";

export { InternalFault };

// Deletes native objects whose wrapper was collected without delete(), as a last resort.
const forgotten = new FinalizationRegistry((native) => native.delete());

// The key of a native object's one way to call its native methods; not exported.
const callNative = Symbol("callNative");

// A class whose instances own one native object, which only this class can reach. Arguments cross
// to the module one by one, which can run the caller's JavaScript (getters, Proxies) in the middle
// of a call, and that code can call delete(): the native object is then released when the
// outermost running call of it returns, so that no call ever runs on a freed object.
function nativeClass(name, NativeType, run) {
  return class {
    #native;
    #runningCalls = 0;
    #deleted = false;

    constructor(config) {
      this.#native = run(() => new NativeType(config));
      forgotten.register(this, this.#native, this);
    }

    [callNative](method, ...args) {
      if (this.#deleted) throw new TypeError(`${name} used after delete()`);
      ++this.#runningCalls;
      try {
        return run(() => this.#native[method](...args));
      } finally {
        if (--this.#runningCalls === 0 && this.#deleted) this.#release();
      }
    }

    /**
     * Releases the native object, once the calls running on it return; later calls throw.
     * Deleting twice does nothing.
     */
    delete() {
      if (this.#deleted) return;
      this.#deleted = true;
      forgotten.unregister(this);
      if (this.#runningCalls === 0) this.#release();
    }

    isDeleted() {
      return this.#deleted;
    }

    #release() {
      this.#native.delete();
      this.#native = null;
    }
  };
}

function publicApi(wasm) {
  const run = callRunner(wasm);
  const call = (name, ...args) => run(() => wasm[name](...args));

  class Session extends nativeClass("Session", wasm.Session, run) {
    process(input, mode) {
      return this[callNative]("process", input, mode);
    }

    assess() {
      return this[callNative]("assess");
    }

    reset() {
      this[callNative]("reset");
    }
  }

  class BufferPlanner extends nativeClass("BufferPlanner", wasm.BufferPlanner, run) {
    evaluateTarget(targetRoi, timestamp, activeBuffers) {
      return this[callNative]("evaluateTarget", targetRoi, timestamp, activeBuffers);
    }

    isReady(count, mode, hasState, flush) {
      return this[callNative]("isReady", count, mode, hasState, flush);
    }

    poll(activeBuffers, currentTime, mode, hasState, flush) {
      return this[callNative]("poll", activeBuffers, currentTime, mode, hasState, flush);
    }
  }

  return Object.freeze({
    Session,
    BufferPlanner,
    InternalFault,
    estimateHeartRate: (signal, fs) => call("estimateHeartRate", signal, fs),
    estimateHrvMetric: (signal, fs, metricName, confidence, rateHint) =>
      call("estimateHrvMetric", signal, fs, lowerCaseName(metricName), confidence, rateHint),
    findPeaks: (signal, fs, refine, options) => call("findPeaks", signal, fs, refine, options),
    findBeats: (signal, fs, timestamps) => call("findBeats", signal, fs, timestamps),
    extractPulse: (red, green, blue, timestamps, method) =>
      call("extractPulse", red, green, blue, timestamps, lowerCaseName(method)),
    extractRespiration: (referenceRows, frameRows) =>
      call("extractRespiration", referenceRows, frameRows),
    calculateRoi: (face, method, options) =>
      call("calculateRoi", face, method, withLowerCaseDetector(options)),
    getVitalInfo: (vitalId) => call("getVitalInfo", vitalId),
    vitalIds: () => call("vitalIds"),
    computeIou: (a, b) => call("computeIou", a, b),
    isContained: (inner, outer, minOverlap) => call("isContained", inner, outer, minOverlap),
    computeBufferConfig: (config) => call("computeBufferConfig", config),
    recordFields: () => call("recordFields"),
    allocatedBytes: () => call("allocatedBytes"),
  });
}

// Metric, detector and pulse method names are matched in any case, as the Python module matches
// them.
function lowerCaseName(name) {
  return typeof name === "string" ? name.toLowerCase() : name;
}

// Reads `options.detector` once, since a getter may answer differently each time.
function withLowerCaseDetector(options) {
  if (options === null || typeof options !== "object") return options;
  const detector = options.detector;
  return typeof detector === "string" ? { ...options, detector: detector.toLowerCase() } : options;
}

/**
 * Loads the module. `options` go to the WebAssembly loader: `locateFile(path, prefix)` to say
 * where quorvanta_core_wasm.wasm is served from, or `wasmBinary` to hand over its bytes.
 */
export default async function loadQuorvantaCore(options = {}) {
  const settings =
    await moduleSettings(options, new URL("./quorvanta_core_wasm.wasm", import.meta.url));
  return publicApi(await createQuorvantaWasm(settings));
}
