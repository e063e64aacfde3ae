"""Finding and declaring the korvale shared library (ctypes, standard library only)."""

import ctypes
import ctypes.util
import os
import sys

ENV_VARIABLE = "KORVALE_LIBRARY"

if sys.platform == "win32":
    _NAMES = ("korvale.dll", "libkorvale.dll")
elif sys.platform == "darwin":
    _NAMES = ("libkorvale.dylib",)
else:
    _NAMES = ("libkorvale.so", "libkorvale.so.0")

_c_double_p = ctypes.POINTER(ctypes.c_double)


class _Profile(ctypes.Structure):
    """Opaque route profile behind a handle."""


class _Link(ctypes.Structure):
    """Opaque dashboard link behind a handle."""


ProfileHandle = ctypes.POINTER(_Profile)
LinkHandle = ctypes.POINTER(_Link)

# korvale_vehicle's doubles in their order: those of the speed models, then the drive's after the
# powertrain.
MODEL_FIELDS = (
    "vehicle_mass",
    "drag_coefficient",
    "frontal_area",
    "air_density",
    "rolling_resistance",
    "gravity",
    "coast_power",
    "brake_deceleration",
    "least_deceleration",
)
DRIVE_FIELDS = (
    "max_power",
    "max_acceleration",
    "comfortable_braking",
    "rotating_mass_factor",
    "drive_efficiency",
    "regen_efficiency",
    "max_regen_power",
    "aux_power",
    "engine_efficiency",
    "idle_power",
    "time_budget",
)
# KORVALE_POWERTRAIN_EV 0 and _ICE 1, by name.
POWERTRAINS = ("ev", "ice")


class VehicleStruct(ctypes.Structure):
    """korvale_vehicle of include/korvale.h: its size in bytes, the fields of the speed models,
    then the vehicle's drive (powertrain as KORVALE_POWERTRAIN_*, a reserved 0, the drive's
    values). Filled by korvale_fill_default_vehicle / korvale_fill_vehicle_preset with
    ctypes.sizeof(VehicleStruct)."""

    _fields_ = (
        [("size", ctypes.c_uint32)]
        + [(name, ctypes.c_double) for name in MODEL_FIELDS]
        + [("powertrain", ctypes.c_int32), ("reserved", ctypes.c_int32)]
        + [(name, ctypes.c_double) for name in DRIVE_FIELDS]
    )


_PARAMS8 = [ctypes.c_double] * 8

# korvale_log_function: (level, line, user)
LogFunction = ctypes.CFUNCTYPE(None, ctypes.c_int32, ctypes.c_char_p, ctypes.c_void_p)

# name: (result type, argument types)
SIGNATURES = {
    "initialize_korvale": (ProfileHandle, [ctypes.c_char_p] + _PARAMS8),
    "korvale_load": (ProfileHandle, [ctypes.c_char_p] + _PARAMS8),
    # (korvale_default_vehicle and korvale_vehicle_preset fill the struct of 0.2 only)
    "korvale_fill_default_vehicle": (None, [ctypes.POINTER(VehicleStruct), ctypes.c_uint32]),
    "korvale_load_vehicle": (
        ProfileHandle,
        [ctypes.c_char_p, ctypes.POINTER(VehicleStruct), ctypes.c_int32],
    ),
    "deinitialize_korvale": (None, [ProfileHandle]),
    "get_korvale_rows": (ctypes.c_int32, [ProfileHandle]),
    "get_korvale_x_vec": (None, [ProfileHandle, _c_double_p, ctypes.c_int32]),
    "get_korvale_y_vec": (None, [ProfileHandle, _c_double_p, ctypes.c_int32]),
    "get_korvale_z_vec": (None, [ProfileHandle, _c_double_p, ctypes.c_int32]),
    "get_korvale_dist_vec": (None, [ProfileHandle, _c_double_p, ctypes.c_int32]),
    "get_max_distance_korvale": (ctypes.c_double, [ProfileHandle]),
    "get_pos_at_distance": (
        ctypes.c_int32,
        [ProfileHandle, ctypes.c_double, _c_double_p, _c_double_p, _c_double_p],
    ),
    "get_pos_at_polyline_location": (
        ctypes.c_int32,
        [ProfileHandle, ctypes.c_double, _c_double_p, ctypes.c_int32],
    ),
    "get_distance_at_position": (
        ctypes.c_double,
        [ProfileHandle] + [ctypes.c_double] * 3 + [ctypes.c_int32, ctypes.c_double],
    ),
    "get_max_speed_at_position": (ctypes.c_double, [ProfileHandle] + [ctypes.c_double] * 3),
    "get_recomended_speed_at_position": (ctypes.c_double, [ProfileHandle] + [ctypes.c_double] * 3),
    "get_coasting_speed_at_position": (ctypes.c_double, [ProfileHandle] + [ctypes.c_double] * 3),
    "get_max_speed_at_distance": (ctypes.c_double, [ProfileHandle, ctypes.c_double]),
    "get_recomended_speed_at_distance": (ctypes.c_double, [ProfileHandle, ctypes.c_double]),
    "get_coasting_speed_at_distance": (ctypes.c_double, [ProfileHandle, ctypes.c_double]),
    "get_all_at_distance": (
        ctypes.c_int32,
        [ProfileHandle, ctypes.c_double, _c_double_p, _c_double_p, _c_double_p],
    ),
    "get_all_at_position": (
        ctypes.c_int32,
        [ProfileHandle]
        + [ctypes.c_double] * 3
        + [ctypes.c_int32, ctypes.c_double]
        + [_c_double_p] * 4,
    ),
    "korvale_next_slowdown": (
        ctypes.c_int32,
        [ProfileHandle, ctypes.c_double, ctypes.c_double, ctypes.c_double]
        + [_c_double_p] * 3,
    ),
    "korvale_advice": (
        ctypes.c_int32,
        [ProfileHandle, ctypes.c_double, ctypes.c_double, ctypes.c_double,
         ctypes.POINTER(ctypes.c_int32)]
        + [_c_double_p] * 4,
    ),
    "korvale_offset_from_route": (ctypes.c_double, [ProfileHandle]),
    "init_com": (LinkHandle, [ctypes.c_int, ctypes.c_char_p, ctypes.c_int, ctypes.c_int]),
    "send_msg": (
        None,
        [LinkHandle, ctypes.c_int]
        + [ctypes.c_double] * 8
        + [ctypes.c_int, ctypes.c_double, ctypes.c_int],
    ),
    "send_msg_plot": (
        ctypes.c_double,
        [LinkHandle, _c_double_p, _c_double_p, ctypes.c_uint64, ctypes.c_uint64, ctypes.c_double],
    ),
    "close_com": (None, [LinkHandle]),
    "korvale_version": (ctypes.c_int32, []),
    "korvale_last_error": (ctypes.c_size_t, [ctypes.c_char_p, ctypes.c_size_t]),
    "korvale_set_log": (None, [LogFunction, ctypes.c_void_p]),
    "korvale_fill_vehicle_preset": (
        ctypes.c_int32,
        [ctypes.c_char_p, ctypes.POINTER(VehicleStruct), ctypes.c_uint32],
    ),
    "korvale_vehicle_preset_name": (ctypes.c_char_p, [ctypes.c_int32]),
    "korvale_model_from_name": (ctypes.c_int32, [ctypes.c_char_p]),
    "korvale_model_name": (ctypes.c_char_p, [ctypes.c_int32]),
    "korvale_link_is_open": (ctypes.c_int32, [LinkHandle]),
}


def _candidates(names, env_variable, link_name, near=()):
    explicit = os.environ.get(env_variable)
    if explicit:
        yield explicit
        return
    here = os.path.dirname(os.path.abspath(__file__))
    for directory in (here, *near):
        for name in names:
            yield os.path.join(directory, name)
    found = ctypes.util.find_library(link_name)
    if found:
        yield found


def find_library(names, env_variable, link_name, signatures, near=()):
    """The first library of these file names that loads: the path in env_variable when it is
    set, else next to this package, in the directories `near`, or on the system's library path
    (link_name, as for -l). Declares each function of signatures that it exports; OSError when
    none loads."""
    tried = []
    for path in _candidates(names, env_variable, link_name, near):
        if not os.path.isabs(path) and os.sep not in path:
            pass  # a bare name from find_library: let the loader search for it
        elif not os.path.exists(path):
            tried.append(path)
            continue
        try:
            library = ctypes.CDLL(path)
        except OSError as error:
            tried.append(f"{path} ({error})")
            continue
        for name, (result, arguments) in signatures.items():
            function = getattr(library, name, None)
            if function is None:
                continue  # an older library without this export
            function.restype = result
            function.argtypes = arguments
        return library
    raise OSError(
        "%s shared library not found; set %s to its path (tried: %s)"
        % (link_name, env_variable, ", ".join(tried) or "nothing")
    )


def load_library():
    """The shared library with every export declared; OSError when it cannot be found."""
    return find_library(_NAMES, ENV_VARIABLE, "korvale", SIGNATURES)
