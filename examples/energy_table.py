#!/usr/bin/env python3
"""The tables of docs/energy.md: korvale simulate on the example road, a Town01 route through
junctions, the route of the Santa Monica ride and the generated 20 km rural road, for a car
(battery-electric and petrol) and a truck (diesel), the advice follower and the cruise
controller on the eco model and on the predictive model; then SUMO's fuel of the petrol car's
limit and advice drives beside korvale's. Checks on the way that the optimum uses no more
energy than any driver at least as fast (within 0.5 %) and that no drive exceeds the maximum
speed.

    /usr/bin/python3 examples/energy_table.py build/gcc/tools/korvale [DATA_DIR] [--plot PNG]

DATA_DIR holds carla_Town01.xodr and santa_monica_ride.gpx (default tests/data). --plot PNG
draws the predictive model's recommended speed against the eco model's on the example road for
the car (ev) and the truck (ice) instead of the tables.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests"))

# Town01: round the town through seven junctions and again along its east side, 2.4 km.
TOWN01_ROADS = "7,61,19,95,12,129,24,196,5,20,15,13,3,82,2,37,1,50,0,11,8,14,7,67,6,206,5,20,15"
SETUPS = [("car", "ev"), ("car", "ice"), ("truck", "ice")]


def routes(tool, data, work):
    def make(name, *args):
        path = os.path.join(work, name + ".txt")
        subprocess.run([tool, "route", *args, "-o", path], check=True, capture_output=True)
        return path

    rural = os.path.join(work, "rural.txt")
    with open(rural, "w") as f:
        subprocess.run([sys.executable, os.path.join(ROOT, "examples", "make_rural_road.py")],
                       stdout=f, check=True)
    return [
        ("example road (4.7 km)", os.path.join(ROOT, "examples", "route.txt")),
        ("Town01 (2.4 km)", make("town01", "opendrive", os.path.join(data, "carla_Town01.xodr"),
                                 "--roads", TOWN01_ROADS, "--limit", "30")),
        ("Santa Monica ride (7.3 km)", make("ride", "gps",
                                            os.path.join(data, "santa_monica_ride.gpx"),
                                            "--limit", "50")),
        ("rural road (20 km)", rural),
    ]


def simulate(tool, route, vehicle, powertrain, *options):
    done = subprocess.run([tool, "simulate", route, "--vehicle", vehicle, "--powertrain",
                           powertrain, "--json", *options], capture_output=True, text=True,
                          check=True)
    return json.loads(done.stdout)


def profile_columns(tool, route, vehicle, powertrain, model, work):
    path = os.path.join(work, f"{vehicle}_{powertrain}_{model}.csv")
    subprocess.run([tool, "profile", route, "--vehicle", vehicle, "--powertrain", powertrain,
                    "--model", model, "--csv", path], capture_output=True, check=True)
    with open(path) as f:
        names = f.readline().strip().split(",")
        rows = [[float(x) for x in line.split(",")] for line in f if line.strip()]
    return {name: [row[i] for row in rows] for i, name in enumerate(names)}


def plot(tool, png):
    """The recommended speed of both models and the elevation on the example road."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    route = os.path.join(ROOT, "examples", "route.txt")
    setups = [("car", "ev", "car ev"), ("truck", "ice", "truck ice")]
    fig, axes = plt.subplots(len(setups), 1, figsize=(11, 7), sharex=True)
    with tempfile.TemporaryDirectory(prefix="korvale_energy_") as work:
        for ax, (vehicle, powertrain, label) in zip(axes, setups):
            eco = profile_columns(tool, route, vehicle, powertrain, "eco", work)
            plan = profile_columns(tool, route, vehicle, powertrain, "predictive", work)
            km = [d / 1000 for d in eco["distance"]]
            ax.plot(km, eco["allowed_speed"], color="0.6", lw=1, label="maximum speed")
            ax.plot(km, eco["recommended_speed"], color="tab:green", lw=1.2,
                    label="eco: recommended")
            ax.plot(km, plan["recommended_speed"], color="tab:blue", lw=1.4,
                    label="predictive (budget 2 %): recommended")
            ax.plot(km, plan["coasting_speed"], color="tab:blue", lw=0.8, ls=":",
                    label="predictive: coasting")
            ax.set_ylabel("km/h")
            ax.set_ylim(0, 110)
            ax.set_title(label, loc="left", fontsize=10)
            height = ax.twinx()
            height.fill_between(km, eco["z"], min(eco["z"]) - 5, color="tab:brown", alpha=0.12)
            height.set_ylabel("elevation (m)")
        axes[0].legend(loc="lower center", fontsize=8, ncol=2)
        axes[-1].set_xlabel("distance (km)")
        fig.tight_layout()
        fig.savefig(png, dpi=90)


def check(result, where, optimal=None):
    """optimal: that of another run on the same route and vehicle, where this one has none."""
    drivers = result["drivers"]
    optimal = optimal or next(d for d in drivers if d["driver"] == "optimal")
    for d in drivers:
        if d["time_above_max_speed_s"] > 0 or d["error"]:
            print(f"  ! {where}: {d['driver']} above the maximum speed or failed", file=sys.stderr)
        if (d["trip_time_s"] <= optimal["trip_time_s"]
                and optimal["energy_Wh_per_km"] > d["energy_Wh_per_km"] * 1.005):
            print(f"  ! {where}: optimal uses more than {d['driver']}", file=sys.stderr)


def rows(name, vehicle, powertrain, result, suffix=""):
    for d in result["drivers"]:
        energy = (f"{d['energy_Wh_per_km']:.0f} Wh/km" if powertrain == "ev" else
                  f"{d['fuel_g_per_km']:.1f} g/km")
        overrides = (str(d["overrides"]) if d["driver"] in ("advice", "recommended") else "")
        print(f"| {name} | {vehicle} {powertrain} | {d['driver']}{suffix} | "
              f"{d['trip_time_s']:.0f} | {d['extra_time_percent']:+.1f} % | {energy} | "
              f"{d['saving_percent']:.1f} % | {d['brake_work_Wh_per_km']:.1f} | {overrides} |")


def main(argv):
    if "--plot" in argv:
        at = argv.index("--plot")
        plot(argv[1], argv[at + 1])
        return 0
    tool = argv[1]
    data = argv[2] if len(argv) > 2 else os.path.join(ROOT, "tests", "data")
    with tempfile.TemporaryDirectory(prefix="korvale_energy_") as work:
        print("| route | vehicle | driver | time (s) | extra time | energy | saving | "
              "friction brake (Wh/km) | overrides |")
        print("|---|---|---|---|---|---|---|---|---|")
        all_routes = routes(tool, data, work)
        for name, route in all_routes:
            for vehicle, powertrain in SETUPS:
                result = simulate(tool, route, vehicle, powertrain)
                check(result, f"{name}, {vehicle} {powertrain}")
                rows(name, vehicle, powertrain, result)
                gap = result.get("advice_gap_points")
                if gap is not None:
                    print(f"| {name} | {vehicle} {powertrain} | advice − optimal@advice | | | | "
                          f"{gap:.1f} points | | |")
                predictive = simulate(tool, route, vehicle, powertrain, "--model", "predictive",
                                      "--drivers", "advice,recommended")
                check(predictive, f"{name}, {vehicle} {powertrain}, predictive",
                      next(d for d in result["drivers"] if d["driver"] == "optimal"))
                predictive["drivers"] = [d for d in predictive["drivers"]
                                         if d["driver"] != "limit"]
                rows(name, vehicle, powertrain, predictive, " (predictive)")
        if shutil.which("emissionsDrivingCycle"):
            import sumo_check

            print()
            print("| route | korvale: limit → advice (g) | saving | SUMO PC_G_EU4: limit → "
                  "advice (g) | saving |")
            print("|---|---|---|---|---|")
            for name, route in all_routes:
                fuel = sumo_check.compare(tool, route, work)
                (kl, sl), (ka, sa) = fuel["limit"], fuel["advice"]
                print(f"| {name} | {kl:.0f} → {ka:.0f} | {100 * (1 - ka / kl):.1f} % | "
                      f"{sl:.0f} → {sa:.0f} | {100 * (1 - sa / sl):.1f} % |")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
