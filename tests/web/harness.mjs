// SPDX-License-Identifier: Apache-2.0
// What the browser tests share: the assembled page served over HTTP from 127.0.0.1, and headless
// chromium in a profile of its own, removed when it closes.
import { mkdtemp, readFile, rm } from "node:fs/promises";
import { createServer } from "node:http";
import { tmpdir } from "node:os";
import { extname, join } from "node:path";

import { launchChromium } from "./chromium.mjs";

const CHROMIUM_FLAGS = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                        "--disable-background-networking", "--disable-component-update", "--disable-sync"];
const TYPES = { ".html": "text/html", ".mjs": "text/javascript", ".css": "text/css", ".wasm": "application/wasm" };

/** Serves `folder`; resolves to { origin, close }. */
export async function serve(folder) {
  let origin;
  const server = createServer((request, response) => {
    const path = join(folder, decodeURIComponent(new URL(request.url, origin).pathname));
    const type = TYPES[extname(path) || ".html"] ?? "text/plain";
    readFile(path.endsWith("/") ? join(path, "index.html") : path).then(
      (body) => response.writeHead(200, { "content-type": type }).end(body), () => response.writeHead(404).end());
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
  return {
    origin,
    close() {
      server.close();
      server.closeAllConnections();
    },
  };
}

/** Chromium with the common flags and `flags`; its close() also removes its profile. */
export async function launch(flags = []) {
  const profile = await mkdtemp(join(tmpdir(), "quorvanta-chromium-"));
  try {
    const browser = await launchChromium(process.env.QUORVANTA_CHROMIUM || "/usr/bin/chromium",
                                         [...CHROMIUM_FLAGS, ...flags, `--user-data-dir=${profile}`]);
    const close = browser.close;
    browser.close = async () => {
      await close();
      await rm(profile, { recursive: true, force: true });
    };
    return browser;
  } catch (error) {
    await rm(profile, { recursive: true, force: true });
    throw error;
  }
}
