#!/usr/bin/env python3
"""Helpers of bench/soak.sh: writes the device's data files before the start
and checks, after the run, the alerts (desktop bubbles from the mock
notification service's log, SMS from the gateway's sent folder), the data
files the exit command saved and the resource samples.

  soak_tool.py write DATA_DIR PLAN PHONE
  soak_tool.py check DATA_DIR PLAN PHONE BUBBLE_LOG SENT_DIR SAMPLES DAY1_HOUR GROWTH

DAY1_HOUR is the first hour that counts as settled (after the first day
and the last change of state), GROWTH the program's RSS growth in percent
allowed from there (0: the resources are not checked); the descriptors
must end where they were then.

The data files are GBK text of ";"-terminated fields, every byte XORed with
0x5A, followed by one 0x5A byte (the scrambled terminating zero).
"""
import csv
import os
import re
import sys

MASK = 0x5A


def scramble(text):
    return bytes(b ^ MASK for b in text.encode("gbk")) + bytes([MASK])


def unscramble(data):
    text = bytes(b ^ MASK for b in data)
    return text.split(b"\0")[0].decode("gbk", "replace")


def read_plan(path):
    plan = []
    with open(path) as f:
        for line in f:
            code, sell, sell_half, buy, buy_half = line.split()
            plan.append({"code": code, "H": sell, "L": buy, "half": {"H": sell_half, "L": buy_half}})
    return plan


def write(data_dir, plan_path, phone):
    plan = read_plan(plan_path)
    os.makedirs(data_dir, exist_ok=True)
    # Refresh every 20 s, black background, bubbles, the SMS number kept
    # for later, Wi-Fi (a direct connection to --server).
    settings = "20;秒;0.0000;K;N;3;t;%s;3;" % phone
    with open(os.path.join(data_dir, "afxg002"), "wb") as f:
        f.write(scramble(settings))
    fields = [str(len(plan))]
    for p in plan:
        # code, name, latest, change %, sell, N, buy, N, change, previous
        # close, open, high, low, update time; the refresh fills the quote.
        fields += [p["code"], "", "", "", p["H"], "N", p["L"], "N", "", "", "", "", "", ""]
    with open(os.path.join(data_dir, "afxg003"), "wb") as f:
        f.write(scramble(";".join(fields) + ";"))


# An alert text: "name(code)：您设置的卖出价位12.34元已经达到，..." and its
# kin; the kind follows from the side and the wording.
ALERT = re.compile(r"\((\d{6})\)\s*[：:]?\s*您设置的(卖出|买入)价位([0-9.]+)元(已经达到|今日最)")


def alerts_in(text):
    found = []
    for m in ALERT.finditer(text):
        side = "H" if m.group(2) == "卖出" else "L"
        kind = side if m.group(4) == "已经达到" else side * 2
        found.append((m.group(1), kind, m.group(3)))
    return found


def bubble_alerts(log_path):
    """The alerts in the Notify calls of the mock notification service's log.
    A call is one record that starts with a time stamp and may go on over
    several lines (the body's line breaks); the body is markup."""
    with open(log_path, encoding="utf-8", errors="replace") as f:
        records = re.split(r"(?m)^(?=\d+\.\d+ )", f.read())
    found = []
    for record in records:
        if re.match(r"\d+\.\d+ Notify ", record):
            found += alerts_in(re.sub(r"<[^>]*>", "", record))[:1]
    return found


def sms_alerts(sent_dir, phone):
    found, problems = [], []
    for name in sorted(os.listdir(sent_dir)):
        with open(os.path.join(sent_dir, name), "rb") as f:
            data = f.read()
        text = data.decode("utf-16")
        got = alerts_in(text)
        if len(got) != 1:
            problems.append("SMS file %s holds no alert text: %r" % (name, text[:80]))
            continue
        if "_%s_" % phone not in name:
            problems.append("SMS file %s is not for %s" % (name, phone))
        found += got
    return found, problems


def check(data_dir, plan_path, phone, bubble_log, sent_dir, samples_path, day1_hour,
          growth_limit):
    plan = read_plan(plan_path)
    problems = []
    bubbles = bubble_alerts(bubble_log)
    sms, sms_problems = sms_alerts(sent_dir, phone)
    problems += sms_problems
    by_channel = {"t": bubbles, "s": sms}
    expected = 0
    for p in plan:
        for side in ("H", "L"):
            half = p["half"][side]
            expected += 1
            mine = [a for a in by_channel[half] if a[0] == p["code"] and a[1] == side]
            other = [a for a in by_channel["s" if half == "t" else "t"]
                     if a[0] == p["code"] and a[1] == side]
            if len(mine) != 1 or other:
                problems.append("%s %s target %s (%s): %d alerts by %s, %d by the other way"
                                % (p["code"], side, p[side], half, len(mine),
                                   "bubble" if half == "t" else "SMS", len(other)))
            elif mine[0][2] != p[side]:
                problems.append("%s %s alert quotes target %s, not %s"
                                % (p["code"], side, mine[0][2], p[side]))
    codes = {p["code"] for p in plan}
    notices = [a for a in bubbles + sms if a[1] in ("HH", "LL")]
    for kind in ("HH", "LL"):
        if sum(1 for a in notices if a[1] == kind) > 1:
            problems.append("more than one %s notice in the run" % kind)
    strangers = [a for a in bubbles + sms if a[0] not in codes]
    if strangers:
        problems.append("alerts for stocks not on the list: %r" % strangers)

    # The files the exit command wrote.
    with open(os.path.join(data_dir, "afxg002"), "rb") as f:
        settings = unscramble(f.read()).split(";")
    if settings[0] != "20" or settings[6] != "s" or settings[7] != phone:
        problems.append("afxg002 holds %r" % settings)
    with open(os.path.join(data_dir, "afxg003"), "rb") as f:
        fields = unscramble(f.read()).split(";")
    if fields[0] != str(len(plan)):
        problems.append("afxg003 holds %s stocks" % fields[0])
    for i, p in enumerate(plan):
        g = fields[1 + 14 * i: 15 + 14 * i]
        if len(g) < 14 or g[0] != p["code"] or g[4] != p["H"] or g[6] != p["L"]:
            problems.append("afxg003 group %d is %r" % (i, g[:8]))
        elif g[5] != "N" or g[7] != "N":
            problems.append("afxg003 group %d alert states %s/%s" % (i, g[5], g[7]))
        elif g[1] in ("", "--") or float(g[2] or 0) <= 0:
            problems.append("afxg003 group %d has no quote: %r" % (i, g[:4]))

    # Resources. The program's RSS and descriptors change with its state
    # (on a terminal or not, the SMS sender in use), so they are compared
    # from the first sample after both the first day and the last change of
    # state on: the RSS may grow by GROWTH percent, the descriptors only by
    # a request in flight at a sample. The server keeps the price paths of the days it served in a cache
    # of up to eight trading days (then it starts over): its RSS may grow by
    # that, about 1 MB a day, and its descriptors (at a sample, a connection
    # may be open) must be back where they were at the end.
    with open(samples_path) as f:
        rows = list(csv.DictReader(f))
    day1 = [r for r in rows if float(r["hour"]) >= day1_hour]
    if not day1:
        problems.append("no samples after the first day")
    elif growth_limit > 0:
        base, end = day1[0], rows[-1]
        rss = [int(r["stockat_rss_kb"]) for r in day1]
        if max(rss) > rss[0] * (1 + growth_limit / 100):
            problems.append("stockat RSS grew from %d kB (hour %s) to %d kB"
                            % (rss[0], base["hour"], max(rss)))
        # A sample may fall on a refresh, with one quote request open.
        fds = [int(r["stockat_fds"]) for r in day1]
        if max(fds) > fds[0] + 1 or fds[-1] > fds[0]:
            problems.append("stockat descriptors went from %d (hour %s) to %d (at most) and %d"
                            % (fds[0], base["hour"], max(fds), fds[-1]))
        days = (float(end["hour"]) - float(base["hour"])) / 24
        growth = int(end["quoted_rss_kb"]) - int(base["quoted_rss_kb"])
        if growth > 2048 * max(1.0, days + 1):
            problems.append("stockat-quoted RSS grew by %d kB in %.1f days" % (growth, days))
        if int(end["quoted_fds"]) > int(base["quoted_fds"]):
            problems.append("stockat-quoted descriptors grew from %s to %s"
                            % (base["quoted_fds"], end["quoted_fds"]))
    first, last = rows[0], rows[-1]
    after_day1 = next((r for r in rows if float(r["hour"]) >= 24), last)
    settled = day1[0] if day1 else last

    def cpu(who):
        # The program goes on as a new process when its terminal closes: the
        # CPU time of each process, added up.
        total, previous = 0.0, 0.0
        for r in rows:
            value = float(r[who + "_cpu_s"])
            if value < previous:
                total += previous
            previous = value
        return total + previous

    print("alerts: %d targets; %d bubbles, %d SMS; notices %r"
          % (expected, len(bubbles), len(sms), sorted((a[0], a[1]) for a in notices)))
    for who in ("stockat", "quoted"):
        print("%-7s RSS kB start/day 1/hour %s/end: %s/%s/%s/%s; fds %s/%s/%s/%s; CPU %.2f s"
              % (who, settled["hour"], first[who + "_rss_kb"], after_day1[who + "_rss_kb"],
                 settled[who + "_rss_kb"], last[who + "_rss_kb"], first[who + "_fds"],
                 after_day1[who + "_fds"], settled[who + "_fds"], last[who + "_fds"], cpu(who)))
    for p in problems:
        print("FAIL: " + p, file=sys.stderr)
    return 1 if problems else 0


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "write":
        write(*sys.argv[2:5])
        return 0
    if len(sys.argv) == 10 and sys.argv[1] == "check":
        return check(*sys.argv[2:8], float(sys.argv[8]), float(sys.argv[9]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
