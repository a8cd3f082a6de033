// SPDX-License-Identifier: GPL-3.0-or-later
// The charts' figures as text, under each chart: a sentence with what it
// shows, and for the bars and the power curve a table that opens below it,
// so a screen reader (or anyone who cannot read a chart) has its figures.
"use strict";

const ChartText = (() => {
  const two = n => String(n).padStart(2, "0");
  const date = t => new Date(t * 1000);
  const when = t => `${date(t).toLocaleDateString(undefined, {weekday: "short", day: "numeric", month: "short"})} `
                    + `${two(date(t).getHours())}:${two(date(t).getMinutes())}`;
  const dayText = t => date(t).toLocaleDateString(undefined, {weekday: "short", day: "numeric", month: "short"});
  const monthText = t => date(t).toLocaleDateString(undefined, {month: "long", year: "numeric"});
  const kwh = wh => (wh / 1000).toFixed(2);
  const plural = (n, word) => `${n} ${word}${n === 1 ? "" : "s"}`;

  function extremes(values) {
    const v = values.filter(x => x !== null && x !== undefined);
    return v.length ? [Math.min(...v), Math.max(...v)] : null;
  }
  function span(seconds) {
    if (seconds >= 2 * 86400) return plural(Math.round(seconds / 86400), "day");
    if (seconds >= 2 * 3600) return plural(Math.round(seconds / 3600), "hour");
    return plural(Math.round(seconds / 60), "minute");
  }
  function element(name, text, parent) {
    const e = document.createElement(name);
    if (text !== undefined) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }
  // A table under a disclosure: its head's cells, then its rows.
  function table(box, caption, head, rows) {
    const details = element("details", undefined, box);
    element("summary", "The figures", details);
    Page.table(details, caption, head, rows);
  }

  // Power, wind and battery: the range, each quantity's lowest and highest,
  // the stretches without data and the rows from the daily logs.
  function series(el, a, unit, from, to) {
    const parts = [];
    const range = (name, low, high, decimals, u) => {
      const lo = extremes(low), hi = extremes(high);
      if (lo && hi) parts.push(`${name} ${lo[0].toFixed(decimals)} to ${hi[1].toFixed(decimals)} ${u}`);
    };
    range("power", a.watts.min, a.watts.max, 0, "W");
    range("wind", a.wind.min, a.wind.max, 1, unit);
    range("battery", a.volts.min, a.volts.max, 2, "V");
    let text = `From ${when(from)} to ${when(to)}, by ${a.step}s: ${parts.join("; ")}.`;
    let gaps = 0, longest = 0, longestAt = 0;
    a.minutes.forEach((m, i) => {
      if (m !== null || i === 0 || i + 1 >= a.t.length) return;
      ++gaps;
      const s = a.t[i + 1] - a.t[i - 1] - a.seconds;
      if (s > longest) [longest, longestAt] = [s, a.t[i - 1] + a.seconds];
    });
    if (gaps)
      text += ` No data in ${gaps === 1 ? "1 stretch" : `${gaps} stretches`}, the longest ${span(longest)} `
              + `from ${when(longestAt)}.`;
    const logs = a.fromLogs.filter(Boolean).length;
    if (logs)
      text += ` ${plural(logs, a.step)} from the daily logs (interval maxima), shaded.`;
    el.textContent = text;
  }

  // Energy bars: the count, the total and the largest, and the table.
  function bars(el, what, x, wh, logs) {
    el.replaceChildren();
    const name = what === "day" ? dayText : monthText;
    const most = wh.indexOf(Math.max(...wh));
    const total = wh.reduce((s, v) => s + v, 0);
    let text = `${plural(x.length, what)}, ${kwh(total)} kWh in all; the most ${kwh(wh[most])} kWh (${name(x[most])}).`;
    const logged = logs.filter(Boolean).length;
    if (logged)
      text += ` ${plural(logged, what)} from the daily logs, drawn apart.`;
    element("p", text, el);
    table(el, `Energy by ${what}`, [what === "day" ? "Day" : "Month", "kWh", "Source"],
          x.map((t, i) => [name(t), kwh(wh[i]), logs[i] ? "daily logs" : "measured"]));
  }

  // The power curve: its bins in the unit shown and in m/s.
  function curve(el, unit, per, mps, watts, certified) {
    el.replaceChildren();
    const w = extremes(watts), at = mps.filter((v, i) => watts[i] !== null);
    const text = w ? `Measured in ${plural(at.length, "bin")} from ${(at[0] * per).toFixed(1)} to `
                     + `${(at[at.length - 1] * per).toFixed(1)} ${unit}: ${w[0].toFixed(0)} W to ${w[1].toFixed(0)} W.`
                   : "Nothing measured yet; the certified curve alone.";
    element("p", text + (certified ? " Dashed: the certified curve." : ""), el);
    const head = unit === "m/s" ? ["Wind (m/s)"] : [`Wind (${unit})`, "Wind (m/s)"];
    head.push("Measured (W)");
    if (certified) head.push("Certified (W)");
    const dash = "\u2013";
    table(el, "The power curve", head, mps.map((v, i) => {
      const row = unit === "m/s" ? [v.toFixed(1)] : [(v * per).toFixed(1), v.toFixed(1)];
      row.push(watts[i] === null ? dash : watts[i].toFixed(0));
      if (certified) row.push(certified[i] === null ? dash : certified[i].toFixed(0));
      return row;
    }));
  }

  return {series, bars, curve, table};
})();
