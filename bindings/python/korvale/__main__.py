"""python3 -m korvale plot ROUTE -o profile.png: draws a route's speed profile (any model,
the predictive one with --powertrain and --time-budget PCT).
python3 -m korvale map MAP.xodr -o map.png [--route ROUTE]: draws the roads of a map (and a
route over them).
python3 -m korvale simulate ROUTE [--plot FILE.png]: drives a route by each driver and compares
the drives."""

import argparse
import sys

from . import MODELS, POWERTRAINS, KorvaleError, plot, vehicles
from ._simulation import plot as plot_drives
from ._simulation import simulate


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m korvale")
    commands = parser.add_subparsers(dest="command", required=True)
    draw = commands.add_parser("plot", help="draw the speed profile of a route file")
    draw.add_argument("route")
    draw.add_argument("-o", "--output", default="profile.png")
    draw.add_argument("--step", type=float, default=5.0, help="sample spacing in metres")
    draw.add_argument("--cruise", type=float, help="mark lift-off points for this speed (km/h)")
    draw.add_argument("--vehicle", choices=list(vehicles), default="car", help="vehicle preset")
    draw.add_argument("--model", choices=list(MODELS), default=None,
                      help="speed model (unnamed: as korvale.Route picks it)")
    _drive_arguments(draw, "the predictive model's powertrain (default: the preset's)")
    roads = commands.add_parser("map", help="draw the roads of an OpenDRIVE map, with their ids")
    roads.add_argument("map")
    roads.add_argument("-o", "--output", default="map.png")
    roads.add_argument("--route", help="a route file to draw over the map")
    drive = commands.add_parser("simulate", help="drive a route by each driver and compare")
    drive.add_argument("route")
    drive.add_argument("--drivers", default="limit,advice,recommended,optimal")
    drive.add_argument("--vehicle", choices=list(vehicles), default="car", help="vehicle preset")
    drive.add_argument("--model", choices=list(MODELS), default=None,
                      help="speed model (unnamed: as korvale.Route picks it)")
    _drive_arguments(drive, "the drives' powertrain (default: the preset's)")
    drive.add_argument("--dt", type=float, default=0.1, help="time step, s")
    drive.add_argument("--plot", metavar="FILE.png", help="speed and energy of each drive")
    args = parser.parse_args(argv)
    try:
        if args.command == "simulate":
            _simulate(args)
        elif args.command == "map":
            from . import routes

            routes.draw_map(args.map, args.output, route=args.route)
            print(args.output)
        else:
            plot(args.route, args.output, step=args.step, cruise=args.cruise,
                 vehicle=_vehicle(args), model=args.model)
            print(args.output)
    except ImportError:
        print(f"{args.command} needs matplotlib (Debian: python3-matplotlib)", file=sys.stderr)
        return 1
    except (KorvaleError, OSError, ValueError, SyntaxError) as error:  # (a map that is no XML)
        print(f"error: {error}", file=sys.stderr)
        return 1
    return 0


def _drive_arguments(command, powertrain_help):
    command.add_argument("--powertrain", choices=POWERTRAINS, help=powertrain_help)
    command.add_argument("--time-budget", type=float, metavar="PCT",
                         help="the predictive model's trip time: up to PCT %% more than the "
                              "limit-following driver's (default: the preset's)")


def _vehicle(args):
    """The preset with the powertrain and time budget given."""
    vehicle = {"preset": args.vehicle}
    if args.powertrain is not None:
        vehicle["powertrain"] = args.powertrain
    if args.time_budget is not None:
        vehicle["time_budget"] = args.time_budget / 100.0
    return vehicle


def _simulate(args):
    drives = simulate(args.route, drivers=args.drivers.split(","), vehicle=_vehicle(args),
                      model=args.model, dt=args.dt)
    for name, drive in drives.items():
        f = drive.figures
        print(f"{name:15} {f['trip_time_s']:8.1f} s {f['energy_Wh_per_km']:8.1f} Wh/km "
              f"saving {f['saving_percent']:5.1f} % extra time {f['extra_time_percent']:5.1f} %")
    if args.plot:
        plot_drives(drives, args.route, args.plot)
        print(args.plot)


if __name__ == "__main__":
    sys.exit(main())
