#!/usr/bin/env python3
"""Write the example junction map: multi-lane roads that meet at a junction, for routes along
lanes (`korvale route opendrive MAP --from ROAD:LANE --to ROAD:LANE`).

Road 1, "Main west", 300 m east from (0, 0): lanes -1, -2, -3 driven east, 1 and 2 driven
west, 3.5 m each, 80 km/h. Its second lane section (from 200 m) narrows lane -3 smoothly to
nothing: that lane ends, and a route on it has to change lanes first.

Junction 100 at x = 300 to 320, whose connecting roads carry no speed records:
- road 10, straight, starts at the second lane of road 1: its reference line begins 3.5 m to
  the right of road 1's (lane -2 of road 1 runs into its lane -1), and its lane -1 runs into
  lane -2 of road 2;
- road 12, straight, lane -1 of road 1 into lane -1 of road 2;
- road 11, a right turn of radius 20 m, lane -1 of road 1 into lane -1 of road 3;
- road 13, straight west, lane 1 of road 2 into lane 1 of road 1;
- road 14, a left turn of radius 20 m, lane 1 of road 3 into lane 1 of road 1.

Road 2, "Main east", 400 m east from (320, 0): lanes -1, -2 east and 1, 2 west, 3.5 m, and a
2 m sidewalk (lane -3); 100 km/h, and 70 km/h on its lane -1 from 300 m.

Road 3, "Side street", 200 m south from (320, -20): lanes -1 (south) and 1 (north), 3.5 m,
50 km/h.

The output is deterministic; regenerate the committed file from the repository root with:

    /usr/bin/python3 examples/make_junction_map.py > examples/junction.xodr
"""

import math

WIDTH = 3.5
TURN_RADIUS = 20.0


def num(value):
    return f"{value:.12g}"


def lane(lane_id, width, kind="driving", predecessor=None, successor=None, extra=""):
    links = ""
    if predecessor is not None or successor is not None:
        links = "<link>"
        if predecessor is not None:
            links += f'<predecessor id="{predecessor}"/>'
        if successor is not None:
            links += f'<successor id="{successor}"/>'
        links += "</link>"
    return (f'          <lane id="{lane_id}" type="{kind}" level="false">{links}'
            f'<width sOffset="0" a="{num(width)}" b="0" c="0" d="0"/>{extra}</lane>')


def section(s, left, right):
    parts = [f'      <laneSection s="{num(s)}">']
    if left:
        parts += ["        <left>", *left, "        </left>"]
    parts.append('        <center><lane id="0" type="none" level="false"/></center>')
    if right:
        parts += ["        <right>", *right, "        </right>"]
    parts.append("      </laneSection>")
    return "\n".join(parts)


def road(road_id, name, length, geometry, sections, junction="-1", predecessor="", successor="",
         limit=None):
    link = ""
    if predecessor or successor:
        link = f"    <link>{predecessor}{successor}</link>\n"
    speed = ""
    if limit is not None:
        speed = f'    <type s="0" type="town"><speed max="{num(limit)}" unit="km/h"/></type>\n'
    return (f'  <road name="{name}" length="{num(length)}" id="{road_id}" junction="{junction}">\n'
            f"{link}{speed}    <planView>\n{geometry}\n    </planView>\n"
            f'    <elevationProfile><elevation s="0" a="0" b="0" c="0" d="0"/></elevationProfile>\n'
            f"    <lanes>\n{sections}\n    </lanes>\n  </road>")


def geometry(x, y, heading, length, shape="<line/>", s=0.0):
    return (f'      <geometry s="{num(s)}" x="{num(x)}" y="{num(y)}" hdg="{num(heading)}" '
            f'length="{num(length)}">{shape}</geometry>')


def link(which, element_type, element_id, contact=None):
    contact_text = f' contactPoint="{contact}"' if contact else ""
    return f'<{which} elementType="{element_type}" elementId="{element_id}"{contact_text}/>'


def main():
    quarter = math.pi / 2 * TURN_RADIUS
    # Lane -3 of road 1 narrows from 3.5 m to 0 over its last 100 m, with no slope at either end.
    taper = 100.0
    narrowing = (f'<width sOffset="0" a="{num(WIDTH)}" b="0" c="{num(-3 * WIDTH / taper**2)}" '
                 f'd="{num(2 * WIDTH / taper**3)}"/>')
    road1_left = [lane(1, WIDTH), lane(2, WIDTH)]
    road1 = road(
        1, "Main west", 300.0, geometry(0, 0, 0, 300.0),
        section(0, road1_left, [lane(-1, WIDTH), lane(-2, WIDTH), lane(-3, WIDTH)]) + "\n" +
        section(200, road1_left, [lane(-1, WIDTH), lane(-2, WIDTH),
                                  f'          <lane id="-3" type="driving" level="false">'
                                  f"{narrowing}</lane>"]),
        successor=link("successor", "junction", 100), limit=80)
    road2_speed = '<speed sOffset="300" max="70" unit="km/h"/>'
    road2 = road(
        2, "Main east", 400.0, geometry(320, 0, 0, 400.0),
        section(0, [lane(1, WIDTH), lane(2, WIDTH)],
                [lane(-1, WIDTH, extra=road2_speed), lane(-2, WIDTH),
                 lane(-3, 2.0, kind="sidewalk")]),
        predecessor=link("predecessor", "junction", 100), limit=100)
    road3 = road(
        3, "Side street", 200.0, geometry(320, -TURN_RADIUS, -math.pi / 2, 200.0),
        section(0, [lane(1, WIDTH)], [lane(-1, WIDTH)]),
        predecessor=link("predecessor", "junction", 100), limit=50)

    def connecting(road_id, name, length, geom, from_lane, to_lane, before, after):
        return road(road_id, name, length, geom,
                    section(0, [], [lane(-1, WIDTH, predecessor=from_lane, successor=to_lane)]),
                    junction="100", predecessor=before, successor=after)

    road10 = connecting(10, "Straight from lane 2", 20.0, geometry(300, -WIDTH, 0, 20.0), -2, -2,
                        link("predecessor", "road", 1, "end"), link("successor", "road", 2, "start"))
    road12 = connecting(12, "Straight", 20.0, geometry(300, 0, 0, 20.0), -1, -1,
                        link("predecessor", "road", 1, "end"), link("successor", "road", 2, "start"))
    road11 = connecting(11, "Right turn", quarter,
                        geometry(300, 0, 0, quarter, f'<arc curvature="{num(-1 / TURN_RADIUS)}"/>'),
                        -1, -1, link("predecessor", "road", 1, "end"),
                        link("successor", "road", 3, "start"))
    road13 = connecting(13, "Straight back", 20.0, geometry(320, 0, math.pi, 20.0), 1, 1,
                        link("predecessor", "road", 2, "start"), link("successor", "road", 1, "end"))
    road14 = connecting(14, "Left turn", quarter,
                        geometry(320, -TURN_RADIUS, math.pi / 2, quarter,
                                 f'<arc curvature="{num(1 / TURN_RADIUS)}"/>'),
                        1, 1, link("predecessor", "road", 3, "start"),
                        link("successor", "road", 1, "end"))

    def connection(cid, incoming, connecting_road, from_lane, to_lane):
        return (f'    <connection id="{cid}" incomingRoad="{incoming}" '
                f'connectingRoad="{connecting_road}" contactPoint="start">'
                f'<laneLink from="{from_lane}" to="{to_lane}"/></connection>')

    junction = "\n".join([
        '  <junction id="100" name="Crossing">',
        connection(0, 1, 10, -2, -1), connection(1, 1, 12, -1, -1), connection(2, 1, 11, -1, -1),
        connection(3, 2, 13, 1, -1), connection(4, 3, 14, 1, -1),
        "  </junction>"])
    print('<?xml version="1.0" encoding="UTF-8"?>')
    print("<OpenDRIVE>")
    print('  <header revMajor="1" revMinor="6" name="korvale junction example"/>')
    for part in (road1, road2, road3, road10, road11, road12, road13, road14, junction):
        print(part)
    print("</OpenDRIVE>")


if __name__ == "__main__":
    main()
