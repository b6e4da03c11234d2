// Runs a program page. The page's program (<body data-program>) starts with
// the options of the URL (?headless=1&frames=N&step=MS&tickStart=MS&trace=1&
// script=FILE, the script a path relative to the page on this site); SMD files a
// visitor opens or drops on the picture start `articulated FILE…` with the same
// options, their bytes written into the program's in-memory file system.
//
// Each run is a fresh instance of the program (its factory, NAMEProgram from
// NAME.js) on a fresh canvas, so a run after Esc ("Start again") or with other
// files starts exactly as the program starts; the .wasm is fetched and compiled
// once, the SMD files fetched once for all runs. What the program says on stderr
// goes to <pre id="status"> (details for developers); with trace=1 each frame's
// trace line is appended to <pre id="trace">. A run's end sets the title to
// "done" (the program does), and so does a page that refuses to run.
"use strict";

// Emscripten's stand-in for setImmediate (headless runs) listens to every
// window message and trusts it: any page that frames this one could drive or
// break the loop. A message channel takes messages from this page only.
if (typeof window.setImmediate !== "function") {
  const channel = new MessageChannel();
  const waiting = [];
  channel.port1.onmessage = () => {
    const f = waiting.shift();
    if (f) f();
  };
  window.setImmediate = (f) => {
    waiting.push(f);
    channel.port2.postMessage(0);
  };
}

(function () {
  // Virtual-key codes of the buttons under the picture.
  const vk = {
    F1: 0x70, A: 0x41, W: 0x57, R: 0x52, S: 0x53, M: 0x4d, ADD: 0x6b, SUBTRACT: 0x6d, SPACE: 0x20,
    HOME: 0x24, LEFT: 0x25, UP: 0x26, RIGHT: 0x27, DOWN: 0x28, PRIOR: 0x21, NEXT: 0x22, RETURN: 0x0d,
  };
  const clipKeys = [
    ["F1", vk.F1, "F1: help on or off"], ["A", vk.A, "A: interpolation on or off"],
    ["W walk", vk.W, "W: walking clip"], ["R run", vk.R, "R: running clip"],
    ["S stand", vk.S, "S: standing pose"], ["+ faster", vk.ADD, "keypad +: faster"],
    ["− slower", vk.SUBTRACT, "keypad −: slower"],
  ];
  const dragText = "Drag on the picture (one finger, or the left mouse button) to turn the camera; " +
    "drag up and down with two fingers, pinch, or drag with the right button to zoom.";
  const programs = {
    articulated: {
      files: ["barney.smd", "walk.smd", "run.smd"],
      about: "The character plays its walking and running clips and shows its standing pose.",
      how: "F1 help, A interpolation on/off, W walk, R run, S stand, keypad + and − tempo, Esc quits. " +
        dragText + " With your own files: Space pauses, ← and → step a frame, Home goes to the first, " +
        "M switches mesh and skeleton, Page Up and Page Down switch animations.",
      keys: clipKeys,
      viewerKeys: [
        ["Space pause", vk.SPACE, "Space: pause or play"], ["←", vk.LEFT, "Left: frame back"],
        ["→", vk.RIGHT, "Right: frame forward"], ["Home", vk.HOME, "Home: first frame"],
        ["M mesh", vk.M, "M: mesh and skeleton, mesh, skeleton"],
        ["PgUp", vk.PRIOR, "Page Up: previous animation"], ["PgDn", vk.NEXT, "Page Down: next animation"],
      ],
    },
    pathmove: {
      files: ["barney.smd", "walk.smd", "run.smd"],
      about: "The character walks, runs and slows down along a curve, in passes of seven seconds.",
      how: "F1 help, A interpolation on/off, W walk, R run, S stand, keypad + and − tempo, Esc quits. " +
        dragText,
      keys: clipKeys,
    },
    ikreach: {
      files: ["barney.smd"],
      about: "The character walks to the spinning target and reaches for it with its right arm.",
      how: "Arrows move the target (Up and Down away and towards you), Page Up and Page Down raise " +
        "and lower it, Enter walks to it and reaches, Esc quits.",
      keys: [
        ["←", vk.LEFT, "Left: target left"], ["↑", vk.UP, "Up: target away"],
        ["↓", vk.DOWN, "Down: target nearer"], ["→", vk.RIGHT, "Right: target right"],
        ["PgUp", vk.PRIOR, "Page Up: target higher"], ["PgDn", vk.NEXT, "Page Down: target lower"],
        ["Enter reach", vk.RETURN, "Enter: walk and reach"],
      ],
    },
  };
  const maxFrames = 10000000;
  const maxFileBytes = 512 * 1024 * 1024;

  const $ = (id) => document.getElementById(id);
  const pageProgram = document.body.dataset.program;
  const params = new URLSearchParams(location.search);
  const status = $("status"), traceView = $("trace"), overlay = $("overlay"), message = $("message");
  const restart = $("restart"), details = $("details"), stage = $("stage");

  // --- What the page says -----------------------------------------------------

  function say(text) {  // details for developers
    status.textContent += text + "\n";
    details.hidden = false;
  }
  function show(sentence, offerRestart) {  // one plain sentence over the picture
    message.textContent = sentence;
    restart.hidden = !offerRestart;
    overlay.hidden = false;
  }
  // A run that cannot go on: the sentence over the picture, the details below.
  function fail(sentence, detail) {
    progress.shown = false;
    show(sentence, true);
    if (detail) say(detail);
    details.open = true;
    document.title = "done";
  }

  // --- Options of every run, from the URL ---------------------------------------

  function wholeNumber(name, low, high) {
    const text = params.get(name);
    if (!/^[0-9]{1,10}$/.test(text) || Number(text) < low || Number(text) > high)
      throw new Error(`${name} must be a whole number from ${low} to ${high}`);
    return text;
  }
  // The script's address: a path relative to the page, on this site.
  function scriptAddress(text) {
    const relative = text && !/^[a-z][a-z0-9+.-]*:/i.test(text) && !/^[/\\]/.test(text) &&
      !text.includes("\\");
    const url = relative ? new URL(text, location.href) : null;
    if (!url || url.origin !== location.origin)
      throw new Error(`script=${text} is refused: a script must be a path on this site relative ` +
        "to the page, such as tests/run.script");
    return url.href;
  }
  function urlOptions() {
    const headless = params.get("headless") === "1";
    const args = headless ? ["--headless"] : [];
    if (params.has("frames")) args.push("--frames", wholeNumber("frames", 0, maxFrames));
    if (params.has("step")) args.push("--step", wholeNumber("step", headless ? 1 : 0, 4294967295));
    if (params.has("tickStart")) args.push("--tick-start", wholeNumber("tickStart", 0, 4294967295));
    const script = params.get("script");
    return { args, headless, trace: params.get("trace") === "1", script: script ? scriptAddress(script) : null };
  }

  // --- Loading, once for all runs ------------------------------------------------

  const loads = new Map();  // URL -> promise of its bytes
  // Bytes of the loads of the run being started; shown while `shown`.
  const progress = { loaded: 0, total: 0, unknown: false, shown: false };
  function showProgress() {
    if (!progress.shown) return;
    const kb = Math.round(progress.loaded / 1024);
    show(progress.unknown || !progress.total ? `Loading… ${kb} KB`
      : `Loading… ${Math.min(99, Math.floor((100 * progress.loaded) / progress.total))} %`);
  }
  class LoadError extends Error {}
  // The bytes at `url`; a failure names the file and what went wrong.
  function fetchBytes(url) {
    if (loads.has(url)) return loads.get(url);
    const name = decodeURIComponent(url.substring(url.lastIndexOf("/") + 1));
    const promise = (async () => {
      let response;
      try {
        response = await fetch(url);
      } catch (error) {
        throw new LoadError(`${name} could not be loaded: no answer from the site (${error.message})`);
      }
      if (!response.ok) throw new LoadError(`${name} could not be loaded (HTTP ${response.status} ${response.statusText})`);
      const length = Number(response.headers.get("Content-Length"));
      if (response.headers.get("Content-Encoding") || !length) progress.unknown = true;
      else progress.total += length;
      const parts = [];
      let size = 0;
      const reader = response.body.getReader();
      for (;;) {
        let chunk;
        try {
          chunk = await reader.read();
        } catch (error) {
          throw new LoadError(`${name} could not be loaded: the transfer broke off (${error.message})`);
        }
        if (chunk.done) break;
        parts.push(chunk.value);
        size += chunk.value.length;
        progress.loaded += chunk.value.length;
        showProgress();
      }
      const bytes = new Uint8Array(size);
      let at = 0;
      for (const part of parts) {
        bytes.set(part, at);
        at += part.length;
      }
      return bytes;
    })();
    promise.catch(() => loads.delete(url));  // a later run tries again
    loads.set(url, promise);
    return promise;
  }
  const factories = new Map(), modules = new Map();
  // The program's factory, from its script.
  function loadFactory(program) {
    if (!factories.has(program)) {
      factories.set(program, new Promise((resolve, reject) => {
        const script = document.createElement("script");
        script.src = `${program}.js`;
        script.onload = () => typeof window[`${program}Program`] === "function" ? resolve(window[`${program}Program`])
          : reject(new LoadError(`${program}.js is not the program's script`));
        script.onerror = () => reject(new LoadError(`${program}.js could not be loaded`));
        document.body.appendChild(script);
      }));
      factories.get(program).catch(() => factories.delete(program));
    }
    return factories.get(program);
  }
  // The program's compiled WebAssembly.
  function loadModule(program) {
    if (!modules.has(program)) {
      modules.set(program, fetchBytes(`${program}.wasm`).then((bytes) => WebAssembly.compile(bytes).catch((error) => {
        throw new LoadError(`${program}.wasm is damaged: it is not a WebAssembly program (${error.message})`);
      })));
      modules.get(program).catch(() => modules.delete(program));
    }
    return modules.get(program);
  }
  let scriptText = null;
  async function loadScript(url) {
    if (scriptText === null) {
      const bytes = await fetchBytes(url);
      scriptText = new TextDecoder().decode(bytes);
    }
    return scriptText;
  }
  function webgl2() {
    const probe = document.createElement("canvas").getContext("webgl2");
    if (probe) probe.getExtension("WEBGL_lose_context")?.loseContext();
    return probe !== null;
  }

  // --- Runs ---------------------------------------------------------------------

  let options = null;
  let active = null;     // the run in progress: { program, files, instance, ended }
  let canvasUsed = false;
  let generation = 0;

  // Ends the run in progress as the window's close button would.
  function endActive() {
    const run = active;
    active = null;
    if (run && run.instance && !run.ended) run.instance._webCloseWindow();
  }
  // A canvas no program has drawn into (a canvas keeps its first context).
  function freshCanvas() {
    const old = $("canvas");
    if (canvasUsed) {
      const canvas = old.cloneNode(false);
      old.replaceWith(canvas);
      listenCanvas(canvas);
      layout();
    }
    canvasUsed = true;
    return $("canvas");
  }

  // Starts `program` with the URL's options and `files` ([{name, bytes}]), ending the run before.
  async function start(program, files) {
    const ticket = ++generation;
    endActive();
    const run = { program, files, instance: null, ended: false, failed: false };
    active = run;
    const info = programs[program];
    showPage(program, files);
    traceView.textContent = "";
    progress.loaded = progress.total = 0;
    progress.unknown = false;
    progress.shown = true;
    showProgress();
    if (!webgl2()) {
      fail("This browser cannot draw the picture: it offers no WebGL 2. Try a current Firefox, Chrome, " +
        "Edge or Safari, or turn on hardware acceleration in the browser's settings.",
        "no WebGL 2 context on a test canvas");
      return;
    }
    let factory, module, data, script = null;
    try {
      [factory, module, data] = await Promise.all([loadFactory(program), loadModule(program),
        Promise.all(info.files.map((name) => fetchBytes(`data/${name}`)))]);
    } catch (error) {
      if (ticket !== generation) return;
      fail("The program could not be loaded. Reload the page; if this stays, the site is missing files " +
        "or was copied incompletely.", String(error.message || error));
      return;
    }
    if (options.script) {
      try {
        script = await loadScript(options.script);
      } catch (error) {
        if (ticket !== generation) return;
        // The program reports the missing script and ends, as a native run does.
        run.failed = true;
        show(`The input script ${params.get("script")} could not be loaded, so the run cannot follow it.`, true);
        say(`cannot fetch the script '${params.get("script")}': ${error.message}`);
      }
    }
    if (ticket !== generation) return;
    progress.shown = false;
    const canvas = freshCanvas();
    let instance;
    try {
      instance = await factory({
        canvas,
        noInitialRun: true,
        print: (text) => console.log(text),
        // What the program says of a visitor's files is shown, not folded away.
        printErr: (text) => {
          console.warn(text);
          if (run !== active) return;
          say(text);
          if (files.length) details.open = true;
        },
        instantiateWasm: (imports, receive) => {
          WebAssembly.instantiate(module, imports).then((made) => receive(made, module), (error) => {
            if (run === active) fail("The program's files do not fit together (its .js and .wasm come from " +
              "different builds). Reload the page; if this stays, rebuild the site.", String(error));
          });
          return {};
        },
        onAbort: (what) => {
          run.ended = true;
          if (run === active) fail("The program stopped on an internal error. Start it again; the details " +
            "below say what happened.", `aborted: ${what}`);
        },
        runEnded: (exitStatus) => ended(run, exitStatus),
      });
    } catch (error) {
      if (run === active) fail("The program could not start in this browser.", String(error));
      return;
    }
    if (ticket !== generation) return;
    run.instance = instance;
    const args = options.args.slice();
    const FS = instance.FS;
    info.files.forEach((name, i) => FS.writeFile(`/${name}`, data[i]));
    if (options.trace) {
      // The trace file is a device whose lines land in the page.
      let line = [];
      FS.createDevice("/", "trace", null, (byte) => {
        if (byte !== 10) { line.push(byte); return; }
        if (run === active) traceView.appendChild(document.createTextNode(new TextDecoder().decode(new Uint8Array(line)) + "\n"));
        line = [];
      });
      args.push("--trace", "/trace");
    }
    if (options.script) {
      if (script !== null) FS.writeFile("/script.txt", script);
      args.push("--script", "/script.txt");
    }
    if (files.length) {
      FS.mkdir("/files");
      for (const file of files) {
        FS.writeFile(`/files/${file.name}`, file.bytes);
        args.push(`/files/${file.name}`);
      }
    }
    instance.callMain(args);
    if (!run.ended && !run.failed) requestAnimationFrame(() => { if (run === active && !run.ended) overlay.hidden = true; });
  }

  function ended(run, exitStatus) {
    run.ended = true;
    if (run !== active) return;  // ended by the page to start another
    if (exitStatus !== 0) say(`The program ended with status ${exitStatus}.`);
    if (run.failed) return;
    if (exitStatus === 0) {
      show(options.headless ? "The run has ended." : "The program has ended (Esc ends it, as in its window).", true);
    } else {
      show("The program stopped: " + (firstLine() || `status ${exitStatus}`) + ". The details below say more.", true);
      details.open = true;
    }
    restart.focus({ preventScroll: true });
  }
  function firstLine() {
    const line = status.textContent.split("\n").find((l) => l.trim() !== "") || "";
    return line.replace(/^[a-z]+: /, "").replace(/\s*\(try --help\)$/, "").replace(/\.$/, "");
  }

  // --- The page around the picture ----------------------------------------------

  let shownProgram = null;
  function showPage(program, files) {
    const info = programs[program];
    $("name").textContent = files.length ? `${program} ${files.map((f) => f.name).join(" ")}` : program;
    if (shownProgram === program) return;
    shownProgram = program;
    $("about").textContent = info.about;
    $("how").textContent = info.how + " Keys reach the program while the picture has the focus " +
      "(click or tap it, or Tab to it; Tab moves on).";
    const row = $("keys");
    row.textContent = "";
    const group = (keys) => {
      for (const [label, code, title] of keys) {
        const button = document.createElement("button");
        button.type = "button";
        button.textContent = label;
        button.title = title;
        button.setAttribute("aria-label", title);
        button.dataset.key = String(code);
        row.appendChild(button);
      }
    };
    group(info.keys);
    if (info.viewerKeys) {
      const label = document.createElement("span");
      label.className = "group";
      label.textContent = "Your files:";
      row.appendChild(label);
      group(info.viewerKeys);
    }
  }

  function press(code, repeat) {
    if (active && active.instance && !active.ended) active.instance._webPressKey(code, repeat ? 1 : 0);
  }
  // Buttons: a press on pointer down (a finger or the mouse; the focus stays
  // where it is, so the picture keeps the keys); a click from the keyboard
  // (Enter or Space on the focused button, repeating while held) presses too.
  $("keys").addEventListener("pointerdown", (e) => {
    const button = e.target.closest("button[data-key]");
    if (!button || e.button !== 0) return;
    e.preventDefault();
    press(Number(button.dataset.key), false);
  });
  $("keys").addEventListener("click", (e) => {
    const button = e.target.closest("button[data-key]");
    if (button && e.detail === 0) press(Number(button.dataset.key), false);
  });
  $("keys").addEventListener("contextmenu", (e) => e.preventDefault());

  // --- Your own files -------------------------------------------------------------

  async function openFiles(list) {
    const files = Array.from(list || []);
    if (!files.length) return;
    const taken = new Set();
    const read = [];
    try {
      for (const file of files) {
        if (file.size > maxFileBytes) throw new Error(`${file.name} is larger than ${maxFileBytes >> 20} MB`);
        let name = file.name.replace(/[/\\\0]/g, "_") || "file.smd";
        for (let n = 2; taken.has(name); ++n) name = `${n}-${file.name}`;
        taken.add(name);
        read.push({ name, bytes: new Uint8Array(await file.arrayBuffer()) });
      }
    } catch (error) {
      fail("Your file could not be read here: " + error.message + ".", String(error));
      return;
    }
    // A picker or a drop gives the files in no order a visitor chose: the
    // reference (the file with a mesh) goes first, as on a command line.
    if (read.length > 1) {
      const hasMesh = (file) => /^[ \t]*triangles[ \t]*\r?$/im.test(new TextDecoder().decode(file.bytes));
      const meshes = read.filter(hasMesh);
      read.splice(0, read.length, ...meshes, ...read.filter((f) => !meshes.includes(f)));
    }
    start("articulated", read);
  }
  $("open").addEventListener("click", () => $("files").click());
  $("files").addEventListener("change", (e) => {
    openFiles(e.target.files);
    e.target.value = "";
  });
  // Files dropped on the picture play; dropped anywhere else, the browser does
  // not open them in place of the page.
  document.addEventListener("dragover", (e) => {
    e.preventDefault();
    e.dataTransfer.dropEffect = stage.contains(e.target) ? "copy" : "none";
  });
  document.addEventListener("drop", (e) => {
    e.preventDefault();
    if (stage.contains(e.target)) openFiles(e.dataTransfer.files);
  });
  stage.addEventListener("dragenter", () => stage.classList.add("dropping"));
  stage.addEventListener("dragleave", (e) => { if (!stage.contains(e.relatedTarget)) stage.classList.remove("dropping"); });
  stage.addEventListener("drop", () => stage.classList.remove("dropping"));

  restart.addEventListener("click", () => {
    if (active) start(active.program, active.files);
    else start(pageProgram, []);
  });

  // --- Size: the program's 484 x 461 pixels, whole device pixels each where that
  // fills most of the room (at most 2 CSS pixels each), else scaled to the room.

  function listenCanvas(canvas) {
    canvas.addEventListener("contextmenu", (e) => e.preventDefault());
  }
  function layout() {
    const canvas = $("canvas");
    const style = getComputedStyle(document.body);
    const roomW = document.body.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    // The picture fits the window's height below the heading (scrolled to, if
    // the heading takes more than a quarter of it).
    const above = Math.min(stage.getBoundingClientRect().top + window.scrollY, window.innerHeight / 4);
    const roomH = Math.max(200, window.innerHeight - above - 8);
    const fit = Math.max(0.1, Math.min(roomW / 484, roomH / 461));
    const dpr = window.devicePixelRatio || 1;
    const whole = Math.floor(Math.min(fit, 2) * dpr + 1e-6);  // device pixels per program pixel
    // Whole device pixels: always from one CSS pixel up; below that (phones)
    // where they fill most of the room, else the picture is smoothed to fill it.
    const crisp = whole >= 1 && (whole >= dpr || whole / dpr >= 0.85 * fit);
    const scale = crisp ? whole / dpr : Math.min(fit, 2);
    stage.style.width = `${484 * scale}px`;
    stage.style.height = `${461 * scale}px`;
    canvas.classList.toggle("crisp", crisp);
  }
  window.addEventListener("resize", layout);
  listenCanvas($("canvas"));
  layout();

  // --- Start ------------------------------------------------------------------------

  details.hidden = true;
  try {
    options = urlOptions();
  } catch (error) {
    showPage(pageProgram, []);
    fail("This page's address asks for something it does not do, so the program was not started.",
      error.message);
    restart.hidden = true;
    return;
  }
  start(pageProgram, []);
})();
