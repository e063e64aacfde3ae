"""Vehicle presets, speed models and the braking advice of the korvale tool (child processes)."""

import csv
import json
import os
import socket
import struct
import subprocess

import pytest

TOOL = os.environ.get("KORVALE_TOOL", "korvale")
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
EXAMPLE = os.path.join(ROOT, "examples", "route.txt")
TOWN01 = os.path.join(ROOT, "tests", "data", "carla_Town01.xodr")
RIDE = os.path.join(ROOT, "tests", "data", "santa_monica_ride.gpx")


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=120, check=False)


def test_presets_models_warnings_and_refusals():
    eco = run("profile", EXAMPLE)
    assert "model:     eco\nvehicle:   car (1644 kg, drag coefficient 0.3," in eco.stdout
    assert "brake deceleration 1 m/s^2, least deceleration 0.15 m/s^2)" in eco.stdout
    assert "warning" not in eco.stderr

    truck = run("profile", EXAMPLE, "--vehicle", "truck", "--vehicle-mass", "25000")
    assert "vehicle:   truck, changed (25000 kg, drag coefficient 0.6, frontal area 10 m^2" in (
        truck.stdout)
    # --coast-power and --model-switch select a coasting model as the library's parameters do
    powered = run("profile", EXAMPLE, "--vehicle", "van", "--coast-power", "800")
    assert "model:     parameterised\nvehicle:   van, changed (2800 kg" in powered.stdout
    assert "coast power 800 W)" in powered.stdout and powered.stderr == ""
    assert "model:     default\n" in run("profile", EXAMPLE, "--model-switch", "0").stdout

    ignored = run("profile", EXAMPLE, "--model", "default", "--vehicle", "bus", "--gravity", "9.8")
    assert ignored.returncode == 0
    assert ignored.stderr == ("korvale: warning: the default model ignores --vehicle, --gravity "
                              "(it coasts the built-in car whatever the vehicle)\n")
    assert "vehicle:   the built-in car (1644 kg" in ignored.stdout
    assert "ignores --least-deceleration\n" in run(
        "at", EXAMPLE, "--distance", "5", "--model", "parameterised",
        "--least-deceleration", "0.2").stderr
    assert "the eco model ignores --coast-power\n" in run(
        "profile", EXAMPLE, "--model", "eco", "--coast-power", "800").stderr

    refused = run("profile", EXAMPLE, "--vehicle", "truck", "--brake-deceleration", "0")
    assert refused.returncode == 1
    assert "korvale: error: vehicle refused: brake_deceleration 0 is not above 0" in refused.stderr
    assert run("profile", EXAMPLE, "--vehicle", "plane").returncode != 0
    assert run("profile", EXAMPLE, "--model", "fast").returncode != 0


def crawls_far_from_a_slow_row(route, *options, tmp_path):
    """Rows where the eco model recommends below 20 km/h more than 150 m before any row whose
    allowed speed is below 20 km/h."""
    table = tmp_path / "rows.csv"
    done = run("profile", route, "--csv", str(table), *options)
    assert done.returncode == 0, done.stderr
    with open(table, newline="") as f:
        rows = list(csv.DictReader(f))
    slow = [float(r["distance"]) for r in rows if float(r["allowed_speed"]) < 20]
    return [(r["distance"], r["recommended_speed"]) for r in rows
            if float(r["recommended_speed"]) < 20
            and not any(0 <= s - float(r["distance"]) <= 150 for s in slow)]


@pytest.mark.parametrize("vehicle", ["car", "van", "truck", "bus"])
def test_eco_recommends_no_crawl_away_from_slow_rows_on_the_example_road(vehicle, tmp_path):
    assert crawls_far_from_a_slow_row(EXAMPLE, "--vehicle", vehicle, tmp_path=tmp_path) == []
    # the default model crawls at the top of the long descent
    assert len(crawls_far_from_a_slow_row(EXAMPLE, "--model", "default", tmp_path=tmp_path)) > 50


def test_eco_recommends_no_crawl_away_from_slow_rows_on_a_real_map_and_a_recording(tmp_path):
    town = tmp_path / "town01.txt"
    # through two junctions, with the junctions' tight turns (limit for their roads: 30 km/h)
    done = run("route", "opendrive", TOWN01, "--roads", "7,14,8,11,0,58,16,122,17", "--limit",
               "30", "-o", str(town))
    if "not available" in done.stderr:
        pytest.skip("built without the route layer")
    assert done.returncode == 0, done.stderr
    ride = tmp_path / "ride.txt"
    done = run("route", "gps", RIDE, "--limit", "50", "-o", str(ride))
    assert done.returncode == 0, done.stderr
    for route in (town, ride):
        for vehicle in ("car", "bus"):
            assert crawls_far_from_a_slow_row(str(route), "--vehicle", vehicle,
                                              tmp_path=tmp_path) == []


def test_at_and_drive_advise_braking_when_coasting_is_too_late(tmp_path):
    # 1 km flat at 50 km/h ending in a stop; a drive at 50 km/h from 300 m to 990 m.
    route = tmp_path / "stop.txt"
    route.write_text("".join(f"{x} 0 0 10000 {5 if x == 1000 else 50} 0\n"
                             for x in range(0, 1001, 10)))
    at = run("at", str(route), "--distance", "950", "--speed", "50")
    assert ("advice: slow-down at 1000.0 m to 5.0 km/h; brake now at 1.71 m/s^2 (coasting "
            "arrives too fast)\n") in at.stdout
    early = run("at", str(route), "--distance", "0", "--speed", "50", "--horizon", "2000")
    assert "advice: slow-down at 1000.0 m to 5.0 km/h; lift off at " in early.stdout

    trace = tmp_path / "trace.csv"
    trace.write_text("".join(f"{t * 0.5},{300 + t * 0.5 * 50 / 3.6},0,0\n" for t in range(100)))
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(5)
    done = run("drive", str(route), str(trace), "--dashboard",
               f"127.0.0.1:{receiver.getsockname()[1]}")
    assert done.returncode == 0, done.stderr
    assert done.stderr.startswith("korvale: model eco, vehicle car (1644 kg")
    lines = [line for line in done.stdout.splitlines() if line[:1].isdigit() or line[:2] == "t,"]
    samples = list(csv.DictReader(lines))
    actions = [int(s["action"]) for s in samples]
    assert 1 in actions and actions[-1] == 2
    braking = [float(s["deceleration"]) for s in samples if s["action"] == "2"]
    assert min(braking) >= 0 and braking == sorted(braking) and braking[-1] > 2
    flags = []
    while len(flags) < len(samples):
        data = receiver.recv(65536)
        if len(data) == 76:
            flags.append(data[40])
    receiver.close()
    assert [bool(f & 2) for f in flags] == [a == 2 for a in actions]


def test_predictive_model_options(tmp_path):
    table = tmp_path / "rows.csv"
    done = run("profile", EXAMPLE, "--model", "predictive", "--vehicle", "truck", "--powertrain",
               "ice", "--time-budget", "5", "--max-power", "300000", "--csv", str(table))
    assert done.returncode == 0, done.stderr
    assert "model:     predictive\nvehicle:   truck, changed (30000 kg" in done.stdout
    assert "; ice, max power 300000 W, time budget 5 %)" in done.stdout
    assert " plan  (limit " in done.stdout and " coast (" not in done.stdout
    with open(table, newline="") as f:
        rows = list(csv.DictReader(f))
    assert all(float(r["recommended_speed"]) <= float(r["allowed_speed"]) + 0.5 for r in rows)

    # the drive's options mean nothing to the other models; a drive that makes no sense is
    # refused by its field's name
    ignored = run("at", EXAMPLE, "--distance", "5", "--time-budget", "5", "--powertrain", "ice")
    assert "the eco model ignores --powertrain, --time-budget\n" in ignored.stderr
    for options, message in [(["--time-budget", "-1"], "time_budget -0.01 is below 0"),
                             (["--regen-efficiency", "0"], "regen_efficiency 0 is outside (0, 1]"),
                             (["--powertrain", "steam"], "--powertrain: 'steam' is not ev or ice"),
                             (["--idle-fuel", "-1"], "idle_fuel -1 is below 0"),
                             (["--max-power", "10"], "no plan: no drive")]:
        refused = run("profile", EXAMPLE, "--model", "predictive", *options)
        assert refused.returncode == 1 and message in refused.stderr, refused.stderr

    # simulate's advice and recommended drivers follow the predictive profile
    simulated = run("simulate", EXAMPLE, "--model", "predictive", "--powertrain", "ice",
                    "--drivers", "recommended", "--json")
    assert simulated.returncode == 0, simulated.stderr
    assert '"powertrain": "ice", "model": "predictive"' in simulated.stdout

    # a route given by its two ends alone: the cruise controller sets off and arrives
    two = tmp_path / "two.txt"
    two.write_text("0 0 0 10000.0 50.0 0.0\n1000 0 0 10000.0 50.0 0.0\n")
    simulated = run("simulate", str(two), "--model", "predictive", "--drivers", "recommended",
                    "--json")
    assert simulated.returncode == 0, simulated.stderr
    limit, cruise = json.loads(simulated.stdout)["drivers"]
    assert cruise["error"] is None and cruise["distance_m"] > 999
    assert cruise["trip_time_s"] <= 1.05 * limit["trip_time_s"], cruise
