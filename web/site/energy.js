// SPDX-License-Identifier: GPL-3.0-or-later
// The energy page: a year's months as bars (the part from estimated days
// orange on top of the measured part), the year's figures and the lifetime
// energy, and the days of a month the owner picks (estimated ones orange).
// From /api/energy, as the History window's Energy page reads energy.csv.
"use strict";

(() => {
  const {$, get, message, draw, kwh, dayName} = Page;
  const measuredFill = "rgba(255,0,255,0.45)", measuredLine = "#a000a0";
  const estimatedFill = "rgba(255,160,0,0.5)", estimatedLine = "#b06000";
  const bars = Page.bars();
  const value = (u, v) => Page.fixed(v, 2);
  let year = new Date().getFullYear(), answer = null, month = null;

  // Bars in kWh over [from, to]: the whole drawn orange first, the measured
  // part over it from 0, so a bar shows both parts; the read-out gives each.
  function chart(id, x, measured, estimated, from, to, what) {
    const whole = x.map((t, i) => (measured[i] + estimated[i]) / 1000), ours = measured.map(wh => wh / 1000);
    const series = [{}, {label: `${what}, estimated (kWh)`, stroke: estimatedLine, fill: estimatedFill, paths: bars,
                         points: {show: false}, value: (u, v, s, i) => Page.fixed(i === null ? null : estimated[i] / 1000, 2)},
                    {label: `${what}, measured (kWh)`, stroke: measuredLine, fill: measuredFill, paths: bars,
                     points: {show: false}, value}];
    draw(id, {
      cursor: {drag: {x: false, y: false}},
      scales: {x: {time: true, range: () => [from, to]}, y: {range: (u, min, max) => [0, max > 0 ? max * 1.1 : 1]}},
      series,
      // uPlot gives the ticks the decimals their step needs.
      axes: [{}, {label: "kWh"}],
    }, [x, whole, ours], x.length);
  }

  const start = (y, m) => new Date(y, m - 1, 1) / 1000;

  function showMonths(a) {
    const totals = $("totals");
    Page.facts(totals, [
      [`${a.year}`, `${kwh(a.totalWh)}${a.estimatedWh > 0 ? `, ${kwh(a.estimatedWh)} of it estimated` : ""}`],
      ["Days", `${a.daysRecorded} recorded, ${a.daysEstimated} estimated`],
      ["Daily average", kwh(a.dailyAverageWh)],
      ["Best month", a.bestMonth ? Page.monthName(a.bestMonth) : Page.dash],
      ["Lifetime", kwh(a.lifetimeWh)],
    ]);
    const box = $("months");
    if (!a.months.some(m => m.daysRecorded + m.daysEstimated > 0))
      return message(box, `energy.csv has no days in ${a.year}.`);
    // Each bar in the middle of its month; the span ends after December.
    const x = a.months.map((m, i) => (start(a.year, i + 1) + start(a.year, i + 2)) / 2);
    chart("months", x, a.months.map(m => m.totalWh - m.estimatedWh), a.months.map(m => m.estimatedWh), start(a.year, 1),
          start(a.year + 1, 1), "Month");
    const text = $("months-text");
    text.replaceChildren();
    Page.element("p", `${a.year}: ${kwh(a.totalWh)} in ${a.daysRecorded + a.daysEstimated} days`
                      + (a.bestMonth ? `, the most in ${Page.monthName(a.bestMonth)}.` : "."), text);
    ChartText.table(text, `Energy by month, ${a.year}`, ["Month", "kWh", "Estimated kWh", "Days", "Estimated days"],
                    a.months.map(m => [Page.monthName(m.month), Page.fixed((m.totalWh / 1000), 2),
                                       Page.fixed((m.estimatedWh / 1000), 2), String(m.daysRecorded),
                                       String(m.daysEstimated)]));
  }

  // The month's days; the months with days to choose from.
  function showDays(a) {
    const withDays = a.months.filter(m => m.daysRecorded + m.daysEstimated > 0).map(m => m.month);
    const title = $("days-title");
    title.replaceChildren("Energy by day");
    if (!withDays.length) return message($("days"), `No days in ${a.year}.`);
    if (!withDays.includes(month)) month = withDays[withDays.length - 1];
    const label = Page.element("label", " in ", title);
    const pick = Page.element("select", undefined, label);
    pick.id = "month";
    for (const m of withDays) Page.element("option", Page.monthName(m), pick).value = m;
    pick.value = month;
    pick.addEventListener("change", () => { month = pick.value; showDays(answer); });
    const days = a.days.filter(d => d.date.startsWith(month));
    const [y, m] = month.split("-").map(Number);
    const noon = d => new Date(`${d.date}T12:00:00`) / 1000;
    chart("days", days.map(noon), days.map(d => (d.estimated ? 0 : d.wh)), days.map(d => (d.estimated ? d.wh : 0)),
          start(y, m), start(y, m + 1), "Day");
    const text = $("days-text");
    text.replaceChildren();
    const total = days.reduce((s, d) => s + d.wh, 0), estimated = days.filter(d => d.estimated).length;
    Page.element("p", `${Page.monthName(month)}: ${days.length} days, ${kwh(total)}`
                      + (estimated ? `; ${estimated} estimated, drawn orange.` : "."), text);
    ChartText.table(text, `Energy by day, ${Page.monthName(month)}`, ["Day", "kWh", "Source"],
                    days.map(d => [dayName(d.date), Page.fixed((d.wh / 1000), 2), d.estimated ? "estimated" : "measured"]));
  }

  async function load() {
    $("year").textContent = String(year);
    const asked = (load.asked = (load.asked || 0) + 1);
    let a;
    try {
      a = await get(`/api/energy?year=${year}`);
    } catch (e) {
      if (asked === load.asked) { message($("months"), e.message, true); message($("days"), ""); }
      return;
    }
    if (asked !== load.asked) return; // the arrows went on meanwhile
    answer = a;
    showMonths(a);
    showDays(a);
  }
  $("year-back").addEventListener("click", () => { --year; load(); });
  $("year-on").addEventListener("click", () => { ++year; load(); });
  load().then(Page.loaded);
})();
