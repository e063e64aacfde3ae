"""Route files for korvale made from road maps and GPS recordings, through libkorvale_routes
(ctypes).

    from korvale import routes
    routes.from_opendrive("map.xodr", "route.txt", roads=[1, 2], lane=-1)
    routes.from_opendrive("town.xodr", "route.txt", start="1:-1", end=(120.5, -4.0))
    routes.draw_map("town.xodr", "map.png", route="route.txt")   # (needs matplotlib)
    routes.from_gps("ride.gpx", "route.txt", limit=50)
    frame = routes.LocalFrame(48.137, 11.575, 520.0)   # the route's "# origin" line
    x, y, z = frame.forward(48.138, 11.576, 521.0)
    with korvale.Route("route.txt") as route: ...

libkorvale_routes is found through the KORVALE_ROUTES_LIBRARY environment variable (a path),
next to this package, next to the library that KORVALE_LIBRARY names, or on the system's
library path. A build that fails raises RouteError with the builder's message; no route file
is left behind.
"""

import collections
import ctypes
import os
import sys

from . import KorvaleError
from ._native import find_library

__all__ = ["GpsRoute", "LocalFrame", "RouteError", "draw_map", "from_gps", "from_opendrive",
           "library"]

ENV_VARIABLE = "KORVALE_ROUTES_LIBRARY"

if sys.platform == "win32":
    _NAMES = ("korvale_routes.dll", "libkorvale_routes.dll")
elif sys.platform == "darwin":
    _NAMES = ("libkorvale_routes.dylib",)
else:
    _NAMES = ("libkorvale_routes.so", "libkorvale_routes.so.0")

# Room for a builder's message; longer ones are cut.
_ERROR_SIZE = 1024

SIGNATURES = {
    "korvale_route_from_opendrive": (
        ctypes.c_int32,
        [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32, ctypes.c_double, ctypes.c_double,
         ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t],
    ),
    "korvale_route_through_opendrive": (
        ctypes.c_int32,
        [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_double,
         ctypes.c_double, ctypes.c_double, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t],
    ),
    "korvale_route_from_gps": (
        ctypes.c_int32,
        [ctypes.c_char_p, ctypes.c_double, ctypes.c_double, ctypes.c_char_p, ctypes.c_double,
         ctypes.c_int32, ctypes.POINTER(ctypes.c_double), ctypes.c_char_p,
         ctypes.POINTER(ctypes.c_int64), ctypes.c_char_p, ctypes.c_size_t],
    ),
    "korvale_local_frame_forward": (
        ctypes.c_int32,
        [ctypes.c_double] * 6 + [ctypes.POINTER(ctypes.c_double), ctypes.c_char_p,
                                 ctypes.c_size_t],
    ),
    "korvale_local_frame_reverse": (
        ctypes.c_int32,
        [ctypes.c_double] * 6 + [ctypes.POINTER(ctypes.c_double), ctypes.c_char_p,
                                 ctypes.c_size_t],
    ),
}

GpsRoute = collections.namedtuple("GpsRoute", "path fixes repeated outliers rows")
GpsRoute.__doc__ = """A route written from a GPS track: its path, the fixes read, the repeated
points and outliers dropped, the rows written."""


class RouteError(KorvaleError):
    """A route that could not be built: the map, the roads or the options (the message says)."""


_library = None


def library():
    """libkorvale_routes (ctypes.CDLL) with its functions declared."""
    global _library
    if _library is None:
        near = ()
        core = os.environ.get("KORVALE_LIBRARY")
        if core:
            near = (os.path.dirname(os.path.abspath(core)),)
        _library = find_library(_NAMES, ENV_VARIABLE, "korvale_routes", SIGNATURES, near)
    return _library


def _path(value):
    return os.fsencode(value)


def _run(function, *arguments):
    error = ctypes.create_string_buffer(_ERROR_SIZE)
    if function(*arguments, error, _ERROR_SIZE) != 0:
        raise RouteError(error.value.decode("utf-8", "replace"))


def _ids(roads):
    if isinstance(roads, (str, bytes)):
        return roads.encode() if isinstance(roads, str) else roads
    return ",".join(str(road) for road in roads).encode()


def _place(place, name):
    """"ROAD:LANE", "ROAD:LANE@S" or "X,Y" as the library takes it, from that text or (x, y)."""
    if isinstance(place, str):
        return place.encode()
    try:
        x, y = (float(v) for v in place)
    except (TypeError, ValueError):
        raise RouteError(f"{name} is 'ROAD:LANE', 'ROAD:LANE@S', 'X,Y' or (x, y), not {place!r}")
    return f"{x!r},{y!r}".encode()


def from_opendrive(map_path, route_path, roads=None, lane=0, step=1.0, limit=None,
                   reverse=False, start=None, end=None, via=None, lane_change=100.0):
    """Writes the route file route_path for a chain of roads of an OpenDRIVE map, or, with start
    and end, for the shortest way along lanes between them.

    roads:   road ids in driving order (a list, or a string "1,2,3"), connecting roads in
             junctions included; None for a map of a single road.
    lane:    0 for the reference line, else the centre of that lane (OpenDRIVE ids, negative to
             the right), named for roads driven towards +s.
    step:    metres between rows, 0.01 to 1000 (along the lane centre for a route along lanes).
    limit:   km/h for rows where the map gives no speed limit (None: such a row is an error);
             along lanes only until the first limit of the map, which roads without one carry on.
    reverse: drive the chain the other way.
    start, end: a route along lanes: "ROAD:LANE" (the lane's start, resp. end), "ROAD:LANE@S"
             or a position "X,Y" or (x, y) (the drivable lane there, or the nearest lane centre
             within 5 m); see `korvale route opendrive --from --to`.
    via:     road ids the route along lanes passes in order.
    lane_change: metres over which a lane change is blended.

    Returns route_path; raises RouteError with the builder's message.
    """
    fill = 0.0 if limit is None else float(limit)
    if limit is not None and not fill > 0:
        raise RouteError(f"the limit for rows without one must be above 0 km/h, not {limit!r}")
    if start is not None or end is not None:
        if start is None or end is None:
            raise RouteError("a route along lanes needs both start and end")
        if roads is not None or lane != 0 or reverse:
            raise RouteError("start and end find the roads and lanes themselves: leave out "
                             "roads, lane and reverse")
        _run(library().korvale_route_through_opendrive, _path(map_path), _place(start, "start"),
             _place(end, "end"), None if via is None else _ids(via), float(step), fill,
             float(lane_change), _path(route_path))
        return route_path
    if via is not None:
        raise RouteError("via belongs to a route along lanes (start, end)")
    road_text = b"" if roads is None else _ids(roads)
    _run(library().korvale_route_from_opendrive, _path(map_path), road_text, int(lane),
         float(step), fill, 1 if reverse else 0, _path(route_path))
    return route_path


def _route_points(path):
    xs, ys = [], []
    with open(path) as rows:
        for line in rows:
            if not line.startswith("#") and line.strip():
                x, y = line.split()[:2]
                xs.append(float(x))
                ys.append(float(y))
    return xs, ys


def _convex_hull(points):
    """The convex hull of (x, y) points, counter-clockwise (monotone chain)."""
    points = sorted(set(points))
    if len(points) < 3:
        return points

    def turn(o, a, b):
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0])

    lower, upper = [], []
    for p in points:
        while len(lower) >= 2 and turn(lower[-2], lower[-1], p) <= 0:
            lower.pop()
        lower.append(p)
    for p in reversed(points):
        while len(upper) >= 2 and turn(upper[-2], upper[-1], p) <= 0:
            upper.pop()
        upper.append(p)
    return lower[:-1] + upper[:-1]


def draw_map(map_path, output, route=None, step=2.0):
    """Draws the roads of an OpenDRIVE map from their geometry into an image file (needs
    matplotlib): each road's reference line labelled with its id, junction areas shaded, and
    with route (a route file) the route over it, so that a start and an end can be picked by
    eye. Roads that cannot be read are left out. Returns output."""
    import tempfile
    import xml.etree.ElementTree as ElementTree

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot

    roads = [(road.get("id", ""), road.get("junction", "-1"))
             for road in ElementTree.parse(map_path).getroot().iter("road")]
    lines, junctions = [], {}
    with tempfile.TemporaryDirectory() as scratch:
        scratch_route = os.path.join(scratch, "road.txt")
        for road_id, junction in roads:
            try:
                from_opendrive(map_path, scratch_route, roads=road_id, step=step, limit=1.0)
            except RouteError:
                continue
            xs, ys = _route_points(scratch_route)
            lines.append((road_id, junction, xs, ys))
            if junction != "-1":
                junctions.setdefault(junction, []).extend(zip(xs, ys))
    if not lines:
        raise RouteError(f"no road of the map '{map_path}' could be drawn")
    every_x = [x for line in lines for x in line[2]]
    every_y = [y for line in lines for y in line[3]]
    width = max(every_x) - min(every_x) + 1.0
    height = max(every_y) - min(every_y) + 1.0
    scale = 12.0 / max(width, height)
    figure, axis = pyplot.subplots(figsize=(max(4.0, width * scale), max(4.0, height * scale)))
    for junction, points in sorted(junctions.items()):
        hull = _convex_hull(points)
        if len(hull) >= 3:
            axis.fill([p[0] for p in hull], [p[1] for p in hull], color="tab:orange", alpha=0.2,
                      linewidth=0, label="junction" if junction == min(junctions) else None)
    for road_id, junction, xs, ys in lines:
        in_junction = junction != "-1"
        axis.plot(xs, ys, color="tab:gray" if in_junction else "black",
                  linewidth=0.6 if in_junction else 1.2)
        middle = len(xs) // 2
        axis.annotate(road_id, (xs[middle], ys[middle]), fontsize=5 if in_junction else 8,
                      color="tab:brown" if in_junction else "tab:blue", ha="center",
                      va="center")
    if route is not None:
        xs, ys = _route_points(route)
        axis.plot(xs, ys, color="tab:green", linewidth=2.5, alpha=0.8, label="route")
        axis.plot(xs[:1], ys[:1], marker="o", color="tab:green", linestyle="none")
        axis.plot(xs[-1:], ys[-1:], marker="s", color="tab:red", linestyle="none")
    axis.set_aspect("equal")
    axis.set_xlabel("x (m)")
    axis.set_ylabel("y (m)")
    axis.set_title(f"roads of {os.path.basename(str(map_path))} (ids; reference lines)")
    if junctions or route is not None:
        axis.legend(loc="best", fontsize=8)
    figure.tight_layout()
    figure.savefig(output, dpi=120)
    pyplot.close(figure)
    return output


def from_gps(track_path, route_path, step=2.0, limit=None, limits=None, superelevation=0.0,
             flat=False, origin=None):
    """Writes the route file route_path for a GPS recording (GPX 1.0/1.1, or CSV with lat, lon
    and optionally ele, time and maxspeed columns); see `korvale route gps`.

    step:      metres between rows of the smoothed line, 0.01 to 1000.
    limit:     km/h for rows that neither `limits` nor the track's maxspeed covers (None: such a
               row is an error).
    limits:    None, or a CSV file of distance_m,limit_kmh lines, each from that distance on.
    superelevation: the fraction on curved rows.
    flat:      z = 0 on every row.
    origin:    (lat, lon) or (lat, lon, h) of the local frame; None: the first fix.

    Returns a GpsRoute; raises RouteError with the builder's message.
    """
    fill = 0.0 if limit is None else float(limit)
    if limit is not None and not fill > 0:
        raise RouteError(f"the limit for rows without one must be above 0 km/h, not {limit!r}")
    frame = None
    if origin is not None:
        values = [float(v) for v in origin]
        if len(values) == 2:
            values.append(0.0)
        if len(values) != 3:
            raise RouteError(f"the origin is (lat, lon) or (lat, lon, h), not {origin!r}")
        frame = (ctypes.c_double * 3)(*values)
    summary = (ctypes.c_int64 * 4)()
    _run(library().korvale_route_from_gps, _path(track_path), float(step), fill,
         None if limits is None else _path(limits), float(superelevation), 1 if flat else 0,
         frame, _path(route_path), summary)
    return GpsRoute(route_path, *summary)


class LocalFrame:
    """The local frame of a route made from GPS fixes (its "# origin LAT LON H" line): x east
    and y north in metres from GeographicLib's local cartesian projection on WGS84, z the height
    above the origin's height."""

    def __init__(self, latitude, longitude, height=0.0):
        self.origin = (float(latitude), float(longitude), float(height))
        self.forward(*self.origin)  # an origin beyond +-90 degrees raises here

    def __repr__(self):
        return "LocalFrame(%r, %r, %r)" % self.origin

    def _call(self, function, a, b, c):
        out = (ctypes.c_double * 3)()
        _run(function, *self.origin, float(a), float(b), float(c), out)
        return tuple(out)

    def forward(self, latitude, longitude, height=0.0):
        """(x, y, z) in metres of a fix; raises RouteError for a latitude beyond +-90."""
        return self._call(library().korvale_local_frame_forward, latitude, longitude, height)

    def reverse(self, x, y, z=0.0):
        """(latitude, longitude, height) of a point of the frame."""
        return self._call(library().korvale_local_frame_reverse, x, y, z)
