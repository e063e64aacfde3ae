"""korvale simulate, run as a child process: the table, the JSON figures, the trace and SUMO
files, and bad input refused without any output file."""

import json
import os
import subprocess

TOOL = os.environ.get("KORVALE_TOOL", "korvale")
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.normpath(os.path.join(HERE, "..", "..", "examples", "route.txt"))


def run(*args):
    return subprocess.run([TOOL, "simulate", EXAMPLE, *args], capture_output=True, text=True,
                          timeout=120, check=False)


def test_simulate_compares_the_drivers_and_writes_their_drives(tmp_path):
    done = run()
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[1].split()[:3] == ["driver", "time_s", "extra_time_%"]
    assert [line.split()[0] for line in lines[2:7]] == [
        "limit", "advice", "recommended", "optimal", "optimal@advice"]
    assert lines[7].startswith("advice to optimal at its trip time: ")

    trace = sumo = tmp_path / "out"  # (one directory may take both)
    trace.mkdir()
    done = run("--powertrain", "ice", "--drivers", "advice", "--json", "--trace", str(trace),
               "--sumo", str(sumo))
    assert done.returncode == 0, done.stderr
    figures = {d["driver"]: d for d in json.loads(done.stdout)["drivers"]}
    assert set(figures) == {"limit", "advice"}
    for d in figures.values():
        assert d["time_above_max_speed_s"] == 0 and d["error"] is None
        assert d["distance_m"] > 4704
    assert figures["advice"]["fuel_g_per_km"] < figures["limit"]["fuel_g_per_km"]
    assert figures["advice"]["saving_percent"] > 0 and figures["advice"]["overrides"] >= 0

    assert sorted(os.listdir(trace)) == ["advice.csv", "advice_cycle.csv", "limit.csv",
                                         "limit_cycle.csv"]
    text = (trace / "advice.csv").read_text().splitlines()
    header = [line for line in text if not line.startswith("#")][0]
    assert header == "t,s,v,a,grade,drive_force,brake_force,wheel_power,fuel_power,energy"
    assert any("powertrain ice, dt 0.1 s" in line for line in text if line.startswith("#"))
    cycle = (sumo / "limit_cycle.csv").read_text().splitlines()
    times = [float(line.split(";")[0]) for line in cycle]
    assert all(len(line.split(";")) == 4 for line in cycle)
    assert times[:3] == [0.0, 1.0, 2.0]

    # A step that does not divide the second still gives whole seconds, and the speeds cover
    # the route's distance.
    odd = tmp_path / "odd"
    odd.mkdir()
    done = run("--drivers", "limit", "--dt", "0.3", "--sumo", str(odd), "--json")
    assert done.returncode == 0, done.stderr
    distance = json.loads(done.stdout)["drivers"][0]["distance_m"]
    cycle = [[float(x) for x in line.split(";")] for line in
             (odd / "limit_cycle.csv").read_text().splitlines()]
    assert [c[0] for c in cycle] == list(range(len(cycle)))
    covered = sum((a[1] + b[1]) / 2 for a, b in zip(cycle, cycle[1:]))
    assert abs(covered - distance) < 0.005 * distance


def test_simulate_refuses_bad_input_and_writes_nothing(tmp_path):
    out = tmp_path / "out"
    out.mkdir()
    for args, message in [
        (["--drivers", "limit,racer"], "unknown driver 'racer'"),
        (["--powertrain", "steam"], "--powertrain: 'steam' is not ev or ice"),
        (["--dt", "0"], "--dt"),
        (["--dt", "1.5"], "--dt"),
        (["--max-power", "0"], "max_power 0 is not above 0"),
        (["--regen-efficiency", "1.2"], "regen_efficiency"),
        (["--aux-power", "-1"], "aux_power"),
        (["--stand-time", "-1"], "--stand-time"),
    ]:
        done = run(*args, "--trace", str(out), "--sumo", str(out))
        assert done.returncode == 1, args
        assert done.stderr.startswith("korvale:") and message in done.stderr, done.stderr
    missing = subprocess.run([TOOL, "simulate", str(tmp_path / "none.txt"), "--trace", str(out)],
                             capture_output=True, text=True, timeout=60, check=False)
    assert missing.returncode == 1 and missing.stderr.startswith("korvale:")
    assert os.listdir(out) == []


def table_routes(tmp_path):
    """The first 3 km of the generated rural road (a hill up and down, curves), and where the
    route layer is built a Town01 route."""
    rural = tmp_path / "rural.txt"
    with open(rural, "w") as f:
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "..", "..", "examples",
                                                         "make_rural_road.py"), "--length", "3000"],
                       stdout=f, check=True)
    routes = [str(rural)]
    town = tmp_path / "town01.txt"
    made = subprocess.run([TOOL, "route", "opendrive",
                           os.path.join(HERE, "..", "data", "carla_Town01.xodr"), "--roads",
                           "7,61,19,95,12,129,24,196,5,20,15,13,3,82,2,37,1,50,0,11,8,14,7",
                           "--limit", "30", "-o", str(town)], capture_output=True, text=True,
                          check=False)
    if "not available" not in made.stderr:
        assert made.returncode == 0, made.stderr
        routes.append(str(town))
    return routes


def test_every_driver_keeps_the_limits_and_the_optimum_is_the_least_as_fast(tmp_path):
    for route in table_routes(tmp_path):
        for vehicle, powertrain in (("car", "ev"), ("truck", "ice")):
            done = subprocess.run([TOOL, "simulate", route, "--vehicle", vehicle,
                                   "--powertrain", powertrain, "--json"],
                                  capture_output=True, text=True, timeout=900, check=False)
            assert done.returncode == 0, done.stderr
            drivers = json.loads(done.stdout)["drivers"]
            optimal = next(d for d in drivers if d["driver"] == "optimal")
            where = (route, vehicle)
            for d in drivers:
                assert d["error"] is None and d["time_above_max_speed_s"] == 0, (where, d)
                assert d["max_deceleration"] <= 3.0 + 1e-6, (where, d)
                if d["trip_time_s"] <= optimal["trip_time_s"]:
                    assert optimal["energy_Wh_per_km"] <= d["energy_Wh_per_km"] * 1.005, (where, d)
            # its plan reaches the baseline's trip time
            assert abs(optimal["planned_time_s"] - optimal["asked_time_s"]) <= \
                0.005 * optimal["asked_time_s"], where
