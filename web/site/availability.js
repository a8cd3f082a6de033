// SPDX-License-Identifier: GPL-3.0-or-later
// What the turbine's minutes were, on the trends page: the last 31 days and
// this year's months as stacked bars of their categories (generating at the
// bottom, no data on top), the legend, a sentence with this month's
// availability and a table of the months' figures. From /api/availability.
"use strict";

(() => {
  const $ = id => document.getElementById(id);
  const colours = {generating: "#289640", calm: "#96c8eb", high_wind: "#143c96", battery_full: "#ebc828",
                   dump_load: "#e6821e", stopped: "#c81e1e", not_charging: "#9628a0", no_data: "#cdcdcd"};
  const stack = ["generating", "calm", "high_wind", "battery_full", "dump_load", "stopped", "not_charging", "no_data"];
  const percent = v => v === null || v === undefined ? "\u2013" : `${(v * 100).toFixed(1)} %`;
  const kwh = v => `${v.toFixed(2)} kWh`;
  const lost = p => Object.values(p.lostKwh).reduce((a, b) => a + b, 0);
  const monthName = m => new Date(`${m}-01T12:00:00`).toLocaleDateString(undefined, {month: "short", year: "numeric"});

  function element(name, className, parent) {
    const e = document.createElement(name);
    if (className) e.className = className;
    if (parent) parent.appendChild(e);
    return e;
  }

  // One bar a period; each segment its category's share of the period's minutes.
  function bars(box, periods, label, names) {
    box.replaceChildren();
    for (const p of periods) {
      const bar = element("span", "bar", box);
      bar.title = `${label(p)}: available ${percent(p.timeAvailability)} of the time with data`;
      for (const key of stack) {
        const minutes = p.byCategory[key];
        if (!minutes || !p.minutes) continue;
        const part = element("span", "part", bar);
        part.style.height = `${(100 * minutes / p.minutes).toFixed(3)}%`;
        part.style.background = colours[key];
        part.title = `${label(p)}: ${names[key]} ${(minutes / 60).toFixed(1)} h`;
      }
    }
    box.dataset.bars = String(periods.length);
  }

  async function load() {
    const year = new Date().getFullYear();
    let a;
    try {
      const r = await fetch(`/api/availability?year=${year}`, {cache: "no-store"});
      a = await r.json();
      if (!r.ok) throw new Error(a.error || `The program answered ${r.status}.`);
    } catch (e) {
      $("availability-text").textContent = e.message;
      return;
    }
    const names = Object.fromEntries(a.categories.map(c => [c.key, c.name]));
    const legend = $("availability-legend");
    legend.replaceChildren();
    for (const key of stack) {
      const item = element("li", undefined, legend);
      element("span", "swatch", item).style.background = colours[key];
      item.append(names[key]);
    }
    bars($("availability-days"), a.days.slice(-31), p => p.date, names);
    bars($("availability-months"), a.months, p => monthName(p.month), names);
    const month = a.months[a.months.length - 1];
    const text = $("availability-text");
    text.replaceChildren();
    text.append(month && month.timeAvailability !== null
                    ? `${monthName(month.month)}: the turbine was available ${percent(month.timeAvailability)} of `
                      + `the time with data (${percent(month.energyAvailability)} of the energy it could have `
                      + `made); ${kwh(month.lostKwh.stopped)} lost to a stopped rotor, `
                      + `${kwh(month.lostKwh.not_charging)} to turning without charging.`
                    : `No minutes with data in ${year} yet.`);
    ChartText.table(text, `Availability by month, ${year}`,
                    ["Month", "With data", "By time", "By energy", "Made", "Lost"],
                    a.months.map(p => [monthName(p.month), percent(p.minutes ? 1 - p.byCategory.no_data / p.minutes : null),
                                       percent(p.timeAvailability), percent(p.energyAvailability), kwh(p.madeKwh),
                                       kwh(lost(p))]));
  }
  load();
})();
