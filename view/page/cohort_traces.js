// Cohort page, with torva-compounds' traces: the selected feature's chromatograms overlaid across the
// samples. It runs before the cohort page's own script and draws whenever that script shows a feature.
"use strict";

(function cohortTraces() {
  const data = readPageData();
  const palette = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"];
  const header = data.samples.header;
  const samples = data.samples.rows.map((r) => String(r[0]));
  const groupColumn = header.indexOf("group");
  const groupOf = data.samples.rows.map((r) => (groupColumn < 0 || r[groupColumn] == null ? "" : String(r[groupColumn])));
  const groups = [...new Set(groupOf)];
  // Samples of one group share its colour, each a little lighter than the one before, so they stay apart.
  const rankInGroup = samples.map((_, s) => groupOf.slice(0, s).filter((g) => g === groupOf[s]).length);
  const groupSize = samples.map((_, s) => groupOf.filter((g) => g === groupOf[s]).length);
  function sampleColour(s) {
    const base = palette[groups.indexOf(groupOf[s]) % palette.length];
    const t = groupSize[s] > 1 ? (0.55 * rankInGroup[s]) / (groupSize[s] - 1) : 0;
    const channel = (k) => Math.round(parseInt(base.slice(1 + 2 * k, 3 + 2 * k), 16) * (1 - t) + 255 * t);
    return `rgb(${channel(0)},${channel(1)},${channel(2)})`;
  }
  const gapFilled = (i, s) => (data.gapFilled ? data.gapFilled.rows[i]?.[1 + s] === 1 : false);
  const tracesOf = new Map();
  for (const trace of data.traces.list) {
    if (!tracesOf.has(trace.row)) tracesOf.set(trace.row, []);
    tracesOf.get(trace.row).push(trace);
  }

  // The panel goes under the feature table and the areas.
  const panel = byId("traces-panel");
  const detail = byId("detail-panel");
  if (panel && detail) detail.closest(".columns").after(panel);

  let chart = null;
  function draw(i) {
    const holder = byId("traces");
    if (chart) chart.destroy();
    chart = null;
    const list = (tracesOf.get(i) || []).filter((t) => t.x.length > 0).sort((a, b) => a.sample - b.sample);
    const id = data.features.rows[i]?.[0];
    torvaView.traces = { feature: i, drawn: list.length };
    if (list.length === 0) {
      byId("traces-info").textContent = `No traces of feature ${id} in feature_traces.tsv.`;
      return;
    }
    const filled = list.filter((t) => gapFilled(i, t.sample)).length;
    byId("traces-info").textContent = `feature ${id}: traces in ${list.length} of ${samples.length} samples` +
      (filled ? `, ${filled} of them gap-filled (dashed)` : "") +
      (data.traces.leftOut ? `; ${data.traces.leftOut} traces of the cohort were left out by the page's bound` : "");
    chart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 320,
        scales: { x: { time: false }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.05 : 1] } },
        axes: [{ label: "RT (min)" }, { label: "intensity", size: 80 }],
        series: [
          { label: "RT (min)", value: (u, v) => (v == null ? "–" : v.toFixed(3)) },
          ...list.map((t) => ({
            label: samples[t.sample],
            stroke: sampleColour(t.sample),
            width: 1.5,
            dash: gapFilled(i, t.sample) ? [5, 4] : undefined,
            spanGaps: true,
          })),
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      uPlot.join(list.map((t) => [t.x, t.y])),
      holder));
  }

  // The cohort page notes each feature it shows in torvaView.shown: draw the traces then.
  let shown = torvaView.shown;
  Object.defineProperty(torvaView, "shown", {
    configurable: true,
    enumerable: true,
    get: () => shown,
    set(value) {
      shown = value;
      if (value && value.feature !== undefined) draw(value.feature);
    },
  });
})();
