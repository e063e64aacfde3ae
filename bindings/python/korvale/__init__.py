"""Python access to korvale: the speed profile of a known road route, and a dashboard link.

    import korvale
    with korvale.Route("examples/route.txt") as route:
        print(route.rows, route.length)
        print(route.at_distance(1200.0))          # maximum, recommended, coasting speed (km/h)
        print(route.at_position(x, y, z))         # distance along the route and the three speeds

The shared library is found next to this package, through the KORVALE_LIBRARY environment
variable (a path), or on the system's library path; it must be at least the version this package
was written for (WRITTEN_FOR). Columns come back as numpy arrays when numpy is importable, else
as lists. Failures raise KorvaleError with the library's own message; a bad route file raises
LoadError and never ends Python. The library's lines go to the logger "korvale" of the logging
module (silent unless the program configures logging) from the first Route or DashboardLink on,
or from use_logging().
"""

import ctypes
import logging
import math
import os
import warnings
from collections import namedtuple
from collections.abc import Mapping

from ._native import (
    DRIVE_FIELDS,
    MODEL_FIELDS,
    POWERTRAINS,
    LinkHandle,
    LogFunction,
    ProfileHandle,
    VehicleStruct,
    load_library,
)

__all__ = [
    "Advice",
    "BUILT_IN_VEHICLE",
    "DashboardLink",
    "Drive",
    "KorvaleError",
    "LoadError",
    "MODELS",
    "POWERTRAINS",
    "Route",
    "Vehicle",
    "VehicleError",
    "SpeedsAtDistance",
    "SpeedsAtPosition",
    "Slowdown",
    "WRITTEN_FOR",
    "library",
    "plot",
    "routes",
    "simulate",
    "use_logging",
    "vehicles",
]

try:  # optional
    import numpy as _numpy
except ImportError:  # pragma: no cover - depends on the machine
    _numpy = None

# The library's version that this package was written for (major, minor): a library of the same
# major version and at least this minor version has everything it uses.
WRITTEN_FOR = (0, 3)

logger = logging.getLogger("korvale")
logger.addHandler(logging.NullHandler())  # silent unless the program configures logging


class KorvaleError(Exception):
    """A failure reported by korvale."""


class LoadError(KorvaleError):
    """A route file that yields no rows (missing, unreadable, no line of six numbers)."""


class VehicleError(KorvaleError, ValueError):
    """A vehicle that the library refuses: it makes no physical sense."""


_SPEED_MODEL_FIELDS = (
    "drag_coefficient frontal_area air_density vehicle_mass gravity rolling_resistance "
    "coast_power model_switch brake_deceleration least_deceleration".split())
Vehicle = namedtuple(
    "Vehicle",
    _SPEED_MODEL_FIELDS + ["powertrain", *DRIVE_FIELDS],
    defaults=(1.0, 0.15) + (None,) * (1 + len(DRIVE_FIELDS)),
)
Vehicle.__doc__ = """The eight vehicle parameters of the coasting models, then the eco model's
brake deceleration (m/s^2, braking on descents) and least deceleration (m/s^2, the least it
plans with), then the drive that only the predictive model plans with: powertrain ("ev" or
"ice"), max_power (W), max_acceleration (m/s^2), comfortable_braking (m/s^2, how late the
limit-following driver brakes), rotating_mass_factor, drive_efficiency, regen_efficiency,
max_regen_power (W) and aux_power (W) of the ev, engine_efficiency and idle_power (W of fuel) of
the ice, and time_budget (the plan may take up to 1 + time_budget times the limit-following
driver's trip time; 0.02 by default). A drive field left None takes the built-in car's value
when the vehicle is used. Vehicle.default() is the library's built-in car with coast_power and
model_switch 0; korvale.vehicles holds the library's presets. Change a preset with _replace:
korvale.vehicles["truck"]._replace(vehicle_mass=40000.0, powertrain="ice")."""
Vehicle.default = staticmethod(lambda: _tables()["BUILT_IN_VEHICLE"])

# The drive's fields: what only the predictive model plans with.
_DRIVE = Vehicle._fields[len(_SPEED_MODEL_FIELDS):]
_ECO = Vehicle._fields[:6] + ("brake_deceleration", "least_deceleration")
# The fields each model plans with, by model number (the default model plans with the built-in
# car alone; the predictive model carries the eco rule back from its plan for the coasting
# column).
_USED = {
    0: (),
    1: Vehicle._fields[:7],
    2: _ECO,
    3: _ECO + _DRIVE,
}

_table_cache = {}


def _from_struct(struct):
    values = {name: getattr(struct, name) for name in MODEL_FIELDS + DRIVE_FIELDS}
    return Vehicle(**values, model_switch=0.0, powertrain=POWERTRAINS[struct.powertrain])


def _to_struct(vehicle):
    """The korvale_vehicle of a Vehicle whose fields are all set."""
    struct = VehicleStruct(ctypes.sizeof(VehicleStruct))
    for name in MODEL_FIELDS + DRIVE_FIELDS:
        setattr(struct, name, float(getattr(vehicle, name)))
    struct.powertrain = POWERTRAINS.index(vehicle.powertrain)
    return struct


def _tables():
    """The library's tables: BUILT_IN_VEHICLE, vehicles (the presets by name) and MODELS (the
    models' numbers by name), read once."""
    if not _table_cache:
        lib = library()
        size = ctypes.sizeof(VehicleStruct)
        struct = VehicleStruct()
        presets = {}
        for name in _names(lib.korvale_vehicle_preset_name):
            lib.korvale_fill_vehicle_preset(name, ctypes.byref(struct), size)
            presets[name.decode()] = _from_struct(struct)
        lib.korvale_fill_default_vehicle(ctypes.byref(struct), size)
        _table_cache["BUILT_IN_VEHICLE"] = _from_struct(struct)
        _table_cache["MODELS"] = {
            name.decode(): number for number, name in enumerate(_names(lib.korvale_model_name))}
        _table_cache["vehicles"] = presets
    return _table_cache


def _names(name_at):
    """name_at(0), name_at(1), ... up to the first NULL."""
    names = []
    while (name := name_at(len(names))) is not None:
        names.append(name)
    return names


def __getattr__(name):
    """BUILT_IN_VEHICLE, vehicles and MODELS come from the library, on first use."""
    if name in ("BUILT_IN_VEHICLE", "vehicles", "MODELS"):
        return _tables()[name]
    raise AttributeError(f"module 'korvale' has no attribute {name!r}")


def _choose_model(vehicle, model, selector_given, base):
    """The model's number and name: model when given, else the library's rule (eco, unless
    coast_power or model_switch was given). Warns about fields of the vehicle that the model
    ignores and that are not the built-in car's (the drive's: not those of base, the preset the
    vehicle was made from)."""
    built_in = _tables()["BUILT_IN_VEHICLE"]
    if model is None:
        selected = selector_given
        model = library().korvale_model_name(
            _when_unnamed(vehicle.coast_power, vehicle.model_switch, selector_given)).decode()
    else:
        selected = False
    number = library().korvale_model_from_name(str(model).encode())
    if number < 0:
        raise ValueError(f"model {model!r} is none of " + ", ".join(_tables()["MODELS"]))
    ignored = [
        name for name in Vehicle._fields
        if name not in _USED.get(number, Vehicle._fields)
        and not (selected and name in ("coast_power", "model_switch"))
        and getattr(vehicle, name) != getattr(base if name in _DRIVE else built_in, name)
    ]
    if ignored:
        warnings.warn(f"the {model} model ignores " + ", ".join(ignored), stacklevel=3)
    return number, model


def _when_unnamed(coast_power, model_switch, selector_given):
    """The model number that the library's rule picks when no model is named: eco unless
    coast_power or model_switch was given, then parameterised for either above 0, else the
    default model."""
    if not selector_given:
        return 2
    return 0 if coast_power <= 0 and model_switch <= 0 else 1


def _preset(name):
    presets = _tables()["vehicles"]
    try:
        return presets[name]
    except KeyError:
        raise ValueError(f"unknown vehicle preset {name!r}; the presets are "
                         + ", ".join(presets)) from None


def _field_value(name, value):
    """A field's value as a Vehicle holds it: the powertrain's name, or a float."""
    if name != "powertrain":
        return float(value)
    if value not in POWERTRAINS:
        raise ValueError(f"powertrain {value!r} is none of " + ", ".join(POWERTRAINS))
    return value


def _vehicle(value):
    """A Vehicle from what Route accepts, with every field set, whether coast_power or
    model_switch was given, and the preset it was made from (for a Vehicle: the one whose drive
    it shares most fields with, the built-in car first): None (the built-in car), a preset's
    name, a Vehicle or its values in its order (eight, ten or all; a coasting field that is not
    0 was given; a drive field that is None takes the built-in car's), or a mapping of some of
    its fields over the built-in car, or over the preset that its "preset" entry names."""
    built_in = _tables()["BUILT_IN_VEHICLE"]
    if value is None:
        return built_in, False, built_in
    if isinstance(value, str):
        return _preset(value), False, _preset(value)
    if isinstance(value, Mapping):
        fields = dict(value)
        base = _preset(fields.pop("preset")) if "preset" in fields else built_in
        unknown = sorted(set(fields) - set(Vehicle._fields))
        if unknown:
            raise ValueError(f"unknown vehicle parameter {unknown[0]!r}; the parameters are "
                             + ", ".join(Vehicle._fields))
        given = "coast_power" in fields or "model_switch" in fields
        changes = {k: _field_value(k, v) for k, v in fields.items() if v is not None}
        return base._replace(**changes), given, base
    values = tuple(value)
    try:
        vehicle = Vehicle(*values)
    except TypeError:
        raise ValueError(f"a vehicle has {len(Vehicle._fields) - len(Vehicle._field_defaults)} to "
                         f"{len(Vehicle._fields)} parameters, not {len(values)}") from None
    vehicle = Vehicle(*(getattr(built_in, name) if v is None else _field_value(name, v)
                        for name, v in zip(Vehicle._fields, vehicle)))
    # A preset with a field or two changed (its powertrain, say) was still made from it.
    base = max(_tables()["vehicles"].values(),
               key=lambda p: sum(getattr(p, name) == getattr(vehicle, name) for name in _DRIVE))
    return vehicle, vehicle.coast_power != 0 or vehicle.model_switch != 0, base

SpeedsAtDistance = namedtuple("SpeedsAtDistance", "max_speed recommended_speed coasting_speed")
SpeedsAtPosition = namedtuple(
    "SpeedsAtPosition", "distance max_speed recommended_speed coasting_speed"
)
Slowdown = namedtuple("Slowdown", "distance target_speed liftoff_distance")
Advice = namedtuple(
    "Advice", "action liftoff_distance target_distance target_speed deceleration"
)
Advice.__doc__ = """What to do about the next slow-down: action KEEP (no slow-down within the
horizon; the other fields None), LIFT_OFF (coast from liftoff_distance, m) or BRAKE (coasting is
too late: brake at deceleration, m/s^2); the slow-down's distance (m) and target speed (km/h)."""
Advice.KEEP, Advice.LIFT_OFF, Advice.BRAKE = 0, 1, 2

_library = None
_log_function = None  # the ctypes callback that the library holds, kept alive here
_logging_chosen = False


def library():
    """The loaded shared library (ctypes.CDLL) with every export declared; KorvaleError when it
    is older than WRITTEN_FOR or of another major version."""
    global _library
    if _library is None:
        lib = load_library()
        _check_version(lib, getattr(lib, "_name", "the korvale library"))
        _library = lib
    return _library


def _check_version(lib, name):
    major, minor = WRITTEN_FOR
    version = lib.korvale_version() if hasattr(lib, "korvale_version") else None
    if version is None or version // 1000000 != major or version // 1000 % 1000 < minor:
        found = ("older than 0.2" if version is None else
                 f"{version // 1000000}.{version // 1000 % 1000}.{version % 1000}")
        raise KorvaleError(f"{name} is version {found}; this package needs {major}.{minor} "
                           f"or a later {major}.x (set KORVALE_LIBRARY to one)")


def _last_error():
    text = ctypes.create_string_buffer(512)
    library().korvale_last_error(text, len(text))
    return text.value.decode(errors="replace")


def _to_logging(level, line, _user):
    logger.log(logging.WARNING if level == 1 else logging.INFO, "%s",
               line.decode(errors="replace"))


def use_logging(enabled=True):
    """Sends the library's lines to the logger "korvale" (those that go to standard output by
    default at INFO, those of standard error at WARNING), for the whole process; with enabled
    false, back to standard output and error. Route and DashboardLink call it when first
    made."""
    global _log_function, _logging_chosen
    _logging_chosen = True
    if enabled:
        if _log_function is None:
            _log_function = LogFunction(_to_logging)
            library().korvale_set_log(_log_function, None)
    elif _log_function is not None:
        library().korvale_set_log(LogFunction(), None)
        _log_function = None


def _first_object():
    """Installs the logger when the first Route or DashboardLink is made, unless the program
    chose already with use_logging()."""
    if not _logging_chosen:
        use_logging()


def _as_array(values):
    if _numpy is not None:
        return _numpy.array(values, dtype=float)
    return list(values)


class _Handle:
    """An object of the library behind a handle: released by close(), at the end of a with
    block, or when garbage-collected; any use after close() raises ValueError."""

    _release = None  # name of the export that releases the handle
    _what = "object"

    def close(self):
        """Releases the handle; closing twice is harmless."""
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            getattr(self._lib, self._release)(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()

    def _live(self):
        if not getattr(self, "_handle", None):
            raise ValueError(f"{self._what} is closed")
        return self._handle


class Route(_Handle):
    """The speed profile of one route file. Not for use from two threads at once."""

    _release = "deinitialize_korvale"
    _what = "route"

    def __init__(self, path, vehicle=None, model=None):
        """path: the route file. vehicle: None for the built-in car, a preset's name ("van"), a
        Vehicle (or its first eight or ten values) such as korvale.vehicles["van"], or a dict of
        some fields over the built-in car, such as {"vehicle_mass": 40000}, or over a preset,
        such as {"preset": "truck", "powertrain": "ice", "time_budget": 0.05}. model: a name of
        korvale.MODELS ("predictive" plans the energy-optimal drive of the vehicle's drive
        fields within its time_budget); when None, the eco model, unless coast_power or
        model_switch was given (a dict's key, a number that is not 0): then the parameterised
        model for either above 0, else the default one. The model and vehicle used are in
        route.model and route.vehicle. ValueError for a powertrain that is not "ev" or "ice".
        VehicleError (a ValueError) with the library's message for a vehicle that makes no
        physical sense, LoadError with it for a route file that yields no rows."""
        vehicle, selector_given, base = _vehicle(vehicle)
        number, model = _choose_model(vehicle, model, selector_given, base)
        self._lib = library()
        _first_object()
        fields = _to_struct(vehicle)
        handle = self._lib.korvale_load_vehicle(os.fsencode(path), ctypes.byref(fields), number)
        if not handle:
            message = _last_error()
            if message.startswith("korvale_load_vehicle:"):
                raise VehicleError(message)
            raise LoadError(f"cannot load route file {str(path)!r}: {message}")
        self._handle = handle
        self.path = path
        self.vehicle = vehicle
        self.model = model

    # -- size and columns
    @property
    def rows(self):
        return int(self._lib.get_korvale_rows(self._live()))

    @property
    def length(self):
        """Length of the route along its points, m."""
        return float(self._lib.get_max_distance_korvale(self._live()))

    def _column(self, name):
        handle = self._live()
        n = self._lib.get_korvale_rows(handle)
        buffer = (ctypes.c_double * n)()
        getattr(self._lib, name)(handle, buffer, n)
        return _as_array(buffer)

    @property
    def x(self):
        return self._column("get_korvale_x_vec")

    @property
    def y(self):
        return self._column("get_korvale_y_vec")

    @property
    def z(self):
        return self._column("get_korvale_z_vec")

    @property
    def distance(self):
        """Cumulative distance along the route at each row, m."""
        return self._column("get_korvale_dist_vec")

    # -- queries by distance
    def at_distance(self, distance):
        """Maximum, recommended and coasting speed (km/h) at a distance (m), interpolated;
        below the start extrapolated, beyond the end the last row's values."""
        out = [ctypes.c_double() for _ in range(3)]
        self._lib.get_all_at_distance(self._live(), float(distance), *map(ctypes.byref, out))
        return SpeedsAtDistance(*(v.value for v in out))

    def max_speed_at(self, distance):
        return float(self._lib.get_max_speed_at_distance(self._live(), float(distance)))

    def recommended_speed_at(self, distance):
        """Recommended speed (km/h); outside the route, the first or last row's value."""
        return float(self._lib.get_recomended_speed_at_distance(self._live(), float(distance)))

    def coasting_speed_at(self, distance):
        """Coasting speed (km/h); outside the route, the first or last row's value."""
        return float(self._lib.get_coasting_speed_at_distance(self._live(), float(distance)))

    def position_at(self, distance):
        """The (x, y, z) point of the route at a distance (m), extrapolated beyond the ends."""
        xyz = (ctypes.c_double * 3)()
        self._lib.get_pos_at_polyline_location(self._live(), float(distance), xyz, 0)
        return (xyz[0], xyz[1], xyz[2])

    # -- queries by position (each continues from the previous one)
    def at_position(self, x, y, z, full_search=False, window=100.0):
        """Distance (m) and the three speeds (km/h) at the route point nearest to (x, y, z),
        searched within `window` metres of the previous result (the whole route when
        full_search is true, and always on the first call)."""
        out = [ctypes.c_double() for _ in range(4)]
        self._lib.get_all_at_position(
            self._live(), float(x), float(y), float(z), 1 if full_search else 0, float(window),
            *map(ctypes.byref, out)
        )
        return SpeedsAtPosition(*(v.value for v in out))

    def distance_at(self, x, y, z, full_search=False, window=100.0):
        return float(
            self._lib.get_distance_at_position(
                self._live(), float(x), float(y), float(z), 1 if full_search else 0, float(window)
            )
        )

    # -- advice
    def next_slowdown(self, distance, speed_kmh, horizon=1000.0):
        """The next slow-down ahead of a vehicle at `distance` (m) going speed_kmh: a Slowdown
        (its distance, its target speed, and where to lift off to coast into it), or None when
        none lies within the horizon (m)."""
        out = [ctypes.c_double() for _ in range(3)]
        found = self._lib.korvale_next_slowdown(
            self._live(), float(distance), float(speed_kmh), float(horizon),
            *map(ctypes.byref, out)
        )
        return Slowdown(*(v.value for v in out)) if found == 1 else None

    def advice(self, distance, speed_kmh, horizon=1000.0):
        """What a vehicle at `distance` (m) going speed_kmh should do about the next slow-down
        within the horizon (m): an Advice (KEEP, LIFT_OFF with where, or BRAKE with how hard)."""
        action = ctypes.c_int32()
        out = [ctypes.c_double() for _ in range(4)]
        found = self._lib.korvale_advice(
            self._live(), float(distance), float(speed_kmh), float(horizon),
            ctypes.byref(action), *map(ctypes.byref, out)
        )
        if found != 1:
            return Advice(Advice.KEEP, None, None, None, None)
        return Advice(action.value, *(v.value for v in out))

    def offset_from_route(self):
        """Distance (m) between the last position asked for and the route point it was mapped
        to; -1.0 before any query by position."""
        return float(self._lib.korvale_offset_from_route(self._live()))

    @property
    def offset(self):
        """The same as offset_from_route(): m from the route of the last position asked for,
        -1.0 before any query by position."""
        return self.offset_from_route()

    def __repr__(self):
        state = f"{self.rows} rows, {self.length:.1f} m" if self._handle else "closed"
        return f"<korvale.Route {self.path!r}: {state}, {self.model} model, {self.vehicle}>"


class DashboardLink(_Handle):
    """A UDP link to a dashboard process: 76-byte status records and plot datagrams.

    Records and plots share one time-stamp gate: one is sent only when its time stamp is
    greater than the last one accepted (the first must be above 0). send_plot blocks for
    plot_delay_ms after each plot it sends."""

    _release = "close_com"
    _what = "link"

    def __init__(self, host, port, plot_delay_ms=0):
        self._lib = library()
        _first_object()
        handle = self._lib.init_com(int(port), str(host).encode(), 0, int(plot_delay_ms))
        if not handle or not self._lib.korvale_link_is_open(handle):
            message = _last_error()
            if handle:
                self._lib.close_com(handle)
            raise KorvaleError(f"cannot open a dashboard link to {host}:{port}: {message}")
        self._handle = handle

    def send_status(self, i1=0, r1=0.0, r2=0.0, r3=0.0, r4=0.0, r5=0.0, r6=0.0, r7=0.0,
                    r8=0.0, flag=0, time_stamp=0.0, i2=0):
        self._lib.send_msg(self._live(), int(i1), float(r1), float(r2), float(r3), float(r4),
                           float(r5), float(r6), float(r7), float(r8), int(flag),
                           float(time_stamp), int(i2))

    def send_plot(self, a, b, time_stamp):
        a = [float(v) for v in a]
        b = [float(v) for v in b]
        buffer_a = (ctypes.c_double * max(len(a), 1))(*a)
        buffer_b = (ctypes.c_double * max(len(b), 1))(*b)
        return float(self._lib.send_msg_plot(self._live(), buffer_a, buffer_b, len(a), len(b),
                                             float(time_stamp)))



# The elevation axis spans at least this much, so that a flat road looks flat (m).
_MIN_ELEVATION_SPAN = 10.0


def _profile_figure(route, step, cruise, horizon):
    """The figure that plot() saves: speeds and elevation against distance, lift-off marks."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot

    length = route.length
    count = max(2, int(length / step) + 1)
    at = [length * i / (count - 1) for i in range(count)]
    speeds = [route.at_distance(d) for d in at]
    distance, z = list(route.distance), list(route.z)
    advice = []
    if cruise is not None:
        where = 0.0
        while True:
            ahead = route.next_slowdown(where, cruise, horizon)
            if ahead is None:
                # nothing within the horizon: look again from its end
                where += horizon
                if where >= length:
                    break
                continue
            advice.append(ahead)
            where = ahead.distance

    figure, speed_axis = pyplot.subplots(figsize=(11, 5.5))
    speed_axis.plot(at, [s.max_speed for s in speeds], label="maximum", color="tab:red")
    speed_axis.plot(at, [s.coasting_speed for s in speeds], label="coasting", color="tab:gray",
                    linestyle="--")
    speed_axis.plot(at, [s.recommended_speed for s in speeds], label="recommended",
                    color="tab:green", linewidth=2)
    finite = [v for s in speeds for v in (s.max_speed, s.recommended_speed) if math.isfinite(v)]
    top = max(finite + ([cruise] if cruise is not None else []) + [1.0])
    speed_axis.set_ylim(0, top * 1.1)
    speed_axis.set_xlim(0, max(length, 1e-9))
    speed_axis.set_xlabel("distance along the route (m)")
    speed_axis.set_ylabel("speed (km/h)")

    height_axis = speed_axis.twinx()
    low, high = min(z), max(z)
    pad = max(0.0, _MIN_ELEVATION_SPAN - (high - low)) / 2 + 0.05 * (high - low)
    height_axis.set_ylim(low - pad, high + pad)
    height_axis.fill_between(distance, z, low - pad, color="tab:brown", alpha=0.15,
                             label="elevation")
    height_axis.set_ylabel("elevation (m)")
    # the speeds in front of the elevation
    speed_axis.set_zorder(height_axis.get_zorder() + 1)
    speed_axis.patch.set_visible(False)

    for i, ahead in enumerate(advice):
        speed_axis.annotate(
            "", xy=(ahead.distance, ahead.target_speed), xytext=(ahead.liftoff_distance, cruise),
            arrowprops=dict(arrowstyle="->", color="tab:blue", linestyle=":"),
            annotation_clip=True,
        )
        speed_axis.plot([ahead.liftoff_distance], [cruise], marker="v", color="tab:blue",
                        linestyle="none", label=f"lift off at {cruise:g} km/h" if i == 0 else None)
    handles = [h for axis in (speed_axis, height_axis) for h in axis.get_legend_handles_labels()[0]]
    # below the axes, where it covers no curve
    figure.legend(handles=handles, loc="lower center", ncol=len(handles), frameon=False)
    name = os.path.basename(str(route.path)) if route.path is not None else "route"
    speed_axis.set_title(f"speed profile of {name} ({length:.0f} m, {route.model} model)")
    figure.tight_layout(rect=(0, 0.07, 1, 1))
    return figure


def plot(route, output, step=5.0, cruise=None, horizon=1000.0, vehicle=None, model=None):
    """Draws maximum, coasting and recommended speed and the elevation against distance into an
    image file (needs matplotlib). route is a Route, or a path loaded with vehicle and model as
    Route loads them. With a cruising speed (km/h) it marks, for every slow-down below it, where
    to lift off and coast into it."""
    if not step > 0:
        raise ValueError("step must be above 0 m")
    if cruise is not None and not (cruise > 0 and math.isfinite(cruise)):
        raise ValueError("cruise must be a speed above 0 km/h")
    if cruise is not None and not horizon > 0:
        raise ValueError("horizon must be above 0 m")
    owned = not isinstance(route, Route)
    if owned:
        route = Route(route, vehicle, model)
    try:
        figure = _profile_figure(route, step, cruise, horizon)
    finally:
        if owned:
            route.close()
    import matplotlib.pyplot as pyplot

    figure.savefig(output, dpi=100)
    pyplot.close(figure)
    return output


# Route files from road maps (libkorvale_routes, loaded on first use).
from . import routes  # noqa: E402  (needs KorvaleError above)


from ._simulation import Drive, simulate  # noqa: E402  (it uses the names above)
