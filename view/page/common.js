// Shared by the run and cohort pages: data, the sortable feature table, colours and
// the cell layer that uPlot draws under a heat map.
"use strict";

const torvaView = (window.torvaView = { firstDraw: null, shown: null });

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

// A sortable table of `count` rows. columns: {title, value(i) -> number|string,
// text(i) -> string, isText}. Rows are rendered as one HTML string per change, so
// ten thousand rows sort and filter without delay. onSelect(i) runs on a click.
function makeTable(table, columns, count, onSelect) {
  const head = table.querySelector("thead");
  const body = table.querySelector("tbody");
  let order = Array.from({ length: count }, (_, i) => i);
  let keep = () => true;
  let sortColumn = -1;
  let sortDirection = 1;
  let selected = -1;
  let shown = [];

  head.innerHTML =
    "<tr>" +
    columns.map((c, k) => `<th data-col="${k}" class="${c.isText ? "text" : ""}">${escapeHtml(c.title)}</th>`).join("") +
    "</tr>";

  function render() {
    shown = order.filter(keep);
    const rows = new Array(shown.length);
    for (let r = 0; r < shown.length; r++) {
      const i = shown[r];
      let cells = "";
      for (const c of columns) cells += `<td class="${c.isText ? "text" : ""}">${escapeHtml(c.text(i))}</td>`;
      rows[r] = `<tr data-i="${i}"${i === selected ? ' class="selected"' : ""}>${cells}</tr>`;
    }
    body.innerHTML = rows.join("");
  }

  head.addEventListener("click", (event) => {
    const th = event.target.closest("th");
    if (!th) return;
    const k = Number(th.dataset.col);
    sortDirection = k === sortColumn ? -sortDirection : 1;
    sortColumn = k;
    const value = columns[k].value;
    order.sort((a, b) => {
      const va = value(a);
      const vb = value(b);
      const cmp = va < vb ? -1 : va > vb ? 1 : 0;
      return cmp * sortDirection || a - b;
    });
    for (const cell of head.querySelectorAll("th")) cell.removeAttribute("data-sort");
    th.dataset.sort = String(sortDirection);
    render();
  });

  body.addEventListener("click", (event) => {
    const tr = event.target.closest("tr");
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

// A uPlot hook that fills heat-map cells under the series, in the chart's own
// scales: cells(visit) calls visit(x0, x1, y0, y1, t) for each cell, t in [0, 1].
function cellLayer(xScale, yScale, cells) {
  return (u) => {
    const ctx = u.ctx;
    const { left, top, width, height } = u.bbox;
    ctx.save();
    ctx.beginPath();
    ctx.rect(left, top, width, height);
    ctx.clip();
    cells((x0, x1, y0, y1, t) => {
      const px0 = u.valToPos(x0, xScale, true), px1 = u.valToPos(x1, xScale, true);
      const py0 = u.valToPos(y0, yScale, true), py1 = u.valToPos(y1, yScale, true);
      ctx.fillStyle = heatColor(t);
      ctx.fillRect(Math.min(px0, px1), Math.min(py0, py1), Math.max(1, Math.abs(px1 - px0)), Math.max(1, Math.abs(py1 - py0)));
    });
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
