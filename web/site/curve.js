// SPDX-License-Identifier: GPL-3.0-or-later
// The power curve page, as the History window's Power curve page tells it:
// the measured curve (each bin's mean with its spread; bins of fewer than 10
// minutes as open rings, apart from the line) against the certified curve,
// dashed; the annual energy measured and extrapolated, the power at 11 m/s,
// the time curtailed, Cp and the tip-speed ratio per bin, the measured
// curve held against the certified one, and the performance by month and
// day. From /api/powercurve and /api/performance.
"use strict";

(() => {
  const {$, get, message, draw, table, dash, fixed, percent} = Page;
  const causes = {battery_full: "with the battery full", dump_load: "dumping into the load"};
  const hoursText = s => `${Page.fixed((s / 3600), 1)} h`;

  function drawCurve(a, wind) {
    const certified = a.certified;
    if (!a.bins.length && !certified.length)
      return message($("curve"), "No power curve has been measured yet.");
    const winds = [...new Set([...a.bins.map(b => b.wind), ...certified.map(c => c.wind)])].sort((p, q) => p - q);
    const at = (list, key, pick) => {
      const m = new Map(list.map(b => [b[key], b]));
      return winds.map(w => (m.has(w) ? pick(m.get(w)) : null));
    };
    const measured = a.bins.filter(b => b.measured);
    const mean = at(measured, "wind", b => b.meanWatts);
    const series = [{label: "Wind", value: (u, v) => (v === null ? dash : wind.shown(v / wind.per))},
                    {label: "Measured (W)", stroke: "#3030c0", width: 2, spanGaps: true, points: {show: true, size: 6},
                     value: (u, v) => fixed(v, 1)},
                    {label: "Spread, mean \u00b1 SD (W)", stroke: "rgba(48,48,192,0.35)", width: 1, spanGaps: true,
                     points: {show: false}, value: (u, v, s, i) => (i === null || mean[i] === null ? dash : `\u00b1 ${fixed(v - mean[i], 1)}`)},
                    {label: "", stroke: "rgba(48,48,192,0.35)", width: 1, spanGaps: true, points: {show: false}},
                    {label: "Under 10 minutes (W)", stroke: "#8080c0", paths: () => null,
                     points: {show: true, size: 7, width: 1.5, fill: "#ffffff"}, value: (u, v) => fixed(v, 1)}];
    const data = [winds.map(w => w * wind.per), mean, at(measured, "wind", b => b.meanWatts + b.sdWatts),
                  at(measured, "wind", b => Math.max(0, b.meanWatts - b.sdWatts)),
                  at(a.bins.filter(b => !b.measured), "wind", b => b.meanWatts)];
    let promised = null;
    if (certified.length) {
      promised = at(certified, "wind", c => c.watts);
      series.push({label: "Certified (W)", stroke: "#c06000", width: 2, dash: [6, 4], spanGaps: true, value: (u, v) => fixed(v, 0)});
      data.push(promised);
    }
    const u = draw("curve", {scales: {x: {time: false}}, cursor: {drag: {x: true, y: false}}, series,
                             bands: [{series: [2, 3], fill: "rgba(48,48,192,0.12)"}],
                             axes: [{label: wind.unit === "m/s" ? "m/s" : `${wind.unit} (bins of 0.5 m/s)`}, {label: "W"}]},
                   data, a.bins.length);
    u.root.querySelectorAll(".u-series")[3].style.display = "none"; // the band's lower edge
    const all = winds.map((w, i) => (mean[i] !== null ? mean[i] : data[4][i]));
    ChartText.curve($("curve-text"), wind.unit, wind.per, winds, all, promised);
  }

  function showState(a) {
    const e = a.estimate;
    const pairs = [["Hours of data", `${Page.fixed(a.hoursOfData, 1)} (${a.minutes} minutes; air ${Page.fixed(a.density, 3)} kg/m\u00b3)`],
                   ["Power at 11 m/s", e.wattsAt11 === null ? "not measured yet" : `${Page.fixed(e.wattsAt11, 1)} W`]];
    for (const c of a.curtailed)
      if (c.seconds > 0)
        pairs.push([`Curtailed ${causes[c.cause]}`, `${hoursText(c.monthSeconds)} this month, ${hoursText(c.seconds)} `
                                                  + `(${Page.kwh(c.energyWh)}) in all; not in the curve`]);
    if (a.note) pairs.push(["Complete", a.note]);
    Page.facts($("state"), pairs);
  }

  function showEstimate(a, wind) {
    const box = $("estimate");
    box.replaceChildren();
    const rows = [];
    for (let r = 0; r < 8; ++r) {
      const row = a.estimate.rows[r];
      rows.push([wind.shown(4 + r), row ? `${Page.fixed(row.measuredKwh, 1)} kWh${row.incomplete ? " (incomplete)" : ""}` : dash,
                 row ? `${Page.fixed(row.extrapolatedKwh, 1)} kWh` : dash]);
    }
    Page.element("p", "A year at each annual mean wind (Rayleigh), by the measured bins alone and with the power "
                      + "held to the cut-out above them.", box);
    table(box, "Annual energy", ["Mean wind", "Measured", "Extrapolated"], rows, "estimate-table");
  }

  function showPhysics(a) {
    const box = $("physics");
    box.replaceChildren();
    if (a.physics.note) Page.element("p", a.physics.note, box);
    if (!a.physics.bins.length) return;
    table(box, "Cp and \u03bb per bin", ["Wind", "Power", "Cp", "\u03bb"], a.physics.bins.map(b => [
      `${Page.fixed(b.wind, 2)} m/s${b.faint ? " (few)" : ""}`, `${Page.fixed(b.watts, 1)} W`,
      `${Page.fixed(b.cp, 3)}${b.aboveBetz ? " (above Betz)" : ""}`, fixed(b.tipSpeedRatio, 2)]));
  }

  function showComparison(a) {
    const box = $("comparison");
    box.replaceChildren();
    const c = a.comparison;
    if (!c) {
      Page.element("p", "No certified curve is kept: upload the curve of the turbine's certificate under Settings, "
                        + "Turbine and site (or import it on the window's Power curve page) to hold the measured one "
                        + "against it.", box);
      return false;
    }
    Page.element("p", `Certified curve: ${a.certified.length} points from ${Page.fixed(c.from, 2)} to ${Page.fixed(c.to, 2)} m/s, `
                      + `cut-in ${fixed(c.cutIn, 2)} m/s.`, box);
    const five = c.atFive;
    let figure = `At a 5 m/s mean (the label's figure): certified ${fixed(five.certifiedKwh, 1)} kWh a year`;
    if (five.measuredKwh !== null)
      figure += `, measured ${Page.fixed(five.measuredKwh, 1)} kWh${five.incomplete ? " (incomplete)" : ""}`
                + (five.certifiedKwh > 0 ? ` (${Page.fixed((five.measuredKwh / five.certifiedKwh * 100), 1)} % of it)` : "");
    else
      figure += "; none measured yet";
    Page.element("p", `${figure}.`, box).id = "label-figure";
    table(box, "Measured against certified, per bin", ["Wind", "Measured", "Certified", "Ratio"], c.bins.map(b => [
      `${Page.fixed(b.wind, 2)} m/s${b.faint ? " (few)" : ""}`, `${Page.fixed(b.measuredWatts, 1)} W`,
      `${Page.fixed(b.certifiedWatts, 1)} W`, percent(b.ratio)]));
    return true;
  }

  const sumsRow = (when, p) => [when, `${Page.fixed((p.measuredWh / 1000), 2)} kWh`, `${Page.fixed((p.certifiedWh / 1000), 2)} kWh`,
                                percent(p.ratio), `${Page.fixed((p.windyMinutes / 60), 1)} h`];
  const sumsHead = when => [when, "Measured", "Certified", "Performance", "Windy hours"];

  async function showPerformance() {
    const box = $("performance"), text = $("performance-text");
    let p;
    try {
      p = await get("/api/performance");
    } catch (e) {
      return message(box, e.message, true);
    }
    if (!p.months.length)
      return message(box, "No minutes to compare yet (winds within the certified curve, not curtailed).");
    const start = m => new Date(`${m}-01T00:00:00`) / 1000;
    const x = p.months.map(m => start(m.month) + 15 * 86400);
    draw("performance", {
      cursor: {drag: {x: false, y: false}},
      scales: {x: {time: true, range: () => [Math.min(x[0] - 16 * 86400, x[x.length - 1] - 366 * 86400), x[x.length - 1] + 16 * 86400]},
               y: {range: (u, min, max) => [0, Math.max(110, max * 1.1)]}},
      series: [{}, {label: "Performance (%)", stroke: "#3030c0", fill: "rgba(48,48,192,0.35)", paths: Page.bars(),
                    points: {show: false}, value: (u, v) => fixed(v, 1)}],
      axes: [{}, {label: "%"}],
    }, [x, p.months.map(m => (m.ratio === null ? null : m.ratio * 100))], x.length);
    text.replaceChildren();
    Page.element("p", `Performance over all ${Page.fixed((p.all.minutes / 60), 1)} hours compared: ${percent(p.all.ratio)} `
                      + "(the energy measured over what the certified curve gives for the same winds, curtailed "
                      + "minutes left out).", text).id = "performance-all";
    table(text, "Performance by month", sumsHead("Month"), p.months.slice().reverse().map(m => sumsRow(m.month, m)),
          "performance-months");
    table(text, "Performance by day, the latest 31", sumsHead("Day"), p.days.slice().reverse().map(d => sumsRow(d.date, d)),
          "performance-days");
  }

  async function load() {
    let a;
    try {
      a = await get("/api/powercurve");
    } catch (e) {
      return message($("curve"), e.message, true);
    }
    const wind = Page.windUnit(a);
    showState(a);
    drawCurve(a, wind);
    showEstimate(a, wind);
    showPhysics(a);
    if (showComparison(a)) await showPerformance();
    else message($("performance"), "The performance needs a certified curve.");
  }
  load().then(Page.loaded);
})();
