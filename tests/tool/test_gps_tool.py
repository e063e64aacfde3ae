"""korvale route gps and korvale drive on GPS traces, run as child processes."""

import math
import os
import random
import subprocess

import pytest

TOOL = os.environ.get("KORVALE_TOOL", "korvale")
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
EXAMPLE = os.path.join(ROOT, "examples", "route.txt")
RIDE = os.path.join(ROOT, "tests", "data", "santa_monica_ride.gpx")
ORIGIN = (48.137, 11.575, 520.0)
METRES_PER_DEGREE = 111320.0


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=120, check=False)


pytestmark = pytest.mark.skipif("not available" in run("route", "roads", EXAMPLE).stderr,
                                reason="built without the route layer")


def road(s):
    """A point s metres along a road: 300 m east, a 90 degree left curve of 100 m radius, then
    north; 2 % uphill all along."""
    if s < 300:
        x, y = s, 0.0
    elif s < 300 + math.pi * 50:
        a = (s - 300) / 100
        x, y = 300 + 100 * math.sin(a), 100 - 100 * math.cos(a)
    else:
        x, y = 400.0, 100 + s - 300 - math.pi * 50
    return x, y, 0.02 * s


def write_gpx(path, seed, noise=1.5, height_noise=2.0, speed=12.0):
    """A drive along the road at 1 Hz with GPS noise, as GPX 1.1 (an equirectangular frame is
    enough here: the route and the trace go through the same projection)."""
    lines = ['<?xml version="1.0"?>', '<gpx version="1.1" creator="test"><trk><trkseg>']
    for lat, lon, ele, time in fixes(seed, noise, height_noise, speed):
        lines.append(f'<trkpt lat="{lat}" lon="{lon}"><ele>{ele}</ele><time>{time}</time></trkpt>')
    lines.append("</trkseg></trk></gpx>")
    path.write_text("\n".join(lines) + "\n")
    return str(path)


def fixes(seed, noise, height_noise, speed):
    """The fixes of a drive along the road as text: latitude, longitude, height and time."""
    rng = random.Random(seed)
    for t in range(int((600 + math.pi * 50) / speed)):
        x, y, z = road(t * speed)
        x, y = x + rng.gauss(0, noise), y + rng.gauss(0, noise)
        lat = ORIGIN[0] + y / METRES_PER_DEGREE
        lon = ORIGIN[1] + x / (METRES_PER_DEGREE * math.cos(math.radians(ORIGIN[0])))
        ele = ORIGIN[2] + z + rng.gauss(0, height_noise)
        yield f"{lat:.9f}", f"{lon:.9f}", f"{ele:.2f}", f"2024-05-01T10:{t // 60:02d}:{t % 60:02d}Z"


def drive_rows(output):
    lines = output.splitlines()
    header = lines.index("t,distance,speed,max_speed,recommended_speed,coasting_speed,"
                         "liftoff_distance,target_speed,offset,action,deceleration")
    return [[float(v) if v else math.nan for v in line.split(",")] for line in lines[header + 1:]]


def test_a_route_from_one_recording_tracks_a_drive_recorded_again(tmp_path):
    route = tmp_path / "route.txt"
    done = run("route", "gps", write_gpx(tmp_path / "a.gpx", 1), "--limit", "80", "-o", str(route))
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith(f"{route}: ")
    assert route.read_text().startswith("# origin 48.137")
    # The curve is found (about 100 m, comfort speed near 52 km/h), and radii that would slow
    # a car below 80 km/h (under about 400 m) lie within 75 m of it (300 to 457 m, entered
    # without a clothoid), 2 m a row.
    radii = [float(line.split()[3]) for line in route.read_text().splitlines() if line[0] != "#"]
    assert 70 < min(radii) < 140
    slow = [2 * i for i, r in enumerate(radii) if r < 400]
    assert 225 < slow[0] and slow[-1] < 532

    trace = write_gpx(tmp_path / "b.gpx", 2)
    done = run("drive", str(route), trace)
    assert done.returncode == 0, done.stderr
    rows = drive_rows(done.stdout)
    offsets = sorted(row[8] for row in rows)
    # Below the noise of a fix (1.5 m per axis, 2 m in height: 2.9 m in 3-D).
    assert offsets[len(offsets) // 2] < 2.9
    assert all(b[1] >= a[1] - 3 for a, b in zip(rows, rows[1:]))
    assert rows[-1][1] == pytest.approx(600 + math.pi * 50, abs=20)
    assert rows[1][0] == 1.0  # seconds from the first fix


def test_drive_takes_every_track_that_route_gps_takes(tmp_path):
    route, again = tmp_path / "route.txt", tmp_path / "again.txt"
    made = run("route", "gps", write_gpx(tmp_path / "a.gpx", 1), "--limit", "80", "-o", str(route))
    assert made.returncode == 0, made.stderr
    expected = run("drive", str(route), write_gpx(tmp_path / "b.gpx", 2))
    assert expected.returncode == 0, expected.stderr
    rows = ["time;Lng;lat;note;ele"] + [f"{time};{lon};{lat};x;{ele}"
                                        for lat, lon, ele, time in fixes(2, 1.5, 2.0, 12.0)]
    semicolons = tmp_path / "b.csv"
    semicolons.write_bytes(("\ufeff# a drive\r\n" + "\r\n".join(rows)).encode())
    tabs = tmp_path / "b.tsv"
    tabs.write_text("\n".join(rows).replace(";", "\t") + "\n")
    for trace in (semicolons, tabs):
        assert run("route", "gps", str(trace), "--limit", "80", "-o", str(again)).returncode == 0
        done = run("drive", str(route), str(trace))
        assert done.returncode == 0, done.stderr
        assert drive_rows(done.stdout) == drive_rows(expected.stdout)


def test_drops_repeated_points_and_outliers_with_a_line_on_standard_error(tmp_path):
    track = tmp_path / "track.csv"
    rows = ["lat,lon,maxspeed"]
    for i in range(60):
        lat = ORIGIN[0] + 10 * i / METRES_PER_DEGREE
        if i == 30:
            lat += 0.0004  # 44 m ahead and back
        rows.append(f"{lat:.9f},{ORIGIN[1]},{'50' if i < 40 else 'none'}")
        if i == 10:
            rows.append(rows[-1])
    track.write_text("\n".join(rows) + "\n")
    route = tmp_path / "route.txt"
    done = run("route", "gps", str(track), "--limit", "70", "--step", "5", "-o", str(route))
    assert done.returncode == 0, done.stderr
    assert done.stderr == f"korvale: dropped from '{track}': 1 repeated point, 1 outlier\n"
    limits = [line.split()[4] for line in route.read_text().splitlines() if line[0] != "#"]
    assert limits[0] == "50" and limits[-1] == "70"


def test_errors_exit_with_1_and_leave_no_route(tmp_path):
    route = tmp_path / "route.txt"
    one = tmp_path / "one.csv"
    one.write_text("lat,lon\n48.1,11.5\n")
    far = tmp_path / "far.csv"
    far.write_text("lat,lon\n48.1,11.5\n95,11.5\n")
    cases = {
        str(one): "has 1 distinct fix",
        str(far): "line 3: the latitude 95 is not a number from -90 to 90",
        EXAMPLE: "is neither GPX nor CSV with lat and lon columns",
        str(tmp_path / "missing.gpx"): "cannot read the track",
    }
    for track, message in cases.items():
        done = run("route", "gps", track, "--limit", "50", "-o", str(route))
        assert done.returncode == 1 and message in done.stderr, done.stderr
    done = run("route", "gps", RIDE, "-o", str(route))
    assert done.returncode == 1 and "no speed limit 0 m along the route" in done.stderr
    assert sorted(os.listdir(tmp_path)) == ["far.csv", "one.csv"]


def test_drive_reads_traces_by_their_header_and_needs_an_origin_for_gps(tmp_path):
    trace = tmp_path / "trace.csv"
    trace.write_text("z,x,t,y,note\n0,10,0,0,a\n0,20,1,0,b\n")
    done = run("drive", EXAMPLE, str(trace))
    assert done.returncode == 0, done.stderr
    assert len(drive_rows(done.stdout)) == 2
    trace.write_text("t,x,y\n0,1,2\n")
    done = run("drive", EXAMPLE, str(trace))
    assert done.returncode == 1 and "names no column 'z'" in done.stderr
    done = run("drive", EXAMPLE, RIDE)
    assert done.returncode == 1 and "has no '# origin LAT LON H' line" in done.stderr
