#!/usr/bin/env python3
"""Replay of a transaction document against curl sending the same requests.

Starts the stand-in server on a free loopback port, writes a transaction
document of REQUESTS requests to its demo application (pages, searches,
frame contents and URL-encoded posts, in a fixed order, as the program
records them), and times, alternating, RUNS times each:

  replay  scrivlet-replay --json on the document (the whole process:
          reading the document, the replay, the answers' HTML parsed)
  curl    one curl process sending the same requests with the same header
          lines and bodies, one after the other over one connection
          (--next between them; curl keeps its connection for the next)

Both check their work: every step of the replay must be "ok", and curl must
have opened exactly one connection. Prints one line per run:
"replay RUN REPLAY_MS CURL_MS REPLAY_CPU_MS CURL_CPU_MS", wall time and the
client's processor time (user and system), which a busy machine disturbs
less.
"""

import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

ACCEPT = ("Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
          "application/vnd.ms-powerpoint, application/vnd.ms-excel, "
          "application/msword, */*")
USER_AGENT = ("User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; "
              "CNETHomeBuild03171999; DigExt)")
FORM = "application/x-www-form-urlencoded"


def requests(count):
    """(method, path, body) for each step, in a fixed order."""
    steps = []
    for n in range(count):
        kind = n % 5
        if kind == 0:
            steps.append(("GET", "/demo/", None))
        elif kind == 1:
            steps.append(("GET", "/demo/search?q=item+%d" % n, None))
        elif kind == 2:
            steps.append(("GET", "/demo/frame-content.html?page=%d" % n, None))
        elif kind == 3:
            steps.append(("GET", "/demo/popup.html?via=link", None))
        else:
            steps.append(("POST", "/demo/popup-answer", "answer=step+%d&x=1" % n))
    return steps


def escaped(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;")
            .replace(">", "&gt;").replace('"', "&quot;"))


def document(host, steps):
    lines = ["<?xml version='1.0'?><HTTP-TRANSACTION>"]
    for method, path, body in steps:
        lines += ["<REQUEST><REQUEST-LINE NAME='STATIC'>",
                  "<METHOD>%s</METHOD><URI>%s</URI><PROT-VER>HTTP/1.1</PROT-VER>"
                  % (method, escaped(path)),
                  "</REQUEST-LINE>", "<HEADERS>", "<HL>Host: %s</HL>" % host,
                  "<HL>%s</HL>" % ACCEPT]
        if body is not None:
            lines += ["<HL>Content-Type: %s" % FORM, "</HL>"]
        lines += ["<HL>%s</HL>" % USER_AGENT, "<HL>Referer: http://%s</HL>" % host,
                  "</HEADERS>"]
        if body is not None:
            lines += ["<CONTENT>"] + ["<W3C_ENC>%s</W3C_ENC>" % escaped(piece)
                                      for piece in body.split("&")] + ["</CONTENT>"]
        lines.append("</REQUEST>")
    return "".join(line + "\r\n" for line in lines)


def curl_command(curl, host, steps):
    command = [curl]
    for index, (method, path, body) in enumerate(steps):
        if index:
            command.append("--next")
        command += ["-s", "-o", "/dev/null", "-w", "%{num_connects}\\n",
                    "-H", "Host: " + host, "-H", ACCEPT, "-H", USER_AGENT,
                    "-H", "Referer: http://" + host]
        if body is not None:
            command += ["-H", "Content-Type: " + FORM, "--data-binary", body]
        command.append("http://%s%s" % (host, path))
    return command


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command):
    cpu = cpu_of_children()
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    wall = (time.perf_counter() - start) * 1000
    return wall, (cpu_of_children() - cpu) * 1000, result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--requests", type=int, default=50)
    parser.add_argument("--out")
    args = parser.parse_args()
    curl = shutil.which("curl")
    if curl is None:
        sys.exit("replay_bench: curl is not installed")

    work = tempfile.mkdtemp(prefix="scrivlet-replay-bench-")
    server = subprocess.Popen(
        [os.path.join(args.build, "scrivlet-stand-in-server"), "--port", "0",
         "--store", os.path.join(work, "store")],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    lines = []
    try:
        first = server.stdout.readline().strip()
        host = first.split("http://", 1)[1].rstrip("/")
        steps = requests(args.requests)
        path = os.path.join(work, "trans.xml")
        with open(path, "w", newline="") as f:
            f.write(document(host, steps))
        replay = [os.path.join(args.build, "scrivlet-replay"), "--json", path]
        curl_args = curl_command(curl, host, steps)
        for run in range(args.runs):
            times, cpu = {}, {}
            order = ("replay", "curl") if run % 2 == 0 else ("curl", "replay")
            for side in order:
                ms, cpu_ms, result = timed(replay if side == "replay" else curl_args)
                if side == "replay":
                    verdicts = result.stdout.count('"verdict":"ok"')
                    if result.returncode != 0 or verdicts != len(steps):
                        sys.exit("replay_bench: the replay did not pass: %s%s"
                                 % (result.stdout[-300:], result.stderr))
                else:
                    connects = sum(int(n) for n in result.stdout.split())
                    if result.returncode != 0 or connects != 1:
                        sys.exit("replay_bench: curl opened %d connections" % connects)
                times[side], cpu[side] = ms, cpu_ms
            line = "replay %d %.1f %.1f %.1f %.1f" % (
                run, times["replay"], times["curl"], cpu["replay"], cpu["curl"])
            print(line, flush=True)
            lines.append(line)
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)
    if args.out:
        with open(args.out, "w") as f:
            f.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main()
