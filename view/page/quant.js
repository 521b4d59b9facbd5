// Targeted cohort page: the compounds with their curves, each compound's samples, and
// the selected sample's quantifier and qualifier chromatograms with the integrated range.
"use strict";

(function quantPage() {
  const data = readPageData();
  const palette = ["#1f5fbf", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2"];
  const column = (table, name) => table.header.indexOf(name);
  const cal = data.calibration;
  const long = data.long;
  const L = (name) => column(long, name);
  const C = (name) => column(cal, name);
  const compounds = cal.rows.map((r) => String(r[C("compound")]));
  const num = (v) => (v === null || v === undefined || v === "" ? null : Number(v));
  const fmt = (v, digits) => (v === null || !isFinite(v) ? "" : Number(v).toPrecision(digits));

  // Traces by sample, compound and transition.
  const traces = new Map();
  if (data.traces) {
    for (const row of data.traces.rows) {
      const split = (text) => (text === null || text === "" ? [] : String(text).split(",").map(Number));
      traces.set(`${row[0]}\t${row[1]}\t${row[2]}`, { times: split(row[3]), values: split(row[4]) });
    }
  }
  const samples = [...new Set(long.rows.map((r) => String(r[L("sample")])))];

  byId("title").textContent = "TORVA quantitation: " + data.folder;
  byId("subtitle").textContent = `${compounds.length} compounds · ${samples.length} samples`;

  const columns = [
    { title: "compound", width: 110, isText: true, value: (i) => compounds[i], text: (i) => compounds[i] },
    { title: "internal std", width: 90, isText: true, value: (i) => String(cal.rows[i][C("internal_standard")] ?? ""), text: (i) => String(cal.rows[i][C("internal_standard")] ?? "") },
    { title: "R²", width: 80, value: (i) => num(cal.rows[i][C("r2")]) ?? -1, text: (i) => fmt(num(cal.rows[i][C("r2")]), 5) },
    { title: "model", width: 90, isText: true, value: (i) => `${cal.rows[i][C("model")]} ${cal.rows[i][C("weighting")]}`, text: (i) => `${cal.rows[i][C("model")]} ${cal.rows[i][C("weighting")]}` },
    { title: "QCs within 15 %", width: 110, value: (i) => num(cal.rows[i][C("qc_within_15")]), text: (i) => `${cal.rows[i][C("qc_within_15")]} of ${cal.rows[i][C("qc_count")]}` },
    { title: "status", width: 140, isText: true, value: (i) => String(cal.rows[i][C("status")]), text: (i) => String(cal.rows[i][C("status")]) },
  ];
  let curveChart = null;
  let chromChart = null;
  let sampleTable = null;
  const compoundTable = makeTable(byId("features"), columns, compounds.length, showCompound);

  function rowsOf(compound) {
    return long.rows.filter((r) => String(r[L("compound")]) === compound);
  }

  function showCompound(i) {
    const compound = compounds[i];
    const c = cal.rows[i];
    const rows = rowsOf(compound).filter((r) => r[L("role")] === "quantifier");
    byId("curve-info").textContent = `${compound}: ${c[C("equation")] || "no curve"}, R² ${fmt(num(c[C("r2")]), 5)}; standards used ${c[C("standards_used")] || "none"}; dropped ${c[C("standards_dropped")] || "none"}`;
    // Points: x = concentration (known for standards, measured otherwise), y = response.
    const dropped = new Set(String(c[C("standards_dropped")] ?? "").split(",").filter((s) => s).map((s) => s.split("=")[0]));
    const groups = { used: [], dropped: [], qc: [], sample: [] };
    for (const r of rows) {
      const y = num(r[L("ratio")]) ?? num(r[L("area")]);
      const type = r[L("type")];
      const x = type === "standard" ? num(r[L("expected")]) : num(r[L("concentration")]);
      if (x === null || y === null || r[L("status")] !== "found") continue;
      const group = type === "standard" ? (dropped.has(String(r[L("sample")])) ? "dropped" : "used") : type === "qc" ? "qc" : "sample";
      groups[group].push([x, y]);
    }
    const all = [].concat(groups.used, groups.dropped, groups.qc, groups.sample);
    const xMax = Math.max(1e-9, ...all.map((p) => p[0]));
    const a = num(c[C("intercept")]);
    const b = num(c[C("slope")]);
    const q = num(c[C("quadratic")]) ?? 0;
    const xs = [...new Set([...Array.from({ length: 41 }, (_, k) => (k * xMax) / 40), ...all.map((p) => p[0])])].sort((u, v) => u - v);
    const on = (points) => xs.map((x) => { const hit = points.find((p) => p[0] === x); return hit ? hit[1] : null; });
    const line = xs.map((x) => (a === null || b === null ? null : a + b * x + q * x * x));
    const holder = byId("curve");
    if (curveChart) curveChart.destroy();
    curveChart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 300,
        scales: { x: { time: false } },
        axes: [{ label: "concentration" }, { label: c[C("internal_standard")] ? "area ratio to internal standard" : "area", size: 80 }],
        series: [
          { label: "concentration", value: (u, v) => (v == null ? "–" : fmt(v, 4)) },
          { label: "curve", stroke: "#5b6575", width: 1.5, spanGaps: true },
          pointsOnly("standards used", palette[0], 9, false),
          pointsOnly("standards dropped", palette[3], 9, true),
          pointsOnly("QCs", palette[2], 8, false),
          pointsOnly("samples", palette[1], 6, false),
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      [xs, line, on(groups.used), on(groups.dropped), on(groups.qc), on(groups.sample)],
      holder));
    torvaView.curveChart = curveChart;
    torvaView.shown = { compound: i, standards: groups.used.length + groups.dropped.length, drawn: false };

    // The compound's samples.
    const sampleRows = rows;
    const sampleColumns = [
      { title: "sample", width: 90, isText: true, value: (k) => String(sampleRows[k][L("sample")]), text: (k) => String(sampleRows[k][L("sample")]) },
      { title: "type", width: 70, isText: true, value: (k) => String(sampleRows[k][L("type")]), text: (k) => String(sampleRows[k][L("type")]) },
      { title: "status", width: 80, isText: true, value: (k) => String(sampleRows[k][L("status")]), text: (k) => String(sampleRows[k][L("status")]) },
      { title: "concentration", width: 100, value: (k) => num(sampleRows[k][L("concentration")]) ?? -1, text: (k) => fmt(num(sampleRows[k][L("concentration")]), 5) },
      { title: "accuracy %", width: 80, value: (k) => num(sampleRows[k][L("accuracy")]) ?? -1, text: (k) => fmt(num(sampleRows[k][L("accuracy")]), 4) },
      { title: "flags", width: 180, isText: true, value: (k) => String(sampleRows[k][L("flags")] ?? ""), text: (k) => String(sampleRows[k][L("flags")] ?? "") },
    ];
    sampleTable = makeTable(byId("samples"), sampleColumns, sampleRows.length, (k) => showSample(compound, sampleRows[k]));
    if (sampleRows.length > 0) sampleTable.select(0);
  }

  function showSample(compound, quantifierRow) {
    const sample = String(quantifierRow[L("sample")]);
    const transitions = long.rows.filter((r) => String(r[L("sample")]) === sample && String(r[L("compound")]) === compound);
    const holder = byId("chrom");
    if (chromChart) chromChart.destroy();
    chromChart = null;
    const lines = transitions.map((r) => ({ row: r, trace: traces.get(`${sample}\t${compound}\t${r[L("transition")]}`) }))
      .filter((t) => t.trace && t.trace.times.length > 0);
    const info = byId("chrom-info");
    if (lines.length === 0) {
      info.textContent = `${sample}: no traces in this folder (torva --quant-traces)`;
      torvaView.shown = { ...torvaView.shown, sample, drawn: false };
      return;
    }
    // One time axis: the union of the traces' times.
    const xs = [...new Set(lines.flatMap((t) => t.trace.times))].sort((u, v) => u - v);
    const valuesOn = (trace) => { const at = new Map(trace.times.map((t, k) => [t, trace.values[k]])); return xs.map((x) => at.get(x) ?? null); };
    const quant = lines[0];
    const found = quant.row[L("status")] === "found";
    const start = found ? num(quant.row[L("rt_start")]) : null;
    const end = found ? num(quant.row[L("rt_end")]) : null;
    const quantValues = valuesOn(quant.trace);
    const shade = quantValues.map((v, k) => (start !== null && xs[k] >= start && xs[k] <= end ? v : null));
    info.textContent = `${sample} · ${compound}: ` + lines.map((t) => `${t.row[L("role")]} ${t.row[L("transition")]} ${t.row[L("status")]}${t.row[L("flags")] ? " (" + t.row[L("flags")] + ")" : ""}`).join("; ");
    chromChart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 300,
        scales: { x: { time: false }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.05 : 1] } },
        axes: [{ label: "RT (min)" }, { label: "intensity", size: 90 }],
        series: [
          { label: "RT (min)", value: (u, v) => (v == null ? "–" : v.toFixed(3)) },
          ...lines.map((t, k) => ({ label: `${t.row[L("role")]} ${t.row[L("transition")]}`, stroke: palette[k % palette.length], width: k === 0 ? 1.8 : 1.2, spanGaps: true })),
          { label: "integrated", stroke: "rgba(31,95,191,0.6)", fill: "rgba(31,95,191,0.25)", width: 1, fillTo: 0, spanGaps: true },
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      [xs, ...lines.map((t) => valuesOn(t.trace)), shade],
      holder));
    torvaView.chromChart = chromChart;
    torvaView.shown = { ...torvaView.shown, sample, drawn: true, lines: lines.length, shadeFrom: start, shadeTo: end };
  }

  if (compounds.length > 0) compoundTable.select(0);
  torvaView.ready = true;
})();
