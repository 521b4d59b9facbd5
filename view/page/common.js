// Shared by the run and cohort pages: data, the sortable feature table, colours and
// the cell layer that uPlot draws under a heat map.
"use strict";

// What the page has done, for its tests: set up (ready), first chart drawn, feature shown.
const torvaView = (window.torvaView = { ready: null, firstDraw: null, shown: null });

function readPageData() {
  return JSON.parse(document.getElementById("torva-data").textContent);
}

function byId(id) {
  return document.getElementById(id);
}

function escapeHtml(text) {
  return String(text).replace(/[&<>"]/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;" })[c]);
}

// Notes the first chart drawn, for the page's time to first draw.
function noteFirstDraw() {
  if (torvaView.firstDraw === null) torvaView.firstDraw = performance.now();
}

// Chart width that fits the panel holding `element`.
function chartWidth(element) {
  return Math.max(320, Math.floor(element.getBoundingClientRect().width) - 4);
}

// Charts follow the width of their panels when the window is resized.
const fittedCharts = new Set();
let resizePending = false;
window.addEventListener("resize", () => {
  if (resizePending) return;
  resizePending = true;
  requestAnimationFrame(() => {
    resizePending = false;
    for (const chart of fittedCharts) {
      if (!chart.root.isConnected) fittedCharts.delete(chart);
      else chart.setSize({ width: chartWidth(chart.root.parentElement), height: chart.height });
    }
  });
});
function fitToPanel(chart) {
  fittedCharts.add(chart);
  return chart;
}

// A sortable table of `count` rows. columns: {title, value(i) -> number|string,
// text(i) -> string, isText, width in px}. Only the rows in sight of the scrolling box are in the
// document (with spacers standing for the others), so ten thousand rows load, sort
// and filter without delay. The table's data-rows attribute holds the rows it has
// after filtering. onSelect(i) runs on a click.
function makeTable(table, columns, count, onSelect) {
  const head = table.querySelector("thead");
  const body = table.querySelector("tbody");
  const box = table.parentElement;
  const rowHeight = 21;  // px, fixed by the style sheet
  const spare = 20;      // rows rendered beyond each edge of the box
  let order = Array.from({ length: count }, (_, i) => i);
  let keep = () => true;
  let sortColumn = -1;
  let sortDirection = 1;
  let selected = -1;
  let shown = [];
  let pending = false;

  // Fixed layout with given widths: laying out a row never waits for the others.
  head.innerHTML =
    "<tr>" +
    columns.map((c, k) => `<th data-col="${k}" class="${c.isText ? "text" : ""}" style="width:${c.width || 90}px">${escapeHtml(c.title)}</th>`).join("") +
    "</tr>";
  table.style.minWidth = columns.reduce((sum, c) => sum + (c.width || 90), 0) + "px";

  function renderRows() {
    pending = false;
    const visible = Math.ceil((box.clientHeight || 440) / rowHeight);
    const first = Math.max(0, Math.floor(box.scrollTop / rowHeight) - spare);
    const last = Math.min(shown.length, first + visible + 2 * spare);
    let html = first > 0 ? `<tr class="spacer" style="height:${first * rowHeight}px"></tr>` : "";
    for (let r = first; r < last; r++) {
      const i = shown[r];
      let cells = "";
      for (const c of columns) cells += `<td class="${c.isText ? "text" : ""}">${escapeHtml(c.text(i))}</td>`;
      html += `<tr data-i="${i}"${i === selected ? ' class="selected"' : ""}>${cells}</tr>`;
    }
    if (last < shown.length) html += `<tr class="spacer" style="height:${(shown.length - last) * rowHeight}px"></tr>`;
    body.innerHTML = html;
  }

  function render() {
    shown = order.filter(keep);
    table.dataset.rows = String(shown.length);
    renderRows();
  }

  box.addEventListener("scroll", () => {
    if (!pending) {
      pending = true;
      requestAnimationFrame(renderRows);
    }
  });

  head.addEventListener("click", (event) => {
    const th = event.target.closest("th");
    if (!th) return;
    const k = Number(th.dataset.col);
    sortDirection = k === sortColumn ? -sortDirection : 1;
    sortColumn = k;
    const value = columns[k].value;
    const keys = Array.from({ length: count }, (_, i) => value(i));
    order.sort((a, b) => {
      const va = keys[a];
      const vb = keys[b];
      const cmp = va < vb ? -1 : va > vb ? 1 : 0;
      return cmp * sortDirection || a - b;
    });
    for (const cell of head.querySelectorAll("th")) cell.removeAttribute("data-sort");
    th.dataset.sort = String(sortDirection);
    render();
  });

  body.addEventListener("click", (event) => {
    const tr = event.target.closest("tr[data-i]");
    if (tr) api.select(Number(tr.dataset.i));
  });

  const api = {
    setFilter(predicate) {
      keep = predicate;
      render();
    },
    select(i) {
      const previous = body.querySelector("tr.selected");
      if (previous) previous.classList.remove("selected");
      selected = i;
      const row = body.querySelector(`tr[data-i="${i}"]`);
      if (row) row.classList.add("selected");
      onSelect(i);
    },
    shownRows: () => shown.slice(),
  };
  render();
  return api;
}

// Reads the m/z and RT range boxes: a predicate on (mz, rt), true when no box is filled.
function rangeFilter() {
  const read = (id) => {
    const text = byId(id).value.trim();
    return text === "" ? null : Number(text);
  };
  const mzMin = read("mz-min"), mzMax = read("mz-max"), rtMin = read("rt-min"), rtMax = read("rt-max");
  return (mz, rt) =>
    (mzMin === null || mz >= mzMin) && (mzMax === null || mz <= mzMax) &&
    (rtMin === null || rt >= rtMin) && (rtMax === null || rt <= rtMax);
}

// Viridis-like colour for t in [0, 1].
const heatStops = [
  [68, 1, 84], [59, 82, 139], [33, 145, 140], [94, 201, 98], [253, 231, 37],
];
function heatColor(t) {
  const x = Math.min(1, Math.max(0, t)) * (heatStops.length - 1);
  const k = Math.min(heatStops.length - 2, Math.floor(x));
  const f = x - k;
  const a = heatStops[k], b = heatStops[k + 1];
  return `rgb(${Math.round(a[0] + f * (b[0] - a[0]))},${Math.round(a[1] + f * (b[1] - a[1]))},${Math.round(a[2] + f * (b[2] - a[2]))})`;
}

// A heat map drawn under a uPlot chart's series. The cells are painted once into an
// image of `columns` x `rows` pixels (shade(c, r) -> t in [0, 1], or null for none);
// each redraw then scales the image into the chart's own scales: column c spans
// xEdge(c) to xEdge(c + 1) on the x scale, the rows span yLow to yHigh on the y scale,
// row 0 at yLow. So a zoom or resize redraws at once however many cells there are.
function heatLayer(columns, rows, shade, xEdge, yLow, yHigh) {
  const image = document.createElement("canvas");
  image.width = Math.max(1, columns);
  image.height = Math.max(1, rows);
  const g = image.getContext("2d");
  const pixels = g.createImageData(image.width, image.height);
  const colours = Array.from({ length: 256 }, (_, k) => heatColor(k / 255).match(/\d+/g).map(Number));
  for (let c = 0; c < columns; c++)
    for (let r = 0; r < rows; r++) {
      const t = shade(c, r);
      if (t == null) continue;
      const rgb = colours[Math.round(Math.min(1, Math.max(0, t)) * 255)];
      const p = 4 * (r * image.width + c);
      pixels.data[p] = rgb[0];
      pixels.data[p + 1] = rgb[1];
      pixels.data[p + 2] = rgb[2];
      pixels.data[p + 3] = 255;
    }
  g.putImageData(pixels, 0, 0);
  return (u) => {
    const ctx = u.ctx;
    const { left, top, width, height } = u.bbox;
    ctx.save();
    ctx.beginPath();
    ctx.rect(left, top, width, height);
    ctx.clip();
    ctx.imageSmoothingEnabled = false;
    // Rows go to rising or falling pixel positions depending on the scale's direction;
    // when row 0 belongs at the bottom, the image is drawn flipped.
    let p0 = u.valToPos(yLow, "y", true), p1 = u.valToPos(yHigh, "y", true);
    if (p0 > p1) {
      ctx.translate(0, p0 + p1);
      ctx.scale(1, -1);
      [p0, p1] = [p1, p0];
    }
    for (let c = 0; c < columns; c++) {
      const x0 = u.valToPos(xEdge(c), "x", true), x1 = u.valToPos(xEdge(c + 1), "x", true);
      if (x1 < left || x0 > left + width) continue;
      ctx.drawImage(image, c, 0, 1, rows, x0, p0, Math.max(1, x1 - x0), p1 - p0);
    }
    ctx.restore();
  };
}

// Series settings that draw points only.
function pointsOnly(label, colour, size, hollow) {
  return {
    label,
    stroke: colour,
    paths: () => null,
    points: { show: true, size, stroke: colour, fill: hollow ? "#fff" : colour, width: hollow ? 1.5 : 1 },
  };
}
