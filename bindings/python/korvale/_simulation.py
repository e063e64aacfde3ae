"""Simulated drives: korvale.simulate(route, ...) drives a route by the limit-following baseline,
the advice follower, the recommended-speed cruise controller and the energy-optimal drive, and
gives each drive's figures and trace.

The drives run in the korvale command-line tool (`korvale simulate --json --trace DIR`), found
through the KORVALE_TOOL environment variable (a path), beside the library that KORVALE_LIBRARY
names (a build tree's tools/korvale, an installed tree's bin/korvale), or on the PATH.
"""

import csv
import json
import os
import shutil
import subprocess
import tempfile
from collections import namedtuple
from collections.abc import Mapping

TOOL_VARIABLE = "KORVALE_TOOL"
DRIVERS = ("limit", "advice", "recommended", "optimal")

Drive = namedtuple("Drive", "figures trace")
Drive.__doc__ = """One driver's drive: figures, a dict of its figures (trip_time_s, mean_speed_kmh,
energy_Wh_per_km, saving_percent, ... as `korvale simulate --json` names them), and trace, a
dict of its columns (t, s, v, a, grade, drive_force, brake_force, wheel_power, battery_power or
fuel_power, energy), each an array."""

# What korvale simulate takes besides the vehicle's fields, as its options of these names: the
# engine's idle consumption (l/h) and its fuel, and two older names of drive fields
# (max_regen_power, engine_efficiency).
DRIVE_FIELDS = ("idle_fuel", "heating_value", "fuel_density", "regen_power", "wheel_efficiency")
# The vehicle's fields whose options the tool names otherwise, and the factor from the field's
# unit to the option's.
_TOOL_OPTIONS = {
    "max_regen_power": ("--regen-power", 1.0),
    "engine_efficiency": ("--wheel-efficiency", 1.0),
    "time_budget": ("--time-budget", 100.0),
}


def find_tool():
    """The korvale tool that runs the drives; raises KorvaleError when there is none."""
    from . import KorvaleError

    explicit = os.environ.get(TOOL_VARIABLE)
    if explicit:
        return explicit
    library = os.environ.get("KORVALE_LIBRARY")
    if library:
        here = os.path.dirname(os.path.abspath(library))
        for candidate in (os.path.join(here, "tools", "korvale"),
                          os.path.join(here, "..", "bin", "korvale")):
            if os.path.isfile(candidate) and os.access(candidate, os.X_OK):
                return candidate
    found = shutil.which("korvale")
    if found:
        return found
    raise KorvaleError("korvale.simulate needs the korvale tool: name it with KORVALE_TOOL, or "
                       "put it on the PATH")


def _option(field):
    return "--" + field.replace("_", "-")


def _vehicle_options(vehicle, model, powertrain):
    """The tool's options for what korvale.Route accepts as a vehicle and a model, the
    powertrain (the vehicle's unless one is given), and korvale simulate's own drive fields
    among a mapping's entries. The model is Route's: the one named, else the one that the
    library's rule picks for the vehicle, and the tool is told it by name. The drivers drive
    with the vehicle's drive whatever the model, so no drive field is reported as ignored."""
    from . import Vehicle, _choose_model, _field_value, _vehicle, vehicles

    options = []
    if isinstance(vehicle, Mapping):
        vehicle = dict(vehicle)
        for field in DRIVE_FIELDS:
            if field in vehicle:
                options += [_option(field), repr(float(vehicle.pop(field)))]
    given, selector_given, base = _vehicle(vehicle)
    if powertrain is not None:
        given = given._replace(powertrain=_field_value("powertrain", powertrain))
    _, model = _choose_model(given, model, selector_given, given)
    name = next(n for n, v in vehicles.items() if v == base)
    options += ["--vehicle", name, "--model", model, "--powertrain", given.powertrain]
    for field, value in zip(Vehicle._fields, given):
        if field == "powertrain" or value == getattr(base, field):
            continue
        if field == "idle_power":
            # The tool takes the idle consumption with the engine's fuel, which the library
            # does not tell.
            raise ValueError("korvale.simulate takes an engine's idle consumption as idle_fuel "
                             "(l/h of the preset's fuel), not as idle_power")
        option, scale = _TOOL_OPTIONS.get(field, (_option(field), 1.0))
        options += [option, repr(value * scale)]
    return options


def _read_trace(path):
    from . import _as_array

    with open(path, newline="") as f:
        rows = [line for line in f if not line.startswith("#")]
    table = list(csv.reader(rows))
    names, values = table[0], table[1:]
    return {name: _as_array([float(row[i]) for row in values]) for i, name in enumerate(names)}


def simulate(route, drivers=DRIVERS, powertrain=None, vehicle=None, model=None, dt=0.1,
             horizon=1000.0, stand_time=0.0):
    """Drives the route by each driver (the baseline "limit" always) and returns a dict from
    driver name ("limit", "advice", "recommended", "optimal", "optimal@advice") to its Drive.
    vehicle is what korvale.Route takes (None, a preset's name, a Vehicle, or a mapping of
    fields over a preset), its drive fields (max_power, ..., time_budget) included; a mapping
    may hold korvale simulate's own too: idle_fuel (l/h, in place of idle_power), heating_value
    and fuel_density. powertrain, "ev" or "ice", replaces the vehicle's; model is the speed
    model of the advice and recommended drivers ("predictive" plans within the vehicle's
    time_budget), named or picked as korvale.Route picks it.
    Raises ValueError for bad input (the tool's message) and KorvaleError when the tool is
    missing."""
    from . import KorvaleError

    if isinstance(drivers, str):
        drivers = (drivers,)
    tool = find_tool()
    with tempfile.TemporaryDirectory(prefix="korvale_simulate_") as traces:
        command = [tool, "simulate", os.fspath(route),
                   "--drivers", ",".join(drivers), "--dt", repr(float(dt)),
                   "--horizon", repr(float(horizon)), "--stand-time", repr(float(stand_time)),
                   "--json", "--trace", traces]
        command += _vehicle_options(vehicle, model, powertrain)
        try:
            done = subprocess.run(command, capture_output=True, text=True, check=False)
        except OSError as error:
            raise KorvaleError(f"cannot run the korvale tool {tool!r}: {error}") from None
        if done.returncode != 0:
            lines = [line for line in done.stderr.splitlines() if line.startswith("korvale:")]
            raise ValueError(lines[-1] if lines else done.stderr.strip())
        result = json.loads(done.stdout)
        return {figures["driver"]: Drive(figures,
                                         _read_trace(os.path.join(traces,
                                                                  figures["driver"] + ".csv")))
                for figures in result["drivers"]}


def plot(drives, route, output):
    """Speed against distance for each drive over the maximum speed, and cumulative energy
    below, into the image file output (matplotlib)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    from . import Route

    figure, (speed, energy) = plt.subplots(2, 1, figsize=(11, 7), sharex=True,
                                           gridspec_kw={"height_ratios": [3, 2]})
    with Route(route) as profile:
        distance = list(profile.distance)
        speed.plot(distance, [profile.max_speed_at(d) for d in distance], color="black",
                   linestyle="--", linewidth=1.0, label="maximum speed (limit)")
    for name, drive in drives.items():
        s, v, e = drive.trace["s"], drive.trace["v"], drive.trace["energy"]
        speed.plot(s, [x * 3.6 for x in v], linewidth=1.0, label=name)
        energy.plot(s, [x / 3.6e6 for x in e], linewidth=1.0, label=name)
    speed.set_ylabel("speed (km/h)")
    speed.legend(loc="lower right", fontsize="small")
    energy.set_ylabel("energy (kWh)")
    energy.set_xlabel("distance (m)")
    figure.tight_layout()
    figure.savefig(output, dpi=110)
    plt.close(figure)
    return output
