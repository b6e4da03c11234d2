// node frame_cpu.mjs PROGRAM NATIVE.jsonl PAGE.jsonl
// Prints the CPU time of one frame ("cpuUs" of the traces: the frame's work
// before present) of the same run natively and in the page: median and mean
// over the frames after the first 60 (start-up and the browser's compiler
// warming up), and their ratio. The page has no CPU clock: its figure is the
// elapsed time on the page's clock, which cross-origin isolation makes fine.
// In a paced run (run_page.mjs with PACED=1) also the page's median frame
// interval, tick to tick: the rate the page kept (a headless run's ticks step
// evenly and say nothing of it).
import { readFileSync } from "node:fs";

const [program, nativeFile, pageFile] = process.argv.slice(2);
function stats(file) {
  const times = readFileSync(file, "utf8").trim().split("\n").slice(60).map((l) => JSON.parse(l).cpuUs);
  times.sort((a, b) => a - b);
  return { median: times[times.length >> 1], mean: times.reduce((s, t) => s + t, 0) / times.length, n: times.length };
}
function interval(file) {
  const ticks = readFileSync(file, "utf8").trim().split("\n").slice(60).map((l) => JSON.parse(l).tick);
  const steps = ticks.slice(1).map((t, i) => (t - ticks[i]) >>> 0).sort((a, b) => a - b);
  return steps[0] === steps[steps.length - 1] ? null : steps[steps.length >> 1];
}
const n = stats(nativeFile), p = stats(pageFile), paced = interval(pageFile);
console.log(`${program}: ${n.n} frames; native median ${n.median.toFixed(1)} us (mean ${n.mean.toFixed(1)}),` +
  ` page median ${p.median.toFixed(1)} us (mean ${p.mean.toFixed(1)}): ${(p.median / n.median).toFixed(1)} x` +
  (paced === null ? "" : `; page frame interval median ${paced} ms`));
