// SPDX-License-Identifier: GPL-3.0-or-later
// The settings pages: a settings file's form from /api/settings/<page>, its
// fields as the program describes them, and Save sending the changed
// values back with the form's version and the login's token.
"use strict";

(() => {
  const $ = id => document.getElementById(id);
  let shown = null; // the form as it came
  let kept = null;  // the certified curve's form
  let polling = 0;  // the calibration's read-out timer

  function say(text, error, where = "status") {
    const status = $(where);
    status.textContent = text;
    status.className = error ? "error" : "";
    status.setAttribute("role", error ? "alert" : "status");
  }

  function field(f) {
    const row = document.createElement("div");
    row.className = "field" + (f.kind === "tick" ? " tick" : "");
    const input = document.createElement("input");
    input.id = "f-" + f.key;
    input.name = f.key;
    const label = document.createElement("label");
    label.htmlFor = input.id;
    label.textContent = f.label;
    if (f.kind === "tick") {
      input.type = "checkbox";
      input.checked = f.value === "1";
      // Greyed: only the file gives it, and it stays until the box is changed.
      input.indeterminate = f.value === "2";
    } else {
      input.type = f.kind === "secret" ? "password" : "text";
      input.value = f.value;
      input.autocomplete = "off";
      if (f.kind === "secret" && !f.asked) input.placeholder = "(kept when left empty)";
    }
    if (f.readOnly) {
      input.disabled = true;
      input.setAttribute("aria-describedby", "readonly-note");
    }
    if (f.kind === "tick") {
      row.append(input, label);
    } else {
      // Three cells a row, the unit's empty when there is none.
      const unit = document.createElement("span");
      unit.className = "unit";
      unit.textContent = f.unit;
      row.append(label, input, unit);
    }
    return row;
  }

  // After each channel of Messages, its test: the form as typed, and the
  // server's answer.
  function testRow(channel) {
    const row = document.createElement("div");
    row.className = "field";
    const button = document.createElement("button");
    button.type = "button";
    button.id = "test-" + channel;
    button.textContent = "Send a test message";
    const answer = document.createElement("span");
    answer.id = "answer-" + channel;
    answer.className = "unit answer";
    answer.setAttribute("role", "status");
    button.addEventListener("click", () => sendTest(channel));
    row.append(document.createElement("span"), button, answer);
    return row;
  }

  async function sendTest(channel) {
    const answer = $("answer-" + channel);
    answer.textContent = "Sending…";
    try {
      const got = await ask("/api/settings/messagetest", {
        method: "POST",
        headers: {"Content-Type": "application/json", "X-Veldra-Token": shown.token},
        body: JSON.stringify({version: shown.version, channel, values: changedValues()}),
      });
      answer.textContent = !got.ok ? (got.body.error || `The program answered ${got.status}.`)
        : (got.body.ok ? "Sent: " : "Not sent: ") + got.body.answer;
    } catch (e) {
      answer.textContent = "The program does not answer: " + e.message;
    }
  }

  function show(form) {
    shown = form;
    $("title").textContent = form.title;
    const rows = [];
    for (const f of form.fields) {
      rows.push(field(f));
      const channel = /^Channel(\d+)Chat$/.exec(f.key);
      if (channel) rows.push(testRow(Number(channel[1])));
    }
    $("fields").replaceChildren(...rows);
    if (form.page === "messages" || form.page === "dataout") say(form.status ? form.status : "");
    $("readonly-note").hidden = !form.fields.some(f => f.readOnly);
    for (const a of $("pages").querySelectorAll("a"))
      if (a.hash === "#" + form.page) a.setAttribute("aria-current", "page");
      else a.removeAttribute("aria-current");
    document.title = "Veldra: " + form.title;
    // The certified curve is kept beside the turbine's settings, logging
    // now beside Setup, the live read-out beside Calibration.
    $("certified").hidden = form.page !== "turbine";
    if (form.page === "turbine") loadCertified();
    $("logging").hidden = form.page !== "setup";
    if (form.page === "setup") showLogging(form, true);
    $("readout").hidden = form.page !== "calibration";
    clearInterval(polling);
    if (form.page === "calibration") {
      showReadout(form.readout);
      polling = setInterval(readout, 1000);
    }
    $("save").textContent = form.page === "password" ? "Change the password" : "Save";
  }

  // ---- Logging now: the main window's Start and Stop.
  function showLogging(state, fill) {
    $("logging-state").textContent = state.logging
      ? `Logging every ${state.loggingDelay} seconds.` : "Not logging.";
    if (fill || !state.logging) $("logging-delay").value = state.loggingDelay;
    $("logging-delay").disabled = state.logging;
    $("logging-start").disabled = state.logging;
    $("logging-stop").disabled = !state.logging;
  }

  async function switchLogging(action) {
    const body = {action};
    if (action === "start") body.delay = $("logging-delay").value;
    try {
      const got = await ask("/api/settings/logging", {
        method: "POST",
        headers: {"Content-Type": "application/json", "X-Veldra-Token": shown.token},
        body: JSON.stringify(body),
      });
      if (!got.ok) {
        say(got.body.error || `The program answered ${got.status}.`, true, "logging-status");
        return;
      }
      showLogging(got.body, true);
      say(got.body.saved, false, "logging-status");
    } catch (e) {
      say("The program does not answer: " + e.message, true, "logging-status");
    }
  }

  // ---- Calibration: the last frame's raw values and the results of the
  // values as typed, asked for every second.
  function showReadout(r) {
    if (!r) return;
    $("readout-data").textContent = {
      none: "No frame has come from the unit yet.",
      live: "",
      stale: "The unit sends no data: the values are the last it sent.",
      paused: "The port is closed: the values are the last the unit sent.",
    }[r.data] || "";
    for (const [key, value] of Object.entries(r))
      if (key !== "data" && value !== null) $(key).textContent = value;
  }

  async function readout() {
    if (!shown || shown.page !== "calibration") return;
    const query = new URLSearchParams();
    for (const f of shown.fields) query.set(f.key, $("f-" + f.key).value);
    try {
      const got = await ask("/api/settings/calibration?" + query);
      if (got.ok) showReadout(got.body.readout);
    } catch (e) {
      $("readout-data").textContent = "The program does not answer.";
    }
  }

  function zero() {
    const raw = $("txtShuntV").textContent;
    if (raw === "") return;
    $("f-VoltOffset").value = raw;
    say("The offset is " + raw + " until you save.");
  }

  async function loadCertified() {
    try {
      const got = await ask("/api/settings/certified");
      if (!got.ok) throw new Error(got.body.error);
      kept = got.body;
      $("certified-kept").textContent = kept.kept;
    } catch (e) {
      say(e.message, true, "certified-status");
    }
  }

  async function upload() {
    const file = $("certified-file").files[0];
    if (!kept || !file) {
      say("Choose a curve file first.", true, "certified-status");
      return;
    }
    say("Uploading…", false, "certified-status");
    try {
      const got = await ask("/api/settings/certified", {
        method: "POST",
        headers: {"Content-Type": "application/json", "X-Veldra-Token": kept.token},
        body: JSON.stringify({version: kept.version, curve: await file.text()}),
      });
      if (!got.ok) {
        say(got.body.error || `The program answered ${got.status}.`, true, "certified-status");
        return;
      }
      kept = got.body;
      $("certified-kept").textContent = kept.kept;
      say(kept.saved, false, "certified-status");
    } catch (e) {
      say("The program does not answer: " + e.message, true, "certified-status");
    }
  }

  async function ask(url, options) {
    const r = await fetch(url, Object.assign({cache: "no-store"}, options));
    if (r.status === 401 && !options) {
      location.assign("/login");
      throw new Error("The password is asked for.");
    }
    return {ok: r.ok, status: r.status, body: await r.json()};
  }

  async function load() {
    const page = location.hash.slice(1) || "setup";
    say("");
    try {
      const got = await ask("/api/settings/" + encodeURIComponent(page));
      if (!got.ok) throw new Error(got.body.error);
      show(got.body);
    } catch (e) {
      say(e.message, true);
    }
  }

  // Only what was changed: the rest stays as the file has it.
  function changedValues() {
    const values = {};
    for (const f of shown.fields) {
      if (f.readOnly) continue;
      const input = $("f-" + f.key);
      if (f.kind === "tick") {
        const v = input.checked ? "1" : "0";
        if (!input.indeterminate && v !== f.value) values[f.key] = v;
      } else if (f.kind === "secret" ? input.value !== "" : input.value !== f.value) {
        values[f.key] = input.value;
      }
    }
    return values;
  }

  async function save(event) {
    event.preventDefault();
    if (!shown) return;
    const values = changedValues();
    let body = {version: shown.version, values};
    if (shown.page === "password") {
      if (values.new !== values.again) {
        say("The new password and its repeat differ. Nothing was saved.", true);
        $("f-again").focus();
        return;
      }
      body = {old: values.old || "", new: values.new || ""};
    }
    $("save").disabled = true;
    say("Saving…");
    try {
      const got = await ask("/api/settings/" + shown.page, {
        method: "POST",
        headers: {"Content-Type": "application/json", "X-Veldra-Token": shown.token},
        body: JSON.stringify(body),
      });
      if (!got.ok) {
        say(got.body.error || `The program answered ${got.status}.`, true);
        const bad = got.body.field && $("f-" + got.body.field);
        if (bad) bad.focus();
        return;
      }
      if (shown.page === "password") {
        // Every login ended with the old password.
        for (const f of shown.fields) $("f-" + f.key).value = "";
        say(got.body.saved);
        return;
      }
      show(got.body);
      say(got.body.saved);
    } catch (e) {
      say("The program does not answer: " + e.message, true);
    } finally {
      $("save").disabled = false;
    }
  }

  $("form").addEventListener("submit", save);
  $("certified-upload").addEventListener("click", upload);
  $("logging-start").addEventListener("click", () => switchLogging("start"));
  $("logging-stop").addEventListener("click", () => switchLogging("stop"));
  $("zero").addEventListener("click", zero);
  window.addEventListener("hashchange", load);
  load();
})();
