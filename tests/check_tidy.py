"""Runs clang-tidy with the configuration at the top of the source tree (.clang-tidy: names
and function length) over every .cpp of src/ and tools/ that a build compiles, as its
compile_commands.json lists them, on every processor; the headers they include are checked
through the configuration's HeaderFilterRegex. Prints each finding once and fails when there is
any, or when clang-tidy could not check a file.

Usage: check_tidy.py SOURCE_ROOT BUILD_DIR [CLANG_TIDY]"""
import concurrent.futures
import json
import os
import re
import subprocess
import sys

CHECKED_FOLDERS = ("src", "tools")
FINDING = re.compile(r"^(?P<path>[^\s:][^:]*):(?P<line>\d+):(?P<column>\d+): (?:warning|error): ")


def sources(root, build):
    """The .cpp files of src/ and tools/ in the build's compilation database."""
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as database:
        entries = json.load(database)
    found = set()
    for entry in entries:
        path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        relative = os.path.relpath(path, root)
        if relative.split(os.sep)[0] in CHECKED_FOLDERS and path.endswith(".cpp"):
            found.add(path)
    return sorted(found)


def header_filter(root):
    """The headers of src/ and tools/ of this tree, wherever it lies (the configuration's own
    filter holds for a tree anywhere but below a folder named src or tools)."""
    escaped = re.sub(r"([.\[\]()*+?^$|\\{}])", r"\\\1", root)
    return "^" + escaped + "/(" + "|".join(CHECKED_FOLDERS) + r")/.*\.h$"


def tidy(clang_tidy, root, build, path):
    """clang-tidy's findings in one file and the headers it reaches, and whether it ran."""
    result = subprocess.run(
        [clang_tidy, "--quiet", "-p", build, "--config-file=" + os.path.join(root, ".clang-tidy"),
         "--header-filter=" + header_filter(root), path],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=False)
    findings = []
    for line in result.stdout.splitlines():
        match = FINDING.match(line)
        if match:
            relative = os.path.relpath(os.path.realpath(match["path"]), root)
            findings.append(relative + line[len(match["path"]):])
    if result.returncode != 0 and not findings:
        findings.append(os.path.relpath(path, root) + ": clang-tidy failed:\n" + result.stdout)
    return findings


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    root = os.path.realpath(sys.argv[1])
    build = os.path.realpath(sys.argv[2])
    clang_tidy = sys.argv[3] if len(sys.argv) == 4 else "clang-tidy"
    files = sources(root, build)
    if not files:
        sys.exit(f"no source of {' or '.join(CHECKED_FOLDERS)} in {build}/compile_commands.json")
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        results = pool.map(lambda path: tidy(clang_tidy, root, build, path), files)
        findings = sorted({finding for found in results for finding in found})
    for finding in findings:
        print(finding)
    print(f"clang-tidy: {len(findings)} findings in {len(files)} files of "
          f"{' and '.join(CHECKED_FOLDERS)} and their headers")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
