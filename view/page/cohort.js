// Cohort page: feature table, areas of the selected feature by group, features x samples
// heat map and each sample's retention-time correction; with torva-clean's tables, the PCA
// of the samples and QCs, the QC CVs as aligned and clean, the selected feature along the
// injection order with its drift fit, and what each filter removed.
"use strict";

(function cohortPage() {
  const data = readPageData();
  const palette = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"];
  const sampleRows = data.samples.rows;
  const sampleCol = (name) => data.samples.header.indexOf(name);
  const samples = sampleRows.map((r) => String(r[0]));
  const groupOf = sampleRows.map((r) => (r[sampleCol("group")] == null ? "" : String(r[sampleCol("group")])));
  const groups = [...new Set(groupOf)];
  const n = samples.length;
  const features = data.features.rows;
  const count = features.length;
  // Sample areas are the last columns; per-feature columns may stand before them.
  const firstArea = data.features.header.length - n;
  const area = (i, s) => features[i][firstArea + s];
  const measuredRt = (i, s) => (data.featureRt ? data.featureRt.rows[i]?.[1 + s] ?? null : null);
  const gapFilled = (i, s) => (data.gapFilled ? data.gapFilled.rows[i]?.[1 + s] === 1 : false);

  byId("title").textContent = "TORVA cohort: " + data.folder;
  byId("subtitle").textContent = `${count} features · ${n} samples · ${groups.filter((g) => g !== "").length || "no"} groups`;

  // Samples.
  const sampleColumns = data.samples.header.map((name, k) => ({
    title: name, isText: true, value: (i) => String(sampleRows[i][k] ?? ""), text: (i) => String(sampleRows[i][k] ?? ""),
  }));
  makeTable(byId("samples"), sampleColumns, n, () => {});

  // Features.
  const columns = [
    { title: "feature", width: 110, isText: true, value: (i) => String(features[i][0]), text: (i) => String(features[i][0]) },
    { title: "m/z", width: 100, value: (i) => features[i][1], text: (i) => (features[i][1] ?? NaN).toFixed(5) },
    { title: "RT (min)", value: (i) => features[i][2], text: (i) => (features[i][2] ?? NaN).toFixed(3) },
    { title: "samples", width: 70, value: (i) => features[i][3], text: (i) => String(features[i][3]) },
  ];
  const table = makeTable(byId("features"), columns, count, showFeature);
  function applyFilter() {
    const inRange = rangeFilter();
    table.setFilter((i) => inRange(features[i][1], features[i][2]));
    byId("shown").textContent = `${table.shownRows().length} of ${count} shown`;
  }
  for (const id of ["mz-min", "mz-max", "rt-min", "rt-max"]) byId(id).addEventListener("input", applyFilter);
  applyFilter();

  const sampleAxis = {
    label: "sample",
    splits: () => samples.map((_, s) => s),
    values: (u, splits) => splits.map((s) => samples[s] ?? ""),
    rotate: n > 8 ? -40 : 0,
    size: n > 8 ? 90 : 50,
    grid: { show: false },
  };

  // Areas of feature i, one colour per group; gap-filled areas hollow.
  let areaChart = null;
  function showFeature(i) {
    const holder = byId("areas");
    if (areaChart) areaChart.destroy();
    const row = features[i];
    byId("feature-info").textContent = `feature ${row[0]}: m/z ${(row[1] ?? NaN).toFixed(5)}, RT ${(row[2] ?? NaN).toFixed(3)} min, in ${row[3]} of ${n} samples`;
    const xs = samples.map((_, s) => s);
    const perGroup = groups.map((g) => xs.map((s) => (groupOf[s] === g && !gapFilled(i, s) ? area(i, s) : null)));
    const filled = xs.map((s) => (gapFilled(i, s) ? area(i, s) : null));
    areaChart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 300,
        scales: { x: { time: false, range: [-0.5, n - 0.5] }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.08 : 1] } },
        axes: [sampleAxis, { label: "area", size: 80 }],
        series: [
          { label: "sample", value: (u, s) => (s == null ? "–" : samples[s]) },
          ...groups.map((g, k) => pointsOnly(g === "" ? "no group" : g, palette[k % palette.length], 10, false)),
          pointsOnly("gap-filled", "#444", 10, true),
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      [xs, ...perGroup, filled],
      holder));
    areaChart.featureIndex = i;
    const detail = byId("feature-samples");
    const detailColumns = [
      { title: "sample", width: 110, isText: true, value: (s) => samples[s], text: (s) => samples[s] },
      { title: "group", isText: true, value: (s) => groupOf[s], text: (s) => groupOf[s] },
      { title: "area", width: 120, value: (s) => area(i, s) ?? -1, text: (s) => (area(i, s) == null ? "" : area(i, s).toFixed(2)) },
      { title: "RT measured", width: 100, value: (s) => measuredRt(i, s) ?? -1, text: (s) => (measuredRt(i, s) == null ? "" : measuredRt(i, s).toFixed(3)) },
      { title: "gap-filled", isText: true, value: (s) => (gapFilled(i, s) ? 1 : 0), text: (s) => (gapFilled(i, s) ? "yes" : "") },
    ];
    makeTable(detail, detailColumns, n, () => {});
    torvaView.shown = { feature: i, id: row[0], points: perGroup.flat().concat(filled).filter((v) => v != null).length };
    if (data.cleanDriftFit) showDrift(i);
  }

  // Features x samples, log10 of the area, features in file order.
  function showHeatmap() {
    const holder = byId("heatmap");
    let low = Infinity, high = -Infinity;
    for (let i = 0; i < count; i++)
      for (let s = 0; s < n; s++) {
        const a = area(i, s);
        if (a > 0) {
          const v = Math.log10(a);
          if (v < low) low = v;
          if (v > high) high = v;
        }
      }
    const span = high > low ? high - low : 1;
    byId("heatmap-info").textContent =
      count ? `colour from log10 area ${low.toFixed(1)} (dark) to ${high.toFixed(1)} (bright); blank: absent. Click a cell to select its feature.` : "No features.";
    const layer = heatLayer(n, count, (s, i) => (area(i, s) > 0 ? (Math.log10(area(i, s)) - low) / span : null),
      (s) => s - 0.5, -0.5, count - 0.5);
    const chart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: Math.min(600, Math.max(260, count * 3 + 80)),
        scales: { x: { time: false, range: [-0.5, n - 0.5] }, y: { range: [-0.5, count - 0.5], dir: -1 } },
        axes: [
          sampleAxis,
          count <= 40
            ? { label: "feature", size: 70, splits: () => features.map((_, i) => i), values: (u, splits) => splits.map((i) => String(features[i]?.[0] ?? "")) }
            : { label: "feature (file order)", size: 60, values: (u, splits) => splits.map((i) => (Number.isInteger(i) && features[i] ? String(features[i][0]) : "")) },
        ],
        series: [{ label: "sample" }, { label: "", paths: () => null, points: { show: false } }],
        legend: { show: false },
        cursor: { drag: { x: false, y: false } },
        hooks: { drawClear: [layer], ready: [noteFirstDraw] },
      },
      [[-0.5, n - 0.5], [null, null]],
      holder));
    chart.over.addEventListener("click", () => {
      const i = Math.round(chart.posToVal(chart.cursor.top, "y"));
      if (i >= 0 && i < count) table.select(i);
    });
  }

  // Correction (corrected minus measured RT) along each sample's run.
  function showRtCorrection() {
    const holder = byId("rtcorr");
    const rc = data.rtCorrection;
    if (!rc || rc.rows.length === 0) {
      byId("rt-info").textContent = "No rt_correction.tsv in the cohort folder.";
      return;
    }
    const bySample = new Map();
    for (const [sample, rt, corrected] of rc.rows) {
      if (rt == null || corrected == null) continue;
      if (!bySample.has(sample)) bySample.set(sample, [[], []]);
      bySample.get(sample)[0].push(rt);
      bySample.get(sample)[1].push(corrected - rt);
    }
    const names = [...bySample.keys()];
    for (const name of names) {
      const [x, y] = bySample.get(name);
      const order = x.map((_, k) => k).sort((a, b) => x[a] - x[b]);
      bySample.set(name, [order.map((k) => x[k]), order.map((k) => y[k])]);
    }
    byId("rt-info").textContent = "Corrected minus measured retention time along each sample's run.";
    const joined = uPlot.join(names.map((name) => bySample.get(name)));
    fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 300,
        scales: { x: { time: false } },
        axes: [{ label: "RT measured (min)" }, { label: "correction (min)", size: 70 }],
        series: [
          { label: "RT (min)" },
          ...names.map((name, k) => ({
            label: String(name),
            stroke: palette[groups.indexOf(groupOf[samples.indexOf(String(name))]) % palette.length] || palette[k % palette.length],
            width: 1.5,
            spanGaps: true,
          })),
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      joined,
      holder));
  }


  // torva-clean's tables, when it ran.
  const clean = { pca: 0, qcCv: 0, drift: 0, removed: 0 };
  torvaView.clean = clean;
  const typeColour = { qc: "#111", blank: "#9aa3af", standard: "#8c564b" };
  const tableIndex = (t) => Object.fromEntries(t.header.map((name, k) => [name, k]));

  // Samples and QCs on the first two components, of the clean table or as aligned.
  let pcaChart = null;
  function showPca(stage) {
    const pca = data.cleanPca;
    const holder = byId("pca");
    if (pcaChart) pcaChart.destroy();
    const c = tableIndex(pca);
    const x = stage === "after" ? c.pc1 : c.pc1_before, y = stage === "after" ? c.pc2 : c.pc2_before;
    const rows = [...pca.rows].sort((a, b) => a[x] - b[x]);
    const classes = [...new Set(rows.map((r) => (r[c.type] === "qc" ? "QC" : String(r[c.group] ?? ""))))];
    const classOf = (r) => (r[c.type] === "qc" ? "QC" : String(r[c.group] ?? ""));
    const explained = data.cleanPcaExplained?.rows.find((r) => r[0] === stage) ?? [stage, null, null];
    const share = (v) => (v == null ? "" : ` (${Number(v).toFixed(1)} %)`);
    byId("pca-info").textContent =
      `${rows.length} injections, log2 areas scaled per feature; pooled QCs should lie close together.`;
    pcaChart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 320,
        scales: { x: { time: false }, y: {} },
        axes: [{ label: "PC1" + share(explained[1]) }, { label: "PC2" + share(explained[2]), size: 60 }],
        series: [
          { label: "PC1", value: (u, v) => (v == null ? "–" : v.toFixed(2)) },
          ...classes.map((name, k) => pointsOnly(name === "" ? "samples" : name, name === "QC" ? typeColour.qc : palette[k % palette.length], 9, false)),
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      [rows.map((r) => r[x]), ...classes.map((name) => rows.map((r) => (classOf(r) === name ? r[y] : null)))],
      holder));
    clean.pca = rows.length;
  }

  // How many features have each QC CV, in 5 % bins, as aligned and in the clean table.
  function showQcCv() {
    const cv = data.cleanQcCv;
    const c = tableIndex(cv);
    const before = cv.rows.map((r) => r[c.cv_raw]).filter((v) => v != null);
    const after = cv.rows.filter((r) => r[c.kept] === 1).map((r) => r[c.cv_final]).filter((v) => v != null);
    const cross = cv.rows.filter((r) => r[c.kept] === 1).map((r) => r[c.cv_cross]).filter((v) => v != null);
    const median = (v) => { const s = [...v].sort((a, b) => a - b); return s.length ? (s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2) : NaN; };
    byId("qccv-info").textContent =
      `Median QC CV ${median(before).toFixed(1)} % over ${before.length} features as aligned, ${median(after).toFixed(1)} % over the ${after.length} features of the clean table (after drift correction and normalisation)` +
      (cross.length ? `, ${median(cross).toFixed(1)} % cross-validated (each QC corrected by the curve of its batch's other QCs: what a sample's area can be trusted to).` : ".");
    const width = 5;
    const highest = before.concat(after, cross).reduce((m, v) => Math.max(m, v), 10);
    const bins = Math.max(2, Math.min(40, Math.ceil(highest / width) + 1));
    const count = (values) => { const n = new Array(bins).fill(0); for (const v of values) n[Math.min(bins - 1, Math.floor(v / width))]++; return n; };
    const xs = Array.from({ length: bins }, (_, k) => k * width);
    const holder = byId("qccv");
    fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 320,
        scales: { x: { time: false } },
        axes: [{ label: `QC CV (%), bins of ${width} %` }, { label: "features", size: 60 }],
        series: [
          { label: "CV from (%)" },
          { label: "as aligned", stroke: "#d62728", width: 2, paths: uPlot.paths.stepped({ align: 1 }) },
          { label: "clean", stroke: "#1f77b4", width: 2, fill: "rgba(31,119,180,0.15)", paths: uPlot.paths.stepped({ align: 1 }) },
          { label: "cross-validated", stroke: "#2ca02c", width: 2, dash: [6, 4], paths: uPlot.paths.stepped({ align: 1 }) },
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      [xs, count(before), count(after), count(cross)],
      holder));
    clean.qcCv = before.length;
  }

  // The selected feature's areas along the injection order, the fitted QC level and the corrected areas.
  let driftRows = null;
  let driftChart = null;
  function showDrift(i) {
    const fit = data.cleanDriftFit;
    const c = tableIndex(fit);
    if (!driftRows) {
      driftRows = new Map();
      fit.rows.forEach((r, k) => {
        const id = String(r[c.feature_id]);
        if (!driftRows.has(id)) driftRows.set(id, []);
        driftRows.get(id).push(k);
      });
    }
    const holder = byId("drift");
    if (driftChart) driftChart.destroy();
    driftChart = null;
    const id = String(features[i][0]);
    const rows = (driftRows.get(id) ?? []).map((k) => fit.rows[k]).sort((a, b) => a[c.order] - b[c.order]);
    if (rows.length === 0) {
      byId("drift-info").textContent = `Feature ${id} was not drift-corrected (removed before the correction, or no QCs).`;
      clean.drift = 0;
      return;
    }
    byId("drift-info").textContent =
      `Feature ${id}: areas as aligned (filled) and corrected (hollow) in injection order; the line is the fit through the QCs of each batch.`;
    const isQc = (r) => r[c.type] === "qc";
    const value = (r, column, qc) => (isQc(r) === qc ? r[column] : null);
    driftChart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 320,
        scales: { x: { time: false } },
        axes: [{ label: "injection order" }, { label: "area", size: 80 }],
        series: [
          { label: "order" },
          pointsOnly("QC", typeColour.qc, 9, false),
          pointsOnly("samples", palette[0], 7, false),
          { label: "fit", stroke: "#ff7f0e", width: 2, spanGaps: false },
          pointsOnly("QC corrected", typeColour.qc, 9, true),
          pointsOnly("samples corrected", palette[0], 7, true),
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      [rows.map((r) => r[c.order]), rows.map((r) => value(r, c.area, true)), rows.map((r) => value(r, c.area, false)),
        rows.map((r, k) => (k > 0 && rows[k - 1][c.batch] !== r[c.batch] ? null : r[c.fit])),
        rows.map((r) => value(r, c.corrected, true)), rows.map((r) => value(r, c.corrected, false))],
      holder));
    clean.drift = rows.length;
  }

  // The removed features, by step; a click selects the feature in the table when it is there.
  function showRemoved() {
    const removed = data.cleanRemoved;
    const c = tableIndex(removed);
    const steps = { blank: "blank filter (sample/blank ratio)", qc_presence: "QC presence (share of QCs)", qc_cv: "QC CV (%)" };
    const counts = {};
    for (const r of removed.rows) counts[r[c.step]] = (counts[r[c.step]] ?? 0) + 1;
    byId("removed-info").textContent = removed.rows.length
      ? "Removed: " + Object.entries(counts).map(([step, n]) => `${n} by the ${steps[step] ?? step}`).join(", ") + ". Value: the figure the feature was judged by; limit: what it had to reach."
      : "No feature was removed.";
    const rowOf = new Map(features.map((f, k) => [String(f[0]), k]));
    const columns = [
      { title: "feature", isText: true, value: (k) => String(removed.rows[k][c.feature_id]), text: (k) => String(removed.rows[k][c.feature_id]) },
      { title: "m/z", value: (k) => removed.rows[k][c.mz], text: (k) => String(removed.rows[k][c.mz]) },
      { title: "RT (min)", value: (k) => removed.rows[k][c.rt], text: (k) => String(removed.rows[k][c.rt]) },
      { title: "step", isText: true, width: 160, value: (k) => String(removed.rows[k][c.step]), text: (k) => steps[removed.rows[k][c.step]] ?? String(removed.rows[k][c.step]) },
      { title: "value", value: (k) => removed.rows[k][c.value] ?? -1, text: (k) => (removed.rows[k][c.value] == null ? "" : Number(removed.rows[k][c.value]).toFixed(3)) },
      { title: "limit", value: (k) => removed.rows[k][c.limit] ?? -1, text: (k) => (removed.rows[k][c.limit] == null ? "" : String(removed.rows[k][c.limit])) },
    ];
    makeTable(byId("removed"), columns, removed.rows.length, (k) => {
      const i = rowOf.get(String(removed.rows[k][c.feature_id]));
      if (i !== undefined) table.select(i);
    });
    clean.removed = removed.rows.length;
  }

  if (data.cleanPca && data.cleanQcCv && data.cleanRemoved) {
    byId("clean-section").hidden = false;
    showPca("after");
    for (const input of document.querySelectorAll('input[name="pca-stage"]')) input.addEventListener("change", () => showPca(input.value));
    showQcCv();
    showRemoved();
  }

  showHeatmap();
  showRtCorrection();
  if (count > 0) table.select(table.shownRows()[0]);
  torvaView.ready = performance.now();
})();
