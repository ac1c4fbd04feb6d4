#!/usr/bin/env python3
"""Compares a trans.xml with a recording proxy's record of what the browser
sent (one JSON object a line: method, url, headers [[name, value], ...],
body_b64, status; tools/spa_check/record_addon.py writes it).

  compare.py PROXY.jsonl trans.xml HOST:PORT [UPSTREAM_HOST:PORT]

(the last for mitmdump --mode reverse:http://UPSTREAM, which records the
upstream's address.)

Script requests on the wire (a body, or X-Requested-With, or a
Sec-Fetch-Dest other than document/image/script/style/font) are matched in
order, by method, address and body bytes, to the elements of trans.xml that
are not navigations; prints one row per script request and one per extra
element, and the header names sent against those recorded."""
import base64
import collections
import json
import sys
import xml.etree.ElementTree as ET

FIXED = ("Host:", "Accept: image/gif", "User-Agent: Mozilla/4.0", "Referer:",
         "Authorization:", "Proxy-Authorization:")
SUBRESOURCE = {"document", "image", "script", "style", "font", "iframe"}


def read_elements(path):
    text = open(path, "rb").read()
    if b"</HTTP-TRANSACTION>" not in text:
        text += b"</HTTP-TRANSACTION>"
    out = []
    for number, request in enumerate(ET.fromstring(text).iter("REQUEST"), 1):
        content = request.find(".//CONTENT")
        body = None
        if content is not None:
            body = "&".join(p.text or "" for p in content.iter("W3C_ENC")).encode()
        extra = []
        for hl in request.iter("HL"):
            value = hl.text or ""
            if not value.startswith(FIXED):
                extra += [line.split(":", 1) for line in value.splitlines() if line]
        host = next(hl.text[6:] for hl in request.iter("HL") if hl.text.startswith("Host: "))
        out.append({"n": number, "method": request.findtext(".//METHOD"),
                    "url": "http://%s%s" % (host, request.findtext(".//URI")),
                    "body": body, "headers": [(k, v.strip()) for k, v in extra]})
    return out


def is_script(flow):
    names = {k.lower(): v for k, v in flow["headers"]}
    if flow["body"] or "x-requested-with" in names:
        return True
    return names.get("sec-fetch-dest", "document") not in SUBRESOURCE and \
        not names.get("accept", "").startswith("text/html")


def main(proxy_path, trans_path, hostport, wire_hostport=None):
    flows = [json.loads(line) for line in open(proxy_path)]
    for f in flows:  # a reverse proxy names its upstream
        if wire_hostport:
            f["url"] = f["url"].replace("//" + wire_hostport + "/", "//" + hostport + "/", 1)
    flows = [f for f in flows if f["url"].split("/")[2] == hostport]
    for f in flows:
        f["body"] = base64.b64decode(f["body_b64"])
    script = [f for f in flows if is_script(f)]
    elements = [e for e in read_elements(trans_path) if e["url"].startswith("http://" + hostport)]
    # A navigation's element: GET, no body, no header line of a script.
    is_page = lambda e: e["method"] == "GET" and e["body"] is None and not e["headers"]
    candidates = [e for e in elements if not is_page(e)]
    print("navigation elements, not compared: " +
          ", ".join("%d %s" % (e["n"], e["url"]) for e in elements if is_page(e)))
    used, last = set(), -1
    rows = []
    for f in script:
        key = (f["method"], f["url"], f["body"])
        match = next((i for i, e in enumerate(candidates) if i not in used and i > last
                      and (e["method"], e["url"], e["body"]) == key), None)
        order = "in order"
        if match is None:
            match = next((i for i, e in enumerate(candidates) if i not in used
                          and (e["method"], e["url"], e["body"]) == key), None)
            order = "OUT OF ORDER"
        if match is not None:
            used.add(match)
            last = max(last, match)
            verdict = "recorded once, same bytes, %s (element %d)" % (order, candidates[match]["n"])
        else:
            same = [e for i, e in enumerate(candidates) if i not in used
                    and (e["method"], e["url"]) == key[:2]]
            verdict = "BYTES DIFFER or MISSING (%d unmatched elements with this address)" % len(same)
        rows.append((f, verdict, candidates[match] if match is not None else None))
    print("%-4s %-6s %-6s %-5s %-60s %s" % ("#", "method", "status", "bytes", "body (start)", "trans.xml"))
    for n, (f, verdict, _) in enumerate(rows, 1):
        print("%-4d %-6s %-6s %-5d %-60s %s" % (n, f["method"], f["status"], len(f["body"]),
                                                repr(f["body"][:58])[2:-1], verdict))
    extra = [e for i, e in enumerate(candidates) if i not in used]
    print("\nelements of trans.xml not sent as script requests: %d" % len(extra))
    for e in extra:
        print("  element %d: %s %s body=%r headers=%s" % (e["n"], e["method"], e["url"],
                                                         (e["body"] or b"")[:80], e["headers"]))
    counts = collections.Counter()
    for f, _, e in rows:
        if e is None:
            continue
        sent = [k for k, _ in f["headers"]]
        recorded = [k for k, _ in e["headers"]]
        values_sent = {k.lower(): v for k, v in f["headers"]}
        for k, v in e["headers"]:
            same = values_sent.get(k.lower()) == v
            counts["recorded %-28s sent as %-28s value %s" % (
                k, next((s for s in sent if s.lower() == k.lower()), "(NOT SENT)"),
                "same" if same else "DIFFERS")] += 1
        for k in sent:
            if k.lower() not in {r.lower() for r in recorded}:
                counts["sent, not among recorded extra lines: %s" % k] += 1
    print("\nheader names (requests matched: %d)" % sum(1 for r in rows if r[2]))
    for line, count in sorted(counts.items()):
        print("  %4d  %s" % (count, line))
    return 0 if len(rows) == sum(1 for r in rows if r[2]) and not extra else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
