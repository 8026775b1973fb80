#!/usr/bin/env python3
"""A loopback stand-in for the tencent quote feed, for the end-to-end tests.

It answers "GET /q=sym1,sym2,..." with the recorded reply line of each symbol
it has a line for, byte for byte (GBK), and with made-up lines for the two
indices, which the recordings lack. A symbol it has no line for is left out,
and the reply then ends in the feed's none-match line, which the feed's
reader takes as a code the feed does not know.

Usage: feed_standin.py RECORDED_FILE LOG_FILE [DOWN_FILE]
Prints "port N" once it listens on 127.0.0.1, then serves until killed; each
request served is appended to LOG_FILE. While DOWN_FILE exists, every
request is answered 503, as by a feed that is down (and not logged).
"""
import os
import http.server
import sys

recorded = {}
with open(sys.argv[1], "rb") as f:
    for line in f:
        line = line.rstrip(b"\r\n")
        if line.startswith(b"v_") and b"=" in line:
            recorded[line[2:line.index(b"=")].decode("ascii")] = line


def index_line(symbol, name, latest, previous, stamp):
    # The shape of a recorded stock line, with the index's own values.
    fields = recorded["sz002039"][len(b'v_sz002039="'):-2].split(b"~")
    change = latest - previous
    fields[1] = name.encode("gbk")
    fields[2] = symbol[2:].encode()
    fields[3] = b"%.2f" % latest
    fields[4] = b"%.2f" % previous
    fields[5] = b"%.2f" % previous
    fields[30] = stamp
    fields[31] = b"%.2f" % change
    fields[32] = b"%.2f" % (100 * change / previous)
    fields[33] = b"%.2f" % max(latest, previous)
    fields[34] = b"%.2f" % min(latest, previous)
    fields[40] = b""
    return b'v_' + symbol.encode() + b'="' + b"~".join(fields) + b'";'


recorded["sh000001"] = index_line("sh000001", "上证指数", 3088.94, 3085.04, b"20221122115730")
recorded["sz399001"] = index_line("sz399001", "深证成指", 11043.54, 11064.10, b"20221122115730")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if len(sys.argv) > 3 and os.path.exists(sys.argv[3]):
            self.send_response(503)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(sys.argv[2], "a") as log:
            log.write(self.path + "\n")
        body = b""
        if self.path.startswith("/q="):
            unknown = False
            for symbol in self.path[3:].split(","):
                if symbol in recorded:
                    body += recorded[symbol] + b"\n"
                else:
                    unknown = True
            if unknown:
                body += b'v_pv_none_match="1";\n'
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=GBK")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("port", server.server_address[1], flush=True)
server.serve_forever()
