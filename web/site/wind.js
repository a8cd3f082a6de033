// SPDX-License-Identifier: GPL-3.0-or-later
// The wind page, as the History window's Wind page tells it: the hours a
// year in each half-metre-per-second bin with the fitted Weibull curve, the
// mean, the calm share, the strongest gust and the fit; the means of each
// year and month; and the energy this site's own wind gives by the measured
// curve, beside the Rayleigh table. From /api/wind.
"use strict";

(() => {
  const {$, get, message, draw, table, fixed, dash} = Page;
  const kwhText = v => `${Page.fixed(v, 1)} kWh`;

  function histogram(a, wind) {
    if (!a.bins.some(b => b.hoursPerYear > 0))
      return message($("histogram"), "No minutes with a wind speed in the archive yet.");
    const x = a.bins.map(b => b.wind * wind.per);
    const series = [{label: "Wind", value: (u, v) => (v === null ? dash : wind.shown(v / wind.per))},
                    {label: "Measured (hours a year)", stroke: "#3060a0", fill: "rgba(48,96,160,0.45)", paths: Page.bars(),
                     points: {show: false}, value: (u, v) => fixed(v, 1)}];
    const data = [x, a.bins.map(b => b.hoursPerYear)];
    if (a.weibull) {
      series.push({label: "Weibull fit (hours a year)", stroke: "#c06000", width: 2, points: {show: false},
                   value: (u, v) => fixed(v, 1)});
      data.push(a.bins.map(b => b.fitHoursPerYear));
    }
    draw("histogram", {scales: {x: {time: false}}, cursor: {drag: {x: true, y: false}}, series,
                       axes: [{label: wind.unit === "m/s" ? "m/s" : `${wind.unit} (bins of 0.5 m/s)`}, {label: "h a year"}]},
         data, a.bins.filter(b => b.hoursPerYear > 0).length);
    const text = $("histogram-text");
    text.replaceChildren();
    const most = a.bins.reduce((m, b) => (b.hoursPerYear > m.hoursPerYear ? b : m), a.bins[0]);
    Page.element("p", `${a.bins.length} bins of 0.5 m/s; the most hours a year, ${Page.fixed(most.hoursPerYear, 1)}, `
                      + `at ${wind.shown(most.wind)}. Bin 0 holds the calm time.`, text);
    ChartText.table(text, "Hours a year by wind", ["Wind", "Measured (h)", "Weibull fit (h)"],
                    a.bins.map(b => [wind.shown(b.wind), Page.fixed(b.hoursPerYear, 1), fixed(b.fitHoursPerYear, 1)]));
  }

  function summary(a, wind) {
    const pairs = [];
    if (a.minutes > 0) {
      pairs.push(["Mean wind", `${wind.shown(a.meanWind)} over ${Page.fixed((a.minutes / 60), 1)} h measured`
                               + (a.minutesFromHours > 0 ? ` (${Page.fixed((a.minutesFromHours / 60), 1)} h of them from hour summaries)` : "")]);
      pairs.push(["Calm", `${Page.fixed((a.calmShare * 100), 1)} % of the time`]);
    } else {
      pairs.push(["Mean wind", "No wind measured yet."]);
    }
    if (a.gust) pairs.push(["Strongest gust", `${wind.shown(a.gust.wind)} on ${a.gust.at.slice(0, 16).replace("T", " ")}`]);
    if (a.weibull) pairs.push(["Weibull fit", `k = ${Page.fixed(a.weibull.k, 2)}, c = ${wind.shown(a.weibull.c)}`]);
    else if (a.minutes > 0) pairs.push(["Weibull fit", "Too few minutes of wind for a fit."]);
    if (a.otherUnitMinutes > 0)
      pairs.push(["Left out", `${Page.fixed((a.otherUnitMinutes / 60), 1)} h of wind in a unit of no known factor to m/s`]);
    Page.facts($("facts"), pairs);
  }

  // Years, each followed by its months, newest first.
  function means(a) {
    const box = $("means");
    box.replaceChildren();
    if (!a.years.length) return;
    const rows = [];
    for (const y of a.years.slice().reverse()) {
      rows.push([y.year, Page.fixed(y.mean, 2), Page.fixed(y.hours, 1)]);
      for (const m of a.months.slice().reverse())
        if (m.month.startsWith(`${y.year}-`)) rows.push([Page.monthName(m.month), Page.fixed(m.mean, 2), Page.fixed(m.hours, 1)]);
    }
    table(box, "Mean wind by year and month", ["Period", "Mean, m/s", "Hours"], rows, "means-table");
  }

  function site(a) {
    const box = $("site");
    box.replaceChildren();
    const row = (name, e) => (e ? [name, `${Page.fixed(e.meanWind, 2)} m/s`, kwhText(e.measuredKwh) + (e.incomplete ? " (incomplete)" : ""),
                                   kwhText(e.extrapolatedKwh), e.capacityFactor === null ? "no rated power" : `${Page.fixed((e.capacityFactor * 100), 1)} %`]
                                : [name, dash, dash, dash, dash]);
    table(box, "A year of this site's wind by the measured curve",
          ["The site's own", "Mean wind", "Measured a year", "Extrapolated a year", "Capacity factor"],
          [row("Measured wind", a.site.measured), row("Weibull fit", a.site.weibull)], "site-table");
    const rayleigh = [];
    for (let i = 0; i < 8; ++i) {
      const r = a.rayleigh[i];
      rayleigh.push([`${4 + i} m/s`, r ? kwhText(r.measuredKwh) : dash, r ? kwhText(r.extrapolatedKwh) : dash]);
    }
    table(box, "Beside the Rayleigh winds of the label", ["Rayleigh mean", "Measured a year", "Extrapolated a year"], rayleigh);
  }

  async function load() {
    let a;
    try {
      a = await get("/api/wind");
    } catch (e) {
      return message($("histogram"), e.message, true);
    }
    const wind = Page.windUnit(a);
    summary(a, wind);
    histogram(a, wind);
    means(a);
    site(a);
  }
  load().then(Page.loaded);
})();
