#!/usr/bin/python3
"""The live preview in a real browser: headless Chromium driven through
chromedriver's WebDriver protocol (standard library only).

It serves a copy of examples/home, checks the page shows the template, edits
the template and waits for the page to change in place (a marker set in the
page's script survives: no reload), sets the device and a fact, shows the
explanation layer, breaks the
template and waits for the lint findings, then brings back the last good
render. Screenshots go to ARTIFACTS/serve.png and serve-broken.png.

  check_serve_browser.py TOOL EXAMPLES_DIR ARTIFACTS_DIR
"""
import base64
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

CHROMIUM = os.environ.get("QUARNKIT_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("QUARNKIT_CHROMEDRIVER", "/usr/bin/chromedriver")
# Seconds any one expected change may take; a slower build (sanitized, or
# under emulation) sets QUARNKIT_TIME_SCALE.
WAIT = 10.0 * float(os.environ.get("QUARNKIT_TIME_SCALE", "1"))


class Failure(Exception):
    pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(method, url, body=None, timeout=30):
    data = None if body is None else json.dumps(body).encode()
    req = urllib.request.Request(url, data=data, method=method,
                                 headers={"Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(req, timeout=timeout) as response:
            return json.loads(response.read() or b"null")
    except urllib.error.HTTPError as e:
        raise Failure(f"{method} {url}: {e.code} {e.read()[:500]!r}") from None


class Browser:
    def __init__(self, profile):
        self.port = free_port()
        self.driver = subprocess.Popen(
            [CHROMEDRIVER, f"--port={self.port}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.base = f"http://127.0.0.1:{self.port}"
        deadline = time.monotonic() + WAIT
        while True:
            try:
                if request("GET", self.base + "/status", timeout=1)["value"]["ready"]:
                    break
            except (OSError, Failure):
                pass
            if time.monotonic() > deadline:
                raise Failure("chromedriver did not start")
            time.sleep(0.05)
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {
                "binary": CHROMIUM,
                "args": ["--headless=new", "--no-sandbox", "--disable-gpu",
                         "--user-data-dir=" + profile, "--window-size=1200,1000",
                         "--no-first-run", "--disable-extensions"],
            },
        }}}
        self.session = request("POST", self.base + "/session", caps)["value"]["sessionId"]

    def call(self, method, path, body=None):
        return request(method, f"{self.base}/session/{self.session}{path}", body)["value"]

    def go(self, url):
        self.call("POST", "/url", {"url": url})

    def run(self, script, *args):
        return self.call("POST", "/execute/sync", {"script": script, "args": list(args)})

    def click(self, css):
        element = self.call("POST", "/element", {"using": "css selector", "value": css})
        self.call("POST", f"/element/{next(iter(element.values()))}/click", {})

    def text(self, css):
        return self.run("const e = document.querySelector(arguments[0]);"
                        "return e ? e.innerText : null;", css) or ""

    def screenshot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("GET", "/screenshot")))
        print("screenshot:", path)

    def close(self):
        try:
            request("DELETE", f"{self.base}/session/{self.session}", timeout=10)
        except Exception:
            pass
        self.driver.terminate()
        try:
            self.driver.wait(5)
        except subprocess.TimeoutExpired:
            self.driver.kill()


def wait_for(what, condition):
    deadline = time.monotonic() + WAIT
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"after {WAIT:.0f} s: {what}")
        time.sleep(0.1)


def start_server(tool, template, cwd):
    server = subprocess.Popen([tool, "serve", template], cwd=cwd,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    line = server.stderr.readline().strip()
    prefix = "quarnkit: serving "
    if not line.startswith(prefix):
        server.kill()
        raise Failure(f"serve printed {line!r}")
    return server, line[len(prefix):]


def check(tool, examples, artifacts, scratch):
    shutil.copytree(os.path.join(examples, "home"), os.path.join(scratch, "home"))
    template = os.path.join(scratch, "home", "template.json")
    with open(template) as f:
        original = f.read()
    server, url = start_server(tool, "home/template.json", scratch)
    browser = None
    try:
        browser = Browser(os.path.join(scratch, "profile"))
        browser.go(url)
        wait_for("the page shows the template's rows",
                 lambda: "Quick links" in browser.text("#screen .phone"))
        print("ok   the page shows the template")
        browser.run("window.__marker = 1;")

        # Shorter, in place: only the poll sees it (the file does not grow).
        with open(template, "w") as f:
            f.write(original.replace('"Quick links"', '"Fast links"'))
        wait_for("the page shows the edited title",
                 lambda: "Fast links" in browser.text("#screen .phone"))
        if browser.run("return window.__marker;") != 1:
            raise Failure("the page was reloaded: the marker is gone")
        print("ok   an edit shows in place, without a reload")

        # The controls: a device and an edited fact render with those settings.
        browser.run("const d = document.getElementById('device'); d.value = 'tablet';"
                    "d.dispatchEvent(new Event('change'));")
        wait_for("the page shows the tablet",
                 lambda: "Try the two-column layout" in browser.text("#screen .phone"))
        browser.run("const f = [...document.querySelectorAll('#facts label')]"
                    ".find((l) => l.firstChild.textContent === 'country').lastChild;"
                    "f.value = 'FR'; f.dispatchEvent(new Event('input'));"
                    "f.dispatchEvent(new Event('change'));")
        wait_for("the page renders with the edited fact",
                 lambda: "Stores near you" not in browser.text("#screen .phone"))
        print("ok   the device and the facts are set on the page")

        browser.click("#explain")
        layer = wait_for("the explanation shows the rule hiding an item",
                         lambda: (lambda t: "the user is not premium" in t and t)(
                             browser.text("#explain-layer")))
        if "hidden: expired 2024-04-15T00:00:00Z" not in layer:
            raise Failure("the explanation lacks the expiry rule: " + layer[:300])
        print("ok   the explanation marks hidden items with their rule")
        os.makedirs(artifacts, exist_ok=True)
        browser.screenshot(os.path.join(artifacts, "serve.png"))

        with open(template, "w") as f:
            f.write('[{"uniqueId": "x", "type": ')
        wait_for("the page shows the lint finding",
                 lambda: "not valid JSON" in browser.text("#screen .findings"))
        print("ok   a broken template shows its lint findings")
        browser.screenshot(os.path.join(artifacts, "serve-broken.png"))
        browser.click("#last-good")
        wait_for("the last good render is one click away",
                 lambda: "Fast links" in browser.text("#screen .phone"))
        if browser.run("return window.__marker;") != 1:
            raise Failure("the page was reloaded: the marker is gone")
        print("ok   the last good render is one click away")
    finally:
        if browser:
            browser.close()
        server.send_signal(signal.SIGINT)
        try:
            status = server.wait(15)
        except subprocess.TimeoutExpired:
            server.kill()
            raise Failure("serve did not stop on SIGINT") from None
        rest = server.stderr.read()
        if status != 0:
            raise Failure(f"serve ended with status {status}: {rest[-2000:]}")
    print("ok   serve stops on SIGINT")


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    tool, examples, artifacts = (os.path.abspath(a) for a in sys.argv[1:])
    started = time.monotonic()
    scratch = tempfile.mkdtemp(prefix="quarnkit-serve-browser-")
    try:
        check(tool, examples, artifacts, scratch)
    except Failure as e:
        print("FAIL", e)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
