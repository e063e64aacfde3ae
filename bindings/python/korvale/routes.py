"""Route files for korvale made from road maps, through libkorvale_routes (ctypes).

    from korvale import routes
    routes.from_opendrive("map.xodr", "route.txt", roads=[1, 2], lane=-1)
    with korvale.Route("route.txt") as route: ...

libkorvale_routes is found through the KORVALE_ROUTES_LIBRARY environment variable (a path),
next to this package, next to the library that KORVALE_LIBRARY names, or on the system's
library path. A build that fails raises RouteError with the builder's message; no route file
is left behind.
"""

import ctypes
import os
import sys

from . import KorvaleError
from ._native import find_library

__all__ = ["RouteError", "from_opendrive", "library"]

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
}


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
