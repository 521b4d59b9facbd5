// Opens a page of torva-view in headless Chromium and checks the panels of a selected feature's evidence:
//   --kind features: the feature page of a resolver run: chromatogram with the compound's ions, the MS1
//                    spectrum at the apex with its isotope peaks marked, the linked MS2 spectra (choosing
//                    another one from the list), the compound's ions (a click selects one);
//   --kind traces:   the cohort page with torva-compounds' traces: the selected feature's chromatograms
//                    across the samples, redrawn when another feature is selected.
//   node check_panels.mjs --page P.html --kind features|traces --screenshot OUT.png [--chromium PATH]
// Exits 1 on a failed check.
import { statSync } from "node:fs";
import { resolve } from "node:path";
import { pathToFileURL } from "node:url";
import { args, check, failures, launchChromium } from "./harness.mjs";

const { browser, close } = await launchChromium();
const settle = (tab) => tab.evaluate(() => new Promise((done) => setTimeout(done, 50)));
// Clicks a row of a table that redraws the rows in sight: tries again when the row was replaced.
async function clickRow(tab, selector) {
  for (let attempt = 1; ; ++attempt) {
    try {
      await tab.waitForSelector(selector, { timeout: 60000 });
      await tab.click(selector);
      return;
    } catch (error) {
      if (attempt === 5 || !/detached|not clickable|No node/i.test(String(error))) throw error;
      await new Promise((done) => setTimeout(done, 100));
    }
  }
}
// Pixels of a chart's canvas that are not white: a drawn chart has many.
const inked = (tab, id) => tab.$eval(`#${id} canvas`, (c) => {
  const d = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
  let n = 0;
  for (let k = 0; k < d.length; k += 4) if (d[k + 3] > 0 && (d[k] < 240 || d[k + 1] < 240 || d[k + 2] < 240)) n++;
  return n;
}).catch(() => 0);

try {
  const tab = await browser.newPage();
  await tab.setViewport({ width: 1400, height: 1400 });
  const errors = [];
  tab.on("console", (m) => { if (m.type() === "error" || m.type() === "warn") errors.push(`console ${m.type()}: ${m.text()}`); });
  tab.on("pageerror", (e) => errors.push(`page error: ${e.message}`));
  tab.on("requestfailed", (r) => errors.push(`failed load: ${r.url()}`));
  await tab.goto(pathToFileURL(resolve(args.page)).href, { waitUntil: "load", timeout: 120000 });
  const ready = await tab.waitForFunction(() => window.torvaView && window.torvaView.ready !== null, { timeout: 60000 })
    .then(() => true, () => false);
  check(ready, "page script ran to its end");
  if (!ready) throw new Error(errors.join("; ") || "page not ready");
  await settle(tab);

  if (args.kind === "features") {
    const shown = await tab.evaluate(() => window.torvaView.shown);
    check(shown !== null, "a feature is selected when the page opens");
    check(shown.traces >= 2, `chromatogram of the feature with its compound's ions (${shown.traces} traces)`);
    check(shown.ms1Peaks > 0 && shown.isotopes >= 1, `MS1 spectrum with ${shown.ms1Peaks} peaks, ${shown.isotopes} isotope peaks marked`);
    check(shown.ms2Spectra >= 1, `${shown.ms2Spectra} linked MS2 spectra listed`);
    check(shown.ions >= 2, `${shown.ions} ions of the compound listed`);
    for (const id of ["chrom", "ms1", "ms2"]) check((await inked(tab, id)) > 500, `${id} chart drawn`);
    const marks = await tab.$eval("#ms1-marks", (p) => p.textContent);
    check(/M\+0 .* · M\+1 /.test(marks), `isotope peaks named: ${marks.slice(0, 120)}`);
    await tab.screenshot({ path: args.screenshot, fullPage: true });  // the feature chosen on opening
    // Another MS2 spectrum from the list.
    const options = await tab.$$eval("#ms2-choice option", (o) => o.length);
    if (options > 1) {
      const first = await tab.evaluate(() => window.torvaView.ms2Scan);
      await tab.select("#ms2-choice", "1");
      await settle(tab);
      const second = await tab.evaluate(() => window.torvaView.ms2Scan);
      check(second !== first, `choosing another MS2 spectrum draws it (scan ${first} -> ${second})`);
    }
    // A click on another ion of the compound selects it.
    const other = await tab.$$eval("#ions tbody tr[data-i]", (rows) => rows.map((r) => r.textContent)
      .findIndex((t) => !t.includes("(selected)")));
    check(other >= 0, "the compound lists another ion");
    if (other >= 0) {
      const before = await tab.evaluate(() => window.torvaView.shown.feature);
      await clickRow(tab, `#ions tbody tr[data-i="${other}"]`);
      await settle(tab);
      const after = await tab.evaluate(() => window.torvaView.shown);
      check(after.feature !== before && after.ions === shown.ions, `a click on an ion selects feature ${after.id}, same compound`);
    }
  } else if (args.kind === "traces") {
    const first = await tab.evaluate(() => window.torvaView.traces);
    check(first !== undefined && first.drawn >= 2, `traces of the selected feature across ${first?.drawn} samples`);
    check((await inked(tab, "traces")) > 500, "traces chart drawn");
    const rows = await tab.$eval("#features", (t) => Number(t.dataset.rows));
    if (rows > 1) {
      await clickRow(tab, '#features tbody tr[data-i="1"]');
      await settle(tab);
      const second = await tab.evaluate(() => window.torvaView.traces);
      check(second.feature === 1, `selecting feature 2 draws its traces (${second.drawn} samples)`);
    }
    const placed = await tab.evaluate(() => byId("traces-panel").previousElementSibling?.contains(byId("detail-panel")));
    check(placed, "the traces panel stands under the areas of the selected feature");
  } else {
    throw new Error(`unknown kind ${args.kind}`);
  }
  if (args.kind !== "features") await tab.screenshot({ path: args.screenshot, fullPage: true });
  check(statSync(args.screenshot).size > 20000, "screenshot written");
  check(errors.length === 0, `no console errors${errors.length ? ": " + errors.join("; ") : ""}`);
} catch (error) {
  failures.push(String(error));
  console.log(`FAIL ${error}`);
} finally {
  await close();
}
process.exit(failures.length ? 1 : 0);
