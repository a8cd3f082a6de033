// SPDX-License-Identifier: GPL-3.0-or-later
// The dashboard: the values of /api/stream as they come. EventSource
// reconnects by itself after a dropped connection; after a refused one
// (the program restarting, a session that ended) we open it again, or go
// to the login page when the server asks for the password.
//
// Whether the data is live, stale or paused the program says (its "state");
// whether the program answers at all only the page can tell. A stream that
// has been quiet for kAskMs is backed by asking /api/now, and an answer
// counts only when its values were taken later than the last ones (a program
// whose server answers while the rest of it hangs repeats old values). When
// nothing new has come for kNoAnswerMs (the program's own time for stale
// data), or the stream breaks, every value gives way to a dash.
"use strict";

(() => {
  const $ = id => document.getElementById(id);
  const meters = {};
  for (const fig of document.querySelectorAll(".meter")) {
    meters[fig.dataset.field] = {
      set: Meters.make(fig.querySelector(".dial"), Number(fig.dataset.max), fig.dataset.legend),
      out: fig.querySelector(".value"),
      decimals: Number(fig.dataset.decimals),
    };
  }
  const two = n => String(n).padStart(2, "0");
  const clock = t => { const d = new Date(t); return `${two(d.getHours())}:${two(d.getMinutes())}`; };
  const kwh = wh => (wh / 1000).toFixed(wh < 10000 ? 2 : 1);
  const kAskMs = 5000, kNoAnswerMs = 15000;
  // When the page last heard something new, and the time of the last values.
  let heardAt = Date.now(), heardOnce = false, valuesOf = null, answering = true;

  function show(now) {
    heardAt = Date.now();
    heardOnce = answering = true;
    valuesOf = now.time;
    const live = now.state === "live";
    document.body.classList.remove("connecting", "lost");
    document.body.classList.toggle("stale", now.state === "stale");
    document.body.classList.toggle("paused", now.state === "paused");
    const values = {volts: now.volts, amps: now.amps, rpm: now.rpm, wind: now.wind.speed, watts: now.watts,
                    today: now.energy.todayWh};
    for (const k in meters) {
      const m = meters[k];
      // Old values are no reading of the unit: a dash, not the last numbers or zeros.
      const v = (live || k === "today") && values[k] !== null ? values[k] : null;
      m.set(v);
      m.out.textContent = v === null ? "\u2013" : v.toFixed(m.decimals);
    }
    $("wind-unit").textContent = now.wind.unit;
    $("yesterday").textContent = kwh(now.energy.yesterdayWh);
    $("lifetime").textContent = kwh(now.energy.lifetimeWh);
    $("load").textContent = !live || now.loadOn === null ? "\u2013" : now.loadOn ? "On" : "Off";
    $("frames").textContent = String(now.frames.received);
    $("rejected").textContent = now.frames.rejected ? `(${now.frames.rejected} rejected)` : "";
    $("time").textContent = clock(Date.parse(now.time));
    // The daily backup, when it is on: shown only, chosen in the program's window.
    $("backup-tile").hidden = !now.backup;
    if (now.backup) {
      const last = now.backup.last && new Date(now.backup.last);
      $("backup").textContent = last ? `${last.toLocaleDateString()} ${clock(last)}` : "none yet";
      $("backup-problem").textContent = now.backup.problem ? `The last one failed: ${now.backup.problem}` : "";
    }

    const note = $("nodata");
    note.hidden = live;
    if (now.state === "paused")
      note.textContent = "Paused: the setup or calibration window holds the port.";
    else if (!live)
      note.textContent = now.lastLive ? `No data since ${clock(Date.parse(now.lastLive))}` : "No data yet";
    $("link").textContent = live ? "Live" : now.state === "paused" ? "Paused" : "Stale";
    $("link").className = "link " + now.state;

    const list = $("alarms");
    list.replaceChildren();
    for (const alarm of now.raised) {
      const li = document.createElement("li");
      li.textContent = alarm.text;
      list.appendChild(li);
    }
  }

  // No answer: nothing on the page may pass for a value of now.
  function lost() {
    answering = false;
    document.body.classList.remove("connecting", "stale", "paused");
    document.body.classList.add("lost");
    for (const k in meters) {
      meters[k].set(null);
      meters[k].out.textContent = "\u2013";
    }
    for (const id of ["yesterday", "lifetime", "load", "frames", "backup"])
      $(id).textContent = "\u2013";
    $("rejected").textContent = "";
    $("backup-problem").textContent = "";
    $("alarms").replaceChildren();
    $("link").textContent = "The program does not answer; trying again\u2026";
    $("link").className = "link lost";
    const note = $("nodata");
    note.hidden = false;
    note.textContent = heardOnce ? `No answer from the program since ${clock(heardAt)}` : "No answer from the program";
  }

  let asking = false;
  function ask() {
    asking = true;
    const stop = new AbortController();
    const timer = setTimeout(() => stop.abort(), kAskMs);
    fetch("/api/now", {cache: "no-store", signal: stop.signal})
      .then(r => {
        if (r.status === 401) location.assign("/login");
        return r.ok ? r.json() : null;
      })
      .then(now => { if (now && now.time !== valuesOf) show(now); }, () => {})
      .finally(() => { clearTimeout(timer); asking = false; });
  }
  setInterval(() => {
    const quiet = Date.now() - heardAt;
    if (quiet >= kAskMs && !asking) ask();
    if (quiet >= kNoAnswerMs && answering) lost();
  }, 1000);

  let source = null, retry = null;
  function connect() {
    retry = null;
    source = new EventSource("/api/stream");
    source.addEventListener("reading", e => show(JSON.parse(e.data)));
    source.addEventListener("error", () => {
      lost();
      if (source.readyState !== EventSource.CLOSED || retry) return;
      // Refused rather than dropped: find out whether a login is wanted.
      retry = setTimeout(() => {
        fetch("/api/now", {cache: "no-store"}).then(r => {
          if (r.status === 401) location.assign("/login");
          else connect();
        }, () => { retry = null; source.dispatchEvent(new Event("error")); });
      }, 3000);
    });
  }
  connect();
})();
