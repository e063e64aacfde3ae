#!/usr/bin/env python3
"""SUMO's emission model as an independent check of korvale simulate: the limit and advice
drives of a petrol car (korvale simulate --powertrain ice --sumo DIR) through SUMO's
emissionsDrivingCycle with PHEMlight/PC_G_EU4, on the example road and on the generated rural
road; SUMO too must find the advice follower's fuel lower.

    tests/sumo_check.py KORVALE_TOOL [--print]

(SUMO_HOME defaults to Debian's /usr/share/sumo.)
"""

import json
import os
import subprocess
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
EMISSION_CLASS = "PHEMlight/PC_G_EU4"


def sumo_fuel(cycle, work):
    """Fuel of the drive in the file, mg, as emissionsDrivingCycle sums it."""
    summary = os.path.join(work, os.path.basename(cycle) + ".sum.csv")
    environment = dict(os.environ)
    environment.setdefault("SUMO_HOME", "/usr/share/sumo")
    done = subprocess.run(["emissionsDrivingCycle", "-t", cycle, "--timeline-file.separator", ";",
                           "--have-slope", "-e", EMISSION_CLASS, "--sum-output", summary,
                           "-o", os.path.join(work, "cycle.out")],
                          capture_output=True, text=True, env=environment, check=False)
    assert done.returncode == 0, done.stdout + done.stderr
    for line in done.stdout.splitlines():
        if line.startswith("fuel:"):
            return float(line.split(":")[1])
    raise AssertionError("no fuel total from emissionsDrivingCycle:\n" + done.stdout)


def compare(tool, route, work):
    """korvale's and SUMO's fuel of the limit and advice drives: {driver: (korvale g, SUMO g)}."""
    sumo_dir = os.path.join(work, "sumo")
    os.makedirs(sumo_dir, exist_ok=True)
    done = subprocess.run([tool, "simulate", route, "--powertrain", "ice", "--drivers", "advice",
                           "--json", "--sumo", sumo_dir], capture_output=True, text=True,
                          check=False)
    assert done.returncode == 0, done.stderr
    figures = {d["driver"]: d for d in json.loads(done.stdout)["drivers"]}
    out = {}
    for driver in ("limit", "advice"):
        km = figures[driver]["distance_m"] / 1000.0
        out[driver] = (figures[driver]["fuel_g_per_km"] * km,
                       sumo_fuel(os.path.join(sumo_dir, driver + "_cycle.csv"), work) / 1000.0)
    return out


def rural_road(work):
    path = os.path.join(work, "rural_road.txt")
    with open(path, "w") as f:
        subprocess.run([sys.executable, os.path.join(ROOT, "examples", "make_rural_road.py")],
                       stdout=f, check=True)
    return path


def main(argv):
    tool, show = argv[1], "--print" in argv
    with tempfile.TemporaryDirectory(prefix="korvale_sumo_") as work:
        for name, route in (("example road", os.path.join(ROOT, "examples", "route.txt")),
                            ("rural road", rural_road(work))):
            fuel = compare(tool, route, work)
            (k_limit, s_limit), (k_advice, s_advice) = fuel["limit"], fuel["advice"]
            if show:
                print(f"{name}: korvale {k_limit:.1f} -> {k_advice:.1f} g "
                      f"({100 * (1 - k_advice / k_limit):.1f} % less), SUMO {s_limit:.1f} -> "
                      f"{s_advice:.1f} g ({100 * (1 - s_advice / s_limit):.1f} % less)")
            assert k_advice < k_limit, (name, fuel)
            assert s_advice < s_limit, (name, "SUMO finds the advice follower's fuel higher", fuel)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
