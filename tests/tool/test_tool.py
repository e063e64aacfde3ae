"""The korvale command-line tool, run as a child process (KORVALE_TOOL names the binary)."""

import csv
import os
import random
import socket
import struct
import subprocess

import pytest

TOOL = os.environ.get("KORVALE_TOOL", "korvale")
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.normpath(os.path.join(HERE, "..", "..", "examples", "route.txt"))


def run(*args, timeout=60):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=timeout,
                          check=False)


def example_rows(tmp_path):
    table = tmp_path / "rows.csv"
    done = run("profile", EXAMPLE, "--csv", str(table))
    assert done.returncode == 0, done.stderr
    with open(table, newline="") as f:
        return list(csv.DictReader(f))


def test_profile_summarises_the_route_and_writes_every_row(tmp_path):
    done = run("profile", EXAMPLE, "--csv", str(tmp_path / "rows.csv"))
    assert done.returncode == 0, done.stderr
    out = done.stdout
    assert "rows:      1182\n" in out
    assert "length:    4705.0 m\n" in out
    assert "elevation: 210.8 to 265.2 m\n" in out
    assert "model:     eco\n" in out
    slow = out.split("slowest points (recommended speed):\n")[1].splitlines()[:5]
    assert len(slow) == 5
    assert "stop" in slow[0] and "5.0 km/h" in slow[0]
    assert any(" curve " in line for line in slow)
    # the crawl that the default coasting model recommends at the top of the 6 % descent
    default = run("profile", EXAMPLE, "--model", "default").stdout
    assert "7.6 km/h  coast (limit 100, curve radius 400 m; allowed 92.6 km/h)" in default
    assert not any(line.lstrip().startswith("0.0 m") for line in slow)  # the start is no slow point

    rows = example_rows(tmp_path)
    assert len(rows) == 1182
    assert list(rows[0]) == ["x", "y", "z", "distance", "grade", "radius", "superelevation",
                             "comfort_speed", "max_speed", "allowed_speed", "coasting_speed",
                             "recommended_speed"]
    for row in rows:
        allowed = float(row["allowed_speed"])
        assert allowed == min(float(row["comfort_speed"]), float(row["max_speed"]))
        assert float(row["recommended_speed"]) <= allowed
    assert float(rows[-1]["distance"]) == pytest.approx(4704.96, abs=0.01)
    assert max(abs(float(r["grade"])) for r in rows) == pytest.approx(0.06, abs=0.001)

    powered = run("profile", EXAMPLE, "--coast-power", "1000")
    assert "model:     parameterised\n" in powered.stdout


def test_profile_errors(tmp_path):
    missing = run("profile", str(tmp_path / "missing.txt"))
    assert missing.returncode == 1
    assert missing.stderr.startswith("korvale: error: cannot read route file")
    bad_number = run("profile", EXAMPLE, "--vehicle-mass", "heavy")
    assert bad_number.returncode != 0
    assert "--vehicle-mass" in bad_number.stderr
    unwritable = run("profile", EXAMPLE, "--csv", str(tmp_path / "no" / "dir" / "x.csv"))
    assert unwritable.returncode == 1
    assert "cannot write" in unwritable.stderr


def test_at_distance_position_and_advice(tmp_path):
    rows = example_rows(tmp_path)
    row = rows[300]
    d = float(row["distance"])
    at = run("at", EXAMPLE, "--distance", repr(d))
    assert at.returncode == 0, at.stderr
    assert f"distance {d:.3f} m: point {float(row['x']):.3f},{float(row['y']):.3f}," in at.stdout
    assert f"recommended {float(row['recommended_speed']):.3f} km/h" in at.stdout

    # The road starts on a straight heading along x: 2 m to its side is 2 m off the route.
    row = rows[10]
    position = f"{row['x']},{float(row['y']) + 2.0},{row['z']}"
    at = run("at", EXAMPLE, "--position", position)
    assert at.returncode == 0, at.stderr
    assert f"distance {float(row['distance']):.3f} m, offset 2.000 m" in at.stdout

    advice = run("at", EXAMPLE, "--distance", "0", "--speed", "80")
    assert "advice: slow-down at " in advice.stdout
    none = run("at", EXAMPLE, "--distance", "0", "--speed", "3")
    assert "advice: no slow-down below 3 km/h" in none.stdout

    assert run("at", EXAMPLE, "--position", "1,2").returncode == 1
    assert "--position" in run("at", EXAMPLE, "--position", "1,2").stderr
    assert run("at", EXAMPLE).returncode == 1


def write_trace(tmp_path, rows, every=5, dt=0.5, side=0.8):
    """A drive past every `every`-th route point, `side` metres to the left of the road."""
    path = tmp_path / "trace.csv"
    picked = rows[:-1:every]
    with open(path, "w") as f:
        f.write("t,x,y,z\n")
        for i, row in enumerate(picked):
            following = rows[rows.index(row) + 1]
            hx = float(following["x"]) - float(row["x"])
            hy = float(following["y"]) - float(row["y"])
            norm = (hx * hx + hy * hy) ** 0.5
            x = float(row["x"]) - hy / norm * side
            y = float(row["y"]) + hx / norm * side
            f.write(f"{i * dt},{x},{y},{row['z']}\n")
    return str(path), picked


def test_drive_replays_a_trace_and_feeds_a_dashboard(tmp_path):
    rows = example_rows(tmp_path)
    trace, picked = write_trace(tmp_path, rows[:400])
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(5)
    port = receiver.getsockname()[1]
    done = run("drive", EXAMPLE, trace, "--dashboard", f"127.0.0.1:{port}")
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0] == ("t,distance,speed,max_speed,recommended_speed,coasting_speed,"
                        "liftoff_distance,target_speed,offset,action,deceleration")
    samples = list(csv.DictReader(lines))
    assert len(samples) == len(picked)
    for sample, row in zip(samples, picked):
        assert float(sample["distance"]) == pytest.approx(float(row["distance"]), abs=0.1)
        assert float(sample["offset"]) == pytest.approx(0.8, abs=0.01)
    assert float(samples[10]["speed"]) == pytest.approx(
        (float(samples[10]["distance"]) - float(samples[8]["distance"])) / 1.0 * 3.6)

    records, plots = [], []
    for _ in range(len(picked) + (len(picked) + 9) // 10):
        data = receiver.recv(65536)
        (records if len(data) == 76 else plots).append(data)
    receiver.close()
    assert len(records) == len(picked)
    assert len(plots) == (len(picked) + 9) // 10
    first = records[0]
    assert struct.unpack_from("<i", first, 36)[0] == 0
    assert struct.unpack_from("<i", first, 72)[0] == 1182
    assert struct.unpack_from("<i", records[5], 36)[0] == 5
    assert struct.unpack_from("<f", records[5], 0)[0] == pytest.approx(
        float(samples[5]["distance"]), abs=0.01)
    assert len(plots[0]) == 1600
    distances = struct.unpack_from("<100d", plots[0], 0)
    assert distances[1] - distances[0] == pytest.approx(10.0)


def test_drive_errors(tmp_path):
    rows = example_rows(tmp_path)
    trace, _ = write_trace(tmp_path, rows[:50])
    bad_host = run("drive", EXAMPLE, trace, "--dashboard", "no-such-host.invalid:9000")
    assert bad_host.returncode == 1
    assert "cannot reach" in bad_host.stderr
    bad_port = run("drive", EXAMPLE, trace, "--dashboard", "127.0.0.1:70000")
    assert bad_port.returncode == 1
    broken = tmp_path / "broken.csv"
    for bad in ("oops", "nan", "0x10", "inf", "1e999"):
        broken.write_text(f"0,1,2,3\n1,{bad},2,3\n")
        done = run("drive", EXAMPLE, str(broken))
        assert done.returncode == 1
        assert "line 2: expected t,x,y,z" in done.stderr, bad


def test_dashboard_prints_each_datagram():
    process = subprocess.Popen([TOOL, "dashboard", "--port", "0", "--count", "3",
                                "--plot-counts", "2,1", "--timeout", "10"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        first = process.stdout.readline()
        assert first.startswith("listening on port ")
        port = int(first.split()[-1])
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        record = bytearray(76)
        struct.pack_into("<fff", record, 0, 1.5, 2.5, 4.5)
        struct.pack_into("<f", record, 16, 3.5)
        struct.pack_into("<i", record, 36, 42)
        record[40] = 1
        struct.pack_into("<i", record, 72, 7)
        sender.sendto(bytes(record), ("127.0.0.1", port))
        sender.sendto(struct.pack("<3d", 1.0, 2.0, 3.0), ("127.0.0.1", port))
        sender.sendto(b"garbage", ("127.0.0.1", port))
        out, err = process.communicate(timeout=15)
    finally:
        process.kill()
    assert process.returncode == 0, err
    lines = out.splitlines()
    assert lines[0] == ("record i1=42 r1=1.500 r2=2.500 r3=3.500 r4=4.500 r5=0.000 r7=0.000 "
                        "r8=0.000 flag=1 i2=7")
    assert lines[1] == "plot 2+1 a=[1.000 .. 2.000] b=[3.000 .. 3.000]"
    assert lines[2] == "datagram of 7 bytes: neither a record nor a plot of 2+1 values"
    assert lines[3] == "received 3 datagrams"
    assert run("dashboard", "--port", "70000").returncode == 1


def straight_route(tmp_path, length=2000, slow_from=1900):
    """A level straight along x, a row every 10 m, limit 80 km/h and 30 from slow_from on."""
    path = tmp_path / "straight.txt"
    path.write_text("".join(f"{x} 0 0 10000 {80 if x < slow_from else 30} 0\n"
                            for x in range(0, length + 1, 10)))
    return str(path)


def drive_csv(done):
    assert done.returncode == 0, done.stderr
    return list(csv.DictReader(done.stdout.splitlines()))


def test_standard_output_carries_only_the_tools_output(tmp_path):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    port = receiver.getsockname()[1]
    trace, _ = write_trace(tmp_path, example_rows(tmp_path)[:100])
    for verbose in ([], ["--verbose"]):
        done = run("drive", EXAMPLE, trace, "--dashboard", f"127.0.0.1:{port}", *verbose)
        lines = done.stdout.splitlines()
        assert lines[0].startswith("t,distance,speed,")
        assert all(len(row) == 11 for row in csv.reader(lines))  # nothing but the table
        assert ("Closing connection for port" in done.stderr) == bool(verbose)
        assert ("=== KORVALE_DLL Library === (START)" in done.stderr) == bool(verbose)
    receiver.close()
    assert run("profile", EXAMPLE).stdout.startswith("\nroute:     ")


def test_drive_speed_is_the_tracked_distance_over_one_second(tmp_path):
    route = straight_route(tmp_path, slow_from=1000)
    rng = random.Random(7)
    speed = 72.5 / 3.6
    trace = tmp_path / "noisy.csv"
    trace.write_text("t,x,y,z\n" + "".join(
        f"{k / 10},{50 + speed * k / 10 + rng.gauss(0, 0.2)},{rng.gauss(0, 0.7)},0\n"
        for k in range(400)))
    smooth = drive_csv(run("drive", route, str(trace)))
    raw = drive_csv(run("drive", route, str(trace), "--smooth", "0"))
    assert smooth[0]["speed"] == ""  # no speed before a second sample
    settled = [float(r["speed"]) for r in smooth[10:]]
    assert sum(settled) / len(settled) == pytest.approx(72.5, abs=0.3)
    assert max(abs(v - 72.5) for v in settled) < 5
    assert max(abs(float(r["speed"]) - 72.5) for r in raw[10:]) > 20

    def largest_liftoff_step(rows):
        liftoffs = [float(r["liftoff_distance"]) for r in rows[10:] if r["liftoff_distance"]]
        return max(abs(b - a) for a, b in zip(liftoffs, liftoffs[1:]))
    assert largest_liftoff_step(smooth) < largest_liftoff_step(raw) / 4


def test_skipped_route_lines_are_reported_and_strict_fails(tmp_path):
    path = tmp_path / "gaps.txt"
    path.write_text("# a comment\n0 0 0 1e4 50 0\n\n10 0 0 1e4 50\n20,0,0,1e4,50,0\n"
                    "30 0 0 1e4 50 0\n")
    done = run("profile", str(path))
    assert done.returncode == 0, done.stderr
    assert done.stderr == (f"korvale: warning: route file '{path}': skipped 2 lines that do not "
                           "start with six numbers (lines 4, 5)\n")
    assert "rows:      2\n" in done.stdout
    strict = run("at", str(path), "--distance", "5", "--strict")
    assert strict.returncode == 1
    assert "lines 4, 5), which --strict does not allow" in strict.stderr
    none = tmp_path / "none.txt"
    none.write_text("x y z\n1,2,3,4,5,6\n")
    assert "has no line of six numbers: skipped 2 lines" in run("profile", str(none)).stderr


def test_option_checks(tmp_path):
    route = straight_route(tmp_path)
    for args in (["--distance", "5", "--speed", "-50"], ["--distance", "5", "--horizon", "-5"],
                 ["--distance", "nan"], ["--position", "5,0,0", "--max-offset", "-1"]):
        done = run("at", route, *args)
        assert done.returncode == 1 and done.stdout == "", args
        assert done.stderr.startswith("korvale: error: "), args
    before = run("at", route, "--distance", "-500")
    assert "warning: distance -500 m lies outside the route (0 to 2000.0 m)" in before.stderr
    assert "distance 0.000 m:" in before.stdout and "recommended 80.000" in before.stdout
    assert "the values at 2000.0 m follow" in run("at", route, "--distance", "1e9").stderr
    far = run("at", route, "--position", "500,1400,0")
    assert "lies 1400.0 m from the route (more than --max-offset 10 m)" in far.stderr
    assert run("at", route, "--position", "500,1400,0", "--max-offset", "1500").stderr == ""
    trace = tmp_path / "aside.csv"
    trace.write_text("0,0,0,0\n1,10,30,0\n2,20,0,0\n")
    done = run("drive", route, str(trace))
    assert "1 of 3 samples lie more than 10 m from the route" in done.stderr
    assert run("drive", route, str(trace), "--horizon", "-5").returncode == 1
    assert run("drive", route, str(trace), "--smooth", "-1").returncode == 1


def test_refused_option_values_read_alike(tmp_path):
    """Each command refuses a bad value as its command line is read, in one form."""
    route = straight_route(tmp_path)
    trace = tmp_path / "trace.csv"
    trace.write_text("0,0,0,0\n1,10,0,0\n")
    not_negative = "is not 0 or more"
    for args, message in [
            (["at", route, "--distance", "5", "--speed", "-1"], f"--speed: '-1' {not_negative}"),
            (["drive", route, str(trace), "--horizon", "-1"], f"--horizon: '-1' {not_negative}"),
            (["at", route, "--distance", "nan"], "--distance: 'nan' is not a number"),
            (["at", route, "--position", "1,2"], "--position: '1,2' is not 3 comma-separated numbers"),
            (["drive", route, str(trace), "--realtime", "--speedup", "inf"],
             "--speedup: 'inf' is not a finite number above 0"),
            (["drive", route, str(trace), "--dashboard", "host:0"],
             "--dashboard: 'host:0' is not HOST:PORT with a port from 1 to 65535"),
            (["simulate", route, "--dt", "2"], "--dt: '2' is not 0.001 to 1 s"),
            (["dashboard", "--port", "7e4"], "--port: '7e4' is not a whole number from 0 to 65535"),
            (["dashboard", "--port", "0", "--count", "x"], "--count: 'x' is not a whole number"),
            (["profile", route, "--slowest", "1.5"], "--slowest: '1.5' is not a whole number"),
            (["profile", route, "--vehicle-mass", "x"], "--vehicle-mass: 'x' is not a number"),
            (["profile", route, "--vehicle", "bike"],
             "--vehicle: 'bike' is not car, van, truck or bus"),
            (["profile"], "route is required")]:
        done = run(*args)
        expected = (1, "", f"korvale: error: {message}\n")
        assert (done.returncode, done.stdout, done.stderr) == expected, args


def strace_works():
    try:
        return subprocess.run(["strace", "-o", os.devnull, "true"], check=False).returncode == 0
    except OSError:
        return False


@pytest.mark.skipif(not strace_works(), reason="needs strace")
def test_profile_opens_the_route_file_only_in_the_loader(tmp_path):
    log = tmp_path / "opens.log"
    # (LeakSanitizer cannot run under a tracer: a sanitized build's tool runs without it here)
    env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
    done = subprocess.run(["strace", "-f", "-e", "trace=open,openat", "-o", str(log), TOOL,
                           "profile", EXAMPLE, "--csv", str(tmp_path / "rows.csv")],
                          capture_output=True, text=True, timeout=60, check=False, env=env)
    assert done.returncode == 0, done.stderr
    # (the loader's two passes: counting the lines, then reading the rows)
    assert log.read_text().count(f'"{EXAMPLE}"') == 2


def test_trace_columns_are_read_by_their_header_names(tmp_path):
    route = straight_route(tmp_path)
    plain = tmp_path / "plain.csv"
    named = tmp_path / "named.csv"
    samples = [(k * 0.5, 100 + 10 * k, 0.5, 0) for k in range(300)]
    plain.write_text("".join(f"{t},{x},{y},{z}\n" for t, x, y, z in samples))
    named.write_text("\ufeff X ,y,z,speed,T\r\n" + "".join(f"{x},{y},{z},99,{t}\r\n"
                                                    for t, x, y, z in samples), encoding="utf-8")
    assert run("drive", route, str(named)).stdout == run("drive", route, str(plain)).stdout
    named.write_text("x,y,t\n1,2,3\n")
    done = run("drive", route, str(named))
    assert done.returncode == 1
    assert "line 1: the header names no column 'z'" in done.stderr


def test_unreadable_files_get_the_tools_message_first(tmp_path):
    for args, message in (
            (["profile", str(tmp_path / "missing.txt")], "cannot read route file"),
            (["at", str(tmp_path), "--distance", "1"], "cannot read route file"),
            (["drive", EXAMPLE, str(tmp_path / "missing.csv")], "cannot read trace")):
        done = run(*args, "--verbose")
        assert done.returncode == 1
        assert done.stderr.startswith("korvale: error: " + message), done.stderr
        assert done.stdout == ""
