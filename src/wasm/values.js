// SPDX-License-Identifier: Apache-2.0
// The JavaScript half of the door's conversions (values.cpp), run inside the compiled module's
// factory, beside its memory views (HEAPF32, HEAPF64).
//
// Reading a caller's value can run the caller's JavaScript: getters, Proxy traps, array items
// defined by accessors. That code can call into the module again, grow its memory (which detaches
// every view of it) or change the value it is asked about. So a sequence of numbers is read
// without holding a view of the module's memory: a typed array through the typed arrays' own
// getters, which no property of the value can override, and a plain array item by item into a
// private typed array. Only then is the memory viewed, to copy from a source that no JavaScript
// can reach.

// The built-ins the conversions (and values.cpp's type tests) rely on, as they were when the module
// loaded; of typed arrays, the getters that read their internal slots. (The toolchain's JavaScript
// optimiser drops destructuring declarations, so there are none here.)
const quorvantaBuiltins = (() => {
  const prototype = Object.getPrototypeOf(Int8Array.prototype);
  const getter = (key) => Object.getOwnPropertyDescriptor(prototype, key).get;
  return {
    className: getter(Symbol.toStringTag),
    length: getter("length"),
    buffer: getter("buffer"),
    byteOffset: getter("byteOffset"),
    Float32Array,
    Float64Array,
    Uint8Array,
    isArray: Array.isArray,
  };
})();

function quorvantaNumberType(doubles) {
  return doubles ? quorvantaBuiltins.Float64Array : quorvantaBuiltins.Float32Array;
}

function quorvantaIsDetached(buffer) {
  try {
    new quorvantaBuiltins.Uint8Array(buffer);
    return false;
  } catch {
    return true;
  }
}

// The number of items of a typed array of the class the conversion takes, read from the array
// itself; -1 for any other value, -2 for such an array whose buffer has been detached.
function quorvantaTypedArrayLength(value, doubles) {
  const builtins = quorvantaBuiltins;
  if (builtins.className.call(value) !== quorvantaNumberType(doubles).name) return -1;
  const count = builtins.length.call(value);
  return count === 0 && quorvantaIsDetached(builtins.buffer.call(value)) ? -2 : count;
}

// The first `count` items of an array, each read once, in a new typed array; null as soon as one
// is not a number. The copy grows as items come, so that a huge array of holes fails at its first
// hole without first taking memory for all of them.
function quorvantaNumberSnapshot(array, count, doubles) {
  const Type = quorvantaNumberType(doubles);
  let snapshot = new Type(Math.min(count, 4096));
  for (let i = 0; i < count; ++i) {
    const item = array[i];
    if (typeof item !== "number") return null;
    if (i === snapshot.length) {
      const grown = new Type(Math.min(count, 2 * i));
      grown.set(snapshot);
      snapshot = grown;
    }
    snapshot[i] = item;
  }
  return snapshot;
}

// Copies the first `count` items of a typed array of the conversion's class (the caller's, whose
// length quorvantaTypedArrayLength gave, or a snapshot) to `target` in the module's memory.
function quorvantaCopyNumbers(source, target, count, doubles) {
  const builtins = quorvantaBuiltins;
  const Type = quorvantaNumberType(doubles);
  const items = new Type(builtins.buffer.call(source), builtins.byteOffset.call(source), count);
  (doubles ? HEAPF64 : HEAPF32).set(items, target / Type.BYTES_PER_ELEMENT);
}

// What an error message calls a value: "a string", "null", "an array", "Float64Array", "symbol".
function quorvantaDescribe(value) {
  const type = typeof value;
  if (type === "string" || type === "number") return `a ${type}`;
  if (type !== "object") return type;
  if (value === null) return "null";
  if (quorvantaBuiltins.isArray(value)) return "an array";
  const constructor = value.constructor;
  const name = typeof constructor === "function" ? constructor.name : undefined;
  return typeof name === "string" && name !== "" ? name : "an object";
}
