"""python3 -m korvale plot ROUTE -o profile.png: draws a route's speed profile.
python3 -m korvale map MAP.xodr -o map.png [--route ROUTE]: draws the roads of a map (and a
route over them)."""

import argparse
import sys

from . import MODELS, KorvaleError, plot, vehicles


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m korvale")
    commands = parser.add_subparsers(dest="command", required=True)
    draw = commands.add_parser("plot", help="draw the speed profile of a route file")
    draw.add_argument("route")
    draw.add_argument("-o", "--output", default="profile.png")
    draw.add_argument("--step", type=float, default=5.0, help="sample spacing in metres")
    draw.add_argument("--cruise", type=float, help="mark lift-off points for this speed (km/h)")
    draw.add_argument("--vehicle", choices=list(vehicles), default="car", help="vehicle preset")
    draw.add_argument("--model", choices=list(MODELS), default="eco", help="speed model")
    roads = commands.add_parser("map", help="draw the roads of an OpenDRIVE map, with their ids")
    roads.add_argument("map")
    roads.add_argument("-o", "--output", default="map.png")
    roads.add_argument("--route", help="a route file to draw over the map")
    args = parser.parse_args(argv)
    try:
        if args.command == "map":
            from . import routes

            routes.draw_map(args.map, args.output, route=args.route)
            print(args.output)
            return 0
        plot(args.route, args.output, step=args.step, cruise=args.cruise,
             vehicle=vehicles[args.vehicle], model=args.model)
    except ImportError:
        print(f"{args.command} needs matplotlib (Debian: python3-matplotlib)", file=sys.stderr)
        return 1
    except (KorvaleError, OSError, ValueError, SyntaxError) as error:  # (a map that is no XML)
        print(f"error: {error}", file=sys.stderr)
        return 1
    print(args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
