// Run page: feature table, chromatogram of the selected feature, binned map, run figures.
"use strict";

(function runPage() {
  const timings = (torvaView.timings = {});
  let mark = performance.now();
  const lap = (name) => {
    const now = performance.now();
    timings[name] = now - mark;
    mark = now;
  };
  const data = readPageData();
  lap("data");
  const f = data.features;
  const count = f.mass.length;
  const numbers = data.numbers;
  // Other features of the channel drawn faintly next to the selected one, at most.
  const maxNeighbours = 12;

  byId("title").textContent = "TORVA run: " + (numbers.input || numbers.summary);
  byId("subtitle").textContent = `${count} features` + (numbers.options ? ` · torva ${numbers.options}` : "");

  // The run in numbers.
  const rows = [
    ["input", numbers.input ?? "not given (--run-input)"],
    ["options", numbers.options ?? "not given (--run-options)"],
    ["summary report", numbers.summary],
    ["transition report", numbers.transitions ?? "not given"],
    ["binned map", numbers.map ?? "not given"],
    ["spectra", numbers.spectra ?? "no map given"],
    ["spectra in channels", numbers.channelSpectra ?? "no transition report given"],
    ["channels", numbers.channels ?? "no transition report given"],
    ["chromatograms", numbers.chromatograms ?? "no transition report given"],
    ["features", numbers.features],
  ];
  if (numbers.unmatched) rows.push(["features without a trace", numbers.unmatched]);
  byId("numbers").innerHTML = rows.map(([k, v]) => `<dt>${escapeHtml(k)}</dt><dd>${escapeHtml(v)}</dd>`).join("");

  // Feature table.
  const labels = [...new Set(f.label)];
  byId("channel-filter").innerHTML +=
    labels.map((l) => `<option value="${escapeHtml(l)}">${escapeHtml(l)}</option>`).join("");
  const columns = [
    { title: "#", width: 50, value: (i) => i, text: (i) => String(i + 1) },
    { title: "m/z", width: 95, value: (i) => f.mass[i], text: (i) => f.mass[i].toFixed(5) },
    { title: "RT (min)", width: 80, value: (i) => f.rt[i], text: (i) => f.rt[i].toFixed(5) },
    { title: "area", width: 125, value: (i) => f.area[i], text: (i) => f.area[i].toFixed(2) },
    { title: "apex scan", width: 80, value: (i) => f.apex[i], text: (i) => String(f.apex[i]) },
    { title: "start scan", width: 80, value: (i) => f.start[i], text: (i) => String(f.start[i]) },
    { title: "end scan", width: 75, value: (i) => f.end[i], text: (i) => String(f.end[i]) },
    { title: "channel", width: 200, value: (i) => f.label[i], text: (i) => f.label[i], isText: true },
  ];
  const table = makeTable(byId("features"), columns, count, showChromatogram);
  function applyFilter() {
    const inRange = rangeFilter();
    const channel = byId("channel-filter").value;
    table.setFilter((i) => inRange(f.mass[i], f.rt[i]) && (channel === "" || f.label[i] === channel));
    byId("shown").textContent = `${table.shownRows().length} of ${count} shown`;
  }
  for (const id of ["mz-min", "mz-max", "rt-min", "rt-max", "channel-filter"]) byId(id).addEventListener("input", applyFilter);
  applyFilter();
  lap("table");

  // Chromatogram of feature i.
  let chromChart = null;
  function showChromatogram(i) {
    const holder = byId("chrom");
    if (chromChart) chromChart.destroy();
    chromChart = null;
    const info = byId("chrom-info");
    const what = `m/z ${f.mass[i].toFixed(5)}, RT ${f.rt[i].toFixed(3)} min, scans ${f.start[i]}–${f.end[i]} (apex ${f.apex[i]}), channel ${f.label[i]}`;
    const c = f.channel[i];
    if (c < 0) {
      info.textContent = what + (numbers.transitions ? ": its chromatogram is not in the transition report." : ": no transition report given.");
      torvaView.shown = { feature: i, drawn: false };
      return;
    }
    info.textContent = what;
    const from = f.sliceStart[i];
    const trace = f.trace[i];
    const to = from + trace.length - 1;
    const x = data.channels[c].times.slice(from, to + 1);
    const shade = trace.map((v, k) => (from + k >= f.startIndex[i] && from + k <= f.endIndex[i] ? v : null));
    const apex = trace.map((v, k) => (from + k === f.apexIndex[i] ? v : null));
    // Neighbours: features of the same channel whose apex lies in this window, nearest first.
    const neighbours = [];
    for (let j = 0; j < count; j++) {
      if (j === i || f.channel[j] !== c || f.apexIndex[j] < from || f.apexIndex[j] > to) continue;
      neighbours.push(j);
    }
    neighbours.sort((a, b) => Math.abs(f.apexIndex[a] - f.apexIndex[i]) - Math.abs(f.apexIndex[b] - f.apexIndex[i]));
    neighbours.length = Math.min(neighbours.length, maxNeighbours);
    const neighbourData = neighbours.map((j) =>
      x.map((_, k) => {
        const at = from + k - f.sliceStart[j];
        return at >= 0 && at < f.trace[j].length ? f.trace[j][at] : null;
      }));
    const series = [
      { label: "RT (min)", value: (u, v) => (v == null ? "–" : v.toFixed(2)) },
      ...neighbours.map((j) => ({ label: `m/z ${f.mass[j].toFixed(4)}`, stroke: "rgba(90,100,115,0.35)", width: 1, show: true })),
      { label: `m/z ${f.mass[i].toFixed(4)}`, stroke: "#1f5fbf", width: 1.5 },
      { label: "integrated", stroke: "rgba(31,95,191,0.6)", fill: "rgba(31,95,191,0.22)", width: 0, fillTo: 0 },
      pointsOnly("apex", "#d62728", 9, false),
    ];
    chromChart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 330,
        scales: { x: { time: false }, y: { range: (u, min, max) => [0, max > 0 ? max * 1.05 : 1] } },
        axes: [{ label: "RT (min)" }, { label: "intensity", size: 90 }],
        series,
        legend: { live: true },
        hooks: { ready: [noteFirstDraw] },
      },
      [x, ...neighbourData, trace, shade, apex],
      holder));
    // The faint lines stay out of the legend; it names the feature, its range and apex.
    const legendRows = chromChart.root.querySelectorAll(".u-legend .u-series");
    for (let k = 1; k <= neighbours.length && k < legendRows.length; k++) legendRows[k].style.display = "none";
    torvaView.chromChart = chromChart;
    torvaView.shown = {
      feature: i,
      drawn: true,
      startScan: f.start[i],
      endScan: f.end[i],
      shadeFrom: x[f.startIndex[i] - from],
      shadeTo: x[f.endIndex[i] - from],
      apexAt: x[f.apexIndex[i] - from],
      neighbours: neighbours.length,
      points: x.length,
    };
  }

  // Binned map with the features as points.
  function showMap() {
    const map = data.map;
    const holder = byId("map");
    if (!map) {
      byId("map-info").textContent = "No binned map given (--map).";
      return;
    }
    const rows = map.rowTime.length;
    byId("map-info").textContent =
      `${map.spectra} spectra` + (rows < map.spectra ? `, merged into ${rows} rows (highest value kept)` : "") +
      `; colour: log10 intensity; times read in ${map.unit === "s" ? "seconds" : "minutes"}.`;
    if (rows === 0 || map.binLow.length === 0) return;
    const step = rows > 1 ? (map.rowTime[rows - 1] - map.rowTime[0]) / (rows - 1) : 0.01;
    const binWidth = map.binLow.length > 1 ? map.binLow[1] - map.binLow[0] : 1;
    const bins = map.binLow.length;
    const grid = new Float32Array(rows * bins).fill(NaN);
    let low = Infinity, high = -Infinity;
    for (let k = 0; k < map.cells.length; k += 3) {
      const v = Math.log10(map.cells[k + 2]);
      grid[map.cells[k] * bins + map.cells[k + 1]] = v;
      if (v < low) low = v;
      if (v > high) high = v;
    }
    const span = high > low ? high - low : 1;
    const layer = heatLayer(rows, bins, (r, b) => (Number.isNaN(grid[r * bins + b]) ? null : (grid[r * bins + b] - low) / span),
      (r) => (r < rows ? map.rowTime[r] : map.rowTime[rows - 1] + step), map.binLow[0], map.binLow[bins - 1] + binWidth);
    const byRt = Array.from({ length: count }, (_, i) => i).sort((a, b) => f.rt[a] - f.rt[b]);
    const masses = byRt.map((i) => f.mass[i]);
    const mzLow = Math.min(map.binLow[0], ...masses);
    const mzHigh = Math.max(map.binLow[map.binLow.length - 1] + binWidth, ...masses);
    torvaView.mapChart = fitToPanel(new uPlot(
      {
        width: chartWidth(holder),
        height: 380,
        scales: {
          x: { time: false, range: [map.rowTime[0], map.rowTime[rows - 1] + step] },
          y: { range: [mzLow, mzHigh] },
        },
        axes: [{ label: "RT (min)" }, { label: "m/z", size: 60 }],
        series: [{ label: "RT (min)" }, pointsOnly("features", "#ff4f4f", 6, true)],
        cursor: { drag: { x: true, y: true } },
        hooks: { drawClear: [layer], ready: [noteFirstDraw] },
      },
      [byRt.map((i) => f.rt[i]), masses],
      holder));
  }

  if (count > 0) table.select(table.shownRows()[0]);
  lap("chromatogram");
  showMap();
  lap("map");
  torvaView.ready = performance.now();
})();
