"""korvale.simulate: the drives' figures and traces, a drive's fields among the vehicle's, and
bad input as ValueError."""

import os

import pytest

import korvale
import korvale.__main__

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "..", "examples", "route.txt")

pytestmark = pytest.mark.skipif(not os.environ.get("KORVALE_TOOL"),
                                reason="needs the korvale tool (KORVALE_TOOL)")


def test_simulate_gives_each_drive_its_figures_and_trace(tmp_path):
    drives = korvale.simulate(EXAMPLE, drivers=["advice"], powertrain="ice",
                              vehicle={"preset": "car", "max_power": 80000.0})
    assert list(drives) == ["limit", "advice"]
    for drive in drives.values():
        trace = drive.trace
        assert len(trace["t"]) == len(trace["v"]) == len(trace["fuel_power"]) > 1000
        assert min(trace["v"]) >= 0.0 and trace["s"][-1] > 4704.0
        assert max(trace["drive_force"] * trace["v"]) <= 80000.0 * (1 + 1e-6)
        assert drive.figures["time_above_max_speed_s"] == 0
    assert drives["advice"].figures["fuel_g_per_km"] < drives["limit"].figures["fuel_g_per_km"]

    with pytest.raises(ValueError, match="powertrain .steam. is none of ev, ice"):
        korvale.simulate(EXAMPLE, powertrain="steam")
    with pytest.raises(ValueError, match="unknown vehicle parameter"):
        korvale.simulate(EXAMPLE, vehicle={"wings": 2})

    out = tmp_path / "drives.png"
    pytest.importorskip("matplotlib")
    assert korvale.__main__.main(["simulate", EXAMPLE, "--drivers", "limit",
                                  "--plot", str(out)]) == 0
    assert out.stat().st_size > 10000


def test_simulate_picks_the_model_as_route_does():
    # coast_power given (even 0) selects a model by the library's rule, as korvale.Route does;
    # the advice then differs from the eco model's.
    vehicle = {"preset": "van", "coast_power": 0}
    with pytest.warns(UserWarning, match="default model ignores"):
        assert korvale.Route(EXAMPLE, vehicle).model == "default"
        picked = korvale.simulate(EXAMPLE, drivers=["advice"], vehicle=vehicle)["advice"].figures
        named = korvale.simulate(EXAMPLE, drivers=["advice"], vehicle="van", model="default")
    eco = korvale.simulate(EXAMPLE, drivers=["advice"], vehicle="van")
    assert picked == named["advice"].figures != eco["advice"].figures
    with pytest.raises(ValueError, match="none of default, parameterised, eco"):
        korvale.simulate(EXAMPLE, model="fast")


def test_simulate_drives_the_predictive_model_within_its_time_budget(capsys):
    truck = {"preset": "truck", "powertrain": "ice"}
    eco = korvale.simulate(EXAMPLE, drivers=["recommended"], vehicle=truck)
    tight, roomy = (korvale.simulate(EXAMPLE, drivers=["recommended"], model="predictive",
                                     vehicle=dict(truck, time_budget=budget))
                    for budget in (0.02, 0.10))
    limit = tight["limit"].figures
    assert "fuel_g_per_km" in limit and limit == eco["limit"].figures == roomy["limit"].figures
    as_vehicle = korvale.vehicles["truck"]._replace(powertrain="ice")
    assert korvale.simulate(EXAMPLE, drivers="limit", vehicle=as_vehicle)["limit"].figures == limit
    assert tight["recommended"].figures != eco["recommended"].figures
    # the budget reaches the tool as a percentage
    times = [d["recommended"].figures["trip_time_s"] / limit["trip_time_s"] for d in (tight, roomy)]
    assert times[0] <= 1.02 + 1e-3 and 1.03 < times[1] <= 1.10 + 1e-3
    assert (roomy["recommended"].figures["fuel_g_per_km"]
            < tight["recommended"].figures["fuel_g_per_km"])

    assert korvale.__main__.main(["simulate", EXAMPLE, "--drivers", "recommended", "--vehicle",
                                  "truck", "--powertrain", "ice", "--model", "predictive",
                                  "--time-budget", "10"]) == 0
    printed = capsys.readouterr().out
    assert f"{roomy['recommended'].figures['trip_time_s']:8.1f} s" in printed
    with pytest.raises(ValueError, match="idle_fuel"):
        korvale.simulate(EXAMPLE, vehicle={"idle_power": 1.0})
