"""korvale route roads and korvale route opendrive, run as child processes."""

import os
import subprocess

import pytest

TOOL = os.environ.get("KORVALE_TOOL", "korvale")
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
TOWN01 = os.path.join(ROOT, "tests", "data", "carla_Town01.xodr")
EXAMPLE_MAP = os.path.join(ROOT, "examples", "map.xodr")


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=120, check=False)


def routes_built():
    return "not available" not in run("route", "roads", EXAMPLE_MAP).stderr


pytestmark = pytest.mark.skipif(not routes_built(), reason="built without the route layer")


def road(road_id, plan, length=50, extra='<type s="0"><speed max="50" unit="km/h"/></type>'):
    return (f'<road id="{road_id}" length="{length}" junction="-1">{extra}<planView>{plan}'
            '</planView><lanes><laneSection s="0"><right><lane id="-1"><width sOffset="0" a="3"/>'
            '</lane></right></laneSection></lanes></road>')


def line(x, y=0, length=50, s=0, shape="<line/>"):
    return f'<geometry s="{s}" x="{x}" y="{y}" hdg="0" length="{length}">{shape}</geometry>'


def write_map(tmp_path, body, name="map.xodr"):
    path = tmp_path / name
    path.write_text(f'<?xml version="1.0"?>\n<OpenDRIVE>\n<header/>\n{body}\n</OpenDRIVE>\n')
    return str(path)


def test_roads_lists_every_road_of_a_real_map():
    done = run("route", "roads", TOWN01)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert len(lines) == 99  # a header and Town01's 98 roads
    assert lines[0].split() == ["id", "name", "length_m", "junction", "predecessor", "successor",
                                "first_limit", "geometry"]
    assert lines[1].split() == ["0", "Road", "0", "36.360", "-1", "road", "11", "start",
                                "junction", "43", "40.2", "km/h", "line"]
    junction_roads = [line for line in lines[1:] if line.split()[4] != "-1"]
    assert len(junction_roads) == 72 and all(" - " in line for line in junction_roads)


def test_opendrive_writes_a_route_that_the_tool_profiles(tmp_path):
    route = tmp_path / "route.txt"
    done = run("route", "opendrive", EXAMPLE_MAP, "--roads", "1,2", "--lane", "-1", "-o",
               str(route))
    assert done.returncode == 0, done.stderr
    assert done.stdout == f"{route}: 932 rows, 930.1 m\n"
    text = route.read_text().splitlines()
    assert text[:6] == [
        f"# korvale route from the OpenDRIVE map '{EXAMPLE_MAP}'",
        "# roads: 1, 2",
        "# lane: -1 (1 on roads driven backwards)",
        "# step: 1 m",
        "# limit where the map gives none: none",
        "# x y z curve_radius speed_limit superelevation",
    ]
    assert text[6] == "100 48.25 200 10000 100 0"
    profile = run("profile", str(route))
    assert "rows:      932\n" in profile.stdout
    assert "curve (limit 50, curve radius 58 m" in profile.stdout  # 60 m less half a lane
    assert os.listdir(tmp_path) == ["route.txt"]


BROKEN_MAPS = {
    "not_xml": ("<OpenDRIVE>\n<road id='1'>\n</OpenDRIVE>\n",
                "is not well-formed XML: Start-end tags mismatch at line 3"),
    "no_root": ('<?xml version="1.0"?>\n<road/>\n', "has no OpenDRIVE root element"),
}


@pytest.mark.parametrize("case", [
    # (what, map body or None, extra arguments, the message after "korvale: error: ")
    ("missing map", None, ["--roads", "1"], "cannot read the map"),
    ("not XML", "not_xml", [], "line 3"),
    ("no root", "no_root", [], "no OpenDRIVE root"),
    ("unknown road", road("1", line(0)), ["--roads", "1,7"], "has no road '7'"),
    ("unsupported geometry", road("1", line(0, length=20) + line(20, s=20, length=30,
                                                                shape="<bezier/>")),
     [], "road '1': unsupported geometry record 'bezier' at s = 20"),
    ("roads that do not meet", road("1", line(0)) + road("2", line(52)), ["--roads", "1,2"],
     "roads '1' and '2' do not meet: their nearest ends are 2 m apart (more than 0.5 m)"),
    ("a lane the section lacks", road("1", line(0)), ["--lane", "1"],
     "road '1': the lane section at s = 0 has no lane 1"),
    ("no limit", road("1", line(0), extra=""), [],
     "road '1' has no speed limit at s = 0; give a limit for rows without one"),
    ("step too small", road("1", line(0)), ["--step", "0.001"],
     "the step 0.001 m is outside 0.01 to 1000 m"),
    ("step too large", road("1", line(0)), ["--step", "1001"], "outside 0.01 to 1000 m"),
    ("too many rows", road("1", line(0, length=1e9), length=1e9), ["--step", "0.01"],
     "the route would have 100000000003 rows, more than 10000000"),
], ids=lambda case: case[0])
def test_each_error_is_one_message_exit_status_1_and_no_route_file(tmp_path, case):
    _, body, extra, message = case
    if body is None:
        map_path = str(tmp_path / "missing.xodr")
    elif body in BROKEN_MAPS:
        map_path = str(tmp_path / "map.xodr")
        (tmp_path / "map.xodr").write_text(BROKEN_MAPS[body][0])
    else:
        map_path = write_map(tmp_path, body)
    out = tmp_path / "out"
    out.mkdir()
    done = run("route", "opendrive", map_path, *extra, "-o", str(out / "route.txt"))
    assert done.returncode == 1
    assert done.stderr.startswith("korvale: error: ") and done.stderr.count("\n") == 1
    assert message in done.stderr
    assert os.listdir(out) == []  # no route, no temporary file


JUNCTION_MAP = os.path.join(ROOT, "examples", "junction.xodr")


def test_a_lane_route_goes_through_the_junction_from_the_second_lane(tmp_path):
    route = tmp_path / "route.txt"
    done = run("route", "opendrive", JUNCTION_MAP, "--from", "1:-3", "--to", "2:-2", "-o",
               str(route))
    assert done.returncode == 0 and done.stderr == "", done.stderr
    assert done.stdout == f"{route}: 722 rows, 720.1 m\n"
    text = route.read_text().splitlines()
    assert "# path: 1:-3, 1:-2 (lane change), 10:-1, 2:-2" in text
    assert "# limit carried over: road '10' lane -1 from s = 0 takes 80 km/h from road '1'" in text
    assert "rows:      722\n" in run("profile", str(route)).stdout


def lane_road(road_id, x, successor=""):
    return (f'<road id="{road_id}" length="50" junction="-1"><link>{successor}</link>'
            '<type s="0"><speed max="50" unit="km/h"/></type><planView>'
            f'<geometry s="0" x="{x}" y="0" hdg="0" length="50"><line/></geometry></planView>'
            '<lanes><laneSection s="0"><right><lane id="-1" type="driving"><link>'
            '<successor id="-2"/></link><width sOffset="0" a="3.5"/></lane></right>'
            '</laneSection></lanes></road>')


@pytest.mark.parametrize("case", [
    # (what, map or None for the junction map, arguments, the message after "korvale: error: ")
    ("unknown road", None, ["--from", "9:-1", "--to", "2:-1"], "has no road '9'"),
    ("unknown lane", None, ["--from", "1:-7", "--to", "2:-1"], "road '1' has no lane -7"),
    ("not drivable", None, ["--from", "1:-1", "--to", "2:-3"],
     "lane -3 of road '2' (lane section at s = 0) is not drivable: it is of type 'sidewalk'"),
    ("off the map", None, ["--from", "500,500", "--to", "2:-1"],
     "the position 500,500 is off the map: the nearest drivable lane centre is 494.8 m away"),
    ("no path", None, ["--from", "2:-1", "--to", "1:-1"],
     "no path from '2:-1' to '1:-1': the roads reachable from '2:-1' are 2"),
    ("via out of order", None, ["--from", "1:-1", "--to", "2:-1", "--via", "3,2"],
     "the --via road '2' cannot be reached from '1:-1' after the --via roads before it"),
    ("neither form", None, ["--from", "north", "--to", "2:-1"],
     "--from 'north' is neither ROAD:LANE[@S] nor a position X,Y"),
    ("no end", None, ["--from", "1:-1"], "a route along lanes needs both --from and --to"),
    ("lanes that do not exist", lane_road("a", 0, '<successor elementType="road" elementId="b" '
                                                  'contactPoint="start"/>') + lane_road("b", 50),
     ["--from", "a:-1", "--to", "b:-1"],
     "road 'a' lane -1 is linked to lane -2 of road 'b', which its lane section at s = 0 does "
     "not have"),
], ids=lambda case: case[0])
def test_each_lane_route_error_is_one_message_exit_status_1_and_no_route_file(tmp_path, case):
    _, body, extra, message = case
    map_path = JUNCTION_MAP if body is None else write_map(tmp_path, body)
    out = tmp_path / "out"
    out.mkdir()
    done = run("route", "opendrive", map_path, *extra, "-o", str(out / "route.txt"))
    assert done.returncode == 1
    assert done.stderr.startswith("korvale: error: ") and done.stderr.count("\n") == 1
    assert message in done.stderr, done.stderr
    assert os.listdir(out) == []
