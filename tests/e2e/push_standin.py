#!/usr/bin/env python3
"""A loopback stand-in for a push service, for the end-to-end tests.

push_standin.py MODE LOG PORTFILE [FLAG]
  MODE ok:       answers 200 {}
  MODE flaky:    answers 500 while the file FLAG exists, then 200
  MODE badtoken: answers like PushPlus to a bad token (200, code 903)
Every request is appended to LOG as one JSON line (time, path, sequence id,
body, the status answered). The chosen port is written to PORTFILE.
"""
import http.server
import json
import os
import sys
import time

mode, log_path, port_file = sys.argv[1:4]
flag = sys.argv[4] if len(sys.argv) > 4 else ""


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if mode == "flaky" and os.path.exists(flag):
            status, reply = 500, b'{"code":50001,"http":500,"error":"down for a while"}'
        elif mode == "badtoken":
            status, reply = 200, json.dumps({"code": 903, "msg": "无效的用户token"}).encode()
        else:
            status, reply = 200, b"{}"
        with open(log_path, "a") as log:
            log.write(json.dumps({"t": time.time(), "path": self.path,
                                  "seq": self.headers.get("X-Sequence-ID", ""),
                                  "body": body.decode("utf-8", "replace"),
                                  "status": status}) + "\n")
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
