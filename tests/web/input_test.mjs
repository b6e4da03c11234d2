// node input_test.mjs SITE
// Real key presses and mouse drags sent through Chromium to the pages, running
// as a person runs them (no options but the trace): each must change the
// program's trace as designed, and the page must not act on them itself
// (scrolling, the browser's help, the context menu). Prints one line per check.
import { resolve } from "node:path";
import { launch, serve, waitFor } from "./browser.mjs";

const site = process.argv[2];
if (!site) {
  console.error("usage: node input_test.mjs SITE");
  process.exit(2);
}
let failures = 0;
function check(what, ok, detail = "") {
  console.log(`${ok ? "ok" : "FAILED"}: ${what}${detail ? ` (${detail})` : ""}`);
  if (!ok) failures++;
}

// What the page's document saw of the last key and context menu, after the
// program's own handlers ran.
const watch = `
  document.addEventListener("keydown", (e) => { window.lastKey = { code: e.code, prevented: e.defaultPrevented }; });
  document.addEventListener("contextmenu", (e) => { window.menuPrevented = e.defaultPrevented; });`;

// Key descriptions as DevTools sends them: code, key, Windows key code.
const keys = {
  F1: ["F1", "F1", 112], KeyA: ["KeyA", "a", 65], KeyR: ["KeyR", "r", 82],
  NumpadAdd: ["NumpadAdd", "+", 107], NumpadSubtract: ["NumpadSubtract", "-", 109],
  Equal: ["Equal", "=", 187], Minus: ["Minus", "-", 189], Escape: ["Escape", "Escape", 27],
  ArrowRight: ["ArrowRight", "ArrowRight", 39], ArrowUp: ["ArrowUp", "ArrowUp", 38],
  ArrowDown: ["ArrowDown", "ArrowDown", 40], PageUp: ["PageUp", "PageUp", 33],
  PageDown: ["PageDown", "PageDown", 34], Enter: ["Enter", "Enter", 13],
};

async function openPage(browser, server, program) {
  await browser.open(`${server.url}/${program}.html?trace=1`);
  await browser.evaluate(watch);
  const page = {
    lines: () => browser.evaluate("document.getElementById('trace').textContent.trim().split('\\n').length"),
    last: async () => JSON.parse(await browser.evaluate(
      "document.getElementById('trace').textContent.trim().split('\\n').pop() || 'null'")),
    // Waits until two more frames have been traced: input taken before a frame shows in it.
    settle: async () => {
      const start = await page.lines();
      await waitFor(async () => (await page.lines()) >= start + 2, 60000, "two more frames");
    },
    key: async (name) => {
      const [code, key, windowsVirtualKeyCode] = keys[name];
      const event = { code, key, windowsVirtualKeyCode, nativeVirtualKeyCode: windowsVirtualKeyCode };
      await browser.call("Input.dispatchKeyEvent", { type: "rawKeyDown", ...event });
      await browser.call("Input.dispatchKeyEvent", { type: "keyUp", ...event });
      await page.settle();
      return page.last();
    },
    // The press hid the pointer and asked for the lock, which a loaded machine
    // may grant frames later: the moves start once it holds (motion synthesised
    // across the moment it takes hold is lost), or after 20 s without it.
    locked: () => waitFor(() => browser.evaluate("document.pointerLockElement !== null"), 20000, "the lock")
      .catch(() => {}),
    // A mouse event at canvas pixel (x, y).
    mouse: async (type, x, y, button = "none") => {
      const box = await browser.evaluate(
        "(() => { const r = document.getElementById('canvas').getBoundingClientRect(); return [r.left, r.top]; })()");
      const buttons = { left: 1, right: 2, none: 0 }[button];
      await browser.call("Input.dispatchMouseEvent", {
        type, x: box[0] + x, y: box[1] + y, button, buttons: type === "mouseReleased" ? 0 : buttons, clickCount: 1,
      });
    },
    // Presses `button` at (x, y), moves by (dx, dy) in `steps` moves a frame or more apart, releases.
    drag: async (button, x, y, dx, dy, steps) => {
      await page.mouse("mouseMoved", x, y);
      await page.settle();
      await page.mouse("mousePressed", x, y, button);
      await page.settle();
      await page.locked();
      for (let i = 1; i <= steps; ++i) {
        await page.mouse("mouseMoved", x + (dx * i) / steps, y + (dy * i) / steps, button);
        await new Promise((r) => setTimeout(r, 30));
      }
      await page.settle();
      await page.mouse("mouseReleased", x + dx, y + dy, button);
      await page.settle();
      return page.last();
    },
  };
  await waitFor(async () => (await page.lines()) >= 3, 120000, `${program} to draw`);
  return page;
}

const server = await serve({ "/": resolve(site) });
const browser = await launch({ width: 800, height: 700 });
try {
  const a = await openPage(browser, server, "articulated");
  check("articulated: the canvas has the keys", await browser.evaluate("document.activeElement.id === 'canvas'"));
  let t = await a.key("F1");
  check("F1 shows the help", t.help === true);
  check("F1 does not reach the browser", (await browser.evaluate("window.lastKey")).prevented);
  t = await a.key("F1");
  check("F1 again hides it", t.help === false);
  t = await a.key("NumpadAdd");
  check("keypad + shortens the frame period by 5 ms", t.clip.periodMs === 295, `periodMs ${t.clip.periodMs}`);
  t = await a.key("Equal");
  t = await a.key("Minus");
  check("the main keyboard's + and - do nothing", t.clip.periodMs === 295, `periodMs ${t.clip.periodMs}`);
  t = await a.key("NumpadSubtract");
  check("keypad - lengthens it by 5 ms", t.clip.periodMs === 300, `periodMs ${t.clip.periodMs}`);
  t = await a.key("KeyA");
  check("A turns interpolation off", t.clip.interpolate === false);
  const walkFrames = t.clip.frames;
  t = await a.key("KeyR");
  check("R plays the running clip", t.clip.frames !== walkFrames, `${walkFrames} then ${t.clip.frames} frames`);

  // Left drag 100 px to the right, pressed 10 px left of where the design's mouse
  // look last applied a move (250): it orbits by (100 - 10) / 300 rad about Z,
  // whatever number of frames and re-centrings the moves fall into.
  t = await a.drag("left", 240, 230, 100, 0, 10);
  const [ex, ey, ez] = t.eye;
  const angle = Math.atan2(-ey, -ex);
  check("a left drag to the right orbits the eye by its movement / 300 rad",
    Math.abs(angle - 0.3) < 0.002, `angle ${angle.toFixed(5)}, eye ${t.eye.map((v) => v.toFixed(3))}`);
  check("the orbit keeps the eye's height and distance", Math.abs(Math.hypot(ex, ey) - 100) < 1e-3 && ez === 0);

  // Right drag 50 px up: the eye moves 0.2 units per pixel towards the target.
  t = await a.drag("right", 340, 230, 0, -50, 5);
  const distance = Math.hypot(...t.eye);
  check("a right drag upwards zooms in, 0.2 units per pixel", distance > 100 - 0.2 * 70 && distance < 100 - 0.2 * 30,
    `distance ${distance.toFixed(3)}`);
  check("the zoom keeps the direction", Math.abs(Math.atan2(-t.eye[1], -t.eye[0]) - angle) < 1e-4);
  check("no context menu opens on a right drag", (await browser.evaluate("window.menuPrevented")) === true);

  // A left drag released off the canvas (where no pointer lock holds it) ends
  // there: moving on over the canvas changes nothing.
  await a.mouse("mouseMoved", 200, 230);
  await a.settle();
  await a.mouse("mousePressed", 200, 230, "left");
  await a.settle();
  await a.locked();
  const locked = await browser.evaluate("document.pointerLockElement !== null");
  await a.mouse("mouseMoved", 560, 230, "left");
  await a.settle();
  await a.mouse("mouseReleased", 560, 230, "left");
  await a.settle();
  const before = await a.last();
  await a.mouse("mouseMoved", 100, 230);
  await a.mouse("mouseMoved", 300, 100);
  await a.settle();
  t = await a.last();
  check("a drag released off the canvas ends", t.eye.every((v, i) => v === before.eye[i]),
    `pointer ${locked ? "" : "not "}locked; eye ${before.eye} then ${t.eye}`);
  await a.key("Escape").catch(() => {});
  await waitFor(() => browser.evaluate("document.title === 'done'"), 60000, "the run to end");
  check("Escape ends the program", true);

  const ik = await openPage(browser, server, "ikreach");
  check("ikreach: the page is taller than the window (keys could scroll it)",
    await browser.evaluate("document.documentElement.scrollHeight > innerHeight"));
  const scrolledAtStart = await browser.evaluate("scrollY");
  const start = (await ik.last()).reach.target;
  await ik.key("ArrowRight");
  await ik.key("ArrowUp");
  await ik.key("PageUp");
  await ik.key("PageDown");
  t = await ik.key("ArrowDown");
  const target = t.reach.target;
  check("arrows and page keys move the target", target[0] === start[0] && target[1] === start[1] + 2 &&
    target[2] === start[2], `from ${start} to ${target}`);
  check("neither the start nor the keys scroll the page",
    scrolledAtStart === 0 && (await browser.evaluate("scrollY")) === 0);
  // The walk lasts 2 s of the page's clock, which a loaded machine may spend
  // on the two frames a key waits for: a frame after the key shows it walking.
  const beforeEnter = await ik.lines();
  await ik.key("Enter");
  const afterEnter = (await browser.evaluate("document.getElementById('trace').textContent.trim().split('\\n')"))
    .slice(beforeEnter).map((l) => JSON.parse(l));
  check("Enter starts the walk", afterEnter.some((l) => l.reach.active === true),
    `active ${afterEnter.map((l) => l.reach.active).join(",")}`);

  // A script that cannot be fetched is reported and the run ends, as natively.
  await browser.open(`${server.url}/articulated.html?headless=1&script=test/missing.script`);
  await waitFor(() => browser.evaluate("document.title === 'done'"), 60000, "the run to end");
  const said = await browser.evaluate("document.getElementById('status').textContent");
  check("a script the page cannot fetch is reported and ends the run with status 2",
    /cannot read script/.test(said) && /status 2/.test(said), JSON.stringify(said));
  browser.errors.splice(0, browser.errors.length, ...browser.errors.filter((e) => !/missing\.script|404/.test(e)));
} catch (error) {
  check(error.message, false);
} finally {
  await browser.close();
  server.close();
}
for (const error of browser.errors) check(`the page logged nothing wrong: ${error}`, false);
console.log(failures === 0 ? "input: all checks passed" : `input: ${failures} check(s) failed`);
process.exit(failures === 0 ? 0 : 1);
