// Opens a page written by torva-view in headless Chromium and checks it:
// no console errors or failed loads, one table row per feature, the selected
// feature's chromatogram (or the cohort's charts) drawn, a screenshot that is not blank.
//
//   node check_page.mjs --page P.html --kind run|cohort|quant --rows N --screenshot OUT.png
//                       [--select I] [--start-scan S --end-scan E] [--clean 1] [--chromium PATH]
// With --clean 1 (a cohort readied by torva-clean) its panels are checked too.
// Prints the page size and its time to first draw; exits 1 on a failed check.
import { statSync, writeFileSync } from "node:fs";
import { resolve } from "node:path";
import { pathToFileURL } from "node:url";
import { args, check, failures, launchChromium } from "./harness.mjs";

const page = resolve(args.page);
const { browser, close } = await launchChromium();
try {
  const tab = await browser.newPage();
  await tab.setViewport({ width: 1400, height: 1100 });
  const errors = [];
  const outside = [];
  tab.on("console", (m) => { if (m.type() === "error" || m.type() === "warn") errors.push(`console ${m.type()}: ${m.text()}`); });
  tab.on("pageerror", (e) => errors.push(`page error: ${e.message}`));
  tab.on("requestfailed", (r) => errors.push(`failed load: ${r.url()}`));
  tab.on("request", (r) => { if (!r.url().startsWith("file:") && !r.url().startsWith("data:")) outside.push(r.url()); });

  const started = Date.now();
  await tab.goto(pathToFileURL(page).href, { waitUntil: "load", timeout: 120000 });
  const loadMs = Date.now() - started;
  const ready = await tab.waitForFunction(() => window.torvaView && window.torvaView.ready !== null, { timeout: 60000 })
    .then(() => true, () => false);
  check(ready, "page script ran to its end");
  if (!ready) throw new Error(errors.join("; ") || "page not ready");
  // uPlot draws in a microtask after the script: give it a task to finish.
  await tab.evaluate(() => new Promise((resolve) => setTimeout(resolve, 0)));
  const firstDraw = await tab.evaluate(() => window.torvaView.firstDraw);

  // The table keeps in the document only the rows in sight: count its rows, then
  // scroll to the end and find the last one there.
  const rows = await tab.$eval("#features", (t) => Number(t.dataset.rows));
  check(rows === Number(args.rows), `feature table has ${rows} rows, the ${args.kind === "run" ? "summary" : "feature table"} ${args.rows}`);
  if (rows > 0) {
    await tab.$eval("#features", (t) => { t.parentElement.scrollTop = t.parentElement.scrollHeight; });
    await tab.waitForFunction((last) => document.querySelector(`#features tr[data-i="${last}"]`), { timeout: 60000 }, rows - 1)
      .then(() => check(true, `row ${rows} shown at the end of the table`), () => check(false, `row ${rows} shown at the end of the table`));
    await tab.$eval("#features", (t) => { t.parentElement.scrollTop = 0; });
    await tab.waitForFunction(() => document.querySelector('#features tr[data-i="0"]'), { timeout: 60000 });
  }
  if (args.kind === "run") {
    const select = Number(args.select ?? 0);
    if (rows > 0) {
      // The table redraws the rows in sight when it scrolls, so a row found a moment
      // ago may have been replaced by the time the mouse gets there: click again.
      for (let attempt = 1; ; ++attempt) {
        try {
          await tab.waitForSelector(`#features tbody tr[data-i="${select}"]`, { timeout: 60000 });
          await tab.click(`#features tbody tr[data-i="${select}"]`);
          break;
        } catch (error) {
          if (attempt === 5 || !/detached|not clickable|No node/i.test(String(error))) throw error;
          await new Promise((resolve) => setTimeout(resolve, 100));
        }
      }
      const shown = await tab.evaluate(() => window.torvaView.shown);
      const canvases = await tab.$$eval("#chrom canvas", (c) => c.length);
      check(shown && shown.feature === select && shown.drawn && canvases > 0, `feature ${select + 1} draws its chromatogram`);
      if (shown && shown.drawn) {
        if (args["start-scan"] !== undefined)
          check(shown.startScan === Number(args["start-scan"]) && shown.endScan === Number(args["end-scan"]),
            `shaded range spans scans ${shown.startScan}-${shown.endScan} (summary ${args["start-scan"]}-${args["end-scan"]})`);
        // What the chart holds: the shaded series spans the feature's start to end point of
        // its channel's time axis, and the apex point lies inside.
        const drawn = await tab.evaluate((i) => {
          const chart = window.torvaView.chromChart;
          const data = JSON.parse(document.getElementById("torva-data").textContent);
          const f = data.features;
          const times = data.channels[f.channel[i]].times;
          const series = chart.series.map((s) => s.label);
          const shade = chart.data[series.indexOf("integrated")];
          const apex = chart.data[series.indexOf("apex")];
          const first = shade.findIndex((v) => v !== null);
          const last = shade.length - 1 - [...shade].reverse().findIndex((v) => v !== null);
          return {
            from: chart.data[0][first], to: chart.data[0][last],
            wantFrom: times[f.startIndex[i]], wantTo: times[f.endIndex[i]],
            apex: chart.data[0][apex.findIndex((v) => v !== null)],
          };
        }, select);
        check(drawn.from === drawn.wantFrom && drawn.to === drawn.wantTo,
          `chart shades ${drawn.from}-${drawn.to} min, the times of the start and end points ${drawn.wantFrom}-${drawn.wantTo}`);
        check(drawn.from <= drawn.apex && drawn.apex <= drawn.to && drawn.apex === shown.apexAt,
          `chart marks the apex at ${drawn.apex} min inside the shaded range`);
      }
    }
    check(await tab.$$eval("#map canvas", (c) => c.length) > 0 || !(await tab.evaluate(() => JSON.parse(document.getElementById("torva-data").textContent).map)),
      "binned map drawn (when given)");
  } else if (args.kind === "quant") {
    // The first compound is selected on load: its curve, its samples and the first
    // sample's chromatograms with the quantifier's integrated range.
    const shown = await tab.evaluate(() => window.torvaView.shown);
    check(await tab.$$eval("#curve canvas", (c) => c.length) > 0 && shown && shown.compound === 0,
      "the first compound's calibration curve drawn");
    check(shown && shown.standards === Number(args.standards),
      `curve shows ${shown && shown.standards} standards (calibration.tsv ${args.standards})`);
    const sampleRows = await tab.$eval("#samples", (t) => Number(t.dataset.rows));
    check(sampleRows === Number(args.samples), `sample table has ${sampleRows} rows, the sheet ${args.samples}`);
    check(shown && shown.drawn && shown.lines >= 2 && await tab.$$eval("#chrom canvas", (c) => c.length) > 0,
      `chromatograms of ${shown && shown.sample} drawn, quantifier and qualifiers (${shown && shown.lines} lines)`);
    const drawn = await tab.evaluate(() => {
      const chart = window.torvaView.chromChart;
      const shade = chart.data[chart.series.findIndex((s) => s.label === "integrated")];
      const first = shade.findIndex((v) => v !== null);
      const last = shade.length - 1 - [...shade].reverse().findIndex((v) => v !== null);
      return { from: chart.data[0][first], to: chart.data[0][last], want: [window.torvaView.shown.shadeFrom, window.torvaView.shown.shadeTo] };
    });
    check(drawn.from === drawn.want[0] && drawn.to === drawn.want[1],
      `chart shades ${drawn.from}-${drawn.to} min, the integrated range ${drawn.want[0]}-${drawn.want[1]} of the table`);
  } else {
    check(await tab.$$eval("#heatmap canvas", (c) => c.length) > 0, "heat map drawn");
    check(await tab.$$eval("#areas canvas", (c) => c.length) > 0, "areas of the first feature drawn");
    check(await tab.$$eval("#rtcorr canvas", (c) => c.length) > 0, "retention-time correction drawn");
    if (args.clean) {
      const clean = await tab.evaluate(() => window.torvaView.clean);
      const data = await tab.evaluate(() => JSON.parse(document.getElementById("torva-data").textContent));
      const qcs = data.cleanPca.rows.filter((r) => r[1] === "qc").length;
      check(await tab.$$eval("#pca canvas", (c) => c.length) > 0 && clean.pca === data.cleanPca.rows.length,
        `PCA drawn with ${clean.pca} injections (${qcs} QCs)`);
      check(await tab.$$eval("#qccv canvas", (c) => c.length) > 0 && clean.qcCv > 0, `QC CV distribution drawn over ${clean.qcCv} features`);
      check(await tab.$$eval("#drift canvas", (c) => c.length) > 0 && clean.drift === data.samples.rows.length,
        `first feature drawn along the injection order with its fit (${clean.drift} injections)`);
      const removedRows = await tab.$eval("#removed", (t) => Number(t.dataset.rows));
      check(removedRows === data.cleanRemoved.rows.length && removedRows > 0, `removed features listed (${removedRows})`);
      // The PCA as aligned on request.
      await tab.click('input[name="pca-stage"][value="before"]');
      check(await tab.$$eval("#pca canvas", (c) => c.length) > 0, "PCA as aligned drawn on request");
    }
  }

  const shot = await tab.screenshot({ fullPage: true, type: "png" });
  writeFileSync(args.screenshot, shot);
  // Blank check: count the colours of the screenshot, decoded by the browser itself.
  const colours = await tab.evaluate(async (url) => {
    const image = new Image();
    image.src = url;
    await image.decode();
    const canvas = document.createElement("canvas");
    canvas.width = image.width;
    canvas.height = image.height;
    const ctx = canvas.getContext("2d");
    ctx.drawImage(image, 0, 0);
    const pixels = ctx.getImageData(0, 0, image.width, image.height).data;
    const seen = new Set();
    for (let p = 0; p < pixels.length; p += 4 * 7) seen.add((pixels[p] << 16) | (pixels[p + 1] << 8) | pixels[p + 2]);
    return seen.size;
  }, "data:image/png;base64," + Buffer.from(shot).toString("base64"));
  check(colours > 50, `screenshot ${args.screenshot} is not blank (${colours} colours)`);
  // A narrower window stacks the panels: the charts follow their panels' new widths.
  const widths = () => tab.$$eval(".uplot", (charts) => charts.map((c) => [c.offsetWidth, c.parentElement.clientWidth]));
  const before = await widths();
  await tab.setViewport({ width: 900, height: 1100 });
  await tab.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0))));
  const after = await widths();
  check(after.length === before.length && after.every(([w, panel], k) => w !== before[k][0] && w <= panel && w > panel - 40),
    `charts follow their panels in a narrower window (${before.map((w) => w[0])} -> ${after.map((w) => w[0])} px)`);
  check(errors.length === 0, `no console errors${errors.length ? ": " + errors.join("; ") : ""}`);
  check(outside.length === 0, `nothing loaded from outside${outside.length ? ": " + outside.join(", ") : ""}`);
  console.log(`page size ${statSync(page).size} bytes; loaded in ${loadMs} ms; first chart drawn ${firstDraw === null ? "never" : firstDraw.toFixed(0) + " ms"} after navigation`);
} finally {
  await close();
}
if (failures.length) {
  console.log(`${failures.length} check(s) failed`);
  process.exit(1);
}
