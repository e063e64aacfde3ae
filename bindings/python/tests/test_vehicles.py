"""Vehicle presets, the model= choice, the braking advice and the predictive model of the Python
package."""

import ctypes
import logging
import os
import warnings

import pytest

import korvale
from korvale._native import VehicleStruct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
EXAMPLE = os.path.join(ROOT, "examples", "route.txt")


def stop_route(tmp_path):
    """1 km flat at 50 km/h ending in a stop."""
    path = tmp_path / "stop.txt"
    path.write_text("".join(f"{x} 0 0 10000 {5 if x == 1000 else 50} 0\n"
                            for x in range(0, 1001, 10)))
    return str(path)


def test_library_messages_log_lines_and_version(tmp_path, caplog, capfd):
    missing = str(tmp_path / "missing.txt")
    with caplog.at_level(logging.INFO, logger="korvale"):
        with pytest.raises(korvale.LoadError, match="Can not load file for Korvale$"):
            korvale.Route(missing)
        with pytest.raises(korvale.VehicleError, match="^korvale_load_vehicle: vehicle refused: "
                           "vehicle_mass -1 is not above 0$"):
            korvale.Route(missing, {"vehicle_mass": -1, "drag_coefficient": -1})
        with pytest.raises(korvale.KorvaleError, match=r": gethostbyname\(\) failed: "):
            korvale.DashboardLink("", 9)
    lines = [(r.levelname, r.getMessage()) for r in caplog.records if r.name == "korvale"]
    assert ("WARNING", f"Can't open output file {missing}!") in lines
    assert ("INFO", "Can not load file for Korvale") in lines
    assert capfd.readouterr() == ("", "")

    # Back on the streams, the lines are as the library prints them.
    korvale.use_logging(False)
    try:
        with pytest.raises(korvale.LoadError):
            korvale.Route(missing)
        out, err = capfd.readouterr()
        assert out.endswith("data parser has -1 rows\nCan not load file for Korvale")
        assert err == f"Can't open output file {missing}!\n"
    finally:
        korvale.use_logging()

    class Old:
        pass

    with pytest.raises(korvale.KorvaleError, match="is version older than 0.2; this package "):
        korvale._check_version(Old(), "old")
    Old.korvale_version = staticmethod(lambda: 1000)
    with pytest.raises(korvale.KorvaleError, match="is version 0.1.0;"):
        korvale._check_version(Old(), "old")
    korvale._check_version(korvale.library(), "this build's")


def test_model_choice_warnings_and_refusals(tmp_path):
    path = stop_route(tmp_path)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with korvale.Route(path) as eco, korvale.Route(path, model="default") as default:
            assert eco.model == "eco" and default.model == "default"
            assert "eco model" in repr(eco)
            # the default model carries the stop's crawl back; the eco model ramps down to it
            assert default.recommended_speed_at(500) == 5.0
            assert eco.recommended_speed_at(100) == 50.0
            assert 20 < eco.recommended_speed_at(900) < 50
        powered = korvale.Vehicle.default()._replace(coast_power=1000.0)
        with korvale.Route(path, korvale.vehicles["bus"]._replace(coast_power=500.0)) as bus:
            assert bus.model == "parameterised"
        with korvale.Route(path, {"coast_power": 0}) as given:  # as the tool's --coast-power 0
            assert given.model == "default"
        with korvale.Route(path, powered, model="parameterised") as chosen:
            assert chosen.vehicle == powered

    with pytest.warns(UserWarning, match="the default model ignores drag_coefficient, frontal_area, vehicle_mass, "
                      "rolling_resistance$"):
        korvale.Route(path, korvale.vehicles["van"], model="default").close()
    with pytest.warns(UserWarning, match="the eco model ignores coast_power"):
        korvale.Route(path, powered, model="eco").close()
    with pytest.raises(ValueError, match="vehicle refused: gravity 0 is not above 0"):
        korvale.Route(path, korvale.BUILT_IN_VEHICLE._replace(gravity=0.0))
    with pytest.raises(ValueError, match="least_deceleration NaN is not a finite number"):
        korvale.Route(path, korvale.BUILT_IN_VEHICLE._replace(least_deceleration=float("nan")))
    with pytest.raises(ValueError, match="model 'fast'"):
        korvale.Route(path, model="fast")


def test_advice_keeps_lifts_off_and_brakes(tmp_path):
    with korvale.Route(stop_route(tmp_path)) as route:
        assert route.advice(0, 50, horizon=500) == korvale.Advice(korvale.Advice.KEEP, None, None,
                                                                 None, None)
        lift_off = route.advice(0, 50, horizon=2000)
        assert lift_off.action == korvale.Advice.LIFT_OFF
        assert lift_off.liftoff_distance == route.next_slowdown(0, 50, 2000).liftoff_distance
        brake = route.advice(950, 50)
        assert brake.action == korvale.Advice.BRAKE
        assert (brake.liftoff_distance, brake.target_distance, brake.target_speed) == (
            950.0, 1000.0, 5.0)
        assert brake.deceleration == pytest.approx(1.71023, abs=1e-5)


def test_vehicle_of_this_header_and_the_predictive_model(tmp_path):
    # Given more room, the library writes as many bytes as the ctypes struct has, and the last
    # field lands where the package reads it.
    room = ctypes.create_string_buffer(ctypes.sizeof(VehicleStruct) + 64)
    korvale.library().korvale_fill_default_vehicle(
        ctypes.cast(room, ctypes.POINTER(VehicleStruct)), len(room))
    assert ctypes.c_uint32.from_buffer(room).value == ctypes.sizeof(VehicleStruct)
    car, truck = korvale.BUILT_IN_VEHICLE, korvale.vehicles["truck"]
    assert car.powertrain == "ev" and car.time_budget == 0.02 and car.idle_power > 6000
    assert truck.max_power > car.max_power and korvale.MODELS["predictive"] == 3

    # A crest on a flat road that ends in a stop, for an ice truck with 5 % more time.
    path = tmp_path / "crest.txt"
    path.write_text("".join(
        f"{x} 0 {20 - abs(x - 1500) / 25 if 1000 < x < 2000 else 0} 10000 "
        f"{0 if x == 3000 else 80} 0\n" for x in range(0, 3001, 10)))
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with korvale.Route(str(path), {"preset": "truck", "powertrain": "ice",
                                       "time_budget": 0.05}, model="predictive") as route:
            assert route.vehicle == truck._replace(powertrain="ice", time_budget=0.05)
            speeds = [route.at_distance(d) for d in range(0, 3001, 100)]
            assert all(0 <= s.recommended_speed <= s.max_speed + 1e-9 for s in speeds)
            assert route.recommended_speed_at(1500) > 30
        korvale.Route(str(path), "truck").close()  # the preset's drive: nothing ignored
        # the first ten values: the drive is the built-in car's
        with korvale.Route(str(path), tuple(truck)[:10], model="predictive") as route:
            assert route.vehicle == truck._replace(**{f: getattr(car, f) for f in
                                                      korvale.Vehicle._fields[10:]})

    with pytest.warns(UserWarning, match="the eco model ignores max_power, time_budget$"):
        korvale.Route(str(path), {"max_power": 1.0, "time_budget": 0.1}).close()
    # a preset's Vehicle with its powertrain changed still has the preset's drive
    with pytest.warns(UserWarning, match="the eco model ignores powertrain$"):
        korvale.Route(str(path), truck._replace(powertrain="ice")).close()
    with pytest.raises(korvale.VehicleError, match="vehicle refused: idle_power -1"):
        korvale.Route(str(path), {"preset": "truck", "idle_power": -1}, model="predictive")
    with pytest.raises(ValueError, match="powertrain 'steam' is none of ev, ice"):
        korvale.Route(str(path), {"powertrain": "steam"}, model="predictive")
