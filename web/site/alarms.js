// SPDX-License-Identifier: GPL-3.0-or-later
// The alarms page: the alarms raised now, with their value and since when,
// asked for every 5 seconds; when the program does not answer they give way
// to a note saying since when (an alarm shown must be one of now); and the
// history of raises and clears from logs/alarms.csv, newest first. From
// /api/alarms.
"use strict";

(() => {
  const {$, get, table, element} = Page;
  const shownAtFirst = 200;
  const two = n => String(n).padStart(2, "0");
  const clock = t => { const d = new Date(t); return `${two(d.getHours())}:${two(d.getMinutes())}`; };
  const valueText = (v, unit) => (v === null ? Page.dash : `${Number(Page.fixed(v, 2))}${unit ? ` ${unit}` : ""}`);
  let heardAt = 0, all = false, last = null;

  function showRaised(a) {
    const list = $("raised"), link = $("link");
    list.replaceChildren();
    const raised = a.alarms.filter(x => x.raised);
    link.className = "link live";
    link.textContent = raised.length ? `${raised.length} raised` : "No alarm raised";
    for (const x of raised) element("li", x.text, list).dataset.key = x.key;
  }

  function noAnswer() {
    $("raised").replaceChildren();
    const link = $("link");
    link.className = "link lost";
    link.textContent = heardAt ? `No answer from the program since ${clock(heardAt)}` : "No answer from the program";
  }

  function showHistory(a) {
    const box = $("history");
    box.replaceChildren();
    if (!a.history.length) {
      element("p", "No alarm has been raised yet (logs/alarms.csv is empty).", box);
      return;
    }
    const rows = (all ? a.history : a.history.slice(0, shownAtFirst)).map(h => [
      h.time.replace("T", " "), h.name, h.state, valueText(h.value, h.unit), valueText(h.threshold, h.unit)]);
    element("p", `${a.history.length} raises and clears, newest first`
                 + (rows.length < a.history.length ? `; the latest ${rows.length} shown.` : "."), box);
    table(box, "Alarms raised and cleared", ["Time", "Alarm", "State", "Value", "Threshold"], rows, "history-table");
    if (rows.length < a.history.length) {
      const more = element("button", `Show all ${a.history.length}`, box);
      more.type = "button";
      more.addEventListener("click", () => { all = true; showHistory(a); });
    }
  }

  async function ask() {
    let a;
    try {
      a = await get("/api/alarms");
    } catch (e) {
      noAnswer();
      return;
    }
    heardAt = Date.now();
    showRaised(a);
    // The history only when it changed: a long table is not rebuilt under the reader.
    const mark = `${a.lines} ${a.history.length ? a.history[0].time : ""}`;
    if (mark !== last) {
      last = mark;
      showHistory(a);
    }
  }
  ask().then(Page.loaded);
  setInterval(ask, 5000);
})();
