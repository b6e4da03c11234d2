// node page_test.mjs SITE SERVE_PY
// The pages as a visitor meets them, in Chromium: on a 390 x 844 phone with touch
// (the layout from the page's own geometry, the loading message, one- and
// two-finger drags at the mouse's rates, the on-screen keys, a file opened and a
// file dropped, Esc then "Start again", Tab leaving the picture), then what must
// fail plainly (a missing or damaged file, no WebGL 2, refused addresses), a
// framing page's messages, and the site as scripts/serve.py serves it. Prints
// one line per check; leaves the phone's last screen in ./page-phone.png.
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { launch, serve, waitFor } from "./browser.mjs";

const [site, servePy] = process.argv.slice(2);
if (!servePy) {
  console.error("usage: node page_test.mjs SITE SERVE_PY");
  process.exit(2);
}
let failures = 0;
function check(what, ok, detail = "") {
  console.log(`${ok ? "ok" : "FAILED"}: ${what}${detail ? ` (${detail})` : ""}`);
  if (!ok) failures++;
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// A clip of `frames` frames on a two-bone chain, written as an exporter would.
function smd(frames) {
  let text = 'version 1\nnodes\n0 "root" -1\n1 "tip" 0\nend\nskeleton\n';
  for (let f = 0; f < frames; ++f) text += `time ${f}\n0 0 0 0 0 0 ${(f / 10).toFixed(6)}\n1 0 0 20 0 0 0\n`;
  return text + "end\n";
}
const folder = mkdtempSync(join(tmpdir(), "page-test-"));
const opened = join(folder, "opened.smd"), dropped = join(folder, "dropped.smd");
writeFileSync(opened, smd(3));
writeFileSync(dropped, smd(5));
writeFileSync(join(folder, "frame.html"), `<!doctype html><title>framing</title><link rel="icon" href="data:,"><iframe id="f" width="500" height="500"></iframe>
<script>
  const f = document.getElementById("f");
  f.src = decodeURIComponent(location.hash.slice(1));
  // Messages a hostile page could post, as fast as it can.
  setInterval(() => { for (const m of ["setimmediate", { target: "setimmediate" }, null, 0]) f.contentWindow.postMessage(m, "*"); }, 1);
</script>`);

const server = await serve({ "/": resolve(site) });
const framing = await serve({ "/": folder }, { isolate: false });
const browser = await launch({ width: 900, height: 700 });
const { call, evaluate } = browser;
const traceLines = () => evaluate("(document.getElementById('trace')?.textContent ?? '').trim().split('\\n').filter((l) => l)");
const last = async () => JSON.parse((await traceLines()).pop() || "null");
async function settle(frames = 2) {
  const start = (await traceLines()).length;
  await waitFor(async () => (await traceLines()).length >= start + frames, 60000, `${frames} more frames`);
}
const overlay = () => evaluate("document.getElementById('overlay')?.hidden === false ? document.getElementById('message').textContent : ''");
const rect = (selector) => evaluate(`(() => { const r = document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect();
  return { x: r.left, y: r.top, w: r.width, h: r.height, right: r.right, bottom: r.bottom }; })()`);
const orbitAngle = (t) => Math.atan2(-t.eye[1], -t.eye[0]);

try {
  // --- A phone: 390 x 844 CSS pixels, 3 device pixels each, touch.
  await call("Emulation.setDeviceMetricsOverride", { width: 390, height: 844, deviceScaleFactor: 3, mobile: true });
  await call("Emulation.setTouchEmulationEnabled", { enabled: true, maxTouchPoints: 5 });
  server.held.add("/articulated.wasm");
  await call("Page.navigate", { url: `${server.url}/articulated.html?trace=1` });
  await waitFor(async () => /Loading…/.test(await overlay()), 120000, "the loading message");
  check("while the program loads the picture says so", (await traceLines()).length === 0, await overlay());
  server.release();
  await waitFor(async () => (await traceLines()).length >= 3, 120000, "articulated to draw");
  await waitFor(async () => (await overlay()) === "", 30000, "the loading message to go");
  check("the loading message goes with the first frames", true);

  const stage = await rect("#canvas");
  const view = await evaluate("({ w: innerWidth, h: innerHeight, scrollW: document.documentElement.scrollWidth })");
  check("on a phone the whole picture is inside the viewport", stage.x >= 0 && stage.y >= 0 && stage.right <= view.w &&
    stage.bottom <= view.h && view.scrollW <= view.w, `canvas ${JSON.stringify(stage)}, viewport ${JSON.stringify(view)}`);
  check("it keeps the program's proportions", Math.abs(stage.w / stage.h - 484 / 461) < 0.01);
  const scale = stage.w / 484;  // CSS pixels per program pixel
  const at = (x, y) => ({ x: stage.x + x * scale, y: stage.y + y * scale });

  // One finger 100 program pixels to the right: an orbit of 100 / 300 rad, as a mouse drag.
  const touch = async (type, points) => {
    await call("Input.dispatchTouchEvent", { type, touchPoints: points.map(([x, y], id) => ({ ...at(x, y), id })) });
    await sleep(20);
  };
  let t = await last();
  await touch("touchStart", [[150, 230]]);
  for (let i = 1; i <= 10; ++i) await touch("touchMove", [[150 + 10 * i, 230 + i]]);
  await settle();  // every move taken before the lift, as a person's pause would
  await touch("touchEnd", []);
  await settle();
  t = await last();
  check("a one-finger drag orbits by its movement / 300 rad", Math.abs(orbitAngle(t) - 100 / 300) < 0.004,
    `angle ${orbitAngle(t).toFixed(5)}`);
  check("the orbit keeps the eye's distance", Math.abs(Math.hypot(...t.eye) - 100) < 1e-3);
  const angle = orbitAngle(t);

  // Two fingers 50 program pixels up (0.2 units each), then spread 40 apart: zoom in by 18.
  await touch("touchStart", [[200, 300], [300, 300]]);
  for (let i = 1; i <= 5; ++i) await touch("touchMove", [[200, 300 - 10 * i], [300, 300 - 10 * i]]);
  for (let i = 1; i <= 4; ++i) await touch("touchMove", [[200 - 5 * i, 250], [300 + 5 * i, 250]]);
  await settle();
  await touch("touchEnd", []);
  await settle();
  t = await last();
  // Touch points are whole CSS pixels (1.5 program pixels here): within 3 program pixels.
  check("two fingers up and apart zoom in by 0.2 units a pixel", Math.abs(Math.hypot(...t.eye) - 82) < 0.6,
    `distance ${Math.hypot(...t.eye).toFixed(3)}`);
  check("the zoom keeps the direction", Math.abs(orbitAngle(t) - angle) < 1e-4);

  // On-screen keys: tapped, and pressed from the keyboard on a focused button.
  const button = async (label) => {
    const r = await rect(`button[title^=${JSON.stringify(label)}]`);
    const p = { x: r.x + r.w / 2, y: r.y + r.h / 2 };
    await call("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [p] });
    await call("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
    await settle();
    return last();
  };
  t = await button("F1");
  check("the F1 button shows the help", t.help === true);
  t = await button("F1");
  t = await button("keypad −");
  check("the − button slows the clip by 5 ms", t.clip.periodMs === 305 && t.help === false, `periodMs ${t.clip.periodMs}`);
  await evaluate("document.querySelector('button[title^=\"keypad +\"]').focus()");
  await call("Input.dispatchKeyEvent", { type: "keyDown", key: "Enter", code: "Enter", windowsVirtualKeyCode: 13, text: "\r" });
  await call("Input.dispatchKeyEvent", { type: "keyUp", key: "Enter", code: "Enter", windowsVirtualKeyCode: 13 });
  await settle();
  t = await last();
  check("Enter on the focused + button speeds it up by 5 ms", t.clip.periodMs === 300, `periodMs ${t.clip.periodMs}`);
  const walkFrames = t.clip.frames;
  t = await button("R:");
  check("the R button plays the running clip", t.clip.frames !== walkFrames, `${walkFrames} then ${t.clip.frames} frames`);
  const buttons = await evaluate("[...document.querySelectorAll('#keys button')].map((b) => b.title.split(':')[0])");
  check("articulated offers its keys and the viewer's", ["F1", "A", "W", "R", "S", "keypad +", "keypad −", "Space",
    "Left", "Right", "Home", "M", "Page Up", "Page Down"].every((k) => buttons.includes(k)), buttons.join(", "));

  // A file from the file picker plays, then one dropped on the picture.
  const { root } = await call("DOM.getDocument");
  const { nodeId } = await call("DOM.querySelector", { nodeId: root.nodeId, selector: "#files" });
  await call("DOM.setFileInputFiles", { nodeId, files: [opened] });
  await waitFor(async () => (await last())?.clip?.frames === 3, 120000, "the opened file to play");
  check("a file given to the file input plays", (await evaluate("document.getElementById('name').textContent")) ===
    "articulated opened.smd");
  const middle = at(242, 230);
  for (const type of ["dragEnter", "dragOver", "drop"])
    await call("Input.dispatchDragEvent", { type, ...middle, data: { items: [], files: [dropped], dragOperationsMask: 1 } });
  await waitFor(async () => (await last())?.clip?.frames === 5, 120000, "the dropped file to play");
  check("a file dropped on the picture plays", (await traceLines()).every((l) => JSON.parse(l).clip.frames === 5));

  // Esc ends the program; "Start again" starts the same run afresh.
  await touch("touchStart", [[240, 230]]);
  await touch("touchEnd", []);
  check("a tap gives the picture the keys", await evaluate("document.activeElement.id === 'canvas'"));
  await call("Input.dispatchKeyEvent", { type: "rawKeyDown", key: "Escape", code: "Escape", windowsVirtualKeyCode: 27 });
  await waitFor(() => evaluate("document.title === 'done'"), 60000, "Esc to end the run");
  check("after Esc the page offers to start again", /ended/.test(await overlay()) &&
    (await evaluate("!document.getElementById('restart').hidden")), await overlay());
  const r = await rect("#restart");
  await call("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [{ x: r.x + 5, y: r.y + 5 }] });
  await call("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
  await waitFor(async () => (await traceLines()).length >= 3, 120000, "the run to start again");
  check("Start again runs the dropped file afresh", (await last()).clip.frames === 5 && (await traceLines())[0].includes('"frame":1,'));
  check("the new run has the keys", await evaluate("document.activeElement.id === 'canvas'"));
  await evaluate(`document.addEventListener("keydown", (e) => { window.tabPrevented = e.defaultPrevented; })`);
  await call("Input.dispatchKeyEvent", { type: "rawKeyDown", key: "Tab", code: "Tab", windowsVirtualKeyCode: 9 });
  await call("Input.dispatchKeyEvent", { type: "keyUp", key: "Tab", code: "Tab", windowsVirtualKeyCode: 9 });
  check("Tab is left to the browser, which moves the focus on", (await evaluate("window.tabPrevented")) === false &&
    (await evaluate("document.activeElement.id !== 'canvas'")));
  const shot = await call("Page.captureScreenshot", { format: "png" });
  writeFileSync("page-phone.png", Buffer.from(shot.data, "base64"));  // to look at
  await call("Emulation.clearDeviceMetricsOverride");
  await call("Emulation.setTouchEmulationEnabled", { enabled: false });

  // --- What cannot work says so in a sentence over the picture, details below.
  const outcome = async (url) => {
    await browser.open(url);
    await waitFor(() => evaluate("document.title === 'done'"), 120000, `${url} to end`);
    return { said: await overlay(), details: await evaluate("document.getElementById('status').textContent") };
  };
  server.missing.add("/data/walk.smd");
  let o = await outcome(`${server.url}/articulated.html`);
  check("a missing data file is reported over the picture", /could not be loaded/.test(o.said) &&
    /walk\.smd.*404/.test(o.details), JSON.stringify(o));
  server.missing.clear();
  server.broken.add("/pathmove.wasm");
  o = await outcome(`${server.url}/pathmove.html`);
  check("a damaged .wasm is reported over the picture", /could not be loaded/.test(o.said) && /pathmove\.wasm is damaged/.test(o.details),
    JSON.stringify(o));
  server.broken.clear();
  for (const [query, refused] of [["script=http://example.com/x.script", "script="], ["script=//example.com/x", "script="],
    ["script=data:,0%20key%20ESCAPE", "script="], ["frames=10000001", "frames"], ["step=0", "step"]]) {
    o = await outcome(`${server.url}/articulated.html?headless=1&${query}`);
    check(`${query} is refused`, /not started/.test(o.said) && o.details.includes(refused), JSON.stringify(o));
  }
  browser.errors.splice(0, browser.errors.length, ...browser.errors.filter((e) => !/404|pathmove\.wasm|WebAssembly/.test(e)));
  const { identifier } = await call("Page.addScriptToEvaluateOnNewDocument", { source:
    "const real = HTMLCanvasElement.prototype.getContext; HTMLCanvasElement.prototype.getContext = function (kind, ...rest) { return kind === 'webgl2' ? null : real.call(this, kind, ...rest); };" });
  o = await outcome(`${server.url}/ikreach.html`);
  check("a browser without WebGL 2 is told so", /WebGL 2/.test(o.said), JSON.stringify(o));
  await call("Page.removeScriptToEvaluateOnNewDocument", { identifier });

  // --- A page from another site frames a headless run and posts messages at it.
  const framed = `${server.url}/articulated.html?headless=1&frames=120&trace=1`;
  await browser.open(`${framing.url}/frame.html#${encodeURIComponent(framed)}`);
  await waitFor(async () => (await evaluate("document.title === 'done'", server.url)) === true, 180000, "the framed run to end");
  const framedLines = await evaluate("document.getElementById('trace').textContent.trim().split('\\n').length", server.url);
  check("a framing page's messages neither break nor drive a headless run", framedLines === 120 && browser.errors.length === 0,
    `${framedLines} frames, ${browser.errors.length} errors`);

  // --- The local server: its headers let the page run, and it serves files only.
  const python = spawn("python3", [servePy, "--port", "0", resolve(site)], { stdio: ["ignore", "pipe", "ignore"] });
  try {
    const address = await new Promise((ok, no) => {
      python.stdout.on("data", (d) => { const m = /http:\/\/[0-9.:]+/.exec(String(d)); if (m) ok(m[0]); });
      python.on("exit", () => no(new Error("serve.py ended")));
    });
    check("serve.py listens on 127.0.0.1 only", address.startsWith("http://127.0.0.1:"), address);
    const page = await fetch(`${address}/articulated.html`);
    const wasm = await fetch(`${address}/articulated.wasm`, { headers: { "Accept-Encoding": "gzip" } });
    const h = (r, name) => r.headers.get(name) || "";
    check("serve.py: the pages may not be framed and types are not sniffed",
      /frame-ancestors 'none'/.test(h(page, "content-security-policy")) && h(page, "x-frame-options") === "DENY" &&
      h(page, "x-content-type-options") === "nosniff", [...page.headers].join("; "));
    check("serve.py: WebAssembly compressed, with its type", h(wasm, "content-type") === "application/wasm" &&
      h(wasm, "content-encoding") === "gzip" && (await wasm.arrayBuffer()).byteLength > 0);
    const listing = await fetch(`${address}/data/`), escape = await fetch(`${address}/..%2f..%2fetc/passwd`);
    check("serve.py: no folder listings, nothing outside the site", listing.status === 404 && escape.status === 404,
      `${listing.status} ${escape.status}`);
    await browser.open(`${address}/ikreach.html?headless=1&frames=20&trace=1`);
    await waitFor(() => evaluate("document.title === 'done'"), 120000, "the served run to end");
    check("served so, the page runs under its content policy",
      (await traceLines()).length === 20 && browser.errors.length === 0, browser.errors.join("; "));
  } finally {
    python.kill();
  }
} catch (error) {
  check(error.message, false);
} finally {
  await browser.close();
  server.close();
  framing.close();
  rmSync(folder, { recursive: true, force: true });
}
for (const error of browser.errors) check(`the page logged nothing wrong: ${error}`, false);
console.log(failures === 0 ? "page: all checks passed" : `page: ${failures} check(s) failed`);
process.exit(failures === 0 ? 0 : 1);
