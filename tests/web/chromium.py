"""Headless chromium driven over --remote-debugging-pipe (the DevTools protocol
as NUL-ended JSON messages on descriptors 3 and 4), and a server of one folder
on 127.0.0.1: enough to load the page and read what it computed, with nothing
but /usr/bin/python3's standard library."""
import base64
import fcntl
import functools
import http.server
import json
import os
import shutil
import subprocess
import tempfile
import threading
import time

# Headless, and as root (CI) without the sandbox; no GPU, and nothing that
# would reach the network on its own.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-dev-shm-usage", "--remote-debugging-pipe"]

# Reads window.circthreshResult, its byte arrays as base64; null while running.
READ_RESULT = """(() => {
  const r = window.circthreshResult;
  if (!r) return null;
  const base64 = (bytes) => {
    let text = '';
    for (let i = 0; i < bytes.length; i += 32768) text += String.fromCharCode(...bytes.subarray(i, i + 32768));
    return btoa(text);
  };
  return {report: r.report, width: r.width, height: r.height, hue: base64(r.hue), mask: base64(r.mask),
          counted: base64(r.counted), kinds: [r.hue, r.mask, r.counted].map((a) => a.constructor.name),
          classes: r.classes, cuts: r.cuts, labels: r.labels ? base64(r.labels) : null};
})()"""


def above_nine(fd):
    moved = fcntl.fcntl(fd, fcntl.F_DUPFD, 10)
    os.close(fd)
    return moved


def serve(folder):
    """Serves folder on 127.0.0.1 at a free port in a thread; returns the server."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                             functools.partial(Quiet, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class Chromium:
    """One headless chromium with one page, a fresh profile in a folder made in
    scratch (removed by close)."""

    def __init__(self, scratch, width=1100, height=760):
        self.profile = tempfile.mkdtemp(prefix="chromium-profile-", dir=scratch)
        commands_read, self.commands = os.pipe()
        self.replies, replies_write = os.pipe()
        # The child's ends above 9, so that moving them to 3 and 4 cannot close either.
        commands_read, replies_write = (above_nine(fd) for fd in (commands_read, replies_write))
        # chromium reads commands on descriptor 3 and answers on 4.
        script = f'exec chromium "$@" 3<&{commands_read} 4>&{replies_write} {commands_read}<&- {replies_write}>&-'
        self.process = subprocess.Popen(
            ["/bin/bash", "-c", script, "bash", *FLAGS, f"--user-data-dir={self.profile}", "about:blank"],
            pass_fds=(commands_read, replies_write), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.profile, "stderr.log"), "wb"))
        os.close(commands_read)
        os.close(replies_write)
        self.buffer = b""
        self.next_id = 0
        try:
            target = self.send("Target.createTarget", url="about:blank")["targetId"]
            self.session = self.send("Target.attachToTarget", targetId=target,
                                     flatten=True)["sessionId"]
            self.send("Emulation.setDeviceMetricsOverride", session=True, width=width,
                      height=height, deviceScaleFactor=1, mobile=False)
        except Exception:
            self.close()
            raise

    def send(self, method, session=False, **params):
        """Sends one command and returns its result; raises on a protocol error."""
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = self.session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                chunk = os.read(self.replies, 1 << 20)
                if not chunk:
                    with open(os.path.join(self.profile, "stderr.log"), errors="replace") as log:
                        said = log.read()[-2000:]
                    raise RuntimeError(f"chromium closed the pipe during {method}; it said:\n{said}")
                self.buffer += chunk
            text, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(text)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]

    def evaluate(self, expression):
        reply = self.send("Runtime.evaluate", session=True, expression=expression,
                          returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in reply:
            raise RuntimeError(f"page script failed: {reply['exceptionDetails']}")
        return reply["result"].get("value")

    def open(self, url, timeout=60, read=READ_RESULT, until="!!window.circthreshResult"):
        """Loads url and waits until the expression until holds (by default, a
        result in window.circthreshResult); returns the value of the expression
        read (by default the result, its arrays as base64). Raises with the
        page's status line on a timeout."""
        self.send("Page.navigate", session=True, url=url)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.evaluate(f"document.readyState === 'complete' && ({until})"):
                return self.evaluate(read)
            time.sleep(0.05)
        status = self.evaluate("document.getElementById('status')?.textContent")
        raise RuntimeError(f"no result from {url} in {timeout} s; the page says: {status}")

    def screenshot(self, path):
        # The whole page, however long, at the viewport's width.
        width, height = self.evaluate("[document.documentElement.clientWidth, "
                                      "document.documentElement.scrollHeight]")
        data = self.send("Page.captureScreenshot", session=True, format="png",
                         captureBeyondViewport=True,
                         clip={"x": 0, "y": 0, "width": width, "height": height, "scale": 1})["data"]
        with open(path, "wb") as out:
            out.write(base64.b64decode(data))

    def close(self):
        try:
            self.send("Browser.close")
        except RuntimeError:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.commands)
        os.close(self.replies)
        shutil.rmtree(self.profile, ignore_errors=True)
