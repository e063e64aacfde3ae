#!/usr/bin/env python3
"""Draw a 20 km synthetic rural road for the simulated drives (docs/energy.md).

A made-up country road in a local metric frame (x east, y north, z height):
straights and arcs of 150 to 900 m radius (2 to 7 % superelevation) in turn, hills of 4 to 6 %
up and down with level stretches between them, a limit of 100 km/h with 70 km/h before the
tight curves and two villages at 50 km/h, and a stop at the end. Points lie 5 m apart
horizontally; the output is deterministic:

    /usr/bin/python3 examples/make_rural_road.py > rural_road.txt

(`--length M` draws the first M metres of it instead, for quicker tests.)
"""

import math
import random
import sys

STEP = 5.0
LENGTH = float(sys.argv[sys.argv.index("--length") + 1]) if "--length" in sys.argv else 20000.0
STRAIGHT_RADIUS = 10000.0


def pieces(rng):
    """Plan pieces: (length, radius or None, turn sign) for the whole 20 km."""
    out, total, arc = [], 0.0, False
    while total < 20000.0:
        if arc:
            radius = rng.choice([150.0, 250.0, 400.0, 600.0, 900.0])
            length = rng.uniform(0.2, 0.6) * radius * math.pi / 2
            out.append((length, radius, rng.choice([-1.0, 1.0])))
        else:
            length = rng.uniform(250.0, 1200.0)
            out.append((length, None, 0.0))
        total += length
        arc = not arc
    return out


def grade_at(station, hills):
    for start, end, grade in hills:
        if start <= station < end:
            return grade
    return 0.0


def main():
    rng = random.Random(20261209)
    plan = pieces(rng)
    # Hills: a climb of 4 to 6 % and a descent of 4 to 6 %, with level road between.
    hills, station = [], 300.0
    while station < 20000.0 - 1500.0:
        up = rng.uniform(300.0, 700.0)
        hills.append((station, station + up, rng.uniform(0.04, 0.06)))
        station += up + rng.uniform(100.0, 400.0)
        down = rng.uniform(300.0, 700.0)
        hills.append((station, station + down, -rng.uniform(0.04, 0.06)))
        station += down + rng.uniform(400.0, 1200.0)
    villages = [(6000.0, 7200.0), (13500.0, 14400.0)]

    x, y, z, heading, station = 0.0, 0.0, 100.0, 0.4, 0.0
    print("# synthetic rural road: x y z (m), curve radius (m), speed limit (km/h), superelevation")
    print("# drawn by examples/make_rural_road.py; 20 km, hills of 4 to 6 %, two villages, a stop")
    for length, radius, turn in plan:
        steps = max(1, int(round(length / STEP)))
        for _ in range(steps):
            if station >= LENGTH:
                break
            limit = 100.0
            if radius is not None and radius < 300.0:
                limit = 70.0
            if any(a <= station < b for a, b in villages):
                limit = 50.0
            if station >= LENGTH - 40.0:
                limit = 30.0
            written = radius if radius is not None else STRAIGHT_RADIUS
            superelevation = 0.0 if radius is None else min(0.07, max(0.02, 30.0 / radius))
            print(f"{x:.4f} {y:.4f} {z:.4f} {written:.1f} {limit:.1f} {superelevation:.3f}")
            if radius is not None:
                heading += turn * STEP / radius
            x += STEP * math.cos(heading)
            y += STEP * math.sin(heading)
            z += STEP * grade_at(station, hills)
            station += STEP
    print(f"{x:.4f} {y:.4f} {z:.4f} {STRAIGHT_RADIUS:.1f} 0.0 0.000")


if __name__ == "__main__":
    main()
