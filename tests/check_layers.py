"""Checks every quoted #include of src/ and tools/ against the layer table of
docs/architecture.md and the include style, and names file, line and rule for each one that
breaks them.

The style: a header of the project by its path from src/ ("geometry/point3.h", also from the
same folder), the public headers by their bare names ("korvale.h", "korvale_routes.h"), and in
tools/ the tool's own headers by their bare names; nothing relative, and none of them in <>
(which would pass by the table).

The table: a row for every folder of src/ and tools/ that holds code (the first column names
it in backticks), and in the second column, in backticks, what its files may include besides
the headers of their own folder: a folder as "profile/" (its headers, not those of its
sub-folders), a header as "platform/net.h" or "korvale.h". Other words of the row are for the
reader. A folder without a row, and a row without its folder, are faults too.

Usage: check_layers.py SOURCE_ROOT"""
import os
import re
import sys

DOCUMENT = os.path.join("docs", "architecture.md")
PUBLIC_HEADERS = ("korvale.h", "korvale_routes.h")
CODE_FOLDERS = ("src", "tools")
CODE = (".h", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]*)"')
ANGLED = re.compile(r"^\s*#\s*include\s*<([^>]*)>")
TABLE_HEAD = re.compile(r"^\|\s*folder\s*\|\s*may include")
QUOTED = re.compile(r"`([^`]*)`")


def read_table(root):
    """The folders of the table ("src/profile/") and what each may include."""
    rows = {}
    in_table = False
    with open(os.path.join(root, DOCUMENT), encoding="utf-8") as document:
        for line in document:
            if TABLE_HEAD.match(line):
                in_table = True
                continue
            if in_table and not line.startswith("|"):
                break
            cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
            if not in_table or len(cells) < 2 or set(cells[0]) <= set("-: "):
                continue
            allowed = {item for item in QUOTED.findall(cells[1])
                       if item.endswith("/") or item.endswith(".h")}
            for folder in QUOTED.findall(cells[0]):
                if folder.endswith("/"):
                    rows[folder] = allowed
    return rows


def code_files(root):
    """Every .h and .cpp of src/ and tools/, by its path from the root."""
    for top in CODE_FOLDERS:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith(CODE):
                    yield os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")


def resolve(root, path, name):
    """The header an include names, as its path from src/ ("tools/x.h" for the tool's own),
    or the rule of the style it breaks."""
    if os.path.basename(name) in PUBLIC_HEADERS:
        return (name, None) if name in PUBLIC_HEADERS else (None, "a public header by its bare name")
    if path.startswith("tools/") and "/" not in name and os.path.isfile(
            os.path.join(root, "tools", name)):
        return "tools/" + name, None
    parts = name.split("/")
    if "." in parts or ".." in parts or not os.path.isfile(os.path.join(root, "src", name)):
        return None, "a header of the project by its path from src/"
    return name, None


def is_project_header(root, path, name):
    """Whether a header named in <> is one of the project's (which go in quotes)."""
    return (name in PUBLIC_HEADERS or os.path.isfile(os.path.join(root, "src", name))
            or (path.startswith("tools/") and os.path.isfile(os.path.join(root, "tools", name))))


def allowed(path, header, rows):
    """Whether the file at path may include the header (as resolve gives it)."""
    folder = path.rsplit("/", 1)[0] + "/"
    permitted = rows.get(folder, set())
    if header in PUBLIC_HEADERS:
        return header in permitted
    own = folder[len("src/"):] if folder.startswith("src/") else folder
    header_folder = header.rsplit("/", 1)[0] + "/" if "/" in header else ""
    if header_folder == own:
        return True
    return header in permitted or (header_folder != "" and header_folder in permitted)


def check(root):
    """The faults, one line each."""
    rows = read_table(root)
    faults = []
    folders = set()
    for path in code_files(root):
        folder = path.rsplit("/", 1)[0] + "/"
        folders.add(folder)
        with open(os.path.join(root, path), encoding="utf-8") as source:
            for number, line in enumerate(source, 1):
                angled = ANGLED.match(line)
                if angled and is_project_header(root, path, angled[1]):
                    faults.append(f"{path}:{number}: <{angled[1]}>: a header of the project in "
                                  "quotes")
                match = INCLUDE.match(line)
                if not match:
                    continue
                header, broken = resolve(root, path, match[1])
                if broken:
                    faults.append(f'{path}:{number}: "{match[1]}": {broken}')
                elif folder in rows and not allowed(path, header, rows):
                    faults.append(f'{path}:{number}: "{match[1]}": {folder} may not include it '
                                  f"(the layer table of {DOCUMENT})")
    for folder in sorted(folders - rows.keys()):
        faults.append(f"{folder}: no row in the layer table of {DOCUMENT}")
    for folder in sorted(rows.keys() - folders):
        faults.append(f"{folder}: a row of the layer table of {DOCUMENT}, but no code there")
    return faults


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    faults = check(os.path.realpath(sys.argv[1]))
    for fault in faults:
        print(fault)
    print(f"layers and includes: {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
