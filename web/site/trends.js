// SPDX-License-Identifier: GPL-3.0-or-later
// The trends page: the archive's power, wind and battery over a range, the
// energy by day and by month, and the power curve, drawn by uPlot from the
// columns of /api/series (nulls where the archive has nothing, so a line
// breaks there rather than bridging hours without data). Each chart's box
// tells the number of rows with data in data-points; under each, its
// figures as text (ChartText) for whoever does not see the chart.
"use strict";

(() => {
  const {$, charts, get, message, draw, dash} = Page;
  // The charts drawn, for whoever inspects the page.
  window.trendCharts = charts;
  const fixed = d => (u, v) => Page.fixed(v, d);
  // Minutes from the daily logs: interval maxima, not means.
  const logsFill = "rgba(255,160,0,0.28)", logsLine = "#b06000";
  const bars = Page.bars();

  // The spans of rows from the daily logs, shaded under the lines.
  function shadeLogs(u) {
    const logs = u.data[u.data.length - 1], t = u.data[0], step = u.logsStep;
    if (!u.logsSeries || !u.series[u.logsSeries].show) return;
    const ctx = u.ctx, {top, height} = u.bbox;
    ctx.save();
    ctx.fillStyle = logsFill;
    for (let i = 0; i < t.length; ++i) {
      if (!logs[i]) continue;
      let j = i;
      while (j + 1 < t.length && logs[j + 1] && t[j + 1] - t[j] <= step * 1.5) ++j;
      const x0 = u.valToPos(t[i], "x", true), x1 = u.valToPos(t[j] + step, "x", true);
      ctx.fillRect(x0, top, Math.max(1, x1 - x0), height);
      i = j;
    }
    ctx.restore();
  }

  // ---- power, wind and battery over a range
  // Which quantities are drawn: on a wide screen any of them, each with its
  // axis; on a narrow one a single one, so its chart keeps its width.
  const narrow = () => $("series").clientWidth < 600;
  let drawn = {W: true, wind: true, V: true}, shown = null;
  function fitDrawn() {
    const on = Object.keys(drawn).filter(k => drawn[k]);
    if (narrow() && on.length > 1) drawn = {W: on[0] === "W", wind: on[0] === "wind", V: on[0] === "V"};
    for (const b of document.querySelectorAll("#quantities button"))
      b.setAttribute("aria-pressed", String(drawn[b.dataset.q]));
  }
  for (const b of document.querySelectorAll("#quantities button"))
    b.addEventListener("click", () => {
      const q = b.dataset.q;
      if (narrow()) drawn = {W: q === "W", wind: q === "wind", V: q === "V"};
      else if (!drawn[q] || Object.values(drawn).filter(Boolean).length > 1) drawn[q] = !drawn[q];
      fitDrawn();
      if (shown) drawSeries(...shown);
    });

  function drawSeries(a, from, to) {
    shown = [a, from, to];
    const unit = a.windUnit || "m/s";
    const mean = c => c.mean, logs = a.fromLogs.map(f => (f ? 1 : null));
    const left = drawn.W ? "W" : drawn.wind ? "wind" : "V";
    const side = q => (q === left ? 3 : 1);
    const series = [
      {},
      {label: "Power mean (W)", scale: "W", show: drawn.W, stroke: "#3030c0", width: 2, value: fixed(0)},
      {label: "Power max (W)", scale: "W", show: drawn.W, stroke: "#9090e0", width: 1, value: fixed(0)},
      {label: `Wind (${unit})`, scale: "wind", show: drawn.wind, stroke: "#606060", width: 1.5, value: fixed(1)},
      {label: "Battery (V)", scale: "V", show: drawn.V, stroke: "#c00000", width: 1.5, value: fixed(2)},
    ];
    const data = [a.t, mean(a.watts), a.watts.max, mean(a.wind), mean(a.volts)];
    const fromLogs = logs.some(Boolean);
    if (fromLogs) {
      series.push({label: "Shaded: daily logs (interval maxima)", scale: "logs", stroke: logsLine, fill: logsFill,
                   paths: () => null, points: {show: false}, value: (u, v) => (v ? "yes" : dash)});
      data.push(logs);
    }
    draw("series", {
      cursor: {drag: {x: true, y: false}},
      scales: {x: {time: true, range: () => [from, to]}, W: {}, wind: {}, V: {}, logs: {range: [0, 1]}},
      series,
      axes: [{}, {scale: "W", label: "W", show: drawn.W, side: side("W")},
             {scale: "wind", label: unit, show: drawn.wind, side: side("wind"), grid: {show: left === "wind"}},
             {scale: "V", label: "V", show: drawn.V, side: side("V"), grid: {show: left === "V"}}],
      hooks: {drawAxes: [shadeLogs]},
    }, data, a.minutes.filter(m => m > 0).length);
    const u = charts.series;
    u.logsStep = a.seconds;
    u.logsSeries = fromLogs ? series.length - 1 : 0;
    ChartText.series($("series-text"), a, unit, from, to);
  }

  async function range(days) {
    const box = $("series");
    for (const b of document.querySelectorAll("#ranges button"))
      b.setAttribute("aria-pressed", String(b.dataset.days === days));
    const now = Math.floor(Date.now() / 1000);
    // "All": as many days as one answer holds.
    const from = days === "all" ? now - 19999 * 86400 : now - Number(days) * 86400;
    const step = days === "all" ? "&step=day" : "";
    const asked = (range.asked = (range.asked || 0) + 1);
    let a;
    try {
      a = await get(`/api/series?from=${from}&to=${now}${step}&fields=watts,wind,volts&form=columns`);
    } catch (e) {
      windUnit.known({unit: "m/s", perMetre: 1});
      return asked === range.asked && message(box, e.message, true);
    }
    windUnit.known({unit: a.windUnit || "m/s", perMetre: a.windPerMetrePerSecond});
    if (asked !== range.asked) return; // another range was asked for meanwhile
    if (!a.minutes.some(m => m > 0))
      return message(box, "The archive has nothing for this range yet.");
    // "All" starts at the first day there is.
    drawSeries(a, days === "all" ? a.t[0] : from, now);
  }
  for (const b of document.querySelectorAll("#ranges button"))
    b.addEventListener("click", () => range(b.dataset.days));

  // The wind unit of the settings, as the first answer tells it (the power
  // curve's bins are in m/s).
  const windUnit = {};
  windUnit.promise = new Promise(resolve => { windUnit.known = resolve; });

  let wide = !narrow();
  addEventListener("resize", () => {
    if (wide !== !narrow()) {
      wide = !narrow();
      fitDrawn();
      if (shown) drawSeries(...shown);
    }
  });

  // ---- energy bars: a bar a day or a month, those mostly from the daily logs apart
  function energy(id, label, x, wh, logs, from, to) {
    const kwh = wh.map(v => (v === null ? null : v / 1000));
    const measured = kwh.map((v, i) => (logs[i] ? null : v)), logged = kwh.map((v, i) => (logs[i] ? v : null));
    const series = [{}, {label, stroke: "#a000a0", fill: "rgba(255,0,255,0.45)", paths: bars, points: {show: false},
                         value: fixed(2)}];
    const data = [x, measured];
    if (logs.some(Boolean)) {
      series.push({label: `${label}, from the daily logs`, stroke: logsLine, fill: logsFill, paths: bars,
                   points: {show: false}, value: fixed(2)});
      data.push(logged);
    }
    draw(id, {
      cursor: {drag: {x: true, y: false}},
      scales: {x: {time: true, range: () => [from, to]}, y: {range: (u, min, max) => [0, max > 0 ? max * 1.1 : 1]}},
      series,
      // uPlot gives the ticks the decimals their step needs.
      axes: [{}, {label: "kWh"}],
    }, data, x.length);
  }

  // Noon of each local day the rows start at, and the rows' energy.
  const noon = t => { const d = new Date(t * 1000); return new Date(d.getFullYear(), d.getMonth(), d.getDate(), 12) / 1000; };
  const monthStart = (y, m) => new Date(y, m - 1, 1) / 1000;

  // ---- energy by day, a month at a time
  const today = new Date();
  let month = {y: today.getFullYear(), m: today.getMonth() + 1};
  async function days() {
    const {y, m} = month;
    $("month").textContent = new Date(y, m - 1, 1).toLocaleDateString(undefined, {month: "long", year: "numeric"});
    const box = $("days"), start = monthStart(y, m), end = monthStart(m === 12 ? y + 1 : y, m === 12 ? 1 : m + 1);
    const asked = (days.asked = (days.asked || 0) + 1);
    let a;
    try {
      a = await get(`/api/series?from=${start}&to=${end}&step=day&fields=energy&form=columns`);
    } catch (e) {
      return asked === days.asked && message(box, e.message, true);
    }
    if (asked !== days.asked) return; // the arrows went on meanwhile
    const rows = a.t.map((t, i) => i).filter(i => a.minutes[i] > 0);
    if (!rows.length)
      return message(box, "The archive has no days in this month.");
    const x = rows.map(i => noon(a.t[i])), wh = rows.map(i => a.energyWh[i]), logs = rows.map(i => a.fromLogs[i]);
    energy("days", "Energy (kWh)", x, wh, logs, start, end);
    ChartText.bars($("days-text"), "day", x, wh, logs);
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
    let a;
    try {
      a = await get(`/api/series?from=${now - 1096 * 86400}&to=${now}&step=day&fields=energy&form=columns`);
    } catch (e) {
      return message(box, e.message, true);
    }
    const sums = new Map();
    a.t.forEach((t, i) => {
      if (!(a.minutes[i] > 0)) return;
      const d = new Date(noon(t) * 1000), key = d.getFullYear() * 100 + d.getMonth() + 1;
      const s = sums.get(key) || {wh: 0, logs: false};
      s.wh += a.energyWh[i];
      s.logs = s.logs || a.fromLogs[i];
      sums.set(key, s);
    });
    if (!sums.size)
      return message(box, "The archive has no days yet.");
    const keys = [...sums.keys()].sort((p, q) => p - q);
    const start = k => monthStart(Math.floor(k / 100), k % 100);
    const after = k => (k % 100 === 12 ? start(k + 89) : start(k + 1));
    // Each bar in the middle of its month; a year at least, so a new
    // archive's one month is a bar, not a wall; the span ends with the last month.
    const x = keys.map(k => (start(k) + after(k)) / 2);
    const from = Math.min(start(keys[0]), after(keys[keys.length - 1]) - 366 * 86400);
    const wh = keys.map(k => sums.get(k).wh), logs = keys.map(k => sums.get(k).logs);
    energy("months", "Energy (kWh)", x, wh, logs, from, after(keys[keys.length - 1]));
    ChartText.bars($("months-text"), "month", x, wh, logs);
  }

  // ---- the power curve in the wind unit of the settings (its bins are
  // 0.5 m/s wide), with the certified one when the program has one
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
    const wind = await windUnit.promise;
    const per = wind.perMetre || 1, unit = wind.perMetre ? wind.unit : "m/s";
    const mps = [...new Set([...answer.bins.map(b => b.wind), ...certified.map(c => c.wind)])].sort((a, b) => a - b);
    const measured = new Map(answer.bins.map(b => [b.wind, b.meanWatts]));
    const both = v => (v === null ? dash : unit === "m/s" ? `${v.toFixed(1)} m/s`
                                                         : `${v.toFixed(1)} ${unit} (${(v / per).toFixed(1)} m/s)`);
    const series = [{label: "Wind", value: (u, v) => both(v)},
                    {label: "Measured (W)", stroke: "#3030c0", width: 2, spanGaps: true, points: {show: true, size: 6}}];
    const data = [mps.map(w => w * per), mps.map(w => (measured.has(w) ? measured.get(w) : null))];
    let promised = null;
    if (certified.length) {
      const c = new Map(certified.map(p => [p.wind, p.watts]));
      series.push({label: "Certified (W)", stroke: "#c06000", width: 2, dash: [6, 4], spanGaps: true});
      promised = mps.map(w => (c.has(w) ? c.get(w) : null));
      data.push(promised);
    }
    draw("curve", {scales: {x: {time: false}}, cursor: {drag: {x: true, y: false}}, series,
                   axes: [{label: unit === "m/s" ? "m/s" : `${unit} (bins of 0.5 m/s)`}, {label: "W"}]}, data, mps.length);
    ChartText.curve($("curve-text"), unit, per, mps, data[1], promised);
  }

  fitDrawn();
  range("1");
  days();
  months();
  curve();
})();
