#!/usr/bin/env python3
"""Runs the dynamic host against the library as a dashboard would see it, and compares runs.

  dynamic_host_check.py run --output FILE -- COMMAND...
      Binds a UDP receiver on 127.0.0.1, runs COMMAND with every "{port}" replaced by its port,
      and checks that the host succeeded and that every status record and plot it says it sent
      arrived, byte for byte, in order, and nothing else. Writes the host's standard output to
      FILE with Unix line ends.

  dynamic_host_check.py compare EXPECTED ACTUAL
      Compares two outputs of the host line by line: words equal, numbers equal to nine
      significant digits (the receiver's port and error codes in "failed" lines aside).
"""
import argparse
import math
import socket
import struct
import subprocess
import sys
import threading

RECORD_SIZE = 76
# How long the receiver waits for stragglers after the host has ended (s).
GRACE_S = 1.0
# What running the host may take at most (s).
HOST_TIMEOUT_S = 300
# Relative difference below which two numbers agree to nine significant digits.
NINE_DIGITS = 5e-9


def record_bytes(fields):
    """The 76-byte status record for the values the host printed after "record"."""
    i1, r1, r2, r3, r4, r5, _r6, r7, r8, flag, _time_stamp, i2 = fields
    record = bytearray(RECORD_SIZE)
    for offset, value in ((0, r1), (4, r2), (8, r4), (16, r3), (24, r5), (28, r7), (32, r8)):
        struct.pack_into("<f", record, offset, float(value))
    struct.pack_into("<i", record, 36, int(i1))
    record[40] = int(flag) & 0xFF
    struct.pack_into("<i", record, 72, int(i2))
    return bytes(record)


def plot_bytes(fields):
    """The plot datagram for the values the host printed after "plot"."""
    count_a, count_b = int(fields[0]), int(fields[1])
    values = [float(v) for v in fields[2:]]
    if len(values) != count_a + count_b:
        raise ValueError("plot line with %d values for %d + %d" % (len(values), count_a, count_b))
    return struct.pack("<%dd" % len(values), *values)


def expected_datagrams(output):
    expected = []
    for line in output.splitlines():
        words = line.split()
        if words[:2] == ["host:", "record"]:
            expected.append(("record", record_bytes(words[2:])))
        elif words[:2] == ["host:", "plot"]:
            expected.append(("plot", plot_bytes(words[2:])))
    return expected


def run(arguments):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(0.1)
    port = receiver.getsockname()[1]
    received = []
    host_done = threading.Event()

    def receive():
        idle_s = 0.0
        while not (host_done.is_set() and idle_s >= GRACE_S):
            try:
                data, _ = receiver.recvfrom(65536)
                received.append(data)
                idle_s = 0.0
            except socket.timeout:
                if host_done.is_set():
                    idle_s += 0.1

    thread = threading.Thread(target=receive)
    thread.start()
    command = [word.replace("{port}", str(port)) for word in arguments.command]
    try:
        host = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=HOST_TIMEOUT_S)
    finally:
        host_done.set()
        thread.join()
        receiver.close()
    output = host.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
    with open(arguments.output, "w", encoding="utf-8") as out:
        out.write(output)

    failures = []
    if host.returncode != 0:
        failures.append("the host ended with exit code %d" % host.returncode)
    if "host: done" not in output:
        failures.append("the host did not finish")
    expected = expected_datagrams(output)
    records = sum(1 for kind, _ in expected if kind == "record")
    plots = len(expected) - records
    if records == 0 or plots == 0:
        failures.append("the host sent %d records and %d plots" % (records, plots))
    for index, (kind, data) in enumerate(expected):
        if index >= len(received):
            failures.append("%s %d of %d never arrived" % (kind, index + 1, len(expected)))
            break
        if received[index] != data:
            failures.append("datagram %d (%s): %d bytes %s, expected %d bytes %s" % (
                index + 1, kind, len(received[index]), received[index].hex(), len(data),
                data.hex()))
    if len(received) > len(expected):
        failures.append("%d datagrams more than the host sent" % (len(received) - len(expected)))

    if failures:
        sys.stdout.write(output)
        sys.stdout.write(host.stderr.decode("utf-8", "replace"))
        for failure in failures:
            print("FAILED: " + failure)
        return 1
    print("%d status records and %d plots arrived as sent; %d lines of output in %s" % (
        records, plots, len(output.splitlines()), arguments.output))
    return 0


def parse_number(word):
    try:
        return float(word)
    except ValueError:
        return None


def numbers_agree(a, b):
    if a == b or (math.isnan(a) and math.isnan(b)):
        return True
    if math.isinf(a) or math.isinf(b):
        return False
    return abs(a - b) <= NINE_DIGITS * max(abs(a), abs(b))


def compare_lines(expected, actual):
    """Failures of two outputs, line by line (see compare), and a summary of what agreed."""
    failures = []
    numbers = identical = 0
    largest = 0.0
    if len(expected) != len(actual):
        failures.append("%d lines against %d" % (len(expected), len(actual)))
    for number, (line_e, line_a) in enumerate(zip(expected, actual), start=1):
        words_e, words_a = line_e.split(), line_a.split()
        platform_code = "failed" in line_e and "failed" in line_a
        if len(words_e) != len(words_a):
            failures.append("line %d: %r against %r" % (number, line_e, line_a))
            continue
        previous = None
        for word_e, word_a in zip(words_e, words_a):
            value_e, value_a = parse_number(word_e), parse_number(word_a)
            after_port, previous = previous == "port", word_e
            if value_e is None or value_a is None:
                if word_e != word_a:
                    failures.append("line %d: %r against %r" % (number, line_e, line_a))
                    break
                continue
            if platform_code or after_port:
                continue
            numbers += 1
            if value_e == value_a or (math.isnan(value_e) and math.isnan(value_a)):
                identical += 1
            elif not math.isinf(value_e) and not math.isinf(value_a):
                largest = max(largest, abs(value_e - value_a) / max(abs(value_e), abs(value_a)))
            if not numbers_agree(value_e, value_a):
                failures.append("line %d: %s against %s\n  %s\n  %s" % (
                    number, word_e, word_a, line_e, line_a))
    summary = ("%d lines agree: %d numbers, %d of them identical, largest relative difference %.3g"
               % (len(expected), numbers, identical, largest))
    return failures, summary


def compare(arguments):
    with open(arguments.expected, encoding="utf-8") as f:
        expected = f.read().splitlines()
    with open(arguments.actual, encoding="utf-8") as f:
        actual = f.read().splitlines()
    failures, summary = compare_lines(expected, actual)
    if failures:
        for failure in failures[:20]:
            print("FAILED: " + failure)
        return 1
    print(summary)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="action", required=True)
    run_parser = commands.add_parser("run")
    run_parser.add_argument("--output", required=True)
    run_parser.add_argument("command", nargs="+")
    compare_parser = commands.add_parser("compare")
    compare_parser.add_argument("expected")
    compare_parser.add_argument("actual")
    arguments = parser.parse_args()
    return run(arguments) if arguments.action == "run" else compare(arguments)


if __name__ == "__main__":
    sys.exit(main())
