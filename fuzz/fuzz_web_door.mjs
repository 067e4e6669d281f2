// SPDX-License-Identifier: Apache-2.0
// A fuzzer of the JavaScript module's door: a property of every entry point, tried on random calls
// for a bounded time. Whatever the caller's values do while the module reads them (getters and
// Proxy traps that call back into the module, delete its objects, grow its memory, throw or lie),
// the call returns or throws a TypeError, RangeError or SyntaxError (or the caller's own
// exception), and ordinary calls afterwards give exactly what they gave before. A value that
// behaves honestly (gives the same answers as a plain one, whatever else it does) gives exactly the
// plain value's result.
//
//   node fuzz/fuzz_web_door.mjs   (ctest wasm_fuzz sets the variables tests/wasm/helpers.mjs needs)
//   QUORVANTA_FUZZ_SECONDS=60 QUORVANTA_FUZZ_SEED=1234 ...   to run longer, or to replay
import assert from "node:assert/strict";
import { isDeepStrictEqual } from "node:util";

import { everyVitalConfig, qc, reader } from "../tests/wasm/helpers.mjs";

const seconds = Number(process.env.QUORVANTA_FUZZ_SECONDS ?? 15);
const firstSeed = Number(process.env.QUORVANTA_FUZZ_SEED ?? Math.floor(Math.random() * 2 ** 31));
console.log(`hostile values for ${seconds} s from seed ${firstSeed} ` +
            `(replay with QUORVANTA_FUZZ_SEED=${firstSeed})`);

// mulberry32: a small seeded generator, so that a failure replays.
function generator(seed) {
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = Math.imul(state ^ (state >>> 15), state | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 2 ** 32;
  };
  const below = (n) => Math.floor(next() * n);
  return { chance: (p) => next() < p, below, pick: (items) => items[below(items.length)], number: next };
}

/** The caller's own exception, which must come out of a call unchanged. */
class CallersError extends Error {}

// What a trial's values may do when read. Honest effects leave the result as it would be.
let growth = 1 << 20;
function effects(random, trial) {
  const honest = [
    () => {},
    () => qc.calculateRoi({ x: 1, y: 2, width: 30, height: 40 }, "forehead"),
    () => qc.estimateHeartRate(Float32Array.from({ length: 64 }, (_, i) => Math.sin(i)), 30),
    () => {
      // Grows the module's memory, detaching every view of it, a few dozen times a run: the
      // module copies the string in.
      if (growth > 1 << 26) return;
      growth = Math.ceil(1.2 * growth);
      qc.getVitalInfo("x".repeat(growth));
    },
    () => trial.receiver?.delete(),
    () => trial.bystander.delete(),
  ];
  if (trial.receiver instanceof qc.BufferPlanner) {
    honest.push(() => trial.receiver.isDeleted() || trial.receiver.isReady(5, "Stream", false, false));
  }
  const dishonest = [
    () => { throw new CallersError("thrown by the caller's getter"); },
    () => trial.receiver instanceof qc.Session && trial.receiver.process(sessionInput(random), "Global"),
    () => trial.receiver instanceof qc.Session && trial.receiver.reset(),
  ];
  if (!trial.honest && random.chance(0.3)) return random.pick(dishonest);
  return random.chance(0.6) ? honest[0] : random.pick(honest);
}

// Values in place of any other, which the module must refuse without converting them: a coercion
// (valueOf, toString, Symbol.toPrimitive) must never run.
let coercions = 0;
const coercible = () => ({ valueOf: () => ++coercions, toString: () => String(++coercions),
                           [Symbol.toPrimitive]: () => ++coercions });
const MISFITS = [
  () => 10n, () => Symbol("s"), () => new Number(30), () => new String("face"), coercible,
  () => "30", () => true, () => null, () => undefined, () => ({}), () => [], () => () => 1,
];

const TYPED_ARRAY_KINDS = [Int8Array, Uint8Array, Uint8ClampedArray, Int16Array, Uint16Array, Int32Array,
                           Uint32Array, Float32Array, Float64Array, BigInt64Array, BigUint64Array];

function detached(Type, length) {
  const array = new Type(length);
  structuredClone(array.buffer, { transfer: [array.buffer] });
  return array;
}

// A typed array of numbers presented otherwise; the honest forms give the module the same numbers.
function presentNumbers(value, random, trial) {
  const Type = value.constructor;
  const honest = [
    () => value,
    () => Array.from(value),
    () => { // a view at an offset into a larger buffer
      const copy = new Type(value.length + 3).subarray(2, 2 + value.length);
      copy.set(value);
      return copy;
    },
    () => {
      const shared = new Type(new SharedArrayBuffer(value.byteLength));
      shared.set(value);
      return shared;
    },
    () => Object.defineProperty(Type.from(value), "length", { value: random.below(3) * 100_000 }),
    () => new (class extends Type { get length() { return 1; } })(value),
    () => {
      const array = new Array(value.length);
      for (let i = 0; i < value.length; ++i) {
        const effect = effects(random, trial);
        Object.defineProperty(array, i, { get() { effect(); return value[i]; }, enumerable: true });
      }
      return array;
    },
    () => proxy(Array.from(value), random, trial),
  ];
  const dishonest = [
    () => detached(Type, value.length),
    () => new (random.pick(TYPED_ARRAY_KINDS.filter((kind) => kind !== Type)))(value.length),
    () => { const array = Array.from(value); array.length += 1 + random.below(3); return array; },
    () => { const array = Array.from(value); array.length = random.pick([2 ** 28, 2 ** 32 - 1]); return array; },
    () => { const array = Array.from(value); array[random.below(array.length + 1)] = random.pick(MISFITS)(); return array; },
    () => lyingLength(Array.from(value), random),
  ];
  return (trial.honest ? random.pick(honest) : random.pick([...honest, ...dishonest]))();
}

function proxy(target, random, trial) {
  const effect = effects(random, trial);
  return new Proxy(target, {
    get(object, key, receiver) {
      effect();
      return Reflect.get(object, key, receiver);
    },
  });
}

function lyingLength(array, random) {
  const lengths = [array.length, 0, -1, 1.5, NaN, "3", 2 ** 32, array.length + 100_000, 2 ** 53];
  return new Proxy(array, { get: (object, key) => (key === "length" ? random.pick(lengths) : object[key]) });
}

// Any value presented as the caller might: same value, getters, Proxies, and (dishonest) misfits.
function present(value, random, trial) {
  if (!trial.honest && random.chance(0.05)) return random.pick(MISFITS)();
  if (value instanceof Float32Array || value instanceof Float64Array) return presentNumbers(value, random, trial);
  if (value === null || typeof value !== "object") return value;
  const items = Array.isArray(value) ? value.map((item) => present(item, random, trial)) : null;
  if (items) return random.chance(0.3) ? proxy(items, random, trial) : items;
  const object = {};
  for (const [key, field] of Object.entries(value)) {
    const presented = present(field, random, trial);
    if (random.chance(0.5)) {
      object[key] = presented;
      continue;
    }
    const effect = effects(random, trial);
    const lie = !trial.honest && random.chance(0.2);
    let reads = 0;
    Object.defineProperty(object, key, {
      get() { effect(); return lie && ++reads > 1 ? random.pick(MISFITS)() : presented; },
      enumerable: true,
    });
  }
  return random.chance(0.2) ? proxy(object, random, trial) : object;
}

// Plain arguments of every kind the module takes.
function signal(random, length = random.pick([0, 1, 17, 90, 300])) {
  const rate = 0.8 + 2 * random.number();
  const values = Float32Array.from({ length }, (_, i) => Math.sin((2 * Math.PI * rate * i) / 30) + 0.1 * random.number());
  if (length > 0 && random.chance(0.1)) values[random.below(length)] = random.pick([NaN, Infinity, -Infinity]);
  return values;
}
const rect = (random) => ({ x: 100 * random.number(), y: 100 * random.number(),
                            width: 1 + 200 * random.number(), height: 1 + 200 * random.number() });
const scalar = (random) => (random.chance(0.9) ? random.pick([30, 25, 60, 10]) : random.pick([0, -1, NaN, Infinity, 1e30]));

function sessionInput(random) {
  const frames = random.pick([0, 1, 30, 150]);
  const timestamp = Float64Array.from({ length: frames }, (_, i) => i / 30);
  const signals = {};
  for (const id of ["ppg_waveform", "respiratory_waveform", "spo2"].filter(() => random.chance(0.6))) {
    signals[id] = { data: signal(random, frames), confidence: new Float32Array(frames).fill(random.number()) };
  }
  const face = random.chance(0.5) ? null : {
    coordinates: Array.from({ length: frames }, () => Float32Array.of(10, 20, 100, 120)),
    confidence: new Float32Array(frames).fill(0.9),
  };
  return { face, signals, timestamp };
}

function bufferMetadata(random) {
  return Array.from({ length: random.below(4) }, (_, i) => ({
    id: `b${i}`, roi: rect(random), count: random.below(400), createdAt: random.number(), lastSeen: 1 + random.number(),
  }));
}

const config = (random) => everyVitalConfig({ supportedVitals: qc.vitalIds().filter(() => random.chance(0.5)) });
const csv = (random) => ["timestamp,ppg_waveform", ...Array.from({ length: random.below(40) }, (_, i) =>
  `${random.chance(0.97) ? i / 30 : random.pick(["x", "1e400", "", "NaN"])},${random.number()}`)].join("\n");

// Each entry point: its plain arguments, and the call that makes it (on `receiver` for methods).
const ENTRY_POINTS = [
  ["estimateHeartRate", (r) => [signal(r), scalar(r)], (qc_, args) => qc.estimateHeartRate(...args)],
  ["estimateHrvMetric", (r) => {
    const values = signal(r, 300);
    return [values, scalar(r), r.pick(["sdnn", "RMSSD", "lfhf", "hrv_pnn50", "sd1sd2", "stress_index", "x"]),
            new Float32Array(values.length).fill(1), r.pick([null, undefined, 72])];
  }, (_, args) => qc.estimateHrvMetric(...args)],
  ["findPeaks", (r) => [signal(r, 300), scalar(r), r.chance(0.5),
                        r.pick([undefined, { rateHint: 80, minRate: 50, maxRate: 150, windowCycles: 2, detectionThreshold: 0.3 }])],
   (_, args) => qc.findPeaks(...args)],
  ["findBeats", (r) => {
    const values = signal(r, 300);
    return [values, scalar(r), r.pick([undefined, null, Float64Array.from(values, (_, i) => i / 30), [0, 1]])];
  }, (_, args) => qc.findBeats(...args)],
  ["extractPulse", (r) => {
    const colour = () => Float32Array.from(signal(r, 300), (v) => 0.5 + 0.01 * v);
    const red = colour();
    return [red, colour(), r.pick([colour(), red.subarray(1)]),
            r.pick([Float64Array.from(red, (_, i) => i / 30), [0, 1]]), r.pick([undefined, null, "POS", "chrom", "ica"])];
  }, (_, args) => qc.extractPulse(...args)],
  ["extractRespiration", (r) => {
    const rows = signal(r, 400);
    return [r.pick([rows.subarray(0, 40), rows.subarray(0, 3), [], rows.subarray(0, 7)]), r.pick([rows, rows.subarray(1), []])];
  }, (_, args) => qc.extractRespiration(...args)],
  ["calculateRoi", (r) => [rect(r), r.pick(["face", "forehead", "upper_body", { left: 0.1, top: 0.2, right: 0.1, bottom: 0 }]),
                           r.pick([undefined, { detector: "VISION", container: { width: 320, height: 240 }, forceEven: true }])],
   (_, args) => qc.calculateRoi(...args)],
  ["getVitalInfo", (r) => [r.pick([...qc.vitalIds(), "hr", "unknown"])], (_, args) => qc.getVitalInfo(...args)],
  ["computeIou", (r) => [rect(r), rect(r)], (_, args) => qc.computeIou(...args)],
  ["isContained", (r) => [rect(r), rect(r), r.number()], (_, args) => qc.isContained(...args)],
  ["computeBufferConfig", (r) => [config(r)], (_, args) => qc.computeBufferConfig(...args)],
  ["new Session", (r) => [config(r)], (_, [value]) => { new qc.Session(value).delete(); return null; }],
  ["Session.process", (r) => [sessionInput(r), r.pick(["Incremental", "Global", { windowed: 2 }])],
   (session, args) => session.process(...args), (r) => new qc.Session(config(r))],
  ["Session.assess", () => [], (session) => session.assess(), (r) => {
    const session = new qc.Session(config(r));
    session.process(sessionInput(r), r.pick(["Incremental", "Global"]));
    return session;
  }],
  ["new BufferPlanner", (r) => [qc.computeBufferConfig(config(r))], (_, [value]) => { new qc.BufferPlanner(value).delete(); return null; }],
  ["BufferPlanner.evaluateTarget", (r) => [rect(r), r.number(), bufferMetadata(r)],
   (planner, args) => planner.evaluateTarget(...args), (r) => new qc.BufferPlanner(qc.computeBufferConfig(config(r)))],
  ["BufferPlanner.poll", (r) => [bufferMetadata(r), 2 * r.number(), r.pick(["Stream", "File"]), r.chance(0.5), r.chance(0.5)],
   (planner, args) => planner.poll(...args), (r) => new qc.BufferPlanner(qc.computeBufferConfig(config(r)))],
  ["BufferPlanner.isReady", (r) => [r.below(200), r.pick(["Stream", "File"]), r.chance(0.5), r.chance(0.5)],
   (planner, args) => planner.isReady(...args), (r) => new qc.BufferPlanner(qc.computeBufferConfig(config(r)))],
  ["readRecording", (r) => [csv(r), "hostile.csv", { fs: r.number(), timeUnit: r.pick(["s", "ms", "us"]),
                                                  columns: r.chance(0.5) ? { ppg: "timestamp" } : undefined }],
   (_, args) => reader.readRecording(...args)],
];

function outcome(call) {
  try {
    return { value: call() };
  } catch (error) {
    return { error };
  }
}

// Ordinary calls whose results must not change, whatever a hostile call did before.
function ordinaryCalls() {
  const random = generator(7);
  const session = new qc.Session(config(random));
  const planner = new qc.BufferPlanner(qc.computeBufferConfig(config(random)));
  const results = [session.process(sessionInput(random), "Global"), qc.estimateHeartRate(signal(random, 300), 30),
                   qc.findPeaks(signal(random, 300), 30, true), qc.calculateRoi(rect(random), "face"),
                   planner.poll(bufferMetadata(random), 1, "Stream", false, false),
                   reader.readRecording(csv(random), "ordinary.csv")];
  session.delete();
  planner.delete();
  return results;
}

const ALLOWED_ERRORS = [TypeError, RangeError, SyntaxError, CallersError];

function runTrial(seed) {
  const random = generator(seed);
  const [name, plainArguments, call, makeReceiver] = random.pick(ENTRY_POINTS);
  const trial = { honest: random.chance(0.5), bystander: new qc.Session(config(random)) };
  const plain = plainArguments(random);
  let expected = null;
  if (trial.honest) {
    const receiver = makeReceiver?.(generator(seed));
    expected = outcome(() => call(receiver, plain));
    receiver?.delete();
  }
  trial.receiver = makeReceiver?.(generator(seed));
  const presented = plain.map((value) => present(value, random, trial));
  const coercionsBefore = coercions;
  const actual = outcome(() => call(trial.receiver, presented));
  const where = `${name}, ${trial.honest ? "honest" : "dishonest"} values, seed ${seed}`;
  assert.equal(coercions, coercionsBefore, `${where}: the module converted a value with valueOf or toString`);
  if (actual.error) {
    assert.ok(ALLOWED_ERRORS.some((type) => actual.error.constructor === type),
              `${where}: threw ${actual.error.constructor.name}: ${actual.error.message}`);
  }
  if (expected) {
    assert.ok(isDeepStrictEqual(actual, expected),
              `${where}: gave ${describe(actual)} where plain values give ${describe(expected)}`);
  }
  if (trial.receiver?.isDeleted()) {
    assert.throws(() => call(trial.receiver, plain), { constructor: TypeError, message: / used after delete\(\)$/ });
  }
  trial.receiver?.delete();
  trial.receiver?.delete();
  trial.bystander.delete();
}

const describe = ({ value, error }) =>
  error ? `${error.constructor.name}: ${error.message}` : JSON.stringify(value)?.slice(0, 300);

const before = ordinaryCalls();
const end = Date.now() + 1000 * seconds;
let trials = 0;
for (let seed = firstSeed; Date.now() < end; ++seed, ++trials) {
  runTrial(seed);
  if (trials % 20 === 0) {
    assert.ok(isDeepStrictEqual(ordinaryCalls(), before), `ordinary calls changed after the trial of seed ${seed}`);
  }
}
assert.ok(isDeepStrictEqual(ordinaryCalls(), before), "ordinary calls changed");
console.log(`${trials} calls, no findings`);
