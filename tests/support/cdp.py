# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives headless Chromium through the DevTools protocol over a pipe.

    python3 cdp.py '<steps as JSON>'

Steps, run in order on one tab:
  {"open": url, "width": w, "height": h}   load a page at that viewport
  {"wait": js, "timeout": ms}              until the expression is truthy
  {"eval": js}                             its value
  {"script": path}                         runs a script file in the page (a
                                           library too large for one argument)
  {"shot": path}                           a PNG of the whole page
  {"paint": url, "runs": n, "width": w, "height": h}
                                           first contentful paint of n cold loads (ms)
Prints one JSON object: "results" (one per step), "errors" (console
errors, exceptions, refused or failed loads) and "failed" (the step that
did not finish, with why). "step <n>" goes to standard error as each step
ends, for a caller that acts meanwhile. Chromium runs on a new empty profile, which is
removed afterwards.
"""
import base64, json, os, shutil, subprocess, sys, tempfile, time


class Browser:
    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="veldra-chromium-")
        to_r, to_w = os.pipe()      # our commands
        from_r, from_w = os.pipe()  # its answers
        args = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-extensions", "--hide-scrollbars", "--mute-audio", "--remote-debugging-pipe",
                "--user-data-dir=" + self.profile, "about:blank"]
        # The protocol's pipe is the child's descriptors 3 (in) and 4 (out).
        self.proc = subprocess.Popen(["sh", "-c", 'exec "$@" 3<&%d 4>&%d' % (to_r, from_w), "sh"] + args,
                                     pass_fds=(to_r, from_w), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_r)
        os.close(from_w)
        self.out, self.inp = to_w, from_r
        self.buf = b""
        self.next_id = 0
        self.events = []
        self.errors = []
        self.session = None

    def close(self):
        try:
            self.send("Browser.close", timeout=5)
        except Exception:
            pass
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self.out)
        os.close(self.inp)
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read(self, deadline):
        import select
        while b"\0" not in self.buf:
            left = deadline - time.time()
            if left <= 0 or not select.select([self.inp], [], [], left)[0]:
                raise TimeoutError("Chromium did not answer")
            chunk = os.read(self.inp, 1 << 20)
            if not chunk:
                raise EOFError("Chromium ended")
            self.buf += chunk
        msg, self.buf = self.buf.split(b"\0", 1)
        return json.loads(msg)

    def _note(self, m):
        method, p = m.get("method"), m.get("params", {})
        if method == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert"):
            self.errors.append("console: " + " ".join(str(a.get("value", a.get("description", ""))) for a in p["args"]))
        elif method == "Runtime.exceptionThrown":
            d = p["exceptionDetails"]
            self.errors.append("exception: " + d.get("exception", {}).get("description", d.get("text", "")))
        elif method == "Log.entryAdded" and p["entry"]["level"] == "error":
            self.errors.append("log: %s %s" % (p["entry"]["text"], p["entry"].get("url", "")))
        self.events.append(m)

    def send(self, method, params=None, timeout=60, session=True):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            msg["sessionId"] = self.session
        os.write(self.out, json.dumps(msg).encode() + b"\0")
        deadline = time.time() + timeout
        while True:
            m = self._read(deadline)
            if m.get("id") == self.next_id:
                if "error" in m:
                    raise RuntimeError("%s: %s" % (method, m["error"].get("message")))
                return m.get("result", {})
            self._note(m)

    def wait_event(self, method, timeout=60):
        deadline = time.time() + timeout
        for i, m in enumerate(self.events):
            if m.get("method") == method:
                del self.events[: i + 1]
                return m
        self.events.clear()
        while True:
            m = self._read(deadline)
            self._note(m)
            if m.get("method") == method:
                self.events.clear()
                return m

    def tab(self):
        target = self.send("Target.createTarget", {"url": "about:blank"}, session=False)["targetId"]
        self.session = self.send("Target.attachToTarget", {"targetId": target, "flatten": True},
                                 session=False)["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            self.send(domain + ".enable")

    def evaluate(self, js):
        r = self.send("Runtime.evaluate", {"expression": js, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in r:
            raise RuntimeError("evaluate %s: %s" % (js, r["exceptionDetails"].get("text")))
        return r["result"].get("value")

    def open(self, url, width, height):
        self.send("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})
        self.events.clear()
        self.send("Page.navigate", {"url": url})
        self.wait_event("Page.loadEventFired")


def run(steps):
    b = Browser()
    out = {"results": [], "errors": b.errors, "failed": None}
    try:
        b.tab()
        for n, step in enumerate(steps):
            if n:
                sys.stderr.write("step %d\n" % (n - 1))
                sys.stderr.flush()
            t0 = time.time()
            if "open" in step:
                b.open(step["open"], step.get("width", 1280), step.get("height", 800))
                out["results"].append({"url": b.evaluate("location.href")})
            elif "wait" in step:
                deadline = t0 + step.get("timeout", 10000) / 1000
                while not b.evaluate(step["wait"]):
                    if time.time() > deadline:
                        raise TimeoutError("waited %d ms for %s" % (step.get("timeout", 10000), step["wait"]))
                    time.sleep(0.05)
                out["results"].append({"ms": round((time.time() - t0) * 1000)})
            elif "eval" in step:
                out["results"].append({"value": b.evaluate(step["eval"])})
            elif "script" in step:
                with open(step["script"], encoding="utf-8") as f:
                    b.evaluate(f.read())
                out["results"].append({"script": step["script"]})
            elif "shot" in step:
                png = b.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True})["data"]
                with open(step["shot"], "wb") as f:
                    f.write(base64.b64decode(png))
                out["results"].append({"shot": step["shot"]})
            elif "paint" in step:
                b.send("Network.setCacheDisabled", {"cacheDisabled": True})
                times = []
                for _ in range(step.get("runs", 5)):
                    b.open("about:blank", step.get("width", 390), step.get("height", 844))
                    b.open(step["paint"], step.get("width", 390), step.get("height", 844))
                    js = "(performance.getEntriesByName('first-contentful-paint')[0] || {}).startTime"
                    deadline = time.time() + 10
                    t = b.evaluate(js)
                    while t is None and time.time() < deadline:
                        time.sleep(0.02)
                        t = b.evaluate(js)
                    times.append(t)
                out["results"].append({"paint": times})
    except Exception as e:
        out["failed"] = {"step": len(out["results"]), "why": "%s: %s" % (type(e).__name__, e)}
    finally:
        b.close()
    return out


if __name__ == "__main__":
    print(json.dumps(run(json.loads(sys.argv[1]))))
