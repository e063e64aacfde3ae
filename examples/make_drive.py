#!/usr/bin/env python3
"""Drive the example route: a trace for `korvale drive` (t,x,y,z, 10 samples a second).

The driver keeps the speed limit on straights and takes curves at a lateral acceleration of
2.2 m/s^2, a little brisker than the comfort speed that korvale recommends, so the dashboard
shows the faster-than-recommended flag in the bends. The car accelerates at up to 1.2 m/s^2,
brakes at up to 2.0 m/s^2 and stops at the stop line. The output is deterministic:

    /usr/bin/python3 examples/make_drive.py > examples/drive.csv
"""

import math
import os
import sys

LATERAL_MS2 = 2.2
ACCELERATE_MS2 = 1.2
BRAKE_MS2 = 2.0
STEP_S = 0.1
CREEP_MS = 1.0  # the last metres to the stop line


def read_route(path):
    points = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) < 6 or line.startswith("#"):
                continue
            x, y, z, radius, limit, _ = map(float, fields[:6])
            points.append((x, y, z, radius, limit / 3.6))
    return points


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    points = read_route(os.path.join(here, "route.txt"))
    distance = [0.0]
    for a, b in zip(points, points[1:]):
        distance.append(distance[-1] + math.dist(a[:3], b[:3]))
    wanted = [min(limit, math.sqrt(LATERAL_MS2 * radius)) for *_, radius, limit in points]
    wanted[-1] = 0.0
    # Speeds the car can reach: braking from the end backwards, accelerating from the start.
    for i in range(len(points) - 2, -1, -1):
        gap = distance[i + 1] - distance[i]
        wanted[i] = min(wanted[i], math.sqrt(wanted[i + 1] ** 2 + 2 * BRAKE_MS2 * gap))
    wanted[0] = 0.0
    for i in range(1, len(points)):
        gap = distance[i] - distance[i - 1]
        wanted[i] = min(wanted[i], math.sqrt(wanted[i - 1] ** 2 + 2 * ACCELERATE_MS2 * gap))

    out = sys.stdout
    out.write("t,x,y,z\n")
    s, t, i = 0.0, 0.0, 0
    while True:
        while i + 1 < len(points) - 1 and distance[i + 1] <= s:
            i += 1
        share = (s - distance[i]) / (distance[i + 1] - distance[i])
        x, y, z = (a + (b - a) * share for a, b in zip(points[i][:3], points[i + 1][:3]))
        out.write(f"{t:.1f},{x:.3f},{y:.3f},{z:.3f}\n")
        if s >= distance[-1]:
            break
        speed = max(CREEP_MS, wanted[i] + (wanted[i + 1] - wanted[i]) * share)
        s = min(distance[-1], s + speed * STEP_S)
        t += STEP_S


if __name__ == "__main__":
    main()
