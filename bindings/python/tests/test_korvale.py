"""The Python package against the built shared library (KORVALE_LIBRARY points at it)."""

import math
import os
import re
import socket
import struct
import subprocess
import sys

import pytest

import korvale

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
EXAMPLE = os.path.join(ROOT, "examples", "route.txt")


def write_route(tmp_path, rows, name="route.txt"):
    path = tmp_path / name
    path.write_text("".join(" ".join(repr(float(v)) for v in row) + "\n" for row in rows))
    return str(path)


def test_route_columns_and_queries_by_distance(tmp_path):
    path = write_route(
        tmp_path,
        [(0, 0, 0, 10000, 10, 0), (10, 0, 0, 10000, 20, 0), (20, 0, 0, 10000, 40, 0)],
    )
    with korvale.Route(path) as route:
        assert route.rows == 3
        assert route.length == 20.0
        assert list(route.distance) == [0.0, 10.0, 20.0]
        assert list(route.x) == [0.0, 10.0, 20.0]
        assert list(route.y) == list(route.z) == [0.0, 0.0, 0.0]
        assert route.at_distance(15).max_speed == 30.0
        assert route.max_speed_at(-5) == 5.0  # extrapolated below the start
        # coasting and recommended hold their end values outside the route
        assert route.recommended_speed_at(25) == route.at_distance(20).recommended_speed
        assert route.position_at(5) == (5.0, 0.0, 0.0)
        assert "3 rows" in repr(route)
    with pytest.raises(ValueError):
        route.at_distance(1.0)
    route.close()  # closing twice is harmless


def test_positions_are_tracked_along_the_example_route():
    with korvale.Route(EXAMPLE) as route:
        for d in range(0, int(route.length), 50):
            x, y, z = route.position_at(d)
            found = route.at_position(x, y + 0.5, z)
            assert abs(found.distance - d) < 1.0
            assert found.recommended_speed <= found.max_speed + 1e-9
        x, y, z = route.position_at(route.length / 2)
        assert abs(route.distance_at(x, y, z, full_search=True) - route.length / 2) < 1e-6


def test_bad_route_raises_and_python_goes_on(tmp_path):
    with pytest.raises(korvale.LoadError):
        korvale.Route(str(tmp_path / "missing.txt"))
    with pytest.raises(korvale.LoadError):
        korvale.Route(write_route(tmp_path, [], name="empty.txt"))
    # A custom vehicle: the parameterised model.
    vehicle = korvale.Vehicle.default()._replace(coast_power=1000.0)
    with korvale.Route(EXAMPLE, vehicle) as route:
        assert all(math.isfinite(route.coasting_speed_at(d)) for d in range(0, 4000, 100))


def test_dashboard_link_sends_a_status_record():
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(5)
    port = receiver.getsockname()[1]
    with korvale.DashboardLink("127.0.0.1", port) as link:
        link.send_status(i1=7, r1=1.5, r2=2.5, r3=3.5, r4=4.5, flag=1, time_stamp=1.0, i2=9)
        data = receiver.recv(1024)
        assert len(data) == 76
        assert struct.unpack_from("<fff", data, 0) == (1.5, 2.5, 4.5)
        assert struct.unpack_from("<f", data, 16)[0] == 3.5
        assert struct.unpack_from("<i", data, 36)[0] == 7
        assert struct.unpack_from("<i", data, 72)[0] == 9
        assert link.send_plot([1.0, 2.0], [3.0], 2.0) == 2.0
        assert struct.unpack("<3d", receiver.recv(1024)) == (1.0, 2.0, 3.0)
    receiver.close()


def test_plot_command_draws_a_png(tmp_path):
    pytest.importorskip("matplotlib")
    output = tmp_path / "profile.png"
    env = dict(os.environ, PYTHONPATH=os.path.join(HERE, ".."))
    done = subprocess.run(
        [sys.executable, "-m", "korvale", "plot", EXAMPLE, "-o", str(output)],
        env=env, capture_output=True, text=True, check=False,
    )
    assert done.returncode == 0, done.stderr
    assert output.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    missing = subprocess.run(
        [sys.executable, "-m", "korvale", "plot", str(tmp_path / "nope.txt")],
        env=env, capture_output=True, text=True, check=False,
    )
    assert missing.returncode == 1
    assert "error: cannot load route file" in missing.stderr
    with pytest.raises(ValueError):
        korvale.plot(EXAMPLE, str(output), step=0)
    with pytest.raises(ValueError):
        korvale.plot(EXAMPLE, str(output), cruise=90, horizon=0)


def test_advice_and_offset(tmp_path):
    path = write_route(
        tmp_path,
        [(0, 0, 0, 10000, 100, 0), (100, 0, 0, 10000, 100, 0), (200, 0, 0, 100, 100, 0.05),
         (300, 0, 0, 10000, 100, 0)],
    )
    with korvale.Route(path) as route:
        ahead = route.next_slowdown(0, 60)
        assert ahead.distance == 200.0
        assert ahead.target_speed == pytest.approx(52.371, abs=5e-4)
        assert ahead.liftoff_distance == pytest.approx(44.70, abs=5e-3)
        assert route.next_slowdown(0, 60, horizon=150) is None
        assert route.offset_from_route() == -1.0
        route.at_position(150, 3, 4)
        assert route.offset_from_route() == 5.0


def test_built_in_vehicle_is_the_librarys_own():
    assert korvale.Vehicle.default() == korvale.BUILT_IN_VEHICLE == korvale.vehicles["car"]
    assert korvale.BUILT_IN_VEHICLE.vehicle_mass > 1000 and korvale.BUILT_IN_VEHICLE.coast_power == 0


def test_vehicle_overrides_offset_property_and_unreadable_files(tmp_path, capfd):
    heavy = korvale.Route(EXAMPLE, vehicle={"vehicle_mass": 40000, "model_switch": 1})
    assert heavy.vehicle == korvale.BUILT_IN_VEHICLE._replace(vehicle_mass=40000.0,
                                                              model_switch=1.0)
    with korvale.Route(EXAMPLE, vehicle=tuple(heavy.vehicle)) as same:
        assert same.at_distance(2000.0) == heavy.at_distance(2000.0)
    with pytest.raises(ValueError, match="unknown vehicle parameter 'mass'"):
        korvale.Route(EXAMPLE, vehicle={"mass": 1})
    with pytest.raises(ValueError, match="parameters, not 2"):
        korvale.Route(EXAMPLE, vehicle=(1, 2))
    with korvale.Route(EXAMPLE, vehicle={"preset": "truck", "vehicle_mass": 38000}) as truck:
        assert truck.vehicle == korvale.vehicles["truck"]._replace(vehicle_mass=38000.0)
    with korvale.Route(EXAMPLE, vehicle="bus") as bus:
        assert bus.vehicle == korvale.vehicles["bus"]
    with pytest.raises(ValueError, match="unknown vehicle preset 'tank'"):
        korvale.Route(EXAMPLE, vehicle={"preset": "tank"})
    assert heavy.offset == -1.0
    heavy.at_position(*heavy.position_at(100.0))
    assert heavy.offset == heavy.offset_from_route() == pytest.approx(0.0, abs=1e-9)
    heavy.close()
    capfd.readouterr()
    for path in (tmp_path / "missing.txt", tmp_path):
        with pytest.raises(korvale.LoadError, match="Can not load file for Korvale$"):
            korvale.Route(path)
    assert capfd.readouterr() == ("", "")  # the library's lines went to the silent logger


def test_plot_names_the_route_and_keeps_its_marks_inside_the_axes(tmp_path):
    pytest.importorskip("matplotlib")
    flat = write_route(tmp_path, [(x, 0, 0, 10000, 30 if x >= 800 else 80, 0)
                                  for x in range(0, 1001, 10)], name="flat_road.txt")
    with korvale.Route(flat) as route:
        figure = korvale._profile_figure(route, 5.0, 150.0, 1000.0)
    speed_axis, height_axis = figure.axes
    assert "flat_road.txt" in speed_axis.get_title()
    low, high = speed_axis.get_ylim()
    marks = [y for line in speed_axis.get_lines() for y in line.get_ydata()]
    marks += [y for text in speed_axis.texts for y in (text.xy[1], text.xyann[1])]
    assert 150.0 in marks and all(low <= y <= high for y in marks)
    bottom, top = height_axis.get_ylim()
    assert top - bottom >= 10.0  # a flat road looks flat
    figure.canvas.draw()
    legend = figure.legends[0].get_window_extent()
    assert not legend.overlaps(speed_axis.get_window_extent())
