#!/usr/bin/env python3
"""Browsing, start-up, memory and proxy benchmarks of the program.

Runs the program (scrivlet, in an agent installation of its own) and the
plain view (the same web view with nothing recorded) one after the other,
alternating, against a loopback site whose pages advance by themselves: links,
URL-encoded posts, multipart posts with a file, server redirects and a page
with frames, NAVIGATIONS of them in a fixed order. Everything is timed here,
on the server side, with one clock:

  start-up   from starting the process to its intro page's load event
             (the page reports it with an image request)
  browsing   from the request of the first page to the last page's load
             event (the page reports it with a request)
  memory     the UI process's peak resident size (VmHWM) after the last page
  held       navigations the program made wait for their form body
             (counted by the hold counter preloaded into the process)

With --fetches N, a second phase compares three runs side by side: the
program with "Record requests made by page scripts" ticked (its choices file
written into the run's private configuration folder), the program with it
off, and the plain view, each browsing one page whose script makes N
`fetch` POSTs with small JSON bodies, one after the other, each awaited.
Browsing is then from the page's request to its last answer; for the
program, the requests recorded in trans.xml are counted (all N expected
when ticked, none when off), and for all three the processor time their
processes (UI, web, network) used while browsing, which a busy machine
disturbs less than the elapsed time.

The program's credential dialogs, which appear at the intro page, are
dismissed with xdotool; the browsing time starts after them.

Needs DISPLAY (an X server). Prints one JSON object per run on standard
output, and writes all runs to --out.
"""

import argparse
import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

KINDS = ("link", "urlencoded", "multipart", "redirect", "frames")


def page(title, body, script=""):
    return ("<!DOCTYPE html><html><head><meta charset='utf-8'><title>%s</title>"
            "</head><body><h1>%s</h1>%s<script>%s</script></body></html>"
            % (title, title, body, script)).encode()


def fields(n, count):
    return "".join(
        "<input type='text' name='field%d' value='value %d of step %d &amp; more'>"
        % (i, i, n) for i in range(1, count + 1))


# Between choosing a file and submitting its form (no person is this quick).
CHOICE_TO_SUBMIT_MS = 10
ON_LOAD = "window.addEventListener('load', function () { setTimeout(function () { %s }, 0); });"


class Site:
    """The pages, and what the current run has reported."""

    def __init__(self, navigations, kinds=KINDS):
        self.navigations = navigations
        self.kinds = kinds
        self.fetches = 0  # while nonzero, step 0 is the page of fetches
        self.lock = threading.Lock()
        self.event = threading.Condition(self.lock)
        self.reset()

    def reset(self):
        with self.lock:
            self.started = None
            self.first = None
            self.done = None
            self.requests = 0
            self.posts = 0
            self.api_posts = 0

    def mark(self, name):
        now = time.monotonic()
        with self.lock:
            if getattr(self, name) is None:
                setattr(self, name, now)
            self.event.notify_all()

    def wait_for(self, name, timeout):
        deadline = time.monotonic() + timeout
        with self.lock:
            while getattr(self, name) is None:
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.event.wait(left)
            return getattr(self, name)

    def step(self, n):
        if self.fetches and n == 0:
            return fetch_page(self.fetches)
        last = self.navigations
        if n >= last:
            return page("Step %d (last)" % n, "<p>done</p>",
                        "window.addEventListener('load', function () {"
                        " fetch('/done', {method: 'POST', body: 'x'}); });")
        kind = self.kinds[n % len(self.kinds)]
        nxt = "/step/%d" % (n + 1)
        if kind == "link":
            return page("Step %d" % n,
                        "<p><a id='next' href='%s?via=link&amp;n=%d'>next</a></p>" % (nxt, n),
                        ON_LOAD % "document.getElementById('next').click();")
        if kind == "urlencoded":
            return page("Step %d" % n,
                        "<form method='post' action='%s'>%s<button>Send</button></form>"
                        % (nxt, fields(n, 20)),
                        ON_LOAD % "document.forms[0].requestSubmit();")
        if kind == "multipart":
            return page("Step %d" % n,
                        "<form method='post' enctype='multipart/form-data' action='%s'>%s"
                        "<input type='file' name='upload'><button>Send</button></form>"
                        % (nxt, fields(n, 8)),
                        # As a file chooser does: the choice raises input and
                        # change, and the user submits a moment later.
                        ON_LOAD % ("var t = new DataTransfer();"
                                   "t.items.add(new File(['line one\\nline two\\n'], 'notes.txt',"
                                   " {type: 'text/plain'}));"
                                   "var f = document.forms[0].elements['upload'];"
                                   "f.files = t.files;"
                                   "f.dispatchEvent(new Event('input', {bubbles: true}));"
                                   "f.dispatchEvent(new Event('change', {bubbles: true}));"
                                   "setTimeout(function () { document.forms[0].requestSubmit(); }, %d);"
                                   % CHOICE_TO_SUBMIT_MS))
        if kind == "redirect":
            return page("Step %d" % n,
                        "<p><a id='next' href='/redirect/%d'>next</a></p>" % (n + 1),
                        ON_LOAD % "document.getElementById('next').click();")
        # A frameset: its load event waits for both frames.
        return ("<!DOCTYPE html><html><head><title>Step %d</title><script>"
                "window.addEventListener('load', function () { setTimeout(function () {"
                " location.href = '%s'; }, 0); });</script></head>"
                "<frameset cols='50%%,50%%'><frame src='/frame/%d/left'>"
                "<frame src='/frame/%d/right'></frameset></html>" % (n, nxt, n, n)).encode()


def fetch_page(count):
    """A page whose script saves COUNT items by fetch, one after the other,
    as a single-page application does, then reports that it is done."""
    # Nothing is drawn per request: what differs is the requests' path,
    # not the painting of a growing page.
    return page("Items", "<p>saving</p>",
                "window.addEventListener('load', async function () {"
                " let saved = 0;"
                " for (let i = 0; i < %d; i++) {"
                "  const answer = await fetch('/api/item/' + i, {method: 'POST',"
                "   headers: {'Content-Type': 'application/json'},"
                "   body: JSON.stringify({id: i, name: 'item ' + i,"
                "    note: 'saved from the list', tags: ['a', 'b'], done: i %% 2 === 0})});"
                "  if ((await answer.json()).id === i) saved++;"
                " }"
                " fetch('/done', {method: 'POST', body: 'x'});"
                "});" % count)


def make_handler(site):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def reply(self, status, body=b"", content_type="text/html; charset=utf-8",
                  headers=()):
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-store")
            for name, value in headers:
                self.send_header(name, value)
            self.end_headers()
            if self.command != "HEAD":
                self.wfile.write(body)

        def route(self):
            path = urllib.parse.urlsplit(self.path).path
            parts = path.strip("/").split("/")
            with site.lock:
                site.requests += 1
            if parts[0] == "started":
                site.mark("started")
                return self.reply(204)
            if parts[0] == "done":
                site.mark("done")
                return self.reply(204)
            if parts[0] == "step" and len(parts) == 2 and parts[1].isdigit():
                n = int(parts[1])
                if n == 0:
                    site.mark("first")
                return self.reply(200, site.step(n))
            if parts[0] == "redirect" and len(parts) == 2 and parts[1].isdigit():
                return self.reply(302, headers=[("Location", "/step/" + parts[1])])
            if parts[0] == "frame":
                return self.reply(200, page("Frame " + "/".join(parts[1:]),
                                            "<p>frame content</p>"))
            if parts[0] == "api" and self.command == "POST":
                with site.lock:
                    site.api_posts += 1
                return self.reply(200, self.posted, "application/json")
            if parts[0] == "favicon.ico":
                return self.reply(404, b"")
            return self.reply(404, b"not found", "text/plain")

        def do_GET(self):
            self.route()

        def do_POST(self):
            length = int(self.headers.get("Content-Length") or 0)
            self.posted = self.rfile.read(length) if length else b""
            with site.lock:
                site.posts += 1
            self.route()

    return Handler


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def handle_error(self, request, client_address):
        # The engine drops connections it no longer needs; nothing to report.
        pass


INTRO = """<!DOCTYPE html><html><head><meta charset='utf-8'><title>Intro</title></head>
<body><p>Benchmark intro</p><script>
window.addEventListener('load', function () {
  // Onwards only once the report has been sent: leaving the page at once
  // could cancel it.
  var report = new Image();
  report.onload = report.onerror = function () {
    location.href = '%(base)sstep/0';
  };
  report.src = '%(base)sstarted?at=' + Date.now();
});
</script></body></html>
"""


def container_environment():
    """What WebKit and GTK need in a container under Xvfb, as the one script
    that holds it prints it (the shell scripts source the same file)."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir,
                          "scripts", "lib", "webkit-env.bash")
    printed = subprocess.run(["bash", script], capture_output=True, text=True,
                             check=True).stdout
    return dict(line.split("=", 1) for line in printed.splitlines() if "=" in line)


class Installation:
    """An agent installation and a private HOME, removed afterwards."""

    def __init__(self, base_url, proxy=None, record_scripts=False):
        self.root = tempfile.mkdtemp(prefix="scrivlet-bench-agent-")
        self.work = os.path.join(self.root, "agent", "tasks", "recording")
        os.makedirs(self.work)
        os.makedirs(os.path.join(self.root, "agent", "configuration"))
        with open(os.path.join(self.root, "agent", "configuration", "agent.ini"), "w") as f:
            f.write("dbmgmtsrvurl=%s\n" % base_url)
            if proxy:
                f.write("ProxyHost=%s\nProxyPort=%s\n" % proxy)
        with open(os.path.join(self.work, "transName.txt"), "w") as f:
            f.write("transactionName=Benchmark\r\nuuid=5d7f2c1e-0000-4000-8000-000000000001\r\n")
        with open(os.path.join(self.work, "scrivletIntro.html"), "w") as f:
            f.write(INTRO % {"base": base_url})
        self.intro_url = "file://" + os.path.join(self.work, "scrivletIntro.html")
        self.home = os.path.join(self.root, "home")
        os.makedirs(os.path.join(self.home, "runtime"), mode=0o700)
        if record_scripts:
            # The box "Record requests made by page scripts", ticked as the
            # program keeps it (src/platform/user_choices.cpp).
            os.makedirs(os.path.join(self.home, "config", "scrivlet"))
            with open(os.path.join(self.home, "config", "scrivlet", "choices.ini"), "w") as f:
                f.write("[Recording]\nRecordScriptRequests=true\n")
        self.document = os.path.join(self.work, "trans.xml")
        self.hold_log = os.path.join(self.root, "held.log")

    def environment(self, preload):
        home = self.home
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": home,
            "XDG_CONFIG_HOME": home + "/config",
            "XDG_CACHE_HOME": home + "/cache",
            "XDG_DATA_HOME": home + "/data",
            "XDG_STATE_HOME": home + "/state",
            "XDG_RUNTIME_DIR": home + "/runtime",
            "TMPDIR": home,
            "LC_ALL": "C",
            "DISPLAY": os.environ["DISPLAY"],
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + home + "/no-session-bus",
            "SCRIVLET_HOLD_LOG": self.hold_log,
        }
        env.update(container_environment())
        if preload:
            env["LD_PRELOAD"] = preload
        return env

    def held(self):
        try:
            with open(self.hold_log) as f:
                return [int(line.split()[1]) for line in f if line.startswith("held")]
        except FileNotFoundError:
            return []

    def show_log_end(self, log):
        """Copies the end of the program's log to standard error."""
        log.flush()
        with open(os.path.join(self.root, "program.log")) as f:
            sys.stderr.write(f.read()[-3000:])

    def recorded_script_requests(self):
        """The elements of trans.xml for the page's fetches."""
        try:
            with open(self.document, "rb") as f:
                return f.read().count(b"<URI>/api/item/")
        except FileNotFoundError:
            return 0

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True,
                          timeout=20).stdout


def dismiss_dialog(title, deadline, process):
    """Answers one credential dialog with Escape, as a user who has none."""
    while time.monotonic() < deadline and process.poll() is None:
        windows = xdotool("search", "--onlyvisible", "--name", "^%s$" % title).split()
        if windows:
            window = windows[0]
            xdotool("windowraise", window)
            xdotool("windowfocus", window)
            xdotool("key", "Escape")
            # Wait until it has gone; press again if the key got lost.
            for _ in range(100):
                if window not in xdotool("search", "--onlyvisible", "--name",
                                         "^%s$" % title).split():
                    return True
                time.sleep(0.05)
            continue
        time.sleep(0.02)
    return False


def peak_rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return None


def descends_from(pid, ancestor):
    while pid > 1:
        try:
            with open("/proc/%d/stat" % pid) as f:
                pid = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            return False
        if pid == ancestor:
            return True
    return False


def tree_cpu_s(pid):
    """Processor time (user and system) used so far by `pid` and every
    process under it (the engine's web and network processes)."""
    ticks = os.sysconf("SC_CLK_TCK")
    parents, times = {}, {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        parents[int(entry)] = int(fields[1])
        times[int(entry)] = (int(fields[11]) + int(fields[12])) / ticks
    total, todo = 0.0, [pid]
    while todo:
        current = todo.pop()
        total += times.get(current, 0.0)
        todo.extend(child for child, parent in parents.items() if parent == current)
    return total


def stop(process):
    """Ends the process group the run started (the program and its engine
    processes)."""
    if process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def run_once(args, site, base_url, program, proxy=None):
    """One run of `program` ("scrivlet", "scripts": scrivlet recording
    script requests, "plain" or "adapter"); returns its figures."""
    site.reset()
    scrivlet = program in ("scrivlet", "scripts")
    inst = Installation(base_url, proxy if scrivlet else None,
                        record_scripts=program == "scripts")
    log = open(os.path.join(inst.root, "program.log"), "w")
    try:
        env = inst.environment(args.hold_counter)
        env.update(item.split("=", 1) for item in args.env)
        if scrivlet:
            argv = [os.path.join(args.build, "scrivlet")]
        elif program == "adapter":
            argv = [os.path.join(args.build, "scrivlet-plain-view"), "--adapter",
                    inst.intro_url]
        else:
            argv = [os.path.join(args.build, "scrivlet-plain-view"), inst.intro_url]
            if proxy:
                argv += [proxy[0], str(proxy[1])]
        spawned = time.monotonic()
        process = subprocess.Popen(argv, cwd=inst.work, env=env, stdout=log,
                                   stderr=subprocess.STDOUT, start_new_session=True)
        try:
            deadline = time.monotonic() + args.timeout
            if scrivlet:
                for title in ("Network Login", "Proxy Login"):
                    if not dismiss_dialog(title, deadline, process):
                        raise RuntimeError("the dialog %r did not appear" % title)
            started = site.wait_for("started", max(1, deadline - time.monotonic()))
            cpu_at_first = None
            if site.fetches:
                site.wait_for("first", max(1, deadline - time.monotonic()))
                cpu_at_first = tree_cpu_s(process.pid)
            profiler = None
            if args.profile:
                # perf on the UI process while it browses (diagnosis only).
                site.wait_for("first", max(1, deadline - time.monotonic()))
                # With the engine's processes (web, network) under it.
                pids = [str(process.pid)] + [
                    entry for entry in os.listdir("/proc") if entry.isdigit()
                    and descends_from(int(entry), process.pid)]
                profiler = subprocess.Popen(
                    ["perf", "record", "-q", "-F", "999", "-g", "-p", ",".join(pids),
                     "-o", os.path.join(args.profile, "%s.perf.data" % program)],
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            done = site.wait_for("done", max(1, deadline - time.monotonic()))
            if profiler:
                profiler.send_signal(signal.SIGINT)
                profiler.wait(timeout=30)
            if started is None or done is None or site.first is None:
                raise RuntimeError("the run did not finish (started=%s first=%s done=%s)"
                                   % (started, site.first, done))
            cpu_s = tree_cpu_s(process.pid) - cpu_at_first if cpu_at_first is not None else None
            rss = peak_rss_kb(process.pid)
            recorded = None
            if site.fetches and scrivlet:
                # The last requests' elements may still be on their way.
                expected = site.fetches if program == "scripts" else 0
                until = time.monotonic() + 20
                recorded = inst.recorded_script_requests()
                while recorded < expected and time.monotonic() < until:
                    time.sleep(0.05)
                    recorded = inst.recorded_script_requests()
            result = {
                "program": program,
                "proxy": bool(proxy),
                "startup_s": started - spawned,
                "browse_s": done - site.first,
                "peak_rss_kb": rss,
                "held": len(inst.held()) if program != "plain" else None,
                "held_waits_ms": inst.held() if program != "plain" else None,
                "requests": site.requests,
                "posts": site.posts,
                "fetches": site.fetches or None,
                "api_posts": site.api_posts if site.fetches else None,
                "recorded": recorded,
                "cpu_s": cpu_s,
            }
            return result
        finally:
            stop(process)
    except Exception:
        inst.show_log_end(log)
        raise
    finally:
        log.close()
        inst.remove()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_mitmdump(path, workdir):
    port = free_port()
    flows = os.path.join(workdir, "flows.mitm")
    log = open(os.path.join(workdir, "mitmdump.log"), "w")
    process = subprocess.Popen(
        [path, "--listen-host", "127.0.0.1", "--listen-port", str(port),
         "--set", "confdir=" + os.path.join(workdir, "conf"), "-w", flows, "-q"],
        stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
        env={"PATH": os.environ.get("PATH", ""), "HOME": workdir, "LC_ALL": "C.UTF-8"})
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError("mitmdump ended: see " + log.name)
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return process, port, flows
        except OSError:
            time.sleep(0.1)
    stop(process)
    raise RuntimeError("mitmdump did not listen")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--hold-counter", default="")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--navigations", type=int, default=200)
    parser.add_argument("--timeout", type=float, default=180)
    parser.add_argument("--mitmdump", default="")
    parser.add_argument("--kinds", default=",".join(KINDS),
                        help="the kinds of step, in order (default: all)")
    parser.add_argument("--programs", default="scrivlet,plain",
                        help="the two programs compared: scrivlet, plain or"
                        " adapter (the plain view with the capture layer)")
    parser.add_argument("--skip-browse", action="store_true")
    parser.add_argument("--fetches", type=int, default=0,
                        help="run the phase of a page making this many fetch"
                        " requests (0: none)")
    parser.add_argument("--env", action="append", default=[],
                        help="NAME=VALUE for both programs' environment")
    parser.add_argument("--profile", default="",
                        help="record perf profiles of the programs' processes (UI,"
                        " web, network) into this folder while they browse"
                        " (diagnosis; the last run of each program is kept)")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    site = Site(args.navigations, tuple(args.kinds.split(",")))
    server = Server(("127.0.0.1", 0), make_handler(site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base_url = "http://127.0.0.1:%d/" % server.server_address[1]

    runs = []

    def record(result, phase, index):
        result.update(phase=phase, run=index, navigations=args.navigations)
        print(json.dumps(result), flush=True)
        runs.append(result)

    # The program and the plain view, alternating, the order flipping each run.
    pair = tuple(args.programs.split(","))
    for i in range(0 if args.skip_browse else args.runs):
        order = pair if i % 2 == 0 else pair[::-1]
        for program in order:
            record(run_once(args, site, base_url, program), "browse", i)

    # A page of fetches: the program recording them, the program not
    # recording them and the plain view.
    site.fetches = args.fetches
    # Each order of the three in turn, each reversed by the next, so that
    # every program takes every place equally often.
    orders = [("scripts", "scrivlet", "plain"), ("plain", "scrivlet", "scripts"),
              ("scrivlet", "plain", "scripts"), ("scripts", "plain", "scrivlet"),
              ("plain", "scripts", "scrivlet"), ("scrivlet", "scripts", "plain")]
    for i in range(args.runs if args.fetches else 0):
        for program in orders[i % len(orders)]:
            record(run_once(args, site, base_url, program), "fetch", i)
    site.fetches = 0

    # The plain view through a recording proxy, against direct.
    workdir = tempfile.mkdtemp(prefix="scrivlet-bench-mitm-")
    try:
        if args.mitmdump:
            mitm, port, flows = start_mitmdump(args.mitmdump, workdir)
            try:
                for i in range(args.runs):
                    order = (True, False) if i % 2 == 0 else (False, True)
                    for proxied in order:
                        result = run_once(args, site, base_url, "plain",
                                          ("127.0.0.1", port) if proxied else None)
                        record(result, "proxy", i)
            finally:
                stop(mitm)
            flows_size = os.path.getsize(flows) if os.path.exists(flows) else 0
            runs.append({"phase": "proxy-flows", "flows_bytes": flows_size})
            print(json.dumps(runs[-1]), flush=True)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
        server.shutdown()

    with open(args.out, "w") as f:
        json.dump(runs, f, indent=1)


if __name__ == "__main__":
    main()
