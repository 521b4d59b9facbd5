// Cohort page: feature table, areas of the selected feature by group, features x samples
// heat map and each sample's retention-time correction.
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

  showHeatmap();
  showRtCorrection();
  if (count > 0) table.select(table.shownRows()[0]);
  torvaView.ready = performance.now();
})();
