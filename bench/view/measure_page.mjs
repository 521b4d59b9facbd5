// Times a torva-view page in headless Chromium: load, first chart, selecting
// features (click to chromatogram drawn), sorting and filtering the table.
//   node measure_page.mjs PAGE [CHROMIUM]
import { createRequire } from "node:module";
import { mkdtempSync, rmSync, statSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(join(here, "../../view/browser-test/package.json"));
const puppeteer = require("puppeteer-core");
const page = resolve(process.argv[2]);
const profile = mkdtempSync(join(tmpdir(), "torva-view-bench-"));
const browser = await puppeteer.launch({
  executablePath: process.argv[3] || process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync", `--user-data-dir=${profile}`],
});
try {
  const tab = await browser.newPage();
  await tab.setViewport({ width: 1400, height: 1000 });
  const errors = [];
  tab.on("pageerror", (e) => errors.push(e.message));
  const started = Date.now();
  await tab.goto(pathToFileURL(page).href, { waitUntil: "load", timeout: 300000 });
  const loaded = Date.now() - started;
  await tab.waitForFunction(() => window.torvaView && window.torvaView.ready !== null, { timeout: 300000 });
  await tab.evaluate(() => new Promise((resolve) => setTimeout(resolve, 0)));
  const firstDraw = await tab.evaluate(() => window.torvaView.firstDraw);
  const rows = await tab.$eval("#features", (t) => Number(t.dataset.rows));
  // Each timing runs inside the page: from the action to the end of the work it starts.
  const timings = await tab.evaluate(async () => {
    const median = (xs) => xs.sort((a, b) => a - b)[Math.floor(xs.length / 2)];
    // Up to the next task, so that uPlot's drawing (queued as a microtask) is included.
    const settled = () => new Promise((resolve) => setTimeout(resolve, 0));
    const rows = document.querySelectorAll("#features tbody tr[data-i]");
    const select = [];
    for (let k = 0; k < 20; k++) {
      const row = rows[Math.floor((k * rows.length) / 20)];
      const t = performance.now();
      row.click();
      await settled();
      select.push(performance.now() - t);
    }
    let t = performance.now();
    document.querySelector('#features th[data-col="1"]').click();
    await settled();
    const sort = performance.now() - t;
    const box = document.getElementById("mz-min");
    box.value = "500";
    t = performance.now();
    box.dispatchEvent(new Event("input"));
    await settled();
    const filter = performance.now() - t;
    // Redraw of the binned map (as after a zoom or resize).
    t = performance.now();
    const mapChart = window.torvaView.mapChart;
    if (mapChart) mapChart.redraw(false, false);
    await settled();
    const mapRedraw = mapChart ? performance.now() - t : null;
    return { select: median(select), sort, filter, mapRedraw };
  });
  console.log(`page ${(statSync(page).size / 1e6).toFixed(1)} MB, ${rows} rows: loaded ${loaded} ms, first chart ${firstDraw.toFixed(0)} ms; ` +
    `select a feature ${timings.select.toFixed(1)} ms (median of 20), sort ${timings.sort.toFixed(0)} ms, filter ${timings.filter.toFixed(0)} ms, binned map redrawn ${timings.mapRedraw === null ? "-" : timings.mapRedraw.toFixed(0)} ms`);
  console.log(`  page's own steps: ${JSON.stringify(await tab.evaluate(() => window.torvaView.timings || {}), (k, v) => (typeof v === "number" ? Math.round(v) : v))}`);
  if (errors.length) console.log("page errors: " + errors.join("; "));
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
