#!/usr/bin/env python3
"""Draws the recommended speed of the three speed models on a route (docs/models.png):

    PYTHONPATH=bindings/python KORVALE_LIBRARY=build/gcc/libkorvale.so \\
        /usr/bin/python3 examples/plot_models.py examples/route.txt docs/models.png

The default model coasts the built-in car; the parameterised model the same car with a coast
power of 1000 W; the eco model the built-in car with its default decelerations (braking at
1.0 m/s^2 on descents, never planning with less than 0.15 m/s^2). Needs matplotlib.
"""

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as pyplot  # noqa: E402

import korvale  # noqa: E402

STEP_M = 2.0
MODELS = (
    ("default", korvale.BUILT_IN_VEHICLE, "tab:orange", ":"),
    ("parameterised", korvale.BUILT_IN_VEHICLE._replace(coast_power=1000.0), "tab:purple", "--"),
    ("eco", korvale.BUILT_IN_VEHICLE, "tab:green", "-"),
)


def main(route_path, output):
    curves = {}
    for model, vehicle, _, _ in MODELS:
        with korvale.Route(route_path, vehicle, model=model) as route:
            length = route.length
            at = [min(i * STEP_M, length) for i in range(int(length / STEP_M) + 2)]
            curves[model] = [route.recommended_speed_at(d) for d in at]
            maximum = [route.at_distance(d).max_speed for d in at]
            distance, z = route.distance, route.z

    figure, speed_axis = pyplot.subplots(figsize=(11, 5))
    speed_axis.plot(at, maximum, color="tab:red", linewidth=1, label="speed limit")
    for model, _, color, style in MODELS:
        speed_axis.plot(at, curves[model], color=color, linestyle=style,
                        linewidth=2 if model == "eco" else 1.5, label=f"recommended: {model}")
    speed_axis.axhline(20, color="tab:gray", linewidth=0.5)
    speed_axis.set_ylim(0, max(maximum) * 1.3)
    speed_axis.set_xlabel("distance along the route (m)")
    speed_axis.set_ylabel("speed (km/h)")
    height_axis = speed_axis.twinx()
    height_axis.fill_between(distance, z, min(z), color="tab:brown", alpha=0.15)
    height_axis.set_ylabel("elevation (m)")
    speed_axis.legend(loc="upper right", ncol=2)
    speed_axis.set_title("recommended speed of the three models on the example road")
    figure.tight_layout()
    figure.savefig(output, dpi=100)
    pyplot.close(figure)
    return output


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: plot_models.py ROUTE OUTPUT.png")
    print(main(sys.argv[1], sys.argv[2]))
