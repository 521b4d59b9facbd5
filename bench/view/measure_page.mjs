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
  await tab.waitForFunction(() => window.torvaView && window.torvaView.firstDraw !== null, { timeout: 300000 });
  const firstDraw = await tab.evaluate(() => window.torvaView.firstDraw);
  const rows = await tab.$$eval("#features tbody tr", (r) => r.length);
  // Each timing runs inside the page: from the action to the end of the work it starts.
  const timings = await tab.evaluate(async () => {
    const median = (xs) => xs.sort((a, b) => a - b)[Math.floor(xs.length / 2)];
    const rows = document.querySelectorAll("#features tbody tr");
    const select = [];
    for (let k = 0; k < 20; k++) {
      const row = rows[Math.floor((k * rows.length) / 20)];
      const t = performance.now();
      row.click();
      select.push(performance.now() - t);
    }
    let t = performance.now();
    document.querySelector('#features th[data-col="1"]').click();
    const sort = performance.now() - t;
    const box = document.getElementById("mz-min");
    box.value = "500";
    t = performance.now();
    box.dispatchEvent(new Event("input"));
    const filter = performance.now() - t;
    return { select: median(select), sort, filter };
  });
  console.log(`page ${(statSync(page).size / 1e6).toFixed(1)} MB, ${rows} rows: loaded ${loaded} ms, first chart ${firstDraw.toFixed(0)} ms; ` +
    `select a feature ${timings.select.toFixed(1)} ms (median of 20), sort ${timings.sort.toFixed(0)} ms, filter ${timings.filter.toFixed(0)} ms`);
  if (errors.length) console.log("page errors: " + errors.join("; "));
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
