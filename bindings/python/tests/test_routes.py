"""korvale.routes over libkorvale_routes (found beside the library KORVALE_LIBRARY names)."""

import os

import pytest

import korvale
from korvale import routes

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE_MAP = os.path.normpath(os.path.join(HERE, "..", "..", "..", "examples", "map.xodr"))

try:
    routes.library()
except OSError:  # pragma: no cover - a build without the route layer
    pytest.skip("libkorvale_routes is not built", allow_module_level=True)


def test_from_opendrive_writes_a_route_that_loads_and_raises_route_error_on_failure(tmp_path):
    path = str(tmp_path / "route.txt")
    assert routes.from_opendrive(EXAMPLE_MAP, path, roads=[1, 2], lane=-1, step=2.0) == path
    with korvale.Route(path) as route:
        assert route.rows == 467  # every 2 m, and where the arc of road 2 starts
        assert route.length == pytest.approx(930.1, abs=0.1)
        assert route.at_distance(0).max_speed == 100.0
    # Backwards along road 2 alone, lane -1 named: lane 1 of road 2, which has no limit of its
    # own, so the road's 50 km/h holds all along.
    routes.from_opendrive(EXAMPLE_MAP, path, roads="2", lane=-1, reverse=True)
    with korvale.Route(path) as route:
        assert route.rows == 302
        assert max(route.max_speed_at(d) for d in range(0, 300, 10)) == 50.0

    failed = str(tmp_path / "failed.txt")
    with pytest.raises(routes.RouteError, match=r"has no road '5'"):
        routes.from_opendrive(EXAMPLE_MAP, failed, roads=[1, 2, 5])
    with pytest.raises(routes.RouteError, match=r"has 2 roads; name the roads to drive"):
        routes.from_opendrive(EXAMPLE_MAP, failed)
    with pytest.raises(routes.RouteError, match=r"above 0 km/h"):
        routes.from_opendrive(EXAMPLE_MAP, failed, roads=[1], limit=0)
    assert isinstance(routes.RouteError("x"), korvale.KorvaleError)
    assert sorted(os.listdir(tmp_path)) == ["route.txt"]


def test_from_gps_builds_a_route_in_a_frame_that_round_trips(tmp_path):
    frame = routes.LocalFrame(47.0, 8.0, 400.0)
    track = tmp_path / "track.csv"
    with open(track, "w") as out:
        out.write("time,lat,lon,ele,maxspeed\n")
        for i in range(81):  # 400 m north, then the same fix again
            lat, lon, h = frame.reverse(0.0, 5.0 * i, 0.02 * i)
            out.write(f"{i},{lat!r},{lon!r},{h!r},30 mph\n")
        out.write(f"81,{lat!r},{lon!r},{h!r},30 mph\n")
    x, y, z = frame.forward(*frame.reverse(12.5, -7.25, 3.0))
    assert (x, y, z) == pytest.approx((12.5, -7.25, 3.0), abs=1e-6)

    path = str(tmp_path / "route.txt")
    built = routes.from_gps(str(track), path, step=4.0, origin=(47.0, 8.0, 400.0))
    assert built == routes.GpsRoute(path, 82, 1, 0, 101)
    with open(path) as text:
        assert text.readline() == "# origin 47 8 400\n"
    with korvale.Route(path) as route:
        assert route.length == pytest.approx(400.0, abs=0.1)
        assert route.max_speed_at(200.0) == pytest.approx(48.28, abs=0.01)

    with pytest.raises(routes.RouteError, match=r"latitude 95"):
        routes.LocalFrame(95.0, 0.0)
    with pytest.raises(routes.RouteError, match=r"neither GPX nor CSV"):
        routes.from_gps(EXAMPLE_MAP.replace("map.xodr", "route.txt"), str(tmp_path / "x.txt"))


JUNCTION_MAP = os.path.join(os.path.dirname(EXAMPLE_MAP), "junction.xodr")


def test_from_opendrive_finds_the_way_along_lanes_and_draws_it_on_the_map(tmp_path):
    path = str(tmp_path / "route.txt")
    # From the lane that ends, through the connecting road that starts at the second lane.
    routes.from_opendrive(JUNCTION_MAP, path, start="1:-3", end=(500.0, -5.0), step=2.0)
    with korvale.Route(path) as route:
        assert route.length == pytest.approx(500.0, abs=0.2)
        assert route.at_distance(310).max_speed == 80.0  # carried over junction road 10
        assert route.at_distance(450).max_speed == 100.0
    with open(path) as text:
        assert "# path: 1:-3, 1:-2 (lane change), 10:-1, 2:-2\n" in text.read()
    routes.from_opendrive(JUNCTION_MAP, path, start="1:-1", end="2:-1", via=[10])
    with open(path) as text:
        assert "10:-1" in text.read()
    with pytest.raises(routes.RouteError, match=r"no path from '2:-1' to '1:-1'"):
        routes.from_opendrive(JUNCTION_MAP, str(tmp_path / "none.txt"), start="2:-1", end="1:-1")
    with pytest.raises(routes.RouteError, match=r"needs both start and end"):
        routes.from_opendrive(JUNCTION_MAP, path, start="1:-1")

    pytest.importorskip("matplotlib")
    from korvale.__main__ import main

    picture = str(tmp_path / "map.png")
    assert main(["map", JUNCTION_MAP, "-o", picture, "--route", path]) == 0
    with open(picture, "rb") as image:
        assert image.read(8) == b"\x89PNG\r\n\x1a\n"
    assert main(["map", EXAMPLE_MAP + ".missing", "-o", picture]) == 1
