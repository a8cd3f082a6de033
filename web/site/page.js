// SPDX-License-Identifier: GPL-3.0-or-later
// What every page of charts shares: asking the program (to the login when
// it wants the password), a chart drawn by uPlot in its box at the box's
// width, a message in place of a chart, figures with the decimals they need,
// the owner's wind unit, and tables that screen readers read as tables.
"use strict";

const Page = (() => {
  const $ = id => document.getElementById(id);
  const dash = "\u2013";
  // The charts drawn, by their box's id, for whoever inspects the page.
  const charts = {};

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

  function element(name, text, parent, className) {
    const e = document.createElement(name);
    if (text !== undefined && text !== null) e.textContent = text;
    if (className) e.className = className;
    if (parent) parent.appendChild(e);
    return e;
  }

  // In place of a chart (and of its figures under it, "<id>-text").
  function message(box, text, error) {
    if (charts[box.id]) { charts[box.id].destroy(); delete charts[box.id]; }
    box.replaceChildren(element("p", text, null, error ? "empty error" : "empty"));
    box.dataset.points = "0";
    const figures = $(box.id + "-text");
    if (figures) figures.replaceChildren();
  }

  function size(box) {
    const w = Math.max(300, box.clientWidth - 8);
    return {width: w, height: Math.round(Math.min(360, Math.max(200, w * 0.45)))};
  }

  // `points`: the rows with data, told in the box's data-points.
  function draw(id, opts, data, points) {
    const box = $(id);
    if (charts[id]) charts[id].destroy();
    box.replaceChildren();
    charts[id] = new uPlot(Object.assign(opts, size(box)), data, box);
    box.dataset.points = String(points);
    return charts[id];
  }
  addEventListener("resize", () => { for (const id in charts) charts[id].setSize(size($(id))); });

  // A value rounded to `decimals` as the program's windows round it: on the
  // 15 significant digits its text shows, halves to even (toFixed alone
  // would round 49.25 to 49.3 where the window shows 49.2).
  function rounded(v, decimals) {
    if (!isFinite(v) || v === 0) return v;
    const [mantissa, exponent] = Math.abs(v).toExponential(14).split("e");
    const digits = mantissa.replace(".", ""), kept = Number(exponent) + 1 + decimals;
    if (kept >= digits.length) return v;
    if (kept < 0) return 0;
    const head = digits.slice(0, kept), tail = digits.slice(kept), half = "5".padEnd(tail.length, "0");
    const up = tail > half || (tail === half && head.length > 0 && Number(head[head.length - 1]) % 2 === 1);
    const whole = BigInt(head || "0") + (up ? 1n : 0n);
    return Math.sign(v) * Number(`${whole}e-${decimals}`);
  }
  // A figure to `decimals`, a dash for none.
  const fixed = (v, decimals) => (v === null || v === undefined || !isFinite(v) ? dash : rounded(v, decimals).toFixed(decimals));
  const percent = v => (v === null || v === undefined ? dash : `${fixed(v * 100, 1)} %`);
  const kwh = wh => (wh === null || wh === undefined ? dash : `${fixed(wh / 1000, 2)} kWh`);
  const monthName = m => new Date(`${m}-01T12:00:00`).toLocaleDateString(undefined, {month: "short", year: "numeric"});
  const dayName = d => new Date(`${d}T12:00:00`).toLocaleDateString(undefined, {weekday: "short", day: "numeric", month: "short", year: "numeric"});

  // The owner's wind unit from an answer's shownUnit and oneMetrePerSecond:
  // a wind in m/s as the owner reads it, with the m/s beside it where the
  // bins are in m/s; m/s alone for a unit of no known factor.
  function windUnit(answer) {
    const per = answer.oneMetrePerSecond, unit = per ? answer.shownUnit : "m/s";
    return {
      unit, per: per || 1,
      shown: mps => (mps === null || mps === undefined ? dash
                     : unit === "m/s" ? `${fixed(mps, 1)} m/s` : `${fixed(mps * per, 1)} ${unit} (${fixed(mps, 1)} m/s)`),
    };
  }

  // A table shown as it is, its first column the rows' heads.
  function table(box, caption, head, rows, id) {
    const t = element("table", undefined, box, "figures");
    if (id) t.id = id;
    // A wide table scrolls on a phone: it takes the keyboard's focus to.
    t.tabIndex = 0;
    element("caption", caption, t);
    const tr = element("tr", undefined, element("thead", undefined, t));
    for (const h of head) element("th", h, tr).scope = "col";
    const body = element("tbody", undefined, t);
    for (const row of rows) {
      const r = element("tr", undefined, body);
      row.forEach((cell, i) => element(i ? "td" : "th", cell, r));
      r.firstChild.scope = "row";
    }
    return t;
  }

  // Facts as a list of "name: value" pairs.
  function facts(box, pairs) {
    box.replaceChildren();
    const dl = element("dl", undefined, box, "facts");
    for (const [name, value] of pairs) {
      const item = element("div", undefined, dl);
      element("dt", name, item);
      element("dd", value, item);
    }
  }

  // The page has asked for all it shows (whatever the answers were).
  const loaded = () => { document.body.dataset.ready = "1"; };

  // Bars over a fixed span (uPlot would stretch one bar's span to years).
  const bars = () => uPlot.paths.bars({size: [0.7, 40]});

  return {$, dash, charts, get, element, message, draw, size, fixed, percent, kwh, monthName, dayName,
          windUnit, table, facts, bars, loaded};
})();
