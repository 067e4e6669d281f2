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
import { InternalFault, moduleSettings } from "./loader_support.mjs";
import createQuorvantaWasm from "./quorvanta_core_wasm.mjs";

export { InternalFault };

// Deletes native objects whose wrapper was collected without delete(), as a last resort.
const forgotten = new FinalizationRegistry((native) => native.delete());

function nativeClass(name, NativeType) {
  return class {
    #native;

    constructor(...args) {
      this.#native = new NativeType(...args);
      forgotten.register(this, this.#native, this);
    }

    /** The native object; throws once delete() has released it. */
    get native() {
      if (this.#native === null) throw new TypeError(`${name} used after delete()`);
      return this.#native;
    }

    /** Releases the native object; later calls throw. Deleting twice does nothing. */
    delete() {
      if (this.#native === null) return;
      forgotten.unregister(this);
      this.#native.delete();
      this.#native = null;
    }

    isDeleted() {
      return this.#native === null;
    }
  };
}

function publicApi(wasm) {
  class Session extends nativeClass("Session", wasm.Session) {
    process(input, mode) {
      return this.native.process(input, mode);
    }

    reset() {
      this.native.reset();
    }
  }

  class BufferPlanner extends nativeClass("BufferPlanner", wasm.BufferPlanner) {
    evaluateTarget(targetRoi, timestamp, activeBuffers) {
      return this.native.evaluateTarget(targetRoi, timestamp, activeBuffers);
    }

    isReady(count, mode, hasState, flush) {
      return this.native.isReady(count, mode, hasState, flush);
    }

    poll(activeBuffers, currentTime, mode, hasState, flush) {
      return this.native.poll(activeBuffers, currentTime, mode, hasState, flush);
    }
  }

  return Object.freeze({
    Session,
    BufferPlanner,
    InternalFault,
    estimateHeartRate: (signal, fs) => wasm.estimateHeartRate(signal, fs),
    estimateHrvMetric: (signal, fs, metricName, confidence, rateHint) =>
      wasm.estimateHrvMetric(signal, fs, lowerCaseName(metricName), confidence, rateHint),
    findPeaks: (signal, fs, refine, options) => wasm.findPeaks(signal, fs, refine, options),
    calculateRoi: (face, method, options) =>
      wasm.calculateRoi(face, method, withLowerCaseDetector(options)),
    getVitalInfo: (vitalId) => wasm.getVitalInfo(vitalId),
    vitalIds: () => wasm.vitalIds(),
    computeIou: (a, b) => wasm.computeIou(a, b),
    isContained: (inner, outer, minOverlap) => wasm.isContained(inner, outer, minOverlap),
    computeBufferConfig: (config) => wasm.computeBufferConfig(config),
    recordFields: () => wasm.recordFields(),
    allocatedBytes: () => wasm.allocatedBytes(),
  });
}

// Metric and detector names are matched in any case, as the Python module matches them.
function lowerCaseName(name) {
  return typeof name === "string" ? name.toLowerCase() : name;
}

function withLowerCaseDetector(options) {
  if (options === null || typeof options !== "object" || typeof options.detector !== "string") {
    return options;
  }
  return { ...options, detector: options.detector.toLowerCase() };
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
