"""The pictures of docs/gps_routes.md (matplotlib).

    /usr/bin/python3 docs/make_gps_figures.py radius RADIUS_CSV docs/gps_radius.png
    /usr/bin/python3 docs/make_gps_figures.py ride RIDE.gpx ROUTE.txt docs/gps_ride.png

RADIUS_CSV is what `gps_accuracy --radius-csv` writes; ROUTE.txt is `korvale route gps` of the
ride. The ride's fixes are drawn in the route's frame through korvale.routes.LocalFrame (with
KORVALE_LIBRARY naming the built library).
"""

import re
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def radius_figure(csv_path, out):
    rows = [line.split(",") for line in open(csv_path).read().splitlines()[1:]]
    s = [float(r[0]) for r in rows]
    true_r = [float(r[1]) for r in rows]
    route_r = [float(r[2]) for r in rows]
    fig, ax = plt.subplots(figsize=(10, 4))
    ax.semilogy(s, true_r, color="black", lw=1.5, label="true radius")
    ax.semilogy(s, route_r, color="tab:red", lw=1, label="radius of the built route")
    ax.set_xlabel("distance along the road (m)")
    ax.set_ylabel("curve radius (m)")
    ax.set_ylim(20, 12000)
    ax.legend(loc="lower left")
    ax.set_title("Synthetic drive, seed 1, 10 Hz fixes with 1.5 m noise and a 2 m wandering bias")
    fig.tight_layout()
    fig.savefig(out, dpi=90)


def ride_figure(gpx_path, route_path, out):
    from korvale import routes

    lines = open(route_path).read().splitlines()
    lat0, lon0, h0 = (float(v) for v in lines[0].split()[2:5])
    frame = routes.LocalFrame(lat0, lon0, h0)
    rows = [[float(v) for v in line.split()] for line in lines if not line.startswith("#")]
    fixes = [frame.forward(float(a), float(b)) for a, b in
             re.findall(r'lat="([-\d.]+)" lon="([-\d.]+)"', open(gpx_path).read())]
    fig, (plan, radius) = plt.subplots(1, 2, figsize=(13, 5.5),
                                       gridspec_kw={"width_ratios": [1.2, 1]})
    plan.plot([f[0] for f in fixes], [f[1] for f in fixes], ".", color="tab:red", ms=2.5,
              label="fixes")
    plan.plot([r[0] for r in rows], [r[1] for r in rows], color="tab:blue", lw=1, label="route")
    plan.set_aspect("equal")
    plan.set_xlabel("x east (m)")
    plan.set_ylabel("y north (m)")
    plan.legend(loc="upper right")
    distance = [0.0]
    for a, b in zip(rows, rows[1:]):
        distance.append(distance[-1] + sum((p - q) ** 2 for p, q in zip(a[:3], b[:3])) ** 0.5)
    radius.semilogy(distance, [r[3] for r in rows], color="tab:blue", lw=1)
    radius.set_xlabel("distance along the route (m)")
    radius.set_ylabel("curve radius (m)")
    radius.set_ylim(3, 12000)
    fig.suptitle("santa_monica_ride.gpx: a phone at 1 Hz on a bicycle, and its route")
    fig.tight_layout()
    fig.savefig(out, dpi=80)


if __name__ == "__main__":
    if sys.argv[1] == "radius":
        radius_figure(sys.argv[2], sys.argv[3])
    else:
        ride_figure(sys.argv[2], sys.argv[3], sys.argv[4])
