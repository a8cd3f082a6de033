// SPDX-License-Identifier: GPL-3.0-or-later
// The dashboard's meters: a half-circle dial with marks at 0, a quarter,
// half, three quarters and full scale, the legend in the middle and a
// needle from the pivot at the bottom centre, as SVG. Colours come from the
// style sheet (no inline styles: the server's policy forbids them).
"use strict";

const Meters = (() => {
  const NS = "http://www.w3.org/2000/svg";
  const W = 200, H = 118, CX = 100, CY = 104, R = 84;

  function el(name, attrs, parent) {
    const e = document.createElementNS(NS, name);
    for (const k in attrs) e.setAttribute(k, attrs[k]);
    if (parent) parent.appendChild(e);
    return e;
  }
  // The point at `f` of full scale (0 far left, 1 far right) on radius r.
  function at(f, r) {
    const a = Math.PI * (1 - f);
    return [CX + r * Math.cos(a), CY - r * Math.sin(a)];
  }
  function figure(v) {
    return v >= 1000 ? (v / 1000) + "k" : String(v);
  }

  // Draws a meter into `box` for 0 to `max`; returns its setter, which takes
  // a number or null (no data: the needle rests at zero, dimmed).
  function make(box, max, legend) {
    const svg = el("svg", {viewBox: `0 0 ${W} ${H}`, class: "dial-face", role: "img", "aria-label": legend});
    el("path", {d: `M ${CX - R} ${CY} A ${R} ${R} 0 0 1 ${CX + R} ${CY}`, class: "arc"}, svg);
    for (let i = 0; i <= 4; ++i) {
      const [x1, y1] = at(i / 4, R), [x2, y2] = at(i / 4, R - 10), [tx, ty] = at(i / 4, R - 22);
      el("line", {x1, y1, x2, y2, class: "mark"}, svg);
      el("text", {x: tx, y: ty + 4, class: "figure"}, svg).textContent = figure(max * i / 4);
    }
    el("text", {x: CX, y: CY - 24, class: "legend"}, svg).textContent = legend;
    const needle = el("line", {x1: CX, y1: CY, x2: CX - R + 8, y2: CY, class: "needle"}, svg);
    el("circle", {cx: CX, cy: CY, r: 7, class: "pivot"}, svg);
    box.appendChild(svg);
    return value => {
      const none = value === null || value === undefined || !isFinite(value);
      const f = none ? 0 : Math.min(1, Math.max(0, value / max));
      const [x, y] = at(f, R - 8);
      needle.setAttribute("x2", x.toFixed(1));
      needle.setAttribute("y2", y.toFixed(1));
      svg.classList.toggle("off", none);
    };
  }
  return {make};
})();
