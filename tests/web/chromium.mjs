// SPDX-License-Identifier: Apache-2.0
// Headless chromium driven over the DevTools protocol through a pipe (--remote-debugging-pipe):
// commands go to the browser's fd 3, replies and events come from its fd 4, each a JSON message
// ended by a NUL byte. Only what the page's test needs: tabs with a viewport, navigation,
// evaluation, console lines, file inputs and full-page screenshots.
import { spawn } from "node:child_process";
import { writeFile } from "node:fs/promises";

const describe = ({ exception, text }) => exception?.description ?? text;  // of exceptionDetails

export async function launchChromium(executable, flags) {
  const child = spawn(executable, ["--headless", "--remote-debugging-pipe", ...flags, "about:blank"],
                      { stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"] });
  let log = "";
  child.stderr.on("data", (chunk) => { log += chunk; });
  const exited = new Promise((resolve) => child.once("exit", resolve));
  const pending = new Map(), listeners = new Set();
  let nextId = 1, received = "";
  child.stdio[4].setEncoding("utf8");
  child.stdio[4].on("data", (chunk) => {
    received += chunk;
    for (let end; (end = received.indexOf("\0")) >= 0; received = received.slice(end + 1)) {
      const message = JSON.parse(received.slice(0, end));
      const call = pending.get(message.id);
      pending.delete(message.id);
      if (!call) for (const listener of listeners) listener(message);
      else if (message.error) call.reject(new Error(`${call.method}: ${message.error.message}`));
      else call.resolve(message.result);
    }
  });
  exited.then((code) => {
    for (const call of pending.values()) call.reject(new Error(`chromium exited (${code}):\n${log}`));
    pending.clear();
  });

  const browser = {
    send(method, params = {}, sessionId = undefined) {
      const id = nextId++;
      child.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + "\0");
      return new Promise((resolve, reject) => pending.set(id, { method, resolve, reject }));
    },
    listeners,
    newPage: (viewport) => Page.open(browser, viewport),
    /** Closes the browser and resolves once it has exited (and let go of its profile). */
    async close() {
      if (child.exitCode !== null || child.signalCode !== null) return;
      browser.send("Browser.close").catch(() => {});
      const stuck = setTimeout(() => child.kill(), 5000);
      await exited;
      clearTimeout(stuck);
    },
  };
  await browser.send("Browser.getVersion");  // answers once the browser is up
  return browser;
}

/**
 * A tab; `viewport` as setDeviceMetricsOverride takes it; `errors`: its exceptions that nobody
 * caught; `console`: the lines it logged.
 */
class Page {
  static async open(browser, viewport) {
    const { targetId } = await browser.send("Target.createTarget", { url: "about:blank" });
    const { sessionId } = await browser.send("Target.attachToTarget", { targetId, flatten: true });
    const page = new Page(browser, targetId, sessionId);
    await Promise.all(["Page.enable", "Runtime.enable"].map((method) => page.send(method)));
    await page.send("Emulation.setDeviceMetricsOverride", { deviceScaleFactor: 1, mobile: false, ...viewport });
    return page;
  }

  constructor(browser, targetId, sessionId) {
    Object.assign(this, { browser, targetId, sessionId, errors: [], console: [], loaded: null });
    browser.listeners.add(({ sessionId: from, method, params }) => {
      if (from !== sessionId) return;
      if (method === "Runtime.exceptionThrown") this.errors.push(describe(params.exceptionDetails));
      if (method === "Runtime.consoleAPICalled") this.console.push(params.args.map((arg) => arg.value).join(" "));
      if (method === "Page.loadEventFired") this.loaded?.();
    });
  }

  send(method, params = {}) { return this.browser.send(method, params, this.sessionId); }

  /** Navigates and resolves once the page's load event has fired. */
  async goto(url) {
    const loaded = new Promise((resolve) => { this.loaded = resolve; });
    await this.send("Page.navigate", { url });
    await loaded;
  }

  /** Calls `fn` in the page with `args` (JSON values) and returns its JSON result. */
  async evaluate(fn, ...args) {
    const { result, exceptionDetails } = await this.send("Runtime.evaluate", {
      expression: `(${fn})(...${JSON.stringify(args)})`, returnByValue: true, awaitPromise: true,
    });
    if (exceptionDetails) throw new Error(describe(exceptionDetails));
    return result.value;
  }

  /** Resolves once `fn(...args)` is true in the page, checking every 50 ms. */
  async waitFor(fn, timeoutMs, ...args) {
    for (const deadline = Date.now() + timeoutMs; Date.now() < deadline;) {
      if (await this.evaluate(fn, ...args)) return;
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    throw new Error(`timed out after ${timeoutMs} ms waiting for ${fn}`);
  }

  async setInputFile(selector, file) {
    const { root } = await this.send("DOM.getDocument");
    const { nodeId } = await this.send("DOM.querySelector", { nodeId: root.nodeId, selector });
    await this.send("DOM.setFileInputFiles", { nodeId, files: [file] });
  }

  async screenshot(path) {
    const { cssContentSize: { width, height } } = await this.send("Page.getLayoutMetrics");
    const clip = { x: 0, y: 0, width, height, scale: 1 };
    const { data } = await this.send("Page.captureScreenshot", { captureBeyondViewport: true, clip });
    await writeFile(path, Buffer.from(data, "base64"));
  }

  close() { return this.browser.send("Target.closeTarget", { targetId: this.targetId }); }
}
