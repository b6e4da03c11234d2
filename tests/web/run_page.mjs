// node run_page.mjs SITE PROGRAM SCRIPT OUT [FRAMES]
// Runs PROGRAM.html from the site folder SITE in headless Chromium as a scripted
// headless run (?headless=1&trace=1&script=...&frames=FRAMES) and writes what the
// page produced into OUT: trace.jsonl (the page's <pre id="trace">), the PNGs its
// script captured, and stderr.txt (what the program said). Exits 1 when the run
// does not end, or the page logs an error or an exception.
import { mkdirSync, writeFileSync } from "node:fs";
import { basename, dirname, resolve } from "node:path";
import { launch, serve, waitFor } from "./browser.mjs";

const [site, program, script, out, frames] = process.argv.slice(2);
if (!out) {
  console.error("usage: node run_page.mjs SITE PROGRAM SCRIPT OUT [FRAMES]");
  process.exit(2);
}
mkdirSync(out, { recursive: true });
const server = await serve({ "/": resolve(site), "/test/": dirname(resolve(script)) });
const browser = await launch();
let failed = false;
try {
  const query = `headless=1&trace=1&script=test/${encodeURIComponent(basename(script))}` +
    (frames ? `&frames=${frames}` : "");
  await browser.open(`${server.url}/${program}.html?${query}`);
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
  server.close();
}
for (const error of browser.errors) console.error(`${program}: page ${error}`);
process.exit(failed || browser.errors.length ? 1 : 0);
