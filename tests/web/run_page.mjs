// node run_page.mjs SITE PROGRAM SCRIPT OUT [FRAMES [FILE…]]
// Runs PROGRAM.html from the site folder SITE in headless Chromium as a scripted
// headless run (?headless=1&trace=1&script=...&frames=FRAMES; FRAMES may be "")
// and writes what the page produced into OUT: trace.jsonl (the page's <pre
// id="trace">), the PNGs its script captured, and stderr.txt (what the program
// said). With PACED=1 in the environment the run is not headless: one frame per
// animation frame of the browser, as a visitor sees it. FILEs are given to the
// page's file input, as a visitor opens them, so
// the run is `articulated FILE…`; the page's own run waits on the script until
// then and never starts. Exits 1 when the run does not end, or the page logs an
// error or an exception.
import { mkdirSync, writeFileSync } from "node:fs";
import { basename, dirname, resolve } from "node:path";
import { launch, serve, waitFor } from "./browser.mjs";

const [site, program, script, out, frames, ...files] = process.argv.slice(2);
if (!out) {
  console.error("usage: node run_page.mjs SITE PROGRAM SCRIPT OUT [FRAMES [FILE…]]");
  process.exit(2);
}
mkdirSync(out, { recursive: true });
const server = await serve({ "/": resolve(site), "/test/": dirname(resolve(script)) });
const browser = await launch();
let failed = false;
try {
  const scriptPath = `test/${encodeURIComponent(basename(script))}`;
  const query = (process.env.PACED === "1" ? "" : "headless=1&") + `trace=1&script=${scriptPath}` +
    (frames ? `&frames=${frames}` : "");
  // Both runs wait on the script: the page's own run gives way to the one with
  // the files once they are in.
  if (files.length) server.held.add(`/${decodeURIComponent(scriptPath)}`);
  await browser.open(`${server.url}/${program}.html?${query}`);
  if (files.length) {
    const { root } = await browser.call("DOM.getDocument", {});
    const { nodeId } = await browser.call("DOM.querySelector", { nodeId: root.nodeId, selector: "#files" });
    await browser.call("DOM.setFileInputFiles", { nodeId, files: files.map((f) => resolve(f)) });
    await waitFor(() => browser.evaluate("document.getElementById('name').textContent.includes(' ')"), 120000,
      "the page to take the files");
    server.release();
  }
  // Hundreds of frames in a software renderer: on a loaded machine the run alone
  // took over 5 minutes. Within CTest's own limit (25 minutes).
  await waitFor(() => browser.evaluate("document.title === 'done'"), 1200000, "the run to end");
  writeFileSync(`${out}/trace.jsonl`, await browser.evaluate("document.getElementById('trace').textContent"));
  writeFileSync(`${out}/stderr.txt`, await browser.evaluate("document.getElementById('status').textContent"));
  const captures = await browser.evaluate("window.captures || {}");
  for (const [name, url] of Object.entries(captures))
    writeFileSync(`${out}/${name}`, Buffer.from(url.slice(url.indexOf(",") + 1), "base64"));
  console.log(`${program}: ${Object.keys(captures).length} captures written to ${out}`);
} catch (error) {
  console.error(`${program}: ${error.message}`);
  failed = true;
} finally {
  await browser.close();
  server.release();
  server.close();
}
for (const error of browser.errors) console.error(`${program}: page ${error}`);
process.exit(failed || browser.errors.length ? 1 : 0);
