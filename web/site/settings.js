// SPDX-License-Identifier: GPL-3.0-or-later
// The settings pages: a settings file's form from /api/settings/<page>, its
// fields as the program describes them, and Save sending the changed
// values back with the form's version and the login's token.
"use strict";

(() => {
  const $ = id => document.getElementById(id);
  let shown = null; // the form as it came
  let kept = null;  // the certified curve's form

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
    } else {
      input.type = f.kind === "secret" ? "password" : "text";
      input.value = f.value;
      input.autocomplete = "off";
      if (f.kind === "secret") input.placeholder = "(stored; type to replace)";
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

  function show(form) {
    shown = form;
    $("title").textContent = form.title;
    $("fields").replaceChildren(...form.fields.map(field));
    $("readonly-note").hidden = !form.fields.some(f => f.readOnly);
    for (const a of $("pages").querySelectorAll("a"))
      if (a.hash === "#" + form.page) a.setAttribute("aria-current", "page");
      else a.removeAttribute("aria-current");
    document.title = "Veldra: " + form.title;
    // The certified curve is kept beside the turbine's settings.
    $("certified").hidden = form.page !== "turbine";
    if (form.page === "turbine") loadCertified();
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
    const page = location.hash.slice(1) || "alarms";
    say("");
    try {
      const got = await ask("/api/settings/" + encodeURIComponent(page));
      if (!got.ok) throw new Error(got.body.error);
      show(got.body);
    } catch (e) {
      say(e.message, true);
    }
  }

  async function save(event) {
    event.preventDefault();
    if (!shown) return;
    const values = {};
    for (const f of shown.fields) {
      if (f.readOnly) continue;
      const input = $("f-" + f.key);
      if (f.kind === "tick") values[f.key] = input.checked ? "1" : "0";
      else if (f.kind !== "secret" || input.value !== "") values[f.key] = input.value;
    }
    $("save").disabled = true;
    say("Saving…");
    try {
      const got = await ask("/api/settings/" + shown.page, {
        method: "POST",
        headers: {"Content-Type": "application/json", "X-Veldra-Token": shown.token},
        body: JSON.stringify({version: shown.version, values}),
      });
      if (!got.ok) {
        say(got.body.error || `The program answered ${got.status}.`, true);
        const bad = got.body.field && $("f-" + got.body.field);
        if (bad) bad.focus();
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
  window.addEventListener("hashchange", load);
  load();
})();
