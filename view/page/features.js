// Feature page of a resolver run: the feature table; for the selected feature its chromatogram with the
// other ions of its compound, its MS1 spectrum at the apex with the isotope pattern marked, its linked MS2
// spectra, and the ions of its compound.
"use strict";

(function featurePage() {
  const data = readPageData();
  const f = data.features;
  const count = f.id.length;
  const numbers = data.numbers;
  const palette = ["#ff7f0e", "#2ca02c", "#9467bd", "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"];
  const carbon13Step = 1.0033548;  // daltons between 13C isotopes of a singly charged ion
  const isotopePpm = 10;           // isotope peaks are looked for this near their place
  const maxOverlaid = 12;          // other ions of the compound drawn in the chromatogram, at most
  const labelledPeaks = 8;         // peaks of a spectrum labelled with their m/z

  // Each feature's records: trace, apex MS1 spectrum, MS2 spectra.
  const evidence = Array.from({ length: count }, () => ({ trace: null, ms1: null, ms2: [] }));
  for (const record of data.spectra || []) {
    const e = evidence[record.f];
    if (record.kind === "trace") e.trace = record;
    else if (record.kind === "ms1") e.ms1 = record;
    else e.ms2.push(record);
  }
  // The features of each compound.
  const members = new Map();
  for (let i = 0; i < count; i++) {
    if (f.compound[i] <= 0) continue;
    if (!members.has(f.compound[i])) members.set(f.compound[i], []);
    members.get(f.compound[i]).push(i);
  }
  const ionName = (i) => (f.ion[i] !== "" ? f.ion[i] : f.compound[i] > 0 ? "unexplained" : "");
  const ms2Count = (i) => (f.ms2[i] == null ? -1 : f.ms2[i]);

  byId("title").textContent = "TORVA run: " + (numbers.input || numbers.features);
  byId("subtitle").textContent =
    `${count} features · ${members.size} compounds` + (numbers.options ? ` · torva ${numbers.options}` : "");
  const figures = [
    ["input", numbers.input ?? "not given (--run-input)"],
    ["options", numbers.options ?? "not given (--run-options)"],
    ["feature table", numbers.features],
    ["feature spectra", numbers.spectra ?? "not given (--spectra): no spectra or traces"],
    ["features", count],
    ["compounds", members.size],
    ["features with MS2", f.ms2.filter((n) => n > 0).length],
  ];
  if (numbers.featuresLeftOut) figures.push(["features left out (page bound)", numbers.featuresLeftOut]);
  if (numbers.spectraLeftOut) figures.push(["spectra and traces left out (page bound)", numbers.spectraLeftOut]);
  byId("numbers").innerHTML = figures.map(([k, v]) => `<dt>${escapeHtml(k)}</dt><dd>${escapeHtml(v)}</dd>`).join("");

  // Feature table.
  const columns = [
    { title: "feature", width: 70, isText: true, value: (i) => i, text: (i) => f.id[i] },
    { title: "m/z", width: 88, value: (i) => f.mz[i], text: (i) => f.mz[i].toFixed(5) },
    { title: "RT (min)", width: 66, value: (i) => f.rt[i], text: (i) => f.rt[i].toFixed(3) },
    { title: "area", width: 88, value: (i) => f.area[i], text: (i) => f.area[i].toExponential(3) },
    { title: "S/N", width: 58, value: (i) => f.sn[i], text: (i) => f.sn[i].toFixed(1) },
    { title: "compound", width: 76, value: (i) => f.compound[i], text: (i) => (f.compound[i] > 0 ? String(f.compound[i]) : "") },
    { title: "ion", width: 120, isText: true, value: (i) => ionName(i), text: (i) => ionName(i) },
    { title: "MS2", width: 46, value: ms2Count, text: (i) => (f.ms2[i] == null ? "" : String(f.ms2[i])) },
  ];
  const table = makeTable(byId("features"), columns, count, showFeature);
  function applyFilter() {
    const inRange = rangeFilter();
    const withMs2 = byId("with-ms2").checked;
    const representatives = byId("representatives").checked;
    table.setFilter((i) => inRange(f.mz[i], f.rt[i]) && (!withMs2 || f.ms2[i] > 0) && (!representatives || f.representative[i] === 1));
    byId("shown").textContent = `${table.shownRows().length} of ${count} shown`;
  }
  for (const id of ["mz-min", "mz-max", "rt-min", "rt-max", "with-ms2", "representatives"]) byId(id).addEventListener("input", applyFilter);
  applyFilter();

  // Sticks of a centroid spectrum as one line: (x, 0), (x, y), (x, 0) per peak.
  function sticks(xs, ys) {
    const x = [], y = [];
    for (let k = 0; k < xs.length; k++) {
      x.push(xs[k], xs[k], xs[k]);
      y.push(0, ys[k], 0);
    }
    return [x, y];
  }
  // Marks at chosen peaks of a stick line: the peak's height at its middle point, null elsewhere.
  function marksAt(length, peaks, heights) {
    const y = new Array(length).fill(null);
    peaks.forEach((p, k) => { y[3 * p + 1] = heights[k]; });
    return y;
  }
  // A draw hook that writes the m/z of the most intense peaks in view, and of the `always` peaks.
  function peakLabels(xs, ys, always) {
    return (u) => {
      const [lo, hi] = [u.scales.x.min, u.scales.x.max];
      const inView = xs.map((_, k) => k).filter((k) => xs[k] >= lo && xs[k] <= hi);
      inView.sort((a, b) => ys[b] - ys[a]);
      const chosen = new Set(inView.slice(0, labelledPeaks).concat(always.filter((k) => xs[k] >= lo && xs[k] <= hi)));
      const ctx = u.ctx;
      ctx.save();
      ctx.font = `${Math.round(10 * devicePixelRatio)}px system-ui, sans-serif`;
      ctx.fillStyle = "#1d2330";
      ctx.textAlign = "center";
      for (const k of chosen) {
        const px = u.valToPos(xs[k], "x", true), py = u.valToPos(ys[k], "y", true);
        ctx.fillText(xs[k].toFixed(4), px, py - 4 * devicePixelRatio);
      }
      ctx.restore();
    };
  }
  const stickSeries = (label, colour) => ({ label, stroke: colour, width: 1, points: { show: false } });

  // The expected isotope pattern (M, M+1, ...) of a molecule of neutral mass `mass`, relative to M: the
  // composition of an average metabolite per dalton, extra neutrons counted as two Poisson variables
  // (13C, 2H, 15N, 17O add one; 18O two).
  function expectedPattern(mass, length) {
    const per = mass / 95.05;  // C4.5 H7 N0.6 O1.6 weighs 95.05 Da
    const one = per * (4.5 * 0.0107 / 0.9893 + 7 * 0.000115 + 0.6 * 0.00364 / 0.99636 + 1.6 * 0.00038 / 0.99757);
    const two = per * 1.6 * 0.00205 / 0.99757;
    const pattern = [];
    const factorial = (n) => (n <= 1 ? 1 : n * factorial(n - 1));
    for (let k = 0; k < length; k++) {
      let p = 0;
      for (let j = 0; 2 * j <= k; j++) p += Math.pow(one, k - 2 * j) / factorial(k - 2 * j) * Math.pow(two, j) / factorial(j);
      pattern.push(p);
    }
    return pattern;
  }

  // Chromatogram of feature i with the other ions of its compound.
  let chromChart = null;
  function showChromatogram(i) {
    const holder = byId("chrom");
    if (chromChart) chromChart.destroy();
    chromChart = null;
    const own = evidence[i].trace;
    if (!own || own.x.length === 0) {
      byId("chrom-info").textContent = data.spectra ? "No trace of this feature in the feature spectra table." : "No feature spectra given (--spectra).";
      return 0;
    }
    const others = (members.get(f.compound[i]) || []).filter((j) => j !== i && evidence[j].trace && evidence[j].trace.x.length > 0);
    others.sort((a, b) => f.area[b] - f.area[a]);
    const overlaid = others.slice(0, maxOverlaid);
    const shade = own.y.map((v, k) => (own.x[k] >= f.rtStart[i] && own.x[k] <= f.rtEnd[i] ? v : null));
    const joined = uPlot.join([[own.x, own.y, shade], ...overlaid.map((j) => [evidence[j].trace.x, evidence[j].trace.y])]);
    byId("chrom-info").textContent =
      `${f.id[i]}: m/z ${f.mz[i].toFixed(5)}, apex ${f.rt[i].toFixed(3)} min, edges ${f.rtStart[i].toFixed(3)}–${f.rtEnd[i].toFixed(3)} min` +
      (overlaid.length ? `; ${overlaid.length} other ions of compound ${f.compound[i]}` + (others.length > overlaid.length ? ` (the ${overlaid.length} largest of ${others.length})` : "") : "");
    chromChart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 300,
        scales: { x: { time: false }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.05 : 1] } },
        axes: [{ label: "RT (min)" }, { label: "intensity", size: 80 }],
        series: [
          { label: "RT (min)", value: (u, v) => (v == null ? "–" : v.toFixed(3)) },
          { label: `${f.id[i]} ${ionName(i)}`.trim(), stroke: "#1f5fbf", width: 2, spanGaps: true },
          { label: "between edges", stroke: "rgba(31,95,191,0.5)", fill: "rgba(31,95,191,0.18)", width: 0, fillTo: 0, spanGaps: true },
          ...overlaid.map((j, k) => ({ label: `${f.id[j]} ${ionName(j)}`, stroke: palette[k % palette.length], width: 1, spanGaps: true })),
        ],
        hooks: { ready: [noteFirstDraw] },
      },
      joined,
      holder));
    torvaView.chromChart = chromChart;
    return 1 + overlaid.length;
  }

  // MS1 spectrum at the apex of feature i, the isotope pattern marked.
  let ms1Chart = null;
  function showMs1(i) {
    const holder = byId("ms1");
    if (ms1Chart) ms1Chart.destroy();
    ms1Chart = null;
    byId("ms1-marks").textContent = "";
    const spectrum = evidence[i].ms1;
    if (!spectrum || spectrum.x.length === 0) {
      byId("ms1-info").textContent = data.spectra ? "No MS1 spectrum of this feature in the feature spectra table." : "No feature spectra given (--spectra).";
      return { peaks: 0, isotopes: 0 };
    }
    const z = Math.abs(f.charge[i]) || 1;
    // The ion's monoisotopic m/z: an isotope feature ("13C2") stands k steps above it.
    const isotopeOf = /13C(\d+)/.exec(f.ion[i]);
    const shift = isotopeOf ? Number(isotopeOf[1]) : 0;
    const mono = f.mz[i] - (shift * carbon13Step) / z;
    const nearestPeak = (target) => {
      let best = -1;
      for (let k = 0; k < spectrum.x.length; k++) {
        if (Math.abs(spectrum.x[k] - target) > target * isotopePpm * 1e-6) continue;
        if (best < 0 || spectrum.y[k] > spectrum.y[best]) best = k;
      }
      return best;
    };
    const pattern = [];
    for (let k = 0; k < 8; k++) {
      const p = nearestPeak(mono + (k * carbon13Step) / z);
      if (p < 0 && k > 0) break;
      pattern.push(p);
    }
    const own = nearestPeak(f.mz[i]);
    const [x, y] = sticks(spectrum.x, spectrum.y);
    const isotopePeaks = pattern.filter((p) => p >= 0 && p !== own);
    const ionMark = marksAt(x.length, own >= 0 ? [own] : [], own >= 0 ? [spectrum.y[own]] : []);
    const isotopeMark = marksAt(x.length, isotopePeaks, isotopePeaks.map((p) => spectrum.y[p]));
    // Expected pattern, scaled to the observed M, drawn at the observed isotope peaks' places.
    const mass = f.neutralMass[i] > 0 ? f.neutralMass[i] : mono * z;
    const expected = expectedPattern(mass, pattern.length);
    const base = pattern[0] >= 0 ? spectrum.y[pattern[0]] : null;
    const expectedMark = new Array(x.length).fill(null);
    if (base != null) pattern.forEach((p, k) => { if (p >= 0) expectedMark[3 * p + 1] = base * expected[k]; });
    // The features of the compound at the isotope peaks' m/z (each peak's own feature, when it has one).
    const isotopeFeature = new Map();
    pattern.forEach((p, k) => {
      if (p < 0) return;
      const at = (members.get(f.compound[i]) || [i]).find((j) => Math.abs(f.mz[j] - spectrum.x[p]) <= spectrum.x[p] * isotopePpm * 1e-6);
      if (at !== undefined) isotopeFeature.set(k, f.id[at] + (f.ion[at] ? ` ${f.ion[at]}` : ""));
    });
    byId("ms1-info").textContent =
      `scan ${spectrum.scan} at ${spectrum.rt.toFixed(3)} min, m/z ${spectrum.x[0].toFixed(2)}–${spectrum.x[spectrum.x.length - 1].toFixed(2)} (${spectrum.x.length} peaks); charge ${z}`;
    byId("ms1-marks").textContent = pattern
      .map((p, k) => (p < 0 ? `M+${k}: not found` :
        `M+${k} ${spectrum.x[p].toFixed(4)} ${base ? ((100 * spectrum.y[p]) / base).toFixed(1) : "?"} % (expected ${(100 * expected[k]).toFixed(1)} %)` +
        (isotopeFeature.has(k) ? ` = ${isotopeFeature.get(k)}` : "")))
      .join(" · ");
    const always = pattern.filter((p) => p >= 0);
    ms1Chart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 300,
        scales: { x: { time: false }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.12 : 1] } },
        axes: [{ label: "m/z" }, { label: "intensity", size: 80 }],
        series: [
          { label: "m/z", value: (u, v) => (v == null ? "–" : v.toFixed(4)) },
          stickSeries("peaks", "#56606e"),
          pointsOnly("expected", "#7f7f7f", 11, true),
          pointsOnly("ion", "#d62728", 7, false),
          pointsOnly("13C isotopes", "#ff7f0e", 7, false),
        ],
        hooks: { ready: [noteFirstDraw], draw: [peakLabels(spectrum.x, spectrum.y, always)] },
      },
      [x, y, expectedMark, ionMark, isotopeMark],
      holder));
    return { peaks: spectrum.x.length, isotopes: isotopePeaks.length };
  }

  // The linked MS2 spectra of feature i: a list to choose from, the richest first.
  let ms2Chart = null;
  function showMs2(i) {
    const choice = byId("ms2-choice");
    const list = evidence[i].ms2.map((s) => ({ s, total: s.y.reduce((a, b) => a + b, 0) }));
    list.sort((a, b) => b.total - a.total);
    const linked = f.ms2[i];
    choice.innerHTML = list
      .map(({ s, total }, k) => `<option value="${k}">scan ${s.scan} · ${s.rt.toFixed(3)} min · precursor ${s.precursor.toFixed(4)} · total ${total.toExponential(2)}</option>`)
      .join("");
    choice.disabled = list.length === 0;
    const draw = (k) => {
      const holder = byId("ms2");
      if (ms2Chart) ms2Chart.destroy();
      ms2Chart = null;
      if (list.length === 0) {
        byId("ms2-info").textContent = linked > 0 ? `${linked} MS2 spectra linked, ` +
          (data.spectra ? "none in the feature spectra table." : "but no feature spectra given (--spectra).") :
          linked === 0 ? "No MS2 spectrum was linked to this feature." : "MS2 spectra were not linked (torva --compounds).";
        return;
      }
      const s = list[k].s;
      byId("ms2-info").textContent = `scan ${s.scan} at ${s.rt.toFixed(3)} min, precursor m/z ${s.precursor.toFixed(4)}, ${s.x.length} peaks; ` +
        `${list.length} of ${linked ?? list.length} linked spectra on the page`;
      const [x, y] = sticks(s.x, s.y);
      const precursorLine = (u) => {
        const px = u.valToPos(s.precursor, "x", true);
        const ctx = u.ctx;
        ctx.save();
        ctx.strokeStyle = "#d62728";
        ctx.setLineDash([5, 4]);
        ctx.beginPath();
        ctx.moveTo(px, u.bbox.top);
        ctx.lineTo(px, u.bbox.top + u.bbox.height);
        ctx.stroke();
        ctx.restore();
      };
      const low = Math.min(s.x[0] ?? s.precursor, s.precursor) - 5, high = Math.max(s.x[s.x.length - 1] ?? s.precursor, s.precursor) + 5;
      ms2Chart = fitToPanel(new uPlot(
        {
          width: chartWidth(holder),
          height: 300,
          scales: { x: { time: false, range: [low, high] }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.12 : 1] } },
          axes: [{ label: "m/z" }, { label: "intensity", size: 80 }],
          series: [{ label: "m/z", value: (u, v) => (v == null ? "–" : v.toFixed(4)) }, stickSeries("fragments", "#1f5fbf")],
          hooks: { ready: [noteFirstDraw], draw: [precursorLine, peakLabels(s.x, s.y, [])] },
        },
        [x, y],
        holder));
      torvaView.ms2Scan = s.scan;
    };
    choice.onchange = () => draw(Number(choice.value));
    draw(0);
    return list.length;
  }

  // The ions of feature i's compound; a click selects one in the feature table.
  function showIons(i) {
    const ions = f.compound[i] > 0 ? members.get(f.compound[i]) : [i];
    const largest = Math.max(...ions.map((j) => f.area[j]));
    byId("ions-info").textContent = f.compound[i] > 0
      ? `compound ${f.compound[i]}: ${ions.length} ions` + (f.neutralMass[i] > 0 ? `, neutral mass ${f.neutralMass[i].toFixed(5)} Da` : "")
      : "The feature is in no compound (the table was written without --compounds).";
    const ionColumns = [
      { title: "feature", width: 80, isText: true, value: (k) => k, text: (k) => f.id[ions[k]] + (ions[k] === i ? " (selected)" : "") },
      { title: "ion", width: 130, isText: true, value: (k) => ionName(ions[k]), text: (k) => ionName(ions[k]) },
      { title: "m/z", width: 95, value: (k) => f.mz[ions[k]], text: (k) => f.mz[ions[k]].toFixed(5) },
      { title: "charge", width: 60, value: (k) => f.charge[ions[k]], text: (k) => String(f.charge[ions[k]]) },
      { title: "RT (min)", width: 75, value: (k) => f.rt[ions[k]], text: (k) => f.rt[ions[k]].toFixed(3) },
      { title: "% of largest", width: 90, value: (k) => f.area[ions[k]], text: (k) => ((100 * f.area[ions[k]]) / largest).toFixed(1) },
      { title: "MS2", width: 50, value: (k) => ms2Count(ions[k]), text: (k) => (f.ms2[ions[k]] == null ? "" : String(f.ms2[ions[k]])) },
    ];
    makeTable(byId("ions"), ionColumns, ions.length, (k) => {
      if (ions[k] !== i) table.select(ions[k]);
    });
    return ions.length;
  }

  function showFeature(i) {
    const traces = showChromatogram(i);
    const ms1 = showMs1(i);
    const ms2 = showMs2(i);
    const ions = showIons(i);
    torvaView.shown = { feature: i, id: f.id[i], traces, ms1Peaks: ms1.peaks, isotopes: ms1.isotopes, ms2Spectra: ms2, ions };
  }

  // Select a feature with MS2 and a compound of several ions first, when there is one: it shows every panel.
  const rows = table.shownRows();
  const rich = rows.find((i) => f.ms2[i] > 0 && (members.get(f.compound[i]) || []).length > 1);
  if (rows.length > 0) table.select(rich ?? rows[0]);
  torvaView.ready = performance.now();
})();
