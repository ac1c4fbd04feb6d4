#!/usr/bin/env python3
"""Memory of a large upload by fetch: the program's processes before, at the
peak and after a page sends one body of --megabytes MB (an ArrayBuffer or a
Blob) by `fetch`.

For each program run ("scripts": scrivlet with "Record requests made by page
scripts" ticked; "scrivlet": the box off) the page loads, asks the server
for /ready, and the server answers once the "before" figures are taken.
The page then builds the body, sends it, awaits the answer, drops it, and
reports /uploaded. Resident sizes (VmRSS) of the UI process, the web process
and the network process are sampled every 20 ms from the release until the
upload is recorded (or, box off, answered), and again 2, 5 and 10 s after.

With the box ticked, the element of the upload is read back from trans.xml
and its body compared with what the server received (size and SHA-256):
"whole" means equal.

Needs DISPLAY (an X server). Not a test: it prints figures.

  bench/upload_memory.py --build build [--megabytes 50] [--body arraybuffer|blob]
                         [--programs scripts,scrivlet]
"""

import argparse
import hashlib
import http.server
import json
import os
import re
import subprocess
import sys
import threading
import time
import urllib.parse

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browse_bench  # noqa: E402  (the agent installation, dialogs, stopping)

SAMPLE_S = 0.02
AFTER_S = (2, 5, 10)

UPLOAD_PAGE = """<!DOCTYPE html><html><head><meta charset='utf-8'><title>Upload</title>
</head><body><p>upload</p><script>
window.addEventListener('load', async function () {
  await (await fetch('/ready')).text();
  const size = %(size)d;
  let bytes = new Uint8Array(size);
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789';
  for (let i = 0; i < size; i++) bytes[i] = alphabet.charCodeAt((i * 7 + (i >> 12)) %% 62);
  let body = '%(kind)s' === 'blob' ? new Blob([bytes]) : bytes.buffer;
  let answer = await fetch('/upload', {method: 'POST',
    headers: {'Content-Type': 'application/octet-stream'}, body: body});
  await answer.text();
  bytes = body = answer = null;
  fetch('/uploaded', {method: 'POST', body: 'x'});
});
</script></body></html>"""


class State:
    def __init__(self, size, kind):
        self.size = size
        self.kind = kind
        self.lock = threading.Condition()
        self.reset()

    def reset(self):
        with self.lock:
            self.ready = False
            self.release = threading.Event()
            self.received = None  # (size, sha256)
            self.uploaded = False
            self.times = {}  # what happened when, by the monotonic clock

    def set(self, name, value):
        with self.lock:
            self.times[name] = time.monotonic()
            setattr(self, name, value)
            self.lock.notify_all()

    def wait(self, name, timeout):
        end = time.monotonic() + timeout
        with self.lock:
            while not getattr(self, name):
                left = end - time.monotonic()
                if left <= 0:
                    raise RuntimeError("timed out waiting for " + name)
                self.lock.wait(left)


def make_handler(state):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def reply(self, status, body=b"", content_type="text/html; charset=utf-8"):
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            self.wfile.write(body)

        def route(self, posted=None):
            path = urllib.parse.urlsplit(self.path).path
            if path == "/started":
                return self.reply(204)
            if path == "/step/0":
                return self.reply(200, (UPLOAD_PAGE % {"size": state.size,
                                                       "kind": state.kind}).encode())
            if path == "/ready":
                state.set("ready", True)
                state.release.wait(120)
                return self.reply(200, b"go", "text/plain")
            if path == "/upload":
                state.set("received", (len(posted), hashlib.sha256(posted).hexdigest()))
                return self.reply(200, b"{}", "application/json")
            if path == "/uploaded":
                state.set("uploaded", True)
                return self.reply(204)
            return self.reply(404, b"not found", "text/plain")

        def do_GET(self):
            self.route()

        def do_POST(self):
            length = int(self.headers.get("Content-Length") or 0)
            posted = b""
            while len(posted) < length:
                chunk = self.rfile.read(min(length - len(posted), 1 << 20))
                if not chunk:
                    break
                posted += chunk
            self.route(posted)

    return Handler


def descendants(pid):
    """The processes started under `pid`, by their command names."""
    found = {}
    out = subprocess.run(["ps", "-e", "-o", "pid=,ppid=,comm="], capture_output=True,
                         text=True).stdout
    children = {}
    for line in out.splitlines():
        p, pp, comm = line.split(None, 2)
        children.setdefault(int(pp), []).append((int(p), comm.strip()))
    todo = [pid]
    while todo:
        for child, comm in children.get(todo.pop(), []):
            found[child] = comm
            todo.append(child)
    return found


def rss_mb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
    except FileNotFoundError:
        pass
    return None


def processes(ui_pid):
    """ui, web and network process ids (by command name); each web process
    (the intro page's may be another than the site's) as web PID."""
    named = {"ui": ui_pid}
    for pid, comm in sorted(descendants(ui_pid).items()):
        if comm.startswith("WebKitWebProces"):
            named["web %d" % pid] = pid
        elif comm.startswith("WebKitNetworkPr"):
            named["network"] = pid
    return named


def sample(pids):
    return {name: rss_mb(pid) for name, pid in pids.items()}


def recorded_upload(document, size):
    """(size, sha256) of the body of the recorded /upload element, or None
    while it is not complete in trans.xml."""
    try:
        if os.path.getsize(document) < size:
            return None
        with open(document, "rb") as f:
            text = f.read()
    except FileNotFoundError:
        return None
    match = re.search(rb"<URI>/upload</URI>.*?<CONTENT>\r\n(.*?)</CONTENT>\r\n</REQUEST>",
                      text, re.S)
    if not match:
        return None
    # One W3C_ENC line per piece split at "&"; the body has no "&".
    pieces = re.findall(rb"<W3C_ENC>(.*?)</W3C_ENC>", match.group(1), re.S)
    body = b"&".join(pieces)
    return len(body), hashlib.sha256(body).hexdigest()


def run(args, state, base_url, program):
    state.reset()
    inst = browse_bench.Installation(base_url, record_scripts=program == "scripts")
    log = open(os.path.join(inst.root, "program.log"), "w")
    env = inst.environment("")
    env.update(item.split("=", 1) for item in args.env)
    process = subprocess.Popen([os.path.join(args.build, "scrivlet")], cwd=inst.work,
                               env=env, stdout=log, stderr=subprocess.STDOUT,
                               start_new_session=True)
    try:
        deadline = time.monotonic() + args.timeout
        for title in ("Network Login", "Proxy Login"):
            if not browse_bench.dismiss_dialog(title, deadline, process):
                raise RuntimeError("the dialog %r did not appear" % title)
        state.wait("ready", args.timeout)
        time.sleep(1)  # the page's load settles
        pids = processes(process.pid)
        before = sample(pids)
        peak = dict(before)
        state.release.set()
        started = time.monotonic()
        recorded = None
        while time.monotonic() < deadline:
            now = sample(pids)
            for name, value in now.items():
                if value is not None and (peak[name] is None or value > peak[name]):
                    peak[name] = value
            if state.uploaded:
                if program != "scripts":
                    break
                recorded = recorded_upload(inst.document, state.size)
                if recorded:
                    break
            time.sleep(SAMPLE_S)
        done = time.monotonic()
        after = {}
        for seconds in AFTER_S:
            time.sleep(max(0, done + seconds - time.monotonic()))
            after[seconds] = sample(pids)
        result = {"program": program, "body": state.kind, "bytes": state.size,
                  "received": state.received, "recorded": recorded,
                  "whole": bool(recorded) and recorded == state.received,
                  "upload_received_s": state.times.get("received", done) - started,
                  "uploaded_s": state.times.get("uploaded", done) - started,
                  "upload_to_recorded_s": done - started,
                  "trans_xml_bytes": os.path.getsize(inst.document)
                  if os.path.exists(inst.document) else 0,
                  "before_mb": before, "peak_mb": peak,
                  "after_mb": {str(k): v for k, v in after.items()}}
        return result
    except Exception:
        inst.show_log_end(log)
        raise
    finally:
        state.release.set()
        browse_bench.stop(process)
        log.close()
        inst.remove()


def table(results):
    lines = ["| program | body | process | before (MB) | peak (MB) | "
             + " | ".join("after %d s (MB)" % s for s in AFTER_S) + " | recorded whole |",
             "|---|---|---|---|---|" + "---|" * len(AFTER_S) + "---|"]
    for r in results:
        for name in sorted(r["before_mb"], key=lambda n: (n != "ui", n)):
            figures = [r["before_mb"][name], r["peak_mb"][name]] + \
                [r["after_mb"][str(s)][name] for s in AFTER_S]
            lines.append("| %s | %s | %s | %s | %s |" % (
                "ticked" if r["program"] == "scripts" else "off", r["body"], name,
                " | ".join("-" if v is None else "%.0f" % v for v in figures),
                ("yes" if r["whole"] else "NO") if r["program"] == "scripts" else "-"))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--megabytes", type=int, default=50)
    parser.add_argument("--body", default="arraybuffer,blob",
                        help="the body kinds, in order: arraybuffer, blob")
    parser.add_argument("--programs", default="scripts,scrivlet")
    parser.add_argument("--timeout", type=float, default=300)
    parser.add_argument("--env", action="append", default=[])
    parser.add_argument("--out", default="")
    args = parser.parse_args()

    state = State(args.megabytes * 1024 * 1024, "")
    server = browse_bench.Server(("127.0.0.1", 0), make_handler(state))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base_url = "http://127.0.0.1:%d/" % server.server_address[1]
    results = []
    try:
        for kind in args.body.split(","):
            state.kind = kind
            for program in args.programs.split(","):
                result = run(args, state, base_url, program)
                print(json.dumps(result), flush=True)
                results.append(result)
    finally:
        server.shutdown()
    print(table(results))
    if args.out:
        with open(args.out, "w") as f:
            json.dump(results, f, indent=1)


if __name__ == "__main__":
    main()
