"""korvale dashboard --http and --forward-json, and korvale drive --realtime: the tool as a
child process, real UDP sockets and a real HTTP client on 127.0.0.1."""

import http.client
import json
import math
import os
import re
import socket
import struct
import subprocess
import time

import pytest

TOOL = os.environ.get("KORVALE_TOOL", "korvale")
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.normpath(os.path.join(HERE, "..", "..", "examples", "route.txt"))


def has_http():
    done = subprocess.run([TOOL, "dashboard", "--port", "0", "--http", "0", "--timeout", "0.01"],
                          capture_output=True, text=True, timeout=30, check=False)
    return done.returncode == 0


def record(i1, r1=0.0, r2=0.0, r3=0.0, r4=0.0, r5=0.0, r7=0.0, r8=0.0, flag=0, i2=0):
    data = bytearray(76)
    for offset, value in ((0, r1), (4, r2), (8, r4), (16, r3), (24, r5), (28, r7), (32, r8)):
        struct.pack_into("<f", data, offset, value)
    struct.pack_into("<i", data, 36, i1)
    data[40] = flag
    struct.pack_into("<i", data, 72, i2)
    return bytes(data)


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


class Dashboard:
    """A running `korvale dashboard`, its UDP port and, with --http, its page's address."""

    def __init__(self, *args):
        self.process = subprocess.Popen([TOOL, "dashboard", "--port", "0", *args],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.udp = int(re.search(r"listening on port (\d+)", self.readline()).group(1))
        self.http = None
        if "--http" in args:
            found = re.search(r"dashboard page on http://([\d.]+):(\d+)/", self.readline())
            self.http = (found.group(1), int(found.group(2)))
        self.sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)

    def readline(self):
        line = self.process.stdout.readline()
        while line.startswith(("===", "[KORVALE_DLL]")):  # the library's loading lines
            line = self.process.stdout.readline()
        return line

    def send(self, data):
        self.sender.sendto(data, ("127.0.0.1", self.udp))

    def get(self, path, host=None):
        connection = http.client.HTTPConnection(host or self.http[0], self.http[1], timeout=5)
        connection.request("GET", path)
        response = connection.getresponse()
        return response.status, response.getheader("Content-Type"), response.read()

    def latest(self):
        return json.loads(self.get("/api/latest")[2])

    def open_stream(self):
        connection = http.client.HTTPConnection(*self.http, timeout=5)
        connection.request("GET", "/events")
        response = connection.getresponse()
        assert response.status == 200
        assert response.getheader("Content-Type").startswith("text/event-stream")
        return connection, response

    def close(self):
        self.sender.close()
        self.process.kill()
        self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()


@pytest.fixture
def dashboards():
    started = []

    def start(*args):
        started.append(Dashboard(*args))
        return started[-1]

    yield start
    for dashboard in started:
        dashboard.close()


def next_event(response):
    """The JSON of the next `data:` line of an event stream."""
    while True:
        line = response.fp.readline().decode()
        assert line, "the event stream ended"
        if line.startswith("data: "):
            return json.loads(line[6:])


def wait_for(condition, seconds=30.0):
    until = time.monotonic() + seconds
    while not condition():
        assert time.monotonic() < until, "timed out"
        time.sleep(0.02)


needs_http = pytest.mark.skipif(not has_http(), reason="the tool was built without cpp-httplib")


@needs_http
def test_endpoints_and_event_stream_after_datagrams(dashboards):
    board = dashboards("--http", "0", "--plot-counts", "3,2", "--fields", "r5=v_ego,i1=n")
    assert board.http[0] == "127.0.0.1"
    status, kind, page = board.get("/")
    assert status == 200 and kind.startswith("text/html") and b"/assets/dashboard.js" in page
    status, kind, script = board.get("/assets/uPlot.iife.min.js")
    assert status == 200 and kind.startswith("text/javascript") and len(script) > 40000
    for path in ("/assets/missing.js", "/etc/passwd", "/assets/../index.html", "/api/route",
                 "/api/"):
        assert board.get(path)[0] == 404, path
    config = json.loads(board.get("/api/config")[2])
    assert config["fields"]["r5"] == "v_ego" and config["fields"]["r1"] == "distance"
    assert config["plot_counts"] == [3, 2] and config["route"] is False
    assert board.latest() == {"record": None, "age_s": None, "counters": {
        "received": 0, "records": 0, "plots": 0, "malformed": 0, "lost": 0}}

    _, stream = board.open_stream()
    assert next_event(stream)["type"] == "hello"
    before = time.time()
    board.send(record(5, r1=1200.5, r2=90, r3=72.5, r4=61.25, r5=80.1, r7=140, r8=50, flag=1,
                      i2=1182))
    board.send(record(9, r5=float("nan"), r7=float("inf")))  # 6, 7 and 8 are lost
    board.send(record(2))  # a restart, no loss
    board.send(b"\x00" * 75)
    board.send(struct.pack("<5d", 1, 2, 3, 4.5, -1e300))

    first = next_event(stream)
    assert first["type"] == "record"
    fields = first["record"]
    assert before - 1 <= fields["t"] <= time.time() + 1
    assert fields["n"] == 5 and f32(fields["v_ego"]) == f32(80.1)
    assert (fields["distance"], fields["maximum"], fields["recommended"], fields["coasting"],
            fields["lift_off"], fields["target_speed"], fields["flag"], fields["rows"]) == (
                1200.5, 90, 72.5, 61.25, 140, 50, 1, 1182)
    second = next_event(stream)
    assert second["record"]["v_ego"] is None and second["record"]["lift_off"] is None
    assert second["counters"]["lost"] == 3
    assert next_event(stream)["counters"]["lost"] == 3
    malformed = next_event(stream)
    assert malformed["type"] == "malformed" and malformed["bytes"] == 75
    plot = next_event(stream)
    assert plot["type"] == "plot" and plot["a"] == [1, 2, 3] and plot["b"] == [4.5, -1e300]
    assert plot["counters"] == {"received": 5, "records": 3, "plots": 1, "malformed": 1,
                                "lost": 3}

    latest = board.latest()
    assert latest["record"]["n"] == 2 and latest["counters"] == plot["counters"]
    assert 0 <= latest["age_s"] < 5
    # A stream opened later starts with the latest record and plot.
    _, late = board.open_stream()
    hello = next_event(late)
    assert hello["record"]["n"] == 2 and hello["plot"]["b"] == [4.5, -1e300]


def test_forwarded_json_field_by_field_and_the_text_lines_unchanged(dashboards):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(5)
    target = f"127.0.0.1:{receiver.getsockname()[1]}"
    board = dashboards("--forward-json", target, "--fields", "r8=target", "--plot-counts", "1,1")
    assert board.readline() == f"forwarding records as JSON to {target}\n"
    board.send(record(7, r1=10.5, r2=1e30, r3=-0.0, r4=3.25, r5=float("-inf"), r7=-2, r8=30,
                      flag=0x81, i2=-4))
    board.send(struct.pack("<2d", 1, 2))
    data, _ = receiver.recvfrom(65536)
    assert len(data) < 2048
    forwarded = json.loads(data)
    assert list(forwarded) == ["t", "sample", "distance", "maximum", "recommended", "coasting",
                               "vehicle_speed", "lift_off", "target", "flag", "rows"]
    assert abs(forwarded["t"] - time.time()) < 5
    assert forwarded["distance"] == 10.5 and f32(forwarded["maximum"]) == f32(1e30)
    assert forwarded["recommended"] == 0 and forwarded["coasting"] == 3.25
    assert forwarded["vehicle_speed"] is None
    assert (forwarded["lift_off"], forwarded["target"], forwarded["sample"], forwarded["flag"],
            forwarded["rows"]) == (-2, 30, 7, 0x81, -4)
    # Plots are not forwarded; without --http the text lines are as before.
    assert board.readline().startswith("record i1=7 r1=10.500 ")
    assert board.readline() == "plot 1+1 a=[1.000 .. 1.000] b=[2.000 .. 2.000]\n"
    with pytest.raises(socket.timeout):
        receiver.settimeout(0.3)
        receiver.recvfrom(65536)
    receiver.close()


@needs_http
def test_served_on_loopback_only_unless_bound_elsewhere(dashboards):
    board = dashboards("--http", "0")
    assert board.get("/api/config")[0] == 200
    with pytest.raises(ConnectionRefusedError):
        board.get("/api/config", host="127.0.0.2")
    other = dashboards("--http", "0", "--bind", "127.0.0.2")
    assert other.http[0] == "127.0.0.2"
    assert other.get("/api/config")[0] == 200
    with pytest.raises(ConnectionRefusedError):
        other.get("/api/config", host="127.0.0.1")


@needs_http
def test_many_streams_and_a_stalled_one_never_hold_up_the_receiver(dashboards):
    long_names = ",".join(f"r{k}={'n' * 31}{k}" for k in (1, 2, 3, 4, 5, 7, 8))  # longer events
    board = dashboards("--http", "0", "--fields", long_names)
    streams = [board.open_stream() for _ in range(20)]
    for _, stream in streams:
        assert next_event(stream)["type"] == "hello"
    # With every stream holding a thread of the server, /api/latest still answers (within the
    # connection's deadline; how fast is measured by bench/dashboard_bench.py --clients 20).
    assert board.latest()["counters"]["received"] == 0

    # A client that stops reading: once the connection's buffers are full (a few MB on
    # loopback), its queue is bounded and loses its oldest events.
    stalled = socket.create_connection(board.http)
    stalled.sendall(b"GET /events HTTP/1.1\r\nHost: x\r\n\r\n")
    for connection, _ in streams:
        connection.close()  # vanished browsers
    sent = 0
    for burst in range(320):  # (bursts that the socket's receive buffer holds)
        for _ in range(50):
            board.send(record(sent, r1=sent, r2=float(burst)))
            sent += 1
        # Each burst is taken in before the next is sent, so that no datagram is lost to a
        # full socket buffer on a loaded machine; a receiver held up by the stalled client
        # would never catch up.
        wait_for(lambda: board.latest()["counters"]["received"] == sent)
    assert board.latest()["counters"]["lost"] == 0
    stalled.settimeout(30)
    seen = b""
    while b'"type":"skipped"' not in seen:
        chunk = stalled.recv(65536)
        assert chunk
        seen += chunk
    stalled.close()


def test_drive_realtime_keeps_the_pace_of_the_trace(tmp_path):
    trace = tmp_path / "trace.csv"
    # 1.2 s of a drive along the start of the example road, which runs along x.
    trace.write_text("".join(f"{t / 10},{t * 2.0},0,222\n" for t in range(13)))
    started = time.monotonic()
    done = subprocess.run([TOOL, "drive", EXAMPLE, str(trace), "--realtime", "--speedup", "2"],
                          capture_output=True, text=True, timeout=30, check=False)
    elapsed = time.monotonic() - started
    assert done.returncode == 0, done.stderr
    assert done.stdout.count("\n0.") + done.stdout.count("\n1.") == 13
    assert 0.6 <= elapsed < 10
    for wrong in (["--speedup", "2"], ["--realtime", "--speedup", "0"],
                  ["--realtime", "--speedup", "nan"]):
        refused = subprocess.run([TOOL, "drive", EXAMPLE, str(trace), *wrong],
                                 capture_output=True, text=True, timeout=30, check=False)
        assert refused.returncode != 0 and "--speedup" in refused.stderr, wrong


def test_dashboard_option_errors():
    def error(*args):
        done = subprocess.run([TOOL, "dashboard", "--port", "0", *args], capture_output=True,
                              text=True, timeout=30, check=False)
        assert done.returncode != 0
        return done.stderr

    assert "--fields" in error("--fields", "r1=distance")  # names need --http or JSON
    assert "'r6' is not one of" in error("--forward-json", "127.0.0.1:9", "--fields", "r6=x")
    assert "is taken" in error("--forward-json", "127.0.0.1:9", "--fields", "r1=t")
    assert "is taken" in error("--forward-json", "127.0.0.1:9", "--fields", "r1=rows")
    assert "not 1 to 32" in error("--forward-json", "127.0.0.1:9", "--fields", 'r1=a"b')
    assert "HOST:PORT" in error("--forward-json", "nowhere")
    assert "--http" in error("--route", EXAMPLE)
    if has_http():
        taken = socket.socket()
        taken.bind(("127.0.0.1", 0))
        taken.listen()
        assert "cannot listen" in error("--http", str(taken.getsockname()[1]))
        taken.close()
    else:
        assert "built without cpp-httplib" in error("--http", "0")
