"""Vehicle presets, the model= choice and the braking advice of the Python package."""

import logging
import os
import warnings

import pytest

import korvale

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
