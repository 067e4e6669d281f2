// SPDX-License-Identifier: Apache-2.0
// What the loaders of the library's WebAssembly modules share: the error class of internal faults,
// the settings that load a compiled module in a page, a worker or Node, and the one way their
// entry points are called.

/** An internal fault of the library: a broken invariant, never a usage error. */
export class InternalFault extends Error {
  constructor(message) {
    super(message);
    this.name = "InternalFault";
  }
}

const runsInNode = typeof process === "object" && typeof process.versions?.node === "string";

/**
 * The settings for a compiled module's factory: the caller's `options` (`locateFile`,
 * `wasmBinary`), the InternalFault class the module throws, and in Node the bytes of `wasmFile`
 * (a URL), which the compiled module only fetches as browsers do.
 */
export async function moduleSettings(options, wasmFile) {
  const settings = { ...options, InternalFault };
  if (runsInNode && settings.wasmBinary === undefined && settings.locateFile === undefined) {
    const { readFile } = await import("node:fs/promises");
    settings.wasmBinary = await readFile(wasmFile);
  }
  return settings;
}

// More nested calls than any honest use makes: only an argument whose getters or Proxy traps keep
// calling the module nests at all.
const maxNestedCalls = 32;

/**
 * Runs the calls into a compiled module: `run(body)` returns what `body` returns.
 *
 * An exception that leaves the module (one of its errors, or one that the caller's own code threw
 * while the module read an argument) unwinds the WebAssembly frames but not the module's stack
 * pointer, so each would take a frame's worth of the module's stack for good, until the stack ran
 * into the module's data; `run` puts the stack pointer back where the call found it. Calls nest (a
 * getter of an argument may call the module again), and each level restores its own; a call
 * nested more than 32 deep throws RangeError before it starts, instead of running the engine's
 * stack out in the middle of the module.
 */
export function callRunner(wasm) {
  let nestedCalls = 0;
  return (body) => {
    if (nestedCalls === maxNestedCalls) {
      throw new RangeError(`more than ${maxNestedCalls} nested calls into the module`);
    }
    const stack = wasm.stackSave();
    ++nestedCalls;
    try {
      return body();
    } catch (error) {
      wasm.stackRestore(stack);
      throw error;
    } finally {
      --nestedCalls;
    }
  };
}
