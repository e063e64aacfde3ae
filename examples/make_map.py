#!/usr/bin/env python3
"""Write the example OpenDRIVE map: two roads that a route can chain.

Road 1, "Hill road", 630 m: a 200 m straight, a spiral into a 150 m left-hand arc,
the arc, a spiral out of it, a gentle S-bend drawn as a paramPoly3 (p = arc
length), and a last straight. It climbs 10 m to a crest and falls again; the
curve is banked by up to 4 % towards its inside. The limit is 100 km/h, 40 mph
(64.4 km/h) from 230 m, and 100 km/h again from 480 m.

Road 2, "Village street", 300 m: starts where road 1 ends, with a short
straight, a 60 m right-hand arc banked 3 % (the bank turned in over 20 m
before and out over 20 m after it) and a straight. The road's limit is
50 km/h; its right lane (lane -1) has a limit of its own, 8.5 m/s (30.6 km/h),
from 200 m. Its geometry starts with a paramPoly3 with normalized p.

Both roads have one 3.5 m lane on each side of the reference line. The output is
deterministic; regenerate the committed file from the repository root with:

    /usr/bin/python3 examples/make_map.py > examples/map.xodr
"""

import math

SIMPSON_STEPS = 20000  # spiral positions by Simpson's rule: far below a millimetre


def spiral_end(x, y, hdg, length, k0, k1):
    """End point and heading of a spiral whose curvature goes from k0 to k1."""
    rate = (k1 - k0) / length
    h = [hdg + s * (k0 + s * rate / 2) for s in
         (length * i / SIMPSON_STEPS for i in range(SIMPSON_STEPS + 1))]
    weights = [1 if i in (0, SIMPSON_STEPS) else (4 if i % 2 else 2) for i in range(SIMPSON_STEPS + 1)]
    scale = length / SIMPSON_STEPS / 3
    dx = scale * sum(w * math.cos(a) for w, a in zip(weights, h))
    dy = scale * sum(w * math.sin(a) for w, a in zip(weights, h))
    return x + dx, y + dy, h[-1]


def arc_end(x, y, hdg, length, k):
    h = hdg + k * length
    return x + (math.sin(h) - math.sin(hdg)) / k, y - (math.cos(h) - math.cos(hdg)) / k, h


def line_end(x, y, hdg, length):
    return x + length * math.cos(hdg), y + length * math.sin(hdg), hdg


def cubic_at(c, p):
    return c[0] + p * (c[1] + p * (c[2] + p * c[3]))


def cubic_slope(c, p):
    return c[1] + p * (2 * c[2] + p * 3 * c[3])


def param_poly3_end(x, y, hdg, p, u, v):
    lu, lv = cubic_at(u, p), cubic_at(v, p)
    h = hdg + math.atan2(cubic_slope(v, p), cubic_slope(u, p))
    return x + lu * math.cos(hdg) - lv * math.sin(hdg), y + lu * math.sin(hdg) + lv * math.cos(hdg), h


def num(value):
    return f"{value:.12g}"


class Road:
    def __init__(self, road_id, name, x, y, hdg):
        self.id, self.name = road_id, name
        self.x, self.y, self.hdg, self.s = x, y, hdg, 0.0
        self.records = []

    def add(self, length, shape, end):
        self.records.append(
            f'            <geometry s="{num(self.s)}" x="{num(self.x)}" y="{num(self.y)}" '
            f'hdg="{num(self.hdg)}" length="{num(length)}">\n                {shape}\n'
            f'            </geometry>')
        self.x, self.y, self.hdg = end
        self.s += length

    def line(self, length):
        self.add(length, "<line/>", line_end(self.x, self.y, self.hdg, length))

    def arc(self, length, k):
        self.add(length, f'<arc curvature="{num(k)}"/>', arc_end(self.x, self.y, self.hdg, length, k))

    def spiral(self, length, k0, k1):
        self.add(length, f'<spiral curvStart="{num(k0)}" curvEnd="{num(k1)}"/>',
                 spiral_end(self.x, self.y, self.hdg, length, k0, k1))

    def param_poly3(self, length, u, v, p_range):
        attributes = " ".join(f'{n}="{num(c)}"' for n, c in
                              zip(("aU", "bU", "cU", "dU", "aV", "bV", "cV", "dV"), u + v))
        p_end = length if p_range == "arcLength" else 1.0
        self.add(length, f'<paramPoly3 {attributes} pRange="{p_range}"/>',
                 param_poly3_end(self.x, self.y, self.hdg, p_end, u, v))


def lanes(lane_speed=""):
    lane = '''                    <lane id="{id}" type="driving" level="false">
                        <width sOffset="0" a="3.5" b="0" c="0" d="0"/>{speed}
                    </lane>'''
    return f'''        <lanes>
            <laneOffset s="0" a="0" b="0" c="0" d="0"/>
            <laneSection s="0">
                <left>
{lane.format(id=1, speed="")}
                </left>
                <center>
                    <lane id="0" type="none" level="false"/>
                </center>
                <right>
{lane.format(id=-1, speed=lane_speed)}
                </right>
            </laneSection>
        </lanes>'''


def road_xml(road, link, types, elevation, superelevation, lane_speed=""):
    return f'''    <road name="{road.name}" length="{num(road.s)}" id="{road.id}" junction="-1">
        <link>
{link}
        </link>
{types}
        <planView>
{chr(10).join(road.records)}
        </planView>
        <elevationProfile>
{elevation}
        </elevationProfile>
        <lateralProfile>
{superelevation}
        </lateralProfile>
{lanes(lane_speed)}
    </road>'''


def cubic(tag, s, a, b=0.0, c=0.0, d=0.0):
    return f'            <{tag} s="{num(s)}" a="{num(a)}" b="{num(b)}" c="{num(c)}" d="{num(d)}"/>'


def main():
    k = 1 / 150
    hill = Road("1", "Hill road", 100.0, 50.0, 0.0)
    hill.line(200)
    hill.spiral(60, 0.0, k)
    hill.arc(120, k)
    hill.spiral(60, k, 0.0)
    # An S-bend: v(p) = c p^2 + d p^3 with p the arc length, back to the start heading's
    # direction of travel by its end.
    hill.param_poly3(150, [0.0, 1.0, 0.0, 0.0], [0.0, 0.0, 0.0012, -0.0000053333333333], "arcLength")
    hill.line(40)

    village = Road("2", "Village street", hill.x, hill.y, hill.hdg)
    village.param_poly3(40, [0.0, 40.0, 0.0, 0.0], [0.0, 0.0, 0.0, 0.0], "normalized")
    village.arc(94.2477796, -1 / 60)
    village.line(165.7522204)

    hill_xml = road_xml(
        hill,
        '            <successor elementType="road" elementId="2" contactPoint="start"/>',
        "\n".join([
            '        <type s="0" type="rural">\n            <speed max="100" unit="km/h"/>\n        </type>',
            '        <type s="230" type="rural">\n            <speed max="40" unit="mph"/>\n        </type>',
            '        <type s="480" type="rural">\n            <speed max="100" unit="km/h"/>\n        </type>',
        ]),
        "\n".join([
            # up to 4 % and a crest at 300 m, 10 m high, then down to where road 2 starts
            cubic("elevation", 0, 200.0, 0.0, 0.0004, -0.000001),
            cubic("elevation", 200, 208.0, 0.04, -0.0002),
            cubic("elevation", 300, 210.0, 0.0, -10 / 330**2 * 3, 20 / 330**3),
        ]),
        "\n".join([
            # the road falls to the left (the inside of the left curve): negative roll
            cubic("superelevation", 0, 0.0),
            cubic("superelevation", 200, 0.0, 0.0, -0.0000333333, 0.000000370370),
            cubic("superelevation", 260, -0.04),
            cubic("superelevation", 380, -0.04, 0.0, 0.0000333333, -0.000000370370),
            cubic("superelevation", 440, 0.0),
        ]))
    village_xml = road_xml(
        village,
        '            <predecessor elementType="road" elementId="1" contactPoint="end"/>',
        '        <type s="0" type="town">\n            <speed max="50" unit="km/h"/>\n        </type>',
        cubic("elevation", 0, 200.0, -0.01),
        "\n".join([
            # the road falls to the right (the inside of the right curve): positive roll
            cubic("superelevation", 0, 0.0),
            cubic("superelevation", 20, 0.0, 0.0, 3 * 0.03 / 20**2, -2 * 0.03 / 20**3),
            cubic("superelevation", 40, 0.03),
            cubic("superelevation", 134.2477796, 0.03, 0.0, -3 * 0.03 / 20**2, 2 * 0.03 / 20**3),
            cubic("superelevation", 154.2477796, 0.0),
        ]),
        '\n                        <speed sOffset="200" max="8.5"/>')
    print(f'''<?xml version="1.0" encoding="UTF-8"?>
<OpenDRIVE>
    <header revMajor="1" revMinor="6" name="korvale example" version="1.0" vendor="korvale"/>
{hill_xml}
{village_xml}
</OpenDRIVE>''')


if __name__ == "__main__":
    main()
