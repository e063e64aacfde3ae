#!/usr/bin/env python3
"""Runs korvale.exe (under Wine) and the Linux korvale with the same arguments and compares
their output, number for number to nine significant digits: `profile` with its CSV, `at` by
distance, by position and with advice, and `drive --dashboard` to a `korvale dashboard` on
Linux, whose lines for the two drives are compared too. Then the dashboard page: korvale.exe's
`dashboard --http` receives the Linux drive while a Linux client reads the page, /api/latest and
the event stream. With --map, --town and --ride, the route files of `route opendrive` and
`route gps`, the listing of `route roads` and every route error (see route_check.py).

  windows_tool_check.py --linux LINUX_TOOL --route ROUTE [--map XODR --town XODR --ride GPX]
                        -- WINDOWS_TOOL_COMMAND...
"""
import argparse
import csv
import http.client
import json
import re
import subprocess
import sys
import tempfile
import time

import route_check
from dynamic_host_check import compare_lines

TIMEOUT_S = 300
SIDE_M = 0.8  # the drive passes this far to the left of the road


def output(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=TIMEOUT_S, check=False)
    text = done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
    if done.returncode != 0:
        raise RuntimeError("%s ended with %d:\n%s%s" % (" ".join(command), done.returncode, text,
                                                        done.stderr.decode("utf-8", "replace")))
    return text


def words(text):
    """The text with the numbers of CSV lines and of "name=[a .. b]" as words of their own."""
    return re.sub(r"[,=\[\]]", " ", text.replace("\r\n", "\n"))


def write_trace(rows, path):
    """A drive past every fifth of the first 400 route points, SIDE_M to the left of the road."""
    picked = list(range(0, min(len(rows), 400) - 1, 5))
    with open(path, "w", encoding="ascii") as f:
        f.write("t,x,y,z\n")
        for n, i in enumerate(picked):
            x, y = float(rows[i]["x"]), float(rows[i]["y"])
            hx, hy = float(rows[i + 1]["x"]) - x, float(rows[i + 1]["y"]) - y
            norm = (hx * hx + hy * hy) ** 0.5
            f.write("%r,%r,%r,%s\n" % (n * 0.5, x - hy / norm * SIDE_M, y + hx / norm * SIDE_M,
                                       rows[i]["z"]))
    return len(picked)


def drive_to_dashboard(tool, dashboard, route, trace, datagrams):
    """The drive's output, and the lines of a Linux dashboard that received it."""
    receiver = subprocess.Popen(dashboard + ["dashboard", "--port", "0", "--count",
                                             str(datagrams), "--timeout", "20"],
                                stdout=subprocess.PIPE, text=True)
    try:
        listening = receiver.stdout.readline()
        port = listening.split()[-1]
        drove = output(tool + ["drive", route, trace, "--dashboard", "127.0.0.1:" + port])
        received, _ = receiver.communicate(timeout=TIMEOUT_S)
    finally:
        if receiver.poll() is None:
            receiver.kill()
            receiver.wait()
    return drove, received


def dashboard_page(dashboard, drive, route, trace, datagrams):
    """Failures of a dashboard page (the dashboard command given) that receives the drive (the
    drive command given) while a client reads the page, /api/latest and the event stream."""
    receiver = subprocess.Popen(dashboard + ["dashboard", "--port", "0", "--http", "0",
                                             "--route", route, "--timeout", "60"],
                                stdout=subprocess.PIPE, text=True)
    failures = []
    try:
        udp = re.search(r"listening on port (\d+)", receiver.stdout.readline()).group(1)
        host, port = re.search(r"dashboard page on http://([\d.]+):(\d+)/",
                               receiver.stdout.readline()).groups()

        def get(path):
            connection = http.client.HTTPConnection(host, int(port), timeout=30)
            connection.request("GET", path)
            response = connection.getresponse()
            return response.status, response.read()

        stream = http.client.HTTPConnection(host, int(port), timeout=30)
        stream.request("GET", "/events")
        events = stream.getresponse()
        output(drive + ["drive", route, trace, "--dashboard", "127.0.0.1:" + udp])
        kinds = set()
        while "record" not in kinds or "plot" not in kinds:
            line = events.fp.readline().decode()
            if not line:
                failures.append("the event stream ended before a record and a plot came")
                break
            if line.startswith("data: "):
                kinds.add(json.loads(line[6:])["type"])
        stream.close()
        until = time.monotonic() + 30
        while True:
            latest = json.loads(get("/api/latest")[1])
            if latest["counters"]["received"] >= datagrams or time.monotonic() > until:
                break
            time.sleep(0.1)
        if latest["counters"]["received"] != datagrams or latest["counters"]["malformed"] != 0:
            failures.append("/api/latest counts %s, not the %d datagrams of the drive"
                            % (latest["counters"], datagrams))
        status, page = get("/")
        if status != 200 or b"<title>korvale dashboard</title>" not in page:
            failures.append("the page: status %d" % status)
        if get("/api/route")[0] != 200:
            failures.append("/api/route is missing")
        print("dashboard page: %s" % ("DIFFERS" if failures else "%d datagrams, events %s"
                                      % (datagrams, ", ".join(sorted(kinds)))))
    finally:
        receiver.kill()
        receiver.wait()
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--linux", required=True)
    parser.add_argument("--route", required=True)
    parser.add_argument("--map")
    parser.add_argument("--town")
    parser.add_argument("--ride")
    parser.add_argument("windows", nargs="+")
    arguments = parser.parse_args()
    linux, windows, route = [arguments.linux], arguments.windows, arguments.route

    failures = []

    def same(what, expected, actual):
        found, summary = compare_lines(expected.splitlines(), actual.splitlines())
        failures.extend("%s: %s" % (what, failure) for failure in found[:10])
        print("%s: %s" % (what, "DIFFERS" if found else summary))

    with tempfile.TemporaryDirectory() as work:
        # The same CSV path for both, since the summary names it.
        table = work + "/rows.csv"
        linux_summary = output(linux + ["profile", route, "--csv", table])
        with open(table, encoding="utf-8") as f:
            linux_table = f.read()
        same("profile", linux_summary, output(windows + ["profile", route, "--csv", table]))
        with open(table, encoding="utf-8") as f:
            same("profile --csv", words(linux_table), words(f.read()))

        rows = list(csv.DictReader(linux_table.splitlines()))
        row = rows[len(rows) // 3]
        position = "%s,%r,%s" % (row["x"], float(row["y"]) + 2.0, row["z"])
        for at in (["--distance", "1200"], ["--position", position],
                   ["--distance", "0", "--speed", "80", "--horizon", "5000"]):
            same("at " + " ".join(at), output(linux + ["at", route] + at),
                 output(windows + ["at", route] + at))

        trace = work + "/trace.csv"
        samples = write_trace(rows, trace)
        datagrams = samples + (samples + 9) // 10  # a record per sample, a plot every tenth
        linux_drive, linux_dashboard = drive_to_dashboard(linux, linux, route, trace, datagrams)
        windows_drive, windows_dashboard = drive_to_dashboard(windows, linux, route, trace,
                                                              datagrams)
        same("drive", words(linux_drive), words(windows_drive))
        same("dashboard", words(linux_dashboard), words(windows_dashboard))
        if "received %d datagrams" % datagrams not in windows_dashboard:
            failures.append("the dashboard did not receive the %d datagrams of the drive"
                            % datagrams)
        failures.extend(dashboard_page(windows, linux, route, trace, datagrams))

        if arguments.map and arguments.town and arguments.ride:
            failures.extend(route_check.check_routes(
                linux, windows, arguments.map, arguments.town, arguments.ride, work))

    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
