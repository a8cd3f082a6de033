// SPDX-License-Identifier: GPL-3.0-or-later
// The availability page: a year's months and its last 31 days as stacked
// bars of what their minutes were, the year's availability by time and by
// energy, each month's figures, and the time and lost energy of each
// category over the year and its latest month. From /api/availability, as
// the History window's Availability page reads the same tallies.
"use strict";

(() => {
  const {$, get, percent, table, monthName} = Page;
  let year = new Date().getFullYear();

  // Each category's hours and share of a period, and the energy it lost.
  function categories(box, caption, p, names, categories) {
    table(box, caption, ["Category", "Hours", "Share", "Lost energy"], categories.map(c => [
      names[c.key], Page.fixed(((p.byCategory[c.key] || 0) / 60), 1), percent(p.minutes ? (p.byCategory[c.key] || 0) / p.minutes : null),
      c.key in p.lostKwh ? `${Page.fixed(p.lostKwh[c.key], 2)} kWh` : Page.dash]));
  }

  async function load() {
    $("year").textContent = String(year);
    const asked = (load.asked = (load.asked || 0) + 1);
    let a;
    try {
      a = await get(`/api/availability?year=${year}`);
    } catch (e) {
      if (asked === load.asked) Page.facts($("totals"), [["The program answered", e.message]]);
      return;
    }
    if (asked !== load.asked) return; // the arrows went on meanwhile
    const names = Object.fromEntries(a.categories.map(c => [c.key, c.name]));
    const t = a.total;
    Page.facts($("totals"), t.timeAvailability === null ? [[String(year), "No minutes with data."]] : [
      [`${year}, by time`, `${percent(t.timeAvailability)} of the time with data`],
      ["By energy", `${percent(t.energyAvailability)} of the energy it could have made`],
      ["Made", `${Page.fixed(t.madeKwh, 2)} kWh`],
      ["Lost", `${Page.fixed(Availability.lost(t), 2)} kWh`
               + (t.unpricedMinutes ? `; ${Page.fixed((t.unpricedMinutes / 60), 1)} h lost not priced (no curve bin)` : "")],
    ]);
    Availability.legend($("legend"), names);
    Availability.bars($("months"), a.months, p => monthName(p.month), names);
    Availability.bars($("days"), a.days.slice(-31), p => Page.dayName(p.date), names);
    const text = $("months-text");
    text.replaceChildren();
    table(text, `Availability by month, ${year}`, Availability.monthHead, a.months.map(Availability.monthRow),
          "months-table");
    const box = $("categories");
    box.replaceChildren();
    categories(box, `${year}`, t, names, a.categories);
    const latest = a.months[a.months.length - 1];
    if (latest) categories(box, monthName(latest.month), latest, names, a.categories);
  }
  $("year-back").addEventListener("click", () => { --year; load(); });
  $("year-on").addEventListener("click", () => { ++year; load(); });
  load().then(Page.loaded);
})();
