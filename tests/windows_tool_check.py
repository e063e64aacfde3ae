#!/usr/bin/env python3
"""Runs korvale.exe (under Wine) and the Linux korvale with the same arguments and compares
their output, number for number to nine significant digits: `profile` with its CSV, `at` by
distance, by position and with advice, and `drive --dashboard` to a `korvale dashboard` on
Linux, whose lines for the two drives are compared too.

  windows_tool_check.py --linux LINUX_TOOL --route ROUTE -- WINDOWS_TOOL_COMMAND...
"""
import argparse
import csv
import re
import subprocess
import sys
import tempfile

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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--linux", required=True)
    parser.add_argument("--route", required=True)
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

    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
