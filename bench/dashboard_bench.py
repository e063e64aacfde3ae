#!/usr/bin/env python3
"""Load on `korvale dashboard --http`: records and plots at a steady rate to its UDP port on
127.0.0.1, one client (or --clients N) reading the event stream.

Prints the datagrams sent and counted, the time from a datagram's arrival at the dashboard (the
`t` of its event) to the event's arrival at the client (median, 99th percentile, maximum), the
time `/api/latest` takes to answer while the streams are open, and the dashboard's CPU use over
the run.

    /usr/bin/python3 bench/dashboard_bench.py build/benchmarks/tools/korvale [--seconds 60]
"""

import argparse
import http.client
import json
import os
import re
import socket
import statistics
import struct
import subprocess
import threading
import time


def record(i1, t):
    data = bytearray(76)
    struct.pack_into("<ffff", data, 0, i1 * 0.5, 90.0, 60.0 + t % 10, 0.0)
    struct.pack_into("<i", data, 36, i1)
    return bytes(data)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def read_events(host, port, latencies, ready):
    connection = http.client.HTTPConnection(host, port, timeout=10)
    connection.request("GET", "/events")
    response = connection.getresponse()
    ready.set()
    while True:
        line = response.fp.readline()
        if not line:
            return
        if not line.startswith(b"data: "):
            continue
        arrived = time.time()
        event = json.loads(line[6:])
        if event["type"] == "record":
            latencies.append(arrived - event["record"]["t"])
        elif event["type"] == "plot":
            latencies.append(arrived - event["t"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--records", type=float, default=100.0, help="records per second")
    parser.add_argument("--plots", type=float, default=10.0, help="plots per second")
    parser.add_argument("--values", type=int, default=200, help="values in a plot (two arrays)")
    parser.add_argument("--clients", type=int, default=1, help="event streams read at once")
    options = parser.parse_args()
    half = options.values // 2

    dashboard = subprocess.Popen(
        [options.tool, "dashboard", "--port", "0", "--http", "0",
         "--plot-counts", f"{half},{options.values - half}"],
        stdout=subprocess.PIPE, text=True)
    udp = int(re.search(r"port (\d+)", dashboard.stdout.readline()).group(1))
    host, port = re.search(r"http://([\d.]+):(\d+)/", dashboard.stdout.readline()).groups()
    latencies = []
    for _ in range(options.clients):
        ready = threading.Event()
        threading.Thread(target=read_events, args=(host, int(port), latencies, ready),
                         daemon=True).start()
        ready.wait(10)

    asked = time.monotonic()
    connection = http.client.HTTPConnection(host, int(port), timeout=10)
    connection.request("GET", "/api/latest")
    connection.getresponse().read()
    connection.close()
    latest_ms = 1000.0 * (time.monotonic() - asked)

    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    target = ("127.0.0.1", udp)
    plot_every = round(options.records / options.plots)
    values = [float(k) for k in range(options.values)]
    cpu_before = cpu_seconds(dashboard.pid)
    started = time.monotonic()
    records = plots = 0
    while records < options.seconds * options.records:
        due = started + records / options.records
        time.sleep(max(0.0, due - time.monotonic()))
        sender.sendto(record(records, due - started), target)
        if records % plot_every == 0:
            sender.sendto(struct.pack(f"<{options.values}d", *values), target)
            plots += 1
        records += 1
    elapsed = time.monotonic() - started
    time.sleep(1.0)
    cpu = cpu_seconds(dashboard.pid) - cpu_before
    connection = http.client.HTTPConnection(host, int(port), timeout=10)
    connection.request("GET", "/api/latest")
    counters = json.loads(connection.getresponse().read())["counters"]
    dashboard.kill()
    dashboard.wait()

    ms = sorted(1000.0 * value for value in latencies)
    print(f"sent:      {records} records and {plots} plots of {options.values} values "
          f"in {elapsed:.1f} s")
    print(f"counted:   {counters['received']} received, {counters['records']} records, "
          f"{counters['plots']} plots, {counters['lost']} lost, {counters['malformed']} malformed")
    print(f"events:    {len(ms)} at {options.clients} client(s)")
    print(f"latest:    answered in {latest_ms:.1f} ms with {options.clients} stream(s) open")
    if ms:
        print(f"latency:   median {statistics.median(ms):.3f} ms, "
              f"99th percentile {ms[int(0.99 * (len(ms) - 1))]:.3f} ms, max {ms[-1]:.3f} ms")
    print(f"cpu:       {cpu:.2f} s in {elapsed:.1f} s, {100.0 * cpu / elapsed:.1f} % of one core")


if __name__ == "__main__":
    main()
