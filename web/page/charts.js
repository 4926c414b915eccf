// The meter's chart: every interval of the range on the axis, a gap where
// the store holds no value, and the points drawn listed in a table.
"use strict";

const QUANTITY_GROUPS = {
  heat: { names: ["W1", "W2"], title: "Тепло" },
  flows: { names: ["M1", "M2", "M3", "M4"], title: "Расходы" },
  temperatures: { names: ["T1", "T2", "T3", "T4"], title: "Температуры" },
  pressures: { names: ["P1", "P2", "P3", "P4"], title: "Давления" },
};
const COLOURS = ["#c0392b", "#2471a3", "#229954", "#a569bd"];
const UNITS = { "degC": "°C", "t/h": "т/ч", "m3/h": "м³/ч", "MPa": "МПа", "Gcal": "Гкал",
  "GJ": "ГДж", "MWh": "МВт·ч", "h": "ч" };

function isoDay(d) {
  const p = (n) => String(n).padStart(2, "0");
  return d.getFullYear() + "-" + p(d.getMonth() + 1) + "-" + p(d.getDate());
}

// The keys of every interval from `from` to `to` (ISO days, both included):
// "YYYY-MM-DDTHH:00" for hours, "YYYY-MM-DD" for days.
function intervalKeys(kind, from, to) {
  const keys = [];
  const day = new Date(from + "T00:00:00");
  const last = new Date(to + "T00:00:00");
  while (day <= last) {
    const d = isoDay(day);
    if (kind === "hourly") {
      for (let h = 0; h < 24; ++h) keys.push(d + "T" + String(h).padStart(2, "0") + ":00");
    } else {
      keys.push(d);
    }
    day.setDate(day.getDate() + 1);
  }
  return keys;
}

// The records of the history's answer by their start.
function recordsByStart(history) {
  const byStart = new Map();
  for (const meter of history.meters)
    for (const period of meter.exports)
      for (const r of period.records) byStart.set(r.dateTime, r);
  return byStart;
}

// The series of the group: per quantity its value at each key, null where
// the store has none.
function seriesOf(history, kind, from, to, group) {
  const keys = intervalKeys(kind, from, to);
  const byStart = recordsByStart(history);
  const units = {};
  const series = QUANTITY_GROUPS[group].names.map((name) => ({
    name,
    values: keys.map((k) => {
      const r = byStart.get(k);
      const q = r && r.quantities.find((x) => x.name === name);
      if (q) units[name] = q.unit;
      return q && q.value !== null ? q.value : null;
    }),
  }));
  for (const s of series) s.unit = units[s.name] || "";
  return { keys, series };
}

let currentChart = null;

// Draws the series on the canvas (when Chart.js is there) and lists the
// points the chart holds in `table`; the number of points with a value.
function drawSeries(canvas, table, data, note) {
  const labels = data.keys.map((k) => k.replace("T", " "));
  const datasets = data.series.map((s, i) => ({
    label: s.name + (s.unit ? ", " + (UNITS[s.unit] || s.unit) : ""),
    data: s.values,
    borderColor: COLOURS[i % COLOURS.length],
    backgroundColor: COLOURS[i % COLOURS.length],
    spanGaps: false,
    pointRadius: labels.length > 200 ? 0 : 2,
    borderWidth: 1.5,
  }));
  if (currentChart) currentChart.destroy();
  currentChart = null;
  if (window.Chart) {
    currentChart = new window.Chart(canvas, {
      type: "line",
      data: { labels, datasets },
      options: { animation: false, maintainAspectRatio: false, interaction: { mode: "index", intersect: false },
        scales: { x: { ticks: { maxTicksLimit: 14 } } } },
    });
  } else {
    note.textContent = "Графики недоступны: на сервере нет Chart.js (пакет libjs-chart.js). Точки — в таблице ниже.";
  }
  const shown = currentChart ? currentChart.data : { labels, datasets };
  pointTable(table, shown);
  return shown.datasets.reduce((n, d) => n + d.data.filter((v) => v !== null).length, 0);
}

// The chart's points: a row per interval that has a value, a column per series.
function pointTable(table, shown) {
  table.replaceChildren();
  const head = table.insertRow();
  for (const h of ["Интервал", ...shown.datasets.map((d) => d.label)]) {
    const th = document.createElement("th");
    th.textContent = h;
    head.appendChild(th);
  }
  shown.labels.forEach((label, i) => {
    if (shown.datasets.every((d) => d.data[i] === null)) return;
    const row = table.insertRow();
    row.className = "point";
    row.insertCell().textContent = label;
    for (const d of shown.datasets) {
      const cell = row.insertCell();
      cell.className = "number";
      cell.textContent = d.data[i] === null ? "—" : String(d.data[i]);
    }
  });
}
