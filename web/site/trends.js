// SPDX-License-Identifier: GPL-3.0-or-later
// The trends page: the archive's power, wind and battery over a range, the
// energy by day and by month, and the power curve, drawn by uPlot. Each
// chart's box tells the number of points drawn in data-points.
"use strict";

(() => {
  const $ = id => document.getElementById(id);
  const charts = {};
  const two = n => String(n).padStart(2, "0");

  async function get(url) {
    const r = await fetch(url, {cache: "no-store"});
    if (r.status === 401 || r.redirected && new URL(r.url).pathname === "/login") {
      location.assign("/login");
      throw new Error("The password is asked for.");
    }
    const body = await r.json();
    if (!r.ok) throw new Error(body.error || `The program answered ${r.status}.`);
    return body;
  }

  function message(box, text, error) {
    if (charts[box.id]) { charts[box.id].destroy(); delete charts[box.id]; }
    const p = document.createElement("p");
    p.className = error ? "empty error" : "empty";
    p.textContent = text;
    box.replaceChildren(p);
    box.dataset.points = "0";
  }

  function size(box) {
    const w = Math.max(300, box.clientWidth - 8);
    return {width: w, height: Math.round(Math.min(360, Math.max(200, w * 0.45)))};
  }

  function draw(id, opts, data) {
    const box = $(id);
    if (charts[id]) charts[id].destroy();
    box.replaceChildren();
    charts[id] = new uPlot(Object.assign(opts, size(box)), data, box);
    box.dataset.points = String(data[0].length);
  }

  addEventListener("resize", () => {
    for (const id in charts) charts[id].setSize(size($(id)));
  });

  const bars = uPlot.paths.bars({size: [0.7, 40]});
  const seconds = t => Date.parse(t) / 1000;
  const mean = s => s ? s.mean : null;

  // ---- power, wind and battery over a range
  async function range(days) {
    const box = $("series");
    for (const b of document.querySelectorAll("#ranges button"))
      b.setAttribute("aria-pressed", String(b.dataset.days === days));
    const now = Math.floor(Date.now() / 1000);
    // "All": as many days as one answer holds.
    const from = days === "all" ? now - 19999 * 86400 : now - Number(days) * 86400;
    const step = days === "all" ? "&step=day" : "";
    let answer;
    try {
      answer = await get(`/api/series?from=${from}&to=${now}${step}&fields=watts,wind,volts`);
    } catch (e) {
      return message(box, e.message, true);
    }
    const rows = answer.rows.filter(r => r.minutes > 0);
    if (!rows.length)
      return message(box, "The archive has nothing for this range yet.");
    const last = rows[rows.length - 1];
    const windUnit = last.windMps ? "m/s" : last.windUnit;
    draw("series", {
      cursor: {drag: {x: true, y: false}},
      scales: {W: {}, wind: {}, V: {}},
      series: [
        {},
        {label: "Power mean (W)", scale: "W", stroke: "#3030c0", width: 2, value: (u, v) => v === null ? "\u2013" : v.toFixed(0)},
        {label: "Power max (W)", scale: "W", stroke: "#9090e0", width: 1, value: (u, v) => v === null ? "\u2013" : v.toFixed(0)},
        {label: `Wind (${windUnit})`, scale: "wind", stroke: "#606060", width: 1.5, value: (u, v) => v === null ? "\u2013" : v.toFixed(1)},
        {label: "Battery (V)", scale: "V", stroke: "#c00000", width: 1.5, value: (u, v) => v === null ? "\u2013" : v.toFixed(2)},
      ],
      axes: [{}, {scale: "W", label: "W"}, {scale: "wind", side: 1, label: windUnit, grid: {show: false}},
             {scale: "V", side: 1, label: "V", grid: {show: false}}],
    }, [rows.map(r => seconds(r.t)), rows.map(r => mean(r.watts)), rows.map(r => r.watts ? r.watts.max : null),
        rows.map(r => mean(r.wind)), rows.map(r => mean(r.volts))]);
  }
  for (const b of document.querySelectorAll("#ranges button"))
    b.addEventListener("click", () => range(b.dataset.days));

  // ---- energy by day, a month at a time
  const today = new Date();
  let month = {y: today.getFullYear(), m: today.getMonth() + 1};
  // Bars over a fixed span (uPlot would stretch one bar's span to years).
  const energyOpts = (label, from, to) => ({
    cursor: {drag: {x: true, y: false}},
    scales: {x: {time: true, range: [from, to]}, y: {range: (u, min, max) => [0, max > 0 ? max * 1.1 : 1000]}},
    series: [{}, {label, stroke: "#a000a0", fill: "rgba(255,0,255,0.45)", paths: bars, points: {show: false},
                  value: (u, v) => v === null ? "\u2013" : (v / 1000).toFixed(2)}],
    axes: [{}, {label: "kWh", values: (u, vals) => vals.map(v => (v / 1000).toFixed(1))}],
  });
  async function days() {
    const text = `${month.y}-${two(month.m)}`;
    $("month").textContent = new Date(month.y, month.m - 1, 1).toLocaleDateString(undefined, {month: "long", year: "numeric"});
    const box = $("days");
    let answer;
    try {
      answer = await get(`/api/days?month=${text}`);
    } catch (e) {
      return message(box, e.message, true);
    }
    if (!answer.days.length)
      return message(box, "The archive has no days in this month.");
    const x = answer.days.map(d => new Date(d.date + "T12:00:00").getTime() / 1000);
    const start = new Date(month.y, month.m - 1, 1).getTime() / 1000, end = new Date(month.y, month.m, 1).getTime() / 1000;
    draw("days", energyOpts("Energy (kWh)", start, end), [x, answer.days.map(d => d.energyWh)]);
  }
  $("month-back").addEventListener("click", () => {
    month = month.m === 1 ? {y: month.y - 1, m: 12} : {y: month.y, m: month.m - 1};
    days();
  });
  $("month-on").addEventListener("click", () => {
    month = month.m === 12 ? {y: month.y + 1, m: 1} : {y: month.y, m: month.m + 1};
    days();
  });

  // ---- energy by month, from the days of the last three years
  async function months() {
    const box = $("months");
    const now = Math.floor(Date.now() / 1000);
    let answer;
    try {
      answer = await get(`/api/series?from=${now - 1096 * 86400}&to=${now}&step=day&fields=energy`);
    } catch (e) {
      return message(box, e.message, true);
    }
    const sums = new Map();
    for (const r of answer.rows) {
      const key = r.t.slice(0, 7);
      sums.set(key, (sums.get(key) || 0) + r.energyWh);
    }
    if (!sums.size)
      return message(box, "The archive has no days yet.");
    const keys = [...sums.keys()].sort();
    const x = keys.map(k => new Date(k + "-15T12:00:00").getTime() / 1000);
    // A year at least, so a new archive's one month is a bar, not a wall.
    const from = Math.min(x[0], now - 335 * 86400) - 16 * 86400;
    draw("months", energyOpts("Energy (kWh)", from, now + 16 * 86400), [x, keys.map(k => sums.get(k))]);
  }

  // ---- the power curve, with the certified one when the program has one
  async function curve() {
    const box = $("curve");
    let answer;
    try {
      answer = await get("/api/powercurve");
    } catch (e) {
      return message(box, e.message, true);
    }
    const certified = answer.certified || [];
    if (!answer.bins.length && !certified.length)
      return message(box, "No power curve has been measured yet.");
    const winds = [...new Set([...answer.bins.map(b => b.wind), ...certified.map(c => c.wind)])].sort((a, b) => a - b);
    const measured = new Map(answer.bins.map(b => [b.wind, b.meanWatts]));
    const series = [{label: `Wind (${answer.unit})`, value: (u, v) => v === null ? "\u2013" : v.toFixed(1)},
                    {label: "Measured (W)", stroke: "#3030c0", width: 2, spanGaps: true, points: {show: true, size: 6}}];
    const data = [winds, winds.map(w => measured.has(w) ? measured.get(w) : null)];
    if (certified.length) {
      const c = new Map(certified.map(p => [p.wind, p.watts]));
      series.push({label: "Certified (W)", stroke: "#c06000", width: 2, dash: [6, 4], spanGaps: true});
      data.push(winds.map(w => c.has(w) ? c.get(w) : null));
    }
    draw("curve", {scales: {x: {time: false}}, cursor: {drag: {x: true, y: false}}, series,
                   axes: [{label: answer.unit}, {label: "W"}]}, data);
  }

  range("1");
  days();
  months();
  curve();
})();
