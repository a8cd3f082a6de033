// SPDX-License-Identifier: GPL-3.0-or-later
// The dashboard: the values of /api/stream as they come. EventSource
// reconnects by itself after a dropped connection; after a refused one
// (the program restarting, a session that ended) we open it again, or go
// to the login page when the server asks for the password.
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

  function show(now) {
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

  let source = null, retry = null;
  function lost() {
    document.body.classList.add("lost");
    $("link").textContent = "The program does not answer; trying again\u2026";
    $("link").className = "link lost";
  }
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
