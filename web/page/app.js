// The dispatcher's page: the last round, the meters with abnormal
// situations, the meters, and one meter's chart and consumption, all from
// the store's API (/api/...).
"use strict";

const RESULTS = { "read": "прочитан", "busy": "занято", "no answer": "нет ответа",
  "no carrier": "обрыв связи", "no dial tone": "нет гудка", "error": "ошибка модема",
  "no connect": "нет соединения", "not read": "не прочитан", "stopped": "остановлен" };
const KINDS = { hourly: "час", daily: "сутки", monthly: "месяц" };
const byId = (id) => document.getElementById(id);
let meters = [];

async function api(path) {
  const response = await fetch(path, { headers: { Accept: "application/json" } });
  if (response.status === 401) {
    window.location.assign("/login");
    throw new Error("нужен ключ доступа");
  }
  const body = await response.json().catch(() => ({}));
  if (!response.ok) {
    const error = new Error(body.error || "ответ " + response.status);
    error.status = response.status;
    throw error;
  }
  return body;
}

function cell(row, text, className) {
  const c = row.insertCell();
  c.textContent = text === null || text === undefined || text === "" ? "—" : String(text);
  if (className) c.className = className;
  return c;
}

function heading(table, titles) {
  table.replaceChildren();
  const row = table.insertRow();
  for (const t of titles) {
    const th = document.createElement("th");
    th.textContent = t;
    row.appendChild(th);
  }
}

function meterLink(c, serial) {
  if (serial === null) return;
  const a = document.createElement("a");
  a.href = "#meter=" + serial;
  a.textContent = String(serial);
  c.replaceChildren(a);
}

function link(parent, href, text) {
  const a = document.createElement("a");
  a.href = href;
  a.textContent = text;
  parent.appendChild(a);
}

function dateTime(text) {
  return text ? text.replace("T", " ") : "—";
}

async function showRound() {
  const summary = byId("round-summary");
  try {
    const r = await api("/api/rounds/last");
    const round = r.round;
    summary.textContent = "Обход " + round.id + ": " + dateTime(round.started) + " — " +
      dateTime(round.ended) + ". Прочитано узлов: " + round.nodesRead + " из " +
      (round.nodesRead + round.nodesFailed) + "; счётчиков с нештатными ситуациями: " +
      round.metersWithAlarms + ".";
    const table = byId("round-nodes");
    heading(table, ["Узел", "Название", "Телефон", "Счётчик", "Итог", "Попыток", "Причина",
      "Что прочитано", "Нештатных"]);
    for (const n of r.nodes) {
      const row = table.insertRow();
      row.className = n.result === "read" ? "node" : "node failed";
      row.dataset.node = n.node;
      cell(row, n.node, "number");
      cell(row, n.name);
      cell(row, n.phone);
      meterLink(cell(row, n.serial, "number"), n.serial);
      cell(row, RESULTS[n.result] || n.result, "result");
      cell(row, n.attempts, "number");
      cell(row, n.message, "cause");
      cell(row, n.whatRead);
      cell(row, n.abnormal, "number");
    }
    const links = byId("round-links");
    links.replaceChildren();
    link(links, "/api/rounds/" + round.id + "?format=csv", "Узлы обхода (CSV)");
    link(links, "/api/alarms?round=" + round.id + "&format=csv", "Нештатные ситуации обхода (CSV)");
  } catch (e) {
    summary.textContent = e.status === 404 ? "В базе ещё нет обходов." : "Ошибка: " + e.message;
  }
}

// The intervals with abnormal situations, a row per meter.
async function showAlarms() {
  const note = byId("alarms-note");
  try {
    const r = await api("/api/alarms");
    const perMeter = new Map();
    for (const a of r.alarms) {
      const m = perMeter.get(a.serial) || { first: a, count: 0, codes: new Map() };
      m.count += 1;
      for (const ch of a.channels) for (const c of ch.codes) m.codes.set(c.code, c.text);
      perMeter.set(a.serial, m);
    }
    note.textContent = perMeter.size === 0
      ? "С " + r.from + " по " + r.to + " нештатных ситуаций нет."
      : "С " + r.from + " по " + r.to + ": счётчиков — " + perMeter.size + ", интервалов — " + r.alarms.length + ".";
    const table = byId("alarm-meters");
    heading(table, ["Счётчик", "Узел", "Название", "Интервалов", "Последний", "Коды"]);
    for (const [serial, m] of perMeter) {
      const row = table.insertRow();
      row.className = "alarm";
      row.dataset.serial = serial;
      meterLink(cell(row, serial, "number"), serial);
      cell(row, m.first.node, "number");
      cell(row, m.first.name);
      cell(row, m.count, "number");
      cell(row, dateTime(m.first.start) + " (" + (KINDS[m.first.kind] || m.first.kind) + ")");
      const codes = cell(row, [...m.codes.keys()].join(" "), "codes");
      codes.title = [...m.codes.entries()].map(([c, t]) => c + ": " + t).join("\n");
    }
  } catch (e) {
    note.textContent = "Ошибка: " + e.message;
  }
}

async function showMeters() {
  const note = byId("meters-note");
  try {
    meters = (await api("/api/meters")).rows;
    note.textContent = meters.length === 0 ? "В базе ещё нет счётчиков." : "Счётчиков: " + meters.length + ".";
    const table = byId("meter-list");
    heading(table, ["Счётчик", "Узел", "Название", "Последний визит", "Итог визита"]);
    for (const m of meters) {
      const row = table.insertRow();
      meterLink(cell(row, m.serial, "number"), m.serial);
      cell(row, m.node, "number");
      cell(row, m.name);
      cell(row, dateTime(m.lastVisit));
      cell(row, m.lastOutcome);
    }
  } catch (e) {
    note.textContent = "Ошибка: " + e.message;
  }
}

function chosenRange() {
  const to = byId("meter-to").value;
  const from = new Date(to + "T00:00:00");
  from.setDate(from.getDate() - Number(byId("meter-days").value) + 1);
  return { from: isoDay(from), to };
}

async function showMeterChart(serial) {
  const kind = byId("meter-kind").value;
  const { from, to } = chosenRange();
  const query = "serial=" + serial + "&from=" + from + "&to=" + to;
  const note = byId("meter-note");
  note.textContent = "Загрузка…";
  const links = byId("meter-links");
  links.replaceChildren();
  link(links, "/api/history?" + query + "&kind=" + kind + "&format=csv", "Записи архива (CSV)");
  try {
    const history = await api("/api/history?" + query + "&kind=" + kind);
    const data = seriesOf(history, kind, from, to, byId("meter-quantity").value);
    note.textContent = "";
    const points = drawSeries(byId("meter-chart"), byId("chart-points"), data, note);
    if (!note.textContent) {
      note.textContent = points === 0 ? "За эти дни в базе нет записей этого счётчика." :
        "С " + from + " по " + to + "; пропуски — интервалы, которых в базе нет.";
    }
  } catch (e) {
    note.textContent = "Ошибка: " + e.message;
  }
  showConsumption(serial, query);
}

async function showConsumption(serial, query) {
  const note = byId("consumption-note");
  const links = byId("consumption-links");
  links.replaceChildren();
  link(links, "/api/consumption?" + query + "&format=csv", "Потребление (CSV)");
  try {
    const r = await api("/api/consumption?" + query);
    const table = byId("consumption");
    table.replaceChildren();
    note.textContent = r.rows.length === 0 ? "За эти дни в базе нет данных о потреблении." : "";
    if (r.rows.length === 0) return;
    const columns = Object.keys(r.rows[0]).filter((k) => !["serial", "node", "name"].includes(k));
    heading(table, columns.map((c) => (c === "period" ? "День" : c === "source" ? "Источник" : c)));
    for (const row of r.rows) {
      const tr = table.insertRow();
      for (const c of columns) cell(tr, row[c], typeof row[c] === "number" ? "number" : "");
    }
  } catch (e) {
    note.textContent = "Ошибка: " + e.message;
  }
}

function showMeter(serial) {
  const m = meters.find((x) => String(x.serial) === serial);
  byId("meter-title").textContent = "Счётчик " + serial +
    (m && m.node !== null ? ", узел " + m.node + (m.name ? " — " + m.name : "") : "");
  showMeterChart(serial);
}

async function route() {
  const match = /^#meter=(\d{1,18})$/.exec(window.location.hash);
  byId("overview").classList.toggle("hidden", Boolean(match));
  byId("meter").classList.toggle("hidden", !match);
  if (match) {
    if (meters.length === 0) await showMeters();
    showMeter(match[1]);
  }
}

function start() {
  const yesterday = new Date();
  yesterday.setDate(yesterday.getDate() - 1);
  byId("meter-to").value = isoDay(yesterday);
  byId("today").textContent = "на " + new Date().toLocaleString("ru-RU");
  for (const id of ["meter-kind", "meter-quantity", "meter-to", "meter-days"]) {
    byId(id).addEventListener("change", () => route());
  }
  window.addEventListener("hashchange", () => route());
  Promise.all([showRound(), showAlarms(), showMeters()]).then(route);
}

start();
