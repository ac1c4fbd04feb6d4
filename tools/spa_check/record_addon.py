# Writes one JSON line per request the proxy forwarded: method, URL, the
# header lines as sent (names with their case, in order), the body's bytes
# (base64) and the answer's status. For a page the program loads through
# the proxy (agent.ini: ProxyHost=127.0.0.1, ProxyPort=PORT):
#   RECORD_OUT=wire.jsonl mitmdump --listen-host 127.0.0.1 -p PORT -s record_addon.py
# For an application whose script requests carry credentials in the
# address (XMLHttpRequest.open with a user and password), which a forward
# proxy refuses, put the proxy in front of it instead and browse to PORT:
#   ... mitmdump --mode reverse:http://127.0.0.1:APP_PORT -p PORT -s record_addon.py
# tools/spa_check/compare.py then compares the record with trans.xml.
import base64, json, os
from mitmproxy import http

OUT = os.environ.get("RECORD_OUT", "proxy-record.jsonl")

def _write(flow: http.HTTPFlow, status):
    r = flow.request
    entry = {
        "method": r.method,
        "url": r.url,
        "http_version": r.http_version,
        "headers": [[k.decode("latin-1"), v.decode("latin-1")] for k, v in r.headers.fields],
        "body_b64": base64.b64encode(r.raw_content or b"").decode(),
        "status": status,
        "t": r.timestamp_start,
    }
    with open(OUT, "a") as f:
        f.write(json.dumps(entry) + "\n")

def response(flow: http.HTTPFlow):
    _write(flow, flow.response.status_code)

def error(flow: http.HTTPFlow):
    _write(flow, "error: %s" % flow.error)
