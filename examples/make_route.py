#!/usr/bin/env python3
"""Draw the example route that korvale's samples and benchmarks load.

The road is a made-up rural/suburban road of about 4.7 km, drawn in a local
metric frame (x east, y north, z height above sea level):

* It starts in a village (limit 50 km/h), turns right at a junction on a tight
  80 m arc and climbs out of the village at 3 %.
* Outside the village the limit rises to 70 and then to 100 km/h on an open
  stretch with sweeping 250 m, 600 m and 400 m arcs, a 5 % climb over a crest
  and a 6 % descent into a valley.
* The limit falls back to 70 km/h for a 150 m bend and a 60 m hairpin, then to
  50 km/h through a second village, which descends at 2 % and turns right on
  a 120 m bend.
* It ends at a junction: 30 km/h over the last 200 m and 5 km/h over the last
  20 m, where the vehicle stops at the stop line.

Straights carry a radius of 10000 m and no superelevation; every arc is drawn
as a true circle with the radius written in its rows (no transition curves),
and its superelevation is a fraction between 0.02 and 0.07.  The point where a
straight meets an arc carries the arc's radius and superelevation.  Grades
change linearly with distance over 150 to 300 m, so the height profile is made
of straight grades joined by parabolic vertical curves.  Points lie about 4 m
apart.  Coordinates are written to 0.1 mm: at 1 mm the radius that three
neighbouring points on the 600 m arc describe would be off by up to 5 %.
Stations in the tables below are horizontal distances from the start, m.

The output is deterministic.  Regenerate the committed file from the
repository root with:

    /usr/bin/python3 examples/make_route.py > examples/route.txt
"""

import math

STRAIGHT_RADIUS = 10000.0  # radius written for straight road
STEP = 4.0                 # target horizontal spacing of the points, m
START = (500.0, 300.0, 212.0)  # x, y, z of the first point, m
START_HEADING = 0.0        # radians from the x axis (0 = east)

# Plan view, in driving order: ("straight", length m) or
# ("arc", radius m, turn degrees (+ left, - right), superelevation).
PLAN = [
    ("straight", 300.0),
    ("arc", 80.0, -90.0, 0.030),    # right turn at the village junction
    ("straight", 250.0),
    ("arc", 250.0, 40.0, 0.050),
    ("straight", 400.0),
    ("arc", 600.0, -30.0, 0.030),
    ("straight", 900.0),
    ("arc", 400.0, 45.0, 0.040),
    ("straight", 600.0),
    ("arc", 150.0, -60.0, 0.060),
    ("straight", 300.0),
    ("arc", 60.0, 75.0, 0.070),     # hairpin
    ("straight", 350.0),
    ("arc", 120.0, -90.0, 0.050),
    ("straight", 250.0),
]

# Grade (rise over run) at a station; linear between knots, constant after
# the last knot.
GRADE_KNOTS = [
    (0.0, 0.0), (500.0, 0.0), (650.0, 0.03), (1050.0, 0.03),
    (1250.0, 0.0), (1550.0, 0.0), (1750.0, 0.05), (2300.0, 0.05),
    (2600.0, -0.06), (3150.0, -0.06), (3400.0, 0.0), (3850.0, 0.0),
    (4000.0, -0.02), (4300.0, -0.02), (4450.0, 0.0),
]

# Speed limit in km/h from a station on, up to the next entry.  The stop at
# the end is added separately (see limit_at).
LIMITS = [(0.0, 50.0), (650.0, 70.0), (1100.0, 100.0), (3300.0, 70.0),
          (4000.0, 50.0), (4500.0, 30.0)]
STOP_LIMIT = 5.0     # km/h over the last STOP_LENGTH metres
STOP_LENGTH = 20.0   # m


def plan_points():
    """Return [station, x, y, radius, superelevation] of each plan point."""
    x, y, _ = START
    heading, station = START_HEADING, 0.0
    points = [[0.0, x, y, STRAIGHT_RADIUS, 0.0]]
    for element in PLAN:
        if element[0] == "straight":
            length, turn = element[1], 0
            radius, superelevation = STRAIGHT_RADIUS, 0.0
        else:
            radius, degrees, superelevation = element[1:]
            length = radius * math.radians(abs(degrees))
            turn = math.copysign(1, degrees)
        # An arc's end points carry the arc's radius and superelevation.
        if turn:
            points[-1][3:] = [radius, superelevation]
        n = max(1, math.ceil(length / STEP))
        x0, y0, h0 = x, y, heading
        for k in range(1, n + 1):
            s = length * k / n
            if turn:  # exact circle: heading turns by s / radius
                heading = h0 + turn * s / radius
                x = x0 + turn * radius * (math.sin(heading) - math.sin(h0))
                y = y0 - turn * radius * (math.cos(heading) - math.cos(h0))
            else:
                x = x0 + s * math.cos(h0)
                y = y0 + s * math.sin(h0)
            points.append([station + s, x, y, radius, superelevation])
        station += length
    return points


def height_at(station):
    """Height at a station: the start height plus the integral of the grade."""
    z = START[2]
    for (s0, g0), (s1, g1) in zip(GRADE_KNOTS, GRADE_KNOTS[1:]):
        if station <= s0:
            return z
        end = min(station, s1)
        g_end = g0 + (g1 - g0) * (end - s0) / (s1 - s0)
        z += (g0 + g_end) / 2.0 * (end - s0)  # exact for a linear grade
    last_station, last_grade = GRADE_KNOTS[-1]
    return z + last_grade * max(0.0, station - last_station)


def limit_at(station, total):
    """Speed limit at a station, with the stop over the last metres."""
    if station >= total - STOP_LENGTH:
        return STOP_LIMIT
    return [limit for start, limit in LIMITS if station >= start][-1]


def main():
    points = plan_points()
    total = points[-1][0]
    print("# korvale example route: x y z (m), curve radius (m), "
          "speed limit (km/h), superelevation (fraction)")
    print("# drawn by examples/make_route.py; %d points, %.1f m of road "
          "measured horizontally" % (len(points), total))
    print("# regenerate: /usr/bin/python3 examples/make_route.py "
          "> examples/route.txt")
    for station, x, y, radius, superelevation in points:
        print("%.4f %.4f %.4f %.1f %.1f %.3f" % (
            x, y, height_at(station), radius, limit_at(station, total),
            superelevation))


if __name__ == "__main__":
    main()
