#!/usr/bin/env python3
"""Hostile clients and a hostile feed against stockat-quoted, on loopback.

For each attack: the latency of a well-behaved client's pages while the
attack runs (median and p99 of back-to-back fetches, and how many failed),
the server's resident memory at its peak and after it, and the attack's own
figure.
Every attack is bounded in time (SECONDS, 7 by default) and in bytes, and
only 127.0.0.1 is ever contacted.

    bench/server_attacks.py build-release/stockat-quoted [SECONDS]
"""
import os
import socket
import statistics
import subprocess
import sys
import threading
import time

BINARY = sys.argv[1] if len(sys.argv) > 1 else "build-release/stockat-quoted"
SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 7.0
MAX_BYTES = 1 << 30  # most any one attack sends
STOCK = "/prog/wapsite/stock/stockquery.php?code=600036&vt=2"
SERVICE = "/prog/wapsite/stock/service.php?vt=2"


def request(path):
    return ("GET %s HTTP/1.1\r\nHost: wap.stockat.test\r\nConnection: Close\r\n"
            "User-agent:Mozilla/4.0\r\nAccept-language:zh-cn\r\n\r\n" % path).encode()


def start(args):
    proc = subprocess.Popen([BINARY, "--listen", "127.0.0.1:0"] + args,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    line = proc.stdout.readline().decode()
    return proc, int(line.rsplit(":", 1)[1])


def rss_mb(proc, field="VmRSS"):
    """Resident memory now, or at its peak so far (VmHWM)."""
    with open("/proc/%d/status" % proc.pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def fetch(port, data, timeout=15.0):
    """One exchange; the reply's bytes, or None."""
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        s.sendall(data)
        reply = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            reply += chunk
        s.close()
        return reply
    except OSError:
        return None


class Prober(threading.Thread):
    """Fetches a page back to back and notes each one's latency."""

    def __init__(self, port, path):
        super().__init__(daemon=True)
        self.port, self.data, self.stop = port, request(path), False
        self.times, self.failed = [], 0

    def run(self):
        while not self.stop:
            began = time.monotonic()
            reply = fetch(self.port, self.data)
            if reply is None or not reply.startswith(b"HTTP/1.1 200"):
                self.failed += 1
            self.times.append((time.monotonic() - began) * 1000.0)
            time.sleep(0.01)

    def report(self):
        t = sorted(self.times) or [float("nan")]
        p99 = t[min(len(t) - 1, int(len(t) * 0.99))]
        return "page median %.1f ms, p99 %.1f ms, %d/%d failed" % (
            statistics.median(t), p99, self.failed, len(self.times))


def stream(port, head, filler, until, counter, pause=0.0):
    """Sends head, then filler again and again until `until` or MAX_BYTES."""
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=5)
        s.sendall(head)
        while time.monotonic() < until and counter[0] < MAX_BYTES:
            s.sendall(filler)
            counter[0] += len(filler)
            if pause:
                time.sleep(pause)
        s.close()
    except OSError:
        pass


def attack_streams(port, head, filler, connections, pause=0.0):
    began = time.monotonic()
    until = began + SECONDS
    counter = [0]
    threads = [threading.Thread(target=stream, args=(port, head, filler, until, counter, pause))
               for _ in range(connections)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return "server took %.1f MB in %.1f s" % (counter[0] / 1e6, time.monotonic() - began)


def attack_workers(port):
    """40 connections every 10 s (scaled to SECONDS) that hold what they can."""
    heads = [b"POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\n",
             b"POST / HTTP/1.1\r\nContent-Length: 999999999999\r\n\r\n",
             b"POST / HTTP/1.1\r\nContent-Length: 10\r\nExpect: 100-continue\r\n\r\n"]
    socks = []
    until = time.monotonic() + SECONDS
    next_wave = 0.0
    while time.monotonic() < until:
        if time.monotonic() >= next_wave:
            for i in range(40):
                try:
                    s = socket.create_connection(("127.0.0.1", port), timeout=2)
                    s.sendall(heads[i % 3])
                    s.setblocking(False)
                    socks.append(s)
                except OSError:
                    pass
            next_wave = time.monotonic() + 10.0
        for s in socks:  # one byte every 4 s
            try:
                s.send(b"x")
            except OSError:
                pass
        time.sleep(4.0 if time.monotonic() + 4.0 < until else max(0.0, until - time.monotonic()))
    for s in socks:
        s.close()
    return "%d connections held" % len(socks)


def attack_range(port):
    head = request(STOCK)
    ranged = head[:-2] + b"Range: bytes=0-" + b",0-" * 2600 + b"\r\n\r\n"
    plain = fetch(port, head) or b""
    reply = fetch(port, ranged) or b""
    return "request %d B, reply %d B (%.1fx the request; a plain page is %d B)" % (
        len(ranged), len(reply), len(reply) / len(ranged), len(plain))


class EndlessFeed(threading.Thread):
    """A feed on loopback whose replies are endless header lines."""

    def __init__(self):
        super().__init__(daemon=True)
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.replies, self.sent, self.stop = 0, 0, False

    def run(self):
        line = b"X-Filler: " + b"0123456789" * 10 + b"\r\n"
        block = line * 400
        while not self.stop:
            try:
                c, _ = self.listener.accept()
            except OSError:
                return
            self.replies += 1
            try:
                c.settimeout(5)
                c.recv(65536)
                c.sendall(b"HTTP/1.1 200 OK\r\n")
                sent = 0
                while sent < (44 << 20) and not self.stop:
                    c.sendall(block)
                    sent += len(block)
                    self.sent += len(block)
            except OSError:
                pass
            c.close()


def run(name, attack, args=None, probe_path=STOCK):
    proc, port = start(args or ["--clock", "2009-03-18 10:00", "--clock-rate", "0"])
    try:
        fetch(port, request(probe_path))
        before = rss_mb(proc)
        prober = Prober(port, probe_path)
        prober.start()
        figure = attack(port)
        prober.stop = True
        prober.join()
        time.sleep(0.5)
        print("%-28s %s; RSS %.1f MB before, peak %.1f MB, %.1f MB after; %s" %
              (name, prober.report(), before, rss_mb(proc, "VmHWM"), rss_mb(proc), figure),
              flush=True)
    finally:
        proc.terminate()
        proc.wait(timeout=30)


def main():
    print("%s, %.0f s per attack, load average %s" %
          (BINARY, SECONDS, open("/proc/loadavg").read().split()[0]), flush=True)
    run("none (baseline)", lambda port: (time.sleep(SECONDS), "")[1])
    chunk = b"10000\r\n" + b"a" * 65536 + b"\r\n"
    run("chunked POST x3", lambda port: attack_streams(
        port, b"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", chunk, 3))
    run("POST without length", lambda port: attack_streams(
        port, b"POST / HTTP/1.1\r\nHost: x\r\n\r\n", b"a" * 65536, 1))
    run("bare-LF head, endless line", lambda port: attack_streams(
        port, b"GET / HTTP/1.1\r\nX: y\n\n", b"a" * 65536, 1))
    run("workers held (40 per 10 s)", attack_workers)
    run("Range with 2,600 parts", attack_range)
    feed = EndlessFeed()
    feed.start()

    def flood_feed(port):
        until = time.monotonic() + SECONDS
        while time.monotonic() < until:
            fetch(port, request(STOCK), timeout=5)
        return "feed replies %d, %.0f MB of headers offered" % (feed.replies, feed.sent / 1e6)

    run("feed with endless headers", flood_feed,
        ["--market", "live", "--feed", "tencent=http://127.0.0.1:%d" % feed.port,
         "--clock", "2009-03-18 10:00", "--clock-rate", "100"], probe_path=SERVICE)
    feed.stop = True


if __name__ == "__main__":
    main()
