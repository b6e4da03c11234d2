// A headless Chromium driven over the DevTools protocol (through a pipe, so no
// package is needed), and a static file server for the site on 127.0.0.1.
// Used by the browser tests; everything here ends when close() is called.
import { spawn } from "node:child_process";
import { createServer } from "node:http";
import { mkdtempSync, readFileSync, rmSync, statSync } from "node:fs";
import { tmpdir } from "node:os";
import { extname, join, normalize } from "node:path";

const types = {
  ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm",
  ".css": "text/css", ".png": "image/png", ".svg": "image/svg+xml", ".smd": "text/plain",
};

// Serves each URL prefix from its folder ({"/": site, "/test/": scripts}).
// Cross-origin isolation (unless `isolate` is false) gives the page's clock its
// finest resolution. The returned server's sets change what it serves: paths in
// `missing` answer 404, in `broken` a few bytes that are no file of the site, and
// in `held` wait until `release()`.
export function serve(roots, { isolate = true } = {}) {
  const held = new Set(), waiting = [];
  const control = { missing: new Set(), broken: new Set(), held,
    release() { held.clear(); waiting.splice(0).forEach((go) => go()); } };
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, "http://x").pathname);
    if (held.has(path)) await new Promise((go) => waiting.push(go));
    const prefix = Object.keys(roots).filter((p) => path.startsWith(p)).sort((a, b) => b.length - a.length)[0];
    const file = prefix && normalize(join(roots[prefix], path.slice(prefix.length) || "index.html"));
    let body = null;
    try {
      if (file && file.startsWith(normalize(roots[prefix])) && statSync(file).isFile()) body = readFileSync(file);
    } catch {}
    if (control.missing.has(path)) body = null;
    if (body && control.broken.has(path)) body = Buffer.from("not what it should be");
    response.writeHead(body ? 200 : 404, {
      "Content-Type": types[extname(file || "")] || "text/plain",
      ...(isolate ? { "Cross-Origin-Opener-Policy": "same-origin", "Cross-Origin-Embedder-Policy": "require-corp" } : {}),
    });
    response.end(body || "not found");
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () =>
    resolve(Object.assign(control, { url: `http://127.0.0.1:${server.address().port}`, close: () => server.close() }))));
}

// Starts Chromium and attaches to its first page. Records console errors,
// uncaught exceptions and failed loads in `errors`.
export async function launch({ width = 800, height = 700 } = {}) {
  const profile = mkdtempSync(join(tmpdir(), "web-test-"));
  const chromium = spawn(process.env.CHROMIUM || "/usr/bin/chromium", [
    "--headless", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--no-first-run", "--no-default-browser-check", `--user-data-dir=${profile}`,
    `--window-size=${width},${height}`, "--remote-debugging-pipe", "about:blank",
  ], { stdio: ["ignore", "ignore", "ignore", "pipe", "pipe"], detached: true });
  // Its own process group: whatever of it is left when the test ends goes too.
  const killAll = () => { try { process.kill(-chromium.pid, "SIGKILL"); } catch {} };
  process.on("exit", killAll);
  let nextId = 1, buffer = "";
  const pending = new Map(), listeners = [];
  chromium.stdio[4].on("data", (chunk) => {
    buffer += chunk.toString();
    let end;
    while ((end = buffer.indexOf("\0")) >= 0) {
      const message = JSON.parse(buffer.slice(0, end));
      buffer = buffer.slice(end + 1);
      if (message.id && pending.has(message.id)) {
        const { resolve, reject } = pending.get(message.id);
        pending.delete(message.id);
        if (message.error) reject(new Error(`${message.error.message} (${message.error.code})`));
        else resolve(message.result);
      } else {
        for (const listener of listeners) listener(message);
      }
    }
  });
  const exited = new Promise((resolve) => chromium.on("exit", resolve));
  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = nextId++;
    pending.set(id, { resolve, reject });
    chromium.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + "\0");
  });
  // The first tab may come after the pipe answers on a busy machine.
  let page;
  await waitFor(async () => (page = (await send("Target.getTargets")).targetInfos.find((t) => t.type === "page")),
    120000, "Chromium's first tab");
  const { sessionId } = await send("Target.attachToTarget", { targetId: page.targetId, flatten: true });
  const errors = [], contexts = [];
  listeners.push((m) => {
    if (m.sessionId !== sessionId) return;
    if (m.method === "Runtime.executionContextCreated") contexts.push(m.params.context);
    if (m.method === "Runtime.consoleAPICalled" && m.params.type === "error")
      errors.push("console.error: " + m.params.args.map((a) => a.value ?? a.description).join(" "));
    if (m.method === "Runtime.exceptionThrown")
      errors.push("exception: " + (m.params.exceptionDetails.exception?.description ?? m.params.exceptionDetails.text));
    if (m.method === "Log.entryAdded" && m.params.entry.level === "error")
      errors.push("log: " + m.params.entry.text + " " + (m.params.entry.url || ""));
  });
  const call = (method, params) => send(method, params, sessionId);
  await call("Runtime.enable");
  await call("Log.enable");
  await call("Page.enable");
  // Evaluates in the page, or with `origin` in the newest frame from that origin.
  const evaluate = async (expression, origin) => {
    const context = origin && contexts.filter((c) => c.origin === origin && c.auxData?.isDefault).pop();
    if (origin && !context) return undefined;
    const r = await call("Runtime.evaluate", { expression, returnByValue: true, awaitPromise: true,
      ...(context ? { contextId: context.id } : {}) });
    if (r.exceptionDetails) throw new Error(`${expression}: ${r.exceptionDetails.exception?.description}`);
    return r.result.value;
  };
  return {
    call, evaluate, errors,
    async open(url) {
      await call("Page.navigate", { url });
      await waitFor(() => evaluate("document.readyState === 'complete'"), 120000, "the page to load");
    },
    async close() {
      // Closed as a person closes it; what is left of it after that (or after a
      // minute, on a machine too busy to close it) is killed, so no process
      // still writes to the profile while it is removed.
      const killer = setTimeout(killAll, 60000);
      send("Browser.close").catch(() => {});
      await exited;
      clearTimeout(killer);
      killAll();
      rmSync(profile, { recursive: true, force: true, maxRetries: 20, retryDelay: 100 });
    },
  };
}

// Polls `condition` (an async function) until it is true; throws after `ms`.
// The tests' bounds only catch a hang: they leave room for a machine loaded many
// times over, where Chromium starts and draws ten times slower than alone.
export async function waitFor(condition, ms, what) {
  const end = Date.now() + ms;
  while (!(await condition())) {
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}
