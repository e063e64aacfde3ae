"""The route commands of korvale.exe (under Wine) against the Linux korvale's: `route opendrive`
on the example map and on a chain of Town01's roads, `route gps` on the Santa Monica ride, `route
roads`, and route errors. Route files must have the same comment lines, rows, limits and
superelevations, positions within a tolerance and radii within 1e-6 relative; each error must
exit with 1 and the same message, apart from the operating system's words, and leave no file.
Used by windows_tool_check.py."""
import os
import re
import subprocess

TIMEOUT_S = 300
# One unit of the file's sixth decimal: mingw-w64's sin and cos may differ from glibc's in the
# last bit, and a map's rows are sampled from them directly.
MAP_TOLERANCE_M = 1.5e-6
# The fixes go through the local frame's trigonometry and then the smoother.
GPS_TOLERANCE_M = 1e-4
RADIUS_TOLERANCE = 1e-6
# A GPS route's radii come out of the smoother (bandwidths chosen from the data, curves refitted
# by iterations that stop at a threshold), which magnifies the last bits in which the platforms'
# mathematical functions differ (msvcrt.dll's hypot, mingw-w64's cos) as it magnifies any input:
# on Linux alone, 1% of the ride's fixes moved by 1e-8 m change its radii by up to 8e-4 relative
# at one curve. The check says where radii differ by more than RADIUS_TOLERANCE; it allows
# GPS_RADIUS_LIMIT on one stretch of rows (measured: 5e-3 at the ends of one clothoid of the
# ride) and GPS_RADIUS_ELSEWHERE on every other (measured: 1e-4), and fails beyond.
GPS_RADIUS_LIMIT = 1e-2
GPS_RADIUS_ELSEWHERE = 1e-3
TOWN_ROADS = "7,14,8,11,0"
OS_WORDS = re.compile(r"(cannot (?:read|write) the [a-z ]+ '[^']*'): .*$")


def run(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=TIMEOUT_S, check=False)
    return (done.returncode, done.stdout.decode("utf-8", "replace").replace("\r\n", "\n"),
            done.stderr.decode("utf-8", "replace").replace("\r\n", "\n"))


def split_route(text):
    comments = [line for line in text.splitlines() if line.startswith("#")]
    rows = [[float(v) for v in line.split()] for line in text.splitlines()
            if line and not line.startswith("#")]
    return comments, rows


def stretches(indices):
    """Consecutive indices as (first, last) pairs."""
    found = []
    for i in indices:
        if found and found[-1][1] == i - 1:
            found[-1][1] = i
        else:
            found.append([i, i])
    return found


def compare_routes(what, linux_text, windows_text, tolerance_m, radius_limits):
    """radius_limits: the relative difference of radii allowed on the stretch of rows that
    differs most, and on every other stretch."""
    linux_comments, linux_rows = split_route(linux_text)
    windows_comments, windows_rows = split_route(windows_text)
    if linux_comments != windows_comments:
        return ["%s: comment lines differ: %r, %r" % (what, linux_comments, windows_comments)]
    if len(linux_rows) != len(windows_rows):
        return ["%s: %d rows, %d on Windows" % (what, len(linux_rows), len(windows_rows))]
    failures = []
    worst_position = 0.0
    differing = []  # (row, relative radius difference) beyond RADIUS_TOLERANCE
    for row, (a, b) in enumerate(zip(linux_rows, windows_rows)):
        position = max(abs(a[k] - b[k]) for k in range(3))
        worst_position = max(worst_position, position)
        if position > tolerance_m or a[4:] != b[4:]:
            failures.append("%s: row %d: %r, on Windows %r" % (what, row, a, b))
        radius = abs(a[3] - b[3]) / a[3]
        if radius > RADIUS_TOLERANCE:
            differing.append((row, radius))
    summary = "%s: %d rows, positions within %.1e m" % (what, len(linux_rows), worst_position)
    if differing:
        along = [0.0]
        for a, b in zip(linux_rows, linux_rows[1:]):
            along.append(along[-1] + sum((b[k] - a[k]) ** 2 for k in range(3)) ** 0.5)
        worst = dict(differing)
        found = [(max(worst[row] for row in range(first, last + 1)), first, last)
                 for first, last in stretches([row for row, _ in differing])]
        found.sort(reverse=True)
        summary += (", radii within %.0e relative but on %d rows (%d stretches); most on"
                    % (RADIUS_TOLERANCE, len(differing), len(found)))
        summary += ";".join(" rows %d to %d (%.0f to %.0f m): %.1e" % (
            first, last, along[first], along[last], largest) for largest, first, last in found[:3])
        for rank, (largest, first, last) in enumerate(found):
            if largest > radius_limits[0 if rank == 0 else 1]:
                failures.append("%s: radii differ by %.1e relative on rows %d to %d"
                                % (what, largest, first, last))
    else:
        summary += ", radii within %.0e relative" % RADIUS_TOLERANCE
    print(summary + (": DIFFERS" if failures else ""))
    return failures[:10]


def same_route(what, linux, windows, arguments, path, tolerance_m, radius_limits):
    """Failures of one route command run by both tools to the same path, one after the other."""
    results = []
    for tool in (linux, windows):
        status, out, err = run(tool + arguments + ["-o", path])
        text = ""
        if status == 0:  # a failed run has written nothing to read
            with open(path, encoding="utf-8") as f:
                text = f.read()
            os.remove(path)
        results.append((status, out, err, text))
    (ls, lo, le, lt), (ws, wo, we, wt) = results
    if (ls, lo, le) != (ws, wo, we):
        return ["%s: exit %d %r %r, on Windows %d %r %r" % (what, ls, lo, le, ws, wo, we)]
    if ls != 0:
        return ["%s: failed: %s" % (what, le)]
    return compare_routes(what, lt, wt, tolerance_m, radius_limits)


def error_cases(example_map, ride, work):
    """(what, route arguments) of commands that must fail, writing into work/out."""
    not_xml = os.path.join(work, "broken.xodr")
    with open(not_xml, "w", encoding="utf-8") as f:
        f.write("<OpenDRIVE>\n<road id='1'>\n</OpenDRIVE>\n")
    missing = os.path.join(work, "missing.xodr")
    return [
        ("missing map", ["roads", missing]),
        ("missing map", ["opendrive", missing, "--roads", "1"]),
        ("map that is not XML", ["opendrive", not_xml]),
        ("unknown road", ["opendrive", example_map, "--roads", "1,7"]),
        ("two roads, none named", ["opendrive", example_map]),
        ("step too small", ["opendrive", example_map, "--roads", "1", "--step", "0.001"]),
        ("missing lane", ["opendrive", example_map, "--roads", "1", "--lane", "-9"]),
        ("folder missing", ["opendrive", example_map, "--roads", "1", "-o",
                            os.path.join(work, "no", "route.txt")]),
        ("missing track", ["gps", os.path.join(work, "missing.gpx")]),
        ("no speed limit", ["gps", ride]),
        ("missing limits", ["gps", ride, "--limits", os.path.join(work, "missing.csv")]),
        ("origin beyond the pole", ["gps", ride, "--limit", "50", "--origin", "95,0"]),
    ]


def same_error(what, linux, windows, arguments, out):
    if "-o" not in arguments and arguments[0] != "roads":
        arguments = arguments + ["-o", os.path.join(out, "route.txt")]
    messages = []
    for tool in (linux, windows):
        status, _, err = run(tool + ["route"] + arguments)
        left = os.listdir(out)
        for name in left:
            os.remove(os.path.join(out, name))
        if status != 1 or not err.startswith("korvale: error: ") or err.count("\n") != 1 or left:
            return ["%s: exit %d, %r, files left %r" % (what, status, err, left)]
        messages.append(OS_WORDS.sub(r"\1: ...", err.strip()))
    if messages[0] != messages[1]:
        return ["%s: %r, on Windows %r" % (what, messages[0], messages[1])]
    return []


def check_routes(linux, windows, example_map, town, ride, work):
    """Failures of the route commands of windows against those of linux; work is a folder."""
    failures = []
    route = os.path.join(work, "route.txt")
    for what, arguments, tolerance, limit in (
            ("route opendrive (example map)",
             ["route", "opendrive", example_map, "--roads", "1,2", "--lane", "-1"],
             MAP_TOLERANCE_M, (RADIUS_TOLERANCE, RADIUS_TOLERANCE)),
            ("route opendrive (Town01)",
             ["route", "opendrive", town, "--roads", TOWN_ROADS, "--lane", "-1", "--step", "0.5"],
             MAP_TOLERANCE_M, (RADIUS_TOLERANCE, RADIUS_TOLERANCE)),
            ("route gps (Santa Monica ride)", ["route", "gps", ride, "--limit", "50"],
             GPS_TOLERANCE_M, (GPS_RADIUS_LIMIT, GPS_RADIUS_ELSEWHERE))):
        failures.extend(same_route(what, linux, windows, arguments, route, tolerance, limit))

    listings = []
    for source in (example_map, town):
        listed = [run(tool + ["route", "roads", source]) for tool in (linux, windows)]
        if listed[0] != listed[1] or listed[0][0] != 0:
            listings.append("route roads %s: %r, on Windows %r" % (source, listed[0], listed[1]))
    print("route roads: %s" % ("DIFFER" if listings else "the same listings"))

    out = os.path.join(work, "out")
    os.makedirs(out, exist_ok=True)
    cases = error_cases(example_map, ride, work)
    errors = []
    for what, arguments in cases:
        errors.extend(same_error(what, linux, windows, arguments, out))
    print("route errors: %s" % ("DIFFER" if errors else "%d the same, no file left" % len(cases)))
    return failures + listings + errors
