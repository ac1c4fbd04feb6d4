#!/usr/bin/env python3
"""Turns the raw figures of one scripts/bench run into the table of ratios.

  report.py --capture capture.json --fill fill.txt --browse browse.json
            [--browse-gl browse-gl.json] [--replay replay.txt] [--list list.txt]
            [--markdown OUT]

Every ratio is taken within one run (program and floor, or program and
plain view, measured side by side); the table gives the median, minimum and
maximum over the runs.
"""

import argparse
import json
import statistics
from collections import defaultdict


def summary(values):
    values = [v for v in values if v is not None]
    if not values:
        return None
    return statistics.median(values), min(values), max(values), len(values)


class Table:
    def __init__(self):
        self.rows = []

    def add(self, number, what, values, target=None, check=None, fmt="{:.2f}"):
        s = summary(values)
        if s is None and number.endswith("i"):
            return
        if s is None:
            self.rows.append((number, what, "-", "-", "-", "0", target or "", "no data"))
            return
        median, low, high, n = s
        verdict = ""
        if check is not None:
            verdict = "met" if check(median) else "MISSED"
        self.rows.append((number, what, fmt.format(median), fmt.format(low),
                          fmt.format(high), str(n), target or "", verdict))

    def text(self):
        head = ("#", "measure", "median", "min", "max", "runs", "target", "")
        widths = [max(len(str(r[i])) for r in self.rows + [head]) for i in range(len(head))]
        lines = ["  ".join(str(c).ljust(w) for c, w in zip(head, widths)).rstrip()]
        lines.append("  ".join("-" * w for w in widths))
        for row in self.rows:
            lines.append("  ".join(str(c).ljust(w) for c, w in zip(row, widths)).rstrip())
        return "\n".join(lines)

    def markdown(self):
        head = ("#", "measure", "median", "min", "max", "runs", "target", "verdict")
        lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
        for row in self.rows:
            lines.append("| " + " | ".join(str(c) for c in row) + " |")
        return "\n".join(lines)


def capture_rows(table, path):
    with open(path) as f:
        data = json.load(f)
    times = defaultdict(dict)  # name -> repetition -> (real, cpu)
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            continue
        times[b["run_name"]][b.get("repetition_index", 0)] = (b["real_time"], b["cpu_time"])

    def ratios(a, b, column=0):
        return [times[a][i][column] / times[b][i][column]
                for i in times.get(a, {}) if i in times.get(b, {})]

    cases = [("get", "GET navigation"), ("post20", "POST, 20-field body"),
             ("redirect", "redirect completion")]
    sizes = [("128k", "128 kB"), ("1m", "1 MB"), ("10m", "10 MB")]
    for key, label in cases:
        for size, size_label in sizes:
            name = "%s/%s" % (key, size)
            table.add("1", "capture %s, %s document / raw append (wall)"
                      % (label, size_label),
                      ratios("handler/" + name, "floor/" + name), "<= 1.5",
                      lambda m: m <= 1.5)
    table.add("1", "5 MB multipart element onto a 50 MB document / raw append",
              ratios("file/multipart5m/50m", "floor/multipart5m/50m"),
              "<= 1.5", lambda m: m <= 1.5)
    for key, label in cases:
        name = key + "/128k"
        table.add("1i", "  %s, 128 kB: cpu time ratio" % label,
                  ratios("handler/" + name, "floor/" + name, 1))
        table.add("1i", "  %s, 128 kB: logic on a raw append / raw append"
                  % label, ratios("logic/" + name, "floor/" + name))
        table.add("1i", "  %s, 128 kB: file layer alone / raw append" % label,
                  ratios("file/" + name, "floor/" + name))
    table.add("1i", "  5 MB multipart navigation, whole handler, 50 MB "
              "document / raw append of its element",
              ratios("handler/multipart5m/50m", "floor/multipart5m/50m"))


def fill_rows(table, path):
    runs = defaultdict(dict)  # (size, run) -> kind -> ms
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 5 and parts[0] == "fill":
                runs[(int(parts[1]), int(parts[2]))][parts[3]] = float(parts[4])
    sizes = sorted({size for size, _ in runs})
    for size in sizes:
        values = [r["program"] / r["floor"] for (s, _), r in runs.items()
                  if s == size and "program" in r and "floor" in r]
        table.add("3", "record page fill %s / one-call floor" % human(size), values,
                  "<= 1.5", lambda m: m <= 1.5)
    if len(sizes) >= 2:
        small, large = sizes[0], sizes[-1]
        growth = []
        for (s, run), r in runs.items():
            if s == large and (small, run) in runs and "program" in runs[(small, run)]:
                growth.append(r["program"] / runs[(small, run)]["program"])
        table.add("3", "fill %s / fill %s" % (human(large), human(small)), growth,
                  "<= %d" % (11 * large // small // 10),
                  lambda m: m <= 1.1 * large / small)
        for size in sizes:
            table.add("3i", "  fill %s: program / one call assigning the string" % human(size),
                      [r["program"] / r["assign"] for (s, _), r in runs.items()
                       if s == size and "program" in r and "assign" in r])
            table.add("3i", "  fill %s, one call assigning the string (ms)" % human(size),
                      [r["assign"] for (s, _), r in runs.items() if s == size and "assign" in r],
                      fmt="{:.0f}")
            table.add("3i", "  fill %s, program (ms)" % human(size),
                      [r["program"] for (s, _), r in runs.items() if s == size and "program" in r],
                      fmt="{:.0f}")
            table.add("3i", "  fill %s, floor (ms)" % human(size),
                      [r["floor"] for (s, _), r in runs.items() if s == size and "floor" in r],
                      fmt="{:.0f}")


def human(size):
    return "%d MB" % (size // 1000000) if size >= 1000000 else "%d kB" % (size // 1000)


def paired(runs, phase, a, b):
    """(run index) -> (result of a, result of b) for one phase."""
    by_run = defaultdict(dict)
    for r in runs:
        if r.get("phase") == phase:
            key = r["program"] + ("+proxy" if r.get("proxy") else "")
            by_run[r["run"]][key] = r
    return [(v[a], v[b]) for v in by_run.values() if a in v and b in v]


def browse_rows(table, path, number, label=""):
    with open(path) as f:
        runs = json.load(f)
    pairs = paired(runs, "browse", "scrivlet", "plain")
    navigations = next((r.get("navigations") for r in runs if r.get("navigations")), None)
    table.add(number[0], "browsing%s: scrivlet / plain view" % label,
              [a["browse_s"] / b["browse_s"] for a, b in pairs],
              "<= 1.02" if not label else "", (lambda m: m <= 1.02) if not label else None)
    if not label:
        table.add("2", "held navigations per %s" % (
                  "%d navigations" % navigations if navigations else "run"),
                  [a["held"] for a, _ in pairs], "0", lambda m: m == 0, fmt="{:.0f}")
        table.add("2i", "  browsing, plain view (s)", [b["browse_s"] for _, b in pairs])
    table.add(number[1], "start-up%s: scrivlet / plain view" % label,
              [a["startup_s"] / b["startup_s"] for a, b in pairs],
              "<= 1.1" if not label else "", (lambda m: m <= 1.1) if not label else None)
    table.add(number[1], "peak RSS%s: scrivlet - plain view (MB)" % label,
              [(a["peak_rss_kb"] - b["peak_rss_kb"]) / 1024 for a, b in pairs],
              "<= +10" if not label else "", (lambda m: m <= 10) if not label else None,
              fmt="{:+.1f}")
    if not label:
        table.add("4i", "  peak RSS, plain view (MB)",
                  [b["peak_rss_kb"] / 1024 for _, b in pairs], fmt="{:.0f}")
        proxy = paired(runs, "proxy", "plain+proxy", "plain")
        if proxy:
            table.add("5", "browsing through mitmdump (recording) / direct",
                      [a["browse_s"] / b["browse_s"] for a, b in proxy])
            table.add("5i", "  start-up through mitmdump / direct",
                      [a["startup_s"] / b["startup_s"] for a, b in proxy])
        else:
            table.add("5", "browsing through mitmdump / direct", [], "", None)


def fetch_rows(table, path):
    """Row 2s: the page of fetch requests, recorded (box ticked), not
    recorded (box off), and in the plain view."""
    with open(path) as f:
        runs = json.load(f)
    if not any(r.get("phase") == "fetch" for r in runs):
        return
    fetches = next(r["fetches"] for r in runs if r.get("phase") == "fetch")
    ticked = paired(runs, "fetch", "scripts", "plain")
    off = paired(runs, "fetch", "scrivlet", "plain")
    table.add("2s", "%d fetch requests, box ticked: scrivlet / plain view" % fetches,
              [a["browse_s"] / b["browse_s"] for a, b in ticked],
              "<= 1.03", lambda m: m <= 1.03)
    table.add("2s", "%d fetch requests, box off: scrivlet / plain view" % fetches,
              [a["browse_s"] / b["browse_s"] for a, b in off],
              "<= 1.01", lambda m: m <= 1.01)
    # Without its recording the first figure means nothing.
    table.add("2s", "  recorded in trans.xml, box ticked (fewest of the runs)",
              [min(a["recorded"] for a, _ in ticked)] if ticked else [],
              "%d" % fetches, lambda m: m == fetches, fmt="{:.0f}")
    table.add("2s", "  recorded in trans.xml, box off (most of the runs)",
              [max(a["recorded"] for a, _ in off)] if off else [],
              "0", lambda m: m == 0, fmt="{:.0f}")
    for label, pairs in (("ticked", ticked), ("off", off)):
        table.add("2si", "  box %s: processor time, scrivlet / plain view" % label,
                  [a["cpu_s"] / b["cpu_s"] for a, b in pairs
                   if a.get("cpu_s") and b.get("cpu_s")])
    table.add("2si", "  %d fetch requests, plain view (s)" % fetches,
              [b["browse_s"] for _, b in ticked])
    table.add("2si", "  peak RSS, box ticked: scrivlet - plain view (MB)",
              [(a["peak_rss_kb"] - b["peak_rss_kb"]) / 1024 for a, b in ticked],
              fmt="{:+.1f}")


def replay_rows(table, path):
    runs = []  # replay wall, curl wall, replay cpu, curl cpu (ms)
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 6 and parts[0] == "replay":
                runs.append([float(p) for p in parts[2:]])
    table.add("7", "replay of the document / curl over one connection",
              [r[0] / r[1] for r in runs], "<= 1.3", lambda m: m <= 1.3)
    table.add("7i", "  cpu time ratio", [r[2] / r[3] for r in runs if r[3] > 0])
    table.add("7i", "  replay, scrivlet-replay (ms)", [r[0] for r in runs], fmt="{:.1f}")
    table.add("7i", "  replay, curl (ms)", [r[1] for r in runs], fmt="{:.1f}")


def list_rows(table, path):
    appends, means, bytes_per_row, rows = [], [], [], "?"
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 3 and parts[:2] == ["list", "rows"]:
                rows = parts[2]
            elif len(parts) == 5 and parts[:2] == ["list", "append_ms"]:
                appends.append(float(parts[2]))
                means.append(float(parts[4]))
            elif len(parts) == 3 and parts[:2] == ["list", "bytes_per_row"]:
                bytes_per_row.append(float(parts[2]))
    table.add("8", "list of %s rows: appending a row, median (ms)" % rows, appends,
              "<= 1", lambda m: m <= 1, fmt="{:.3f}")
    table.add("8i", "  appending a row, mean with the window's frames (ms)", means,
              fmt="{:.3f}")
    table.add("8", "list of %s rows: memory per row beyond its element (bytes)" % rows,
              bytes_per_row, "<= 2048", lambda m: m <= 2048, fmt="{:.0f}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--capture")
    parser.add_argument("--fill")
    parser.add_argument("--browse")
    parser.add_argument("--browse-gl")
    parser.add_argument("--replay")
    parser.add_argument("--list")
    parser.add_argument("--markdown")
    args = parser.parse_args()
    table = Table()
    if args.capture:
        capture_rows(table, args.capture)
    if args.browse:
        with open(args.browse) as f:
            browsed = any(r.get("phase") == "browse" for r in json.load(f))
        if browsed:
            browse_rows(table, args.browse, ("2", "4"))
        fetch_rows(table, args.browse)
    if args.fill:
        fill_rows(table, args.fill)
    if args.browse_gl:
        browse_rows(table, args.browse_gl, ("6", "6"), " (GTK's default GL renderer)")
    if args.replay:
        replay_rows(table, args.replay)
    if args.list:
        list_rows(table, args.list)
    print(table.text())
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(table.markdown() + "\n")


if __name__ == "__main__":
    main()
