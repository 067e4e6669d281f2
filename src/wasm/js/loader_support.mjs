// SPDX-License-Identifier: Apache-2.0
// What the loaders of the library's WebAssembly modules share: the error class of internal faults,
// and the settings that load a compiled module in a page, a worker or Node.

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
