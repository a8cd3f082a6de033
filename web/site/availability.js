// SPDX-License-Identifier: GPL-3.0-or-later
// What the turbine's minutes were: periods as stacked bars of their
// categories (generating at the bottom, no data on top) and their legend;
// on the trends page the last 31 days and this year's months, a sentence
// with this month's availability and a table of the months' figures. From
// /api/availability.
"use strict";

const Availability = (() => {
  const {$, percent, monthName} = Page;
  const colours = {generating: "#289640", calm: "#96c8eb", high_wind: "#143c96", battery_full: "#ebc828",
                   dump_load: "#e6821e", stopped: "#c81e1e", not_charging: "#9628a0", no_data: "#cdcdcd"};
  const stack = ["generating", "calm", "high_wind", "battery_full", "dump_load", "stopped", "not_charging", "no_data"];
  const kwh = v => `${Page.fixed(v, 2)} kWh`;
  const lost = p => Object.values(p.lostKwh).reduce((a, b) => a + b, 0);
  const element = (name, className, parent) => Page.element(name, undefined, parent, className);

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
        part.style.height = `${Page.fixed((100 * minutes / p.minutes), 3)}%`;
        part.style.background = colours[key];
        part.title = `${label(p)}: ${names[key]} ${Page.fixed((minutes / 60), 1)} h`;
      }
    }
    box.dataset.bars = String(periods.length);
  }

  function legend(box, names) {
    box.replaceChildren();
    for (const key of stack) {
      const item = element("li", undefined, box);
      element("span", "swatch", item).style.background = colours[key];
      item.append(names[key]);
    }
  }

  // The months' table: time with data, availability by time and by energy,
  // energy made and lost.
  const monthRow = p => [monthName(p.month), percent(p.minutes ? 1 - p.byCategory.no_data / p.minutes : null),
                         percent(p.timeAvailability), percent(p.energyAvailability), kwh(p.madeKwh), kwh(lost(p))];
  const monthHead = ["Month", "With data", "By time", "By energy", "Made", "Lost"];

  // The trends page's part.
  async function load() {
    const year = new Date().getFullYear();
    let a;
    try {
      a = await Page.get(`/api/availability?year=${year}`);
    } catch (e) {
      $("availability-text").textContent = e.message;
      return;
    }
    const names = Object.fromEntries(a.categories.map(c => [c.key, c.name]));
    legend($("availability-legend"), names);
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
    ChartText.table(text, `Availability by month, ${year}`, monthHead, a.months.map(monthRow));
  }
  if ($("availability-text")) load();
  return {colours, stack, bars, legend, monthRow, monthHead, lost};
})();
