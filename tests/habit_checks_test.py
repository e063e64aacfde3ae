"""Shows that the checks of the tree's habits fail on a broken rule, and report it where it is.

  habit_checks_test.py tidy SOURCE_ROOT [CLANG_TIDY]
      check_tidy.py, with the tree's .clang-tidy, over a small tree: the fixtures of
      tests/habits/ (a member named `count_` in a header, and a bundled library's header whose
      names are not checked) and a function of 46 lines (one of 45 passes).
  habit_checks_test.py layers SOURCE_ROOT
      check_layers.py, with the tree's architecture document, over a copy of src/ and tools/
      with a few bad includes added: what it reports beyond its report on the copy as it was
      must be exactly those."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def run(*arguments):
    result = subprocess.run([sys.executable, *arguments], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, check=False)
    return result.returncode, result.stdout.splitlines()


def function(name, lines):
    """A function of so many lines as clang-tidy counts them: from the line of its opening
    brace to the line of its closing one."""
    body = "".join(f"    total += {step};\n" for step in range(lines - 2))
    return f"int {name}(int total) {{\n{body}    return total;\n}}\n"


def tidy_case(root, clang_tidy, tree):
    """Fails when check_tidy.py misses a broken rule or reports what it should not."""
    fixture = os.path.join(tree, "src", "fixture")
    bundled = os.path.join(tree, "third_party", "bundled", "src")
    build = os.path.join(tree, "build")
    for folder in (fixture, bundled, build):
        os.makedirs(folder)
    shutil.copy(os.path.join(root, ".clang-tidy"), tree)
    shutil.copy(os.path.join(HERE, "habits", "bundled.hpp"), bundled)
    with open(os.path.join(fixture, "function_length.cpp"), "w", encoding="utf-8") as source:
        source.write(function("forty_five_lines", 45) + function("forty_six_lines", 46))
    for name in ("counter.h", "counter.cpp"):
        shutil.copy(os.path.join(HERE, "habits", name), fixture)
    sources = [os.path.join(fixture, name) for name in ("counter.cpp", "function_length.cpp")]
    entries = [{"directory": build, "file": path,
                "command": f"c++ -std=c++17 -I{tree}/src -I{bundled} -c {path}"} for path in sources]
    with open(os.path.join(build, "compile_commands.json"), "w", encoding="utf-8") as database:
        json.dump(entries, database)
    status, output = run(os.path.join(HERE, "check_tidy.py"), tree, build, clang_tidy)
    report = "\n".join(output)
    expected = [r"^src/fixture/counter\.h:9:\d+: .*'count_'",
                r"^src/fixture/function_length\.cpp:\d+:\d+: .*'forty_six_lines'"]
    missing = [rule for rule in expected if not re.search(rule, report, re.MULTILINE)]
    unwanted = [word for word in ("forty_five_lines", "size_", "bundled") if word in report]
    return status == 1 and not missing and not unwanted, report


# Bad includes added to the copy: (file, line added, what the report must say of it).
BAD_INCLUDES = [
    ("src/geometry/segment.cpp", '#include "sim/simulation.h"', "src/geometry/ may not include"),
    ("src/geometry/point3.h", "#include <sim/simulation.h>", "a header of the project in quotes"),
    ("src/profile/vehicle.cpp", '#include "vehicle.h"', "by its path from src/"),
    ("src/comm/dashboard_link.cpp", '#include "../diag.h"', "by its path from src/"),
    ("src/api/guard.h", '#include "include/korvale.h"', "a public header by its bare name"),
    ("tools/main.cpp", '#include "api/guard.h"', "tools/ may not include"),
    ("src/diag.cpp", '#include "korvale.h"', "src/ may not include"),
    ("src/extra/extra.h", '#include "diag.h"', "no row in the layer table"),
]


def layers_case(root, tree):
    """Fails when check_layers.py misses a bad include or reports more than those added."""
    for folder in ("src", "tools"):
        shutil.copytree(os.path.join(root, folder), os.path.join(tree, folder))
    os.makedirs(os.path.join(tree, "docs"))
    shutil.copy(os.path.join(root, "docs", "architecture.md"), os.path.join(tree, "docs"))
    script = os.path.join(HERE, "check_layers.py")
    _, before = run(script, tree)
    expected = []
    for path, line, said in BAD_INCLUDES:
        full = os.path.join(tree, path)
        if os.path.exists(full):
            with open(full, encoding="utf-8") as source:
                place = f"{path}:{len(source.readlines()) + 1}: "
        else:
            os.makedirs(os.path.dirname(full))
            place = os.path.dirname(path) + "/: "
        with open(full, "a", encoding="utf-8") as source:
            source.write(line + "\n")
        expected.append((place, said))
    status, after = run(script, tree)
    added = [fault for fault in after if fault not in before and not fault.startswith("layers")]
    found = all(any(fault.startswith(place) and said in fault for fault in added)
                for place, said in expected)
    return status == 1 and found and len(added) == len(expected), "\n".join(added)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("tidy", "layers"):
        sys.exit(__doc__)
    root = os.path.realpath(sys.argv[2])
    with tempfile.TemporaryDirectory() as tree:
        if sys.argv[1] == "tidy":
            passed, report = tidy_case(root, sys.argv[3] if len(sys.argv) > 3 else "clang-tidy",
                                       tree)
        else:
            passed, report = layers_case(root, tree)
    print(report)
    print("the check reports each broken rule" if passed else "the check missed or added a fault")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
