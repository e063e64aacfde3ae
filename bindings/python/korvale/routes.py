"""Route files for korvale made from road maps and GPS recordings, through libkorvale_routes
(ctypes).

    from korvale import routes
    routes.from_opendrive("map.xodr", "route.txt", roads=[1, 2], lane=-1)
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

__all__ = ["GpsRoute", "LocalFrame", "RouteError", "from_gps", "from_opendrive", "library"]

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


def from_opendrive(map_path, route_path, roads=None, lane=0, step=1.0, limit=None,
                   reverse=False):
    """Writes the route file route_path for a chain of roads of an OpenDRIVE map.

    roads:   road ids in driving order (a list, or a string "1,2,3"), connecting roads in
             junctions included; None for a map of a single road.
    lane:    0 for the reference line, else the centre of that lane (OpenDRIVE ids, negative to
             the right), named for roads driven towards +s.
    step:    metres between rows, 0.01 to 1000.
    limit:   km/h for rows where the map gives no speed limit (None: such a row is an error).
    reverse: drive the chain the other way.

    Returns route_path; raises RouteError with the builder's message.
    """
    if roads is None:
        road_text = b""
    elif isinstance(roads, (str, bytes)):
        road_text = roads.encode() if isinstance(roads, str) else roads
    else:
        road_text = ",".join(str(road) for road in roads).encode()
    fill = 0.0 if limit is None else float(limit)
    if limit is not None and not fill > 0:
        raise RouteError(f"the limit for rows without one must be above 0 km/h, not {limit!r}")
    _run(library().korvale_route_from_opendrive, _path(map_path), road_text, int(lane),
         float(step), fill, 1 if reverse else 0, _path(route_path))
    return route_path


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
