// SPDX-License-Identifier: Apache-2.0
// JavaScript that runs in the middle of a call: getters, Proxies and array items that call back
// into the module while it reads them. Each test is a way the module once broke; ordinary calls
// afterwards must give the bits they gave before.
import assert from "node:assert/strict";
import { test } from "node:test";

import { everyVitalConfig, qc, sampleBatch } from "./helpers.mjs";

const pulse = Float32Array.from({ length: 720 }, (_, i) => Math.sin((2 * Math.PI * 1.2 * i) / 30));
const ordinary = () => [qc.estimateHeartRate(pulse, 30), qc.findPeaks(pulse, 30, true),
                        qc.calculateRoi({ x: 0, y: 0, width: 100, height: 100 }, "face")];
const ordinaryBefore = ordinary();
const rect = { x: 0, y: 0, width: 10, height: 10 };

function assertIntact() {
  assert.deepEqual(ordinary(), ordinaryBefore);
}

// Makes the module's memory grow, which detaches every view of it: the module copies the string in.
let growth = 1 << 22;
function growMemory() {
  growth *= 2;
  qc.getVitalInfo("x".repeat(growth));
}

test("delete() in the middle of a call of the object takes effect when the call returns", () => {
  const batch = sampleBatch(0, 300);
  const plain = new qc.Session(everyVitalConfig());
  const expected = plain.process(batch, "Global");
  plain.delete();
  const session = new qc.Session(everyVitalConfig());
  const input = { ...batch, get signals() { session.delete(); return batch.signals; } };
  assert.deepEqual(session.process(input, "Global"), expected);
  assert.equal(session.isDeleted(), true);
  assert.throws(() => session.process(batch, "Global"), { constructor: TypeError, message: "Session used after delete()" });

  const planner = new qc.BufferPlanner(qc.computeBufferConfig(everyVitalConfig()));
  const buffer = { get id() { planner.delete(); return "a"; }, roi: rect, count: 200, createdAt: 0, lastSeen: 1 };
  assert.equal(planner.poll([buffer], 1, "Stream", false, false).command.bufferId, "a");
  assert.equal(planner.isDeleted(), true);
  assertIntact();
});

test("an array whose item getters grow the module's memory arrives whole", () => {
  const growing = Array.from(pulse);
  for (const i of [1, 360, 700]) Object.defineProperty(growing, i, { get() { growMemory(); return pulse[i]; } });
  assert.deepEqual(qc.findPeaks(growing, 30, true), qc.findPeaks(pulse, 30, true));
  assertIntact();
});

test("a sequence is sized once, by the value itself", () => {
  let lengthReads = 0;
  const changing = new Proxy(Array.from(pulse.subarray(0, 10)), {
    get: (array, key) => (key === "length" ? (++lengthReads === 1 ? 10 : 100_010) : array[key]),
  });
  const LyingClass = class extends Float32Array { get length() { return 1; } };
  const big = new Float32Array(200_000).fill(1);
  const bigSaysOne = Object.defineProperty(Float32Array.from(big), "length", { value: 1 });
  for (const [signal, honest] of [[changing, pulse.subarray(0, 10)], [new LyingClass(pulse), pulse],
                                  [bigSaysOne, big]]) {
    assert.deepEqual(qc.estimateHeartRate(signal, 30), qc.estimateHeartRate(honest, 30));
  }
  assertIntact();
});

const sparse = (length) => Object.assign([1, 2], { length });
const withLength = (length) => new Proxy([], { get: (array, key) => (key === "length" ? length : array[key]) });
const detached = new Float32Array(8);
structuredClone(detached.buffer, { transfer: [detached.buffer] });

// Misfit arguments and the error each throws.
const MISFITS = [
  [() => new qc.Session(), TypeError, "config must be an object, not undefined"],
  [() => new qc.BufferPlanner(), TypeError, "config must be an object, not undefined"],
  [() => qc.getVitalInfo({ constructor: { name: 5 } }), TypeError, "vitalId must be a string, not an object"],
  [() => qc.estimateHeartRate(sparse(2 ** 31), 30), RangeError,
   "signal has 2147483648 items, more than the module's memory holds"],
  [() => qc.estimateHeartRate(sparse(1000), 30), TypeError,
   "signal must be a Float32Array or an array of numbers, not an array"],
  [() => qc.estimateHeartRate(withLength(-1), 30), RangeError,
   "signal.length must be an integer from 0 to 4294967295, not -1"],
  [() => new qc.Session(everyVitalConfig({ supportedVitals: withLength("3") })), TypeError,
   "config.supportedVitals.length must be a number, not a string"],
  [() => new qc.Session(everyVitalConfig({ supportedVitals: sparse(2 ** 32 - 1) })), RangeError,
   /^config\.supportedVitals has 4294967295 items, more than the module's memory holds$/],
  [() => qc.estimateHeartRate(detached, 30), TypeError,
   "signal must be a Float32Array or an array of numbers, not a detached Float32Array"],
  [() => qc.estimateHeartRate([1, { valueOf: () => 2 }], 30), TypeError,
   "signal must be a Float32Array or an array of numbers, not an array"],
];

test("misfit arguments throw TypeError or RangeError naming them", () => {
  for (const [call, type, message] of MISFITS) assert.throws(call, { constructor: type, message });
  assertIntact();
});

// A getter that calls the module `depth` levels deep and then throws.
function nestedThrow(depth) {
  const face = { x: 0, y: 0, width: 10, get height() {
    if (depth-- === 0) throw new Error("the caller's own");
    return qc.calculateRoi(face, "face").height;
  } };
  return () => qc.calculateRoi(face, "face");
}

test("errors leave the module's stack as they found it", () => {
  // Each exception leaving the module once kept 32 bytes of its 5 MB stack, so this many errors
  // ran the stack into the module's data.
  const throwing = { get x() { throw new Error("the caller's own"); } };
  for (let i = 0; i < 170_000; ++i) assert.throws(() => qc.computeIou(throwing, rect), { message: "the caller's own" });
  for (let i = 0; i < 100; ++i) assert.throws(nestedThrow(30), { message: "the caller's own" });
  assertIntact();
});

test("calls nested more than 32 deep throw RangeError", () => {
  assert.throws(nestedThrow(1000), { constructor: RangeError, message: "more than 32 nested calls into the module" });
  assertIntact();
});

test("the caller's exception passes through unchanged and the call frees what it held", () => {
  const thrown = new Error("from a getter");
  const input = { ...sampleBatch(0, 300), get timestamp() { throw thrown; } };
  const session = new qc.Session(everyVitalConfig());
  const call = () => assert.throws(() => session.process(input, "Global"), (error) => error === thrown);
  call(); // the first call makes the door's tables of field names, which stay
  const held = qc.allocatedBytes();
  for (let i = 0; i < 100; ++i) call();
  assert.equal(qc.allocatedBytes(), held);
  session.delete();
});
