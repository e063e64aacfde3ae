"""python3 -m korvale plot ROUTE -o profile.png: draws a route's speed profile."""

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
    args = parser.parse_args(argv)
    try:
        plot(args.route, args.output, step=args.step, cruise=args.cruise,
             vehicle=vehicles[args.vehicle], model=args.model)
    except ImportError:
        print("plot needs matplotlib (Debian: python3-matplotlib)", file=sys.stderr)
        return 1
    except (KorvaleError, OSError, ValueError) as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    print(args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
