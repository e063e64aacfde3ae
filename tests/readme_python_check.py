"""Follows the README as a new user would, in a clean clone of the repository: its first command,
then its Python section line by line (the shell lines as they stand, each Python block fed to the
interpreter that the line before it starts). Exits non-zero at the first step that fails.

    /usr/bin/python3 tests/readme_python_check.py [--keep]

The clone is of the commit checked out (what is not committed is not in it); it is made under
the system's temporary directory and removed afterwards unless --keep is given.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))


def first_command(readme):
    """The README's first command: its first indented code line."""
    for line in readme.splitlines():
        if line.startswith("    ") and line.strip():
            return line.strip()
    raise SystemExit("README: no command found")


def python_section_script(readme):
    """The README's Python section as one bash script: from the paragraph that starts with
    "From Python" to the one that starts with "From the command line"."""
    found = re.search(r"^From Python.*?(?=^From the command line)", readme, re.M | re.S)
    if not found:
        raise SystemExit("README: no section 'From Python' before 'From the command line'")
    script = ["set -euo pipefail"]
    lines = iter(found.group(0).splitlines())
    for line in lines:
        if line.startswith("```python"):
            block = []
            for inner in lines:
                if inner.startswith("```"):
                    break
                block.append(inner)
            if not script[-1].rstrip().endswith("python3"):
                raise SystemExit("README: a Python block must follow the line that starts Python")
            script[-1] += " <<'README_PYTHON'\n" + "\n".join(block) + "\nREADME_PYTHON"
        elif line.startswith("    ") and line.strip():
            script.append(line.strip())
    return "\n".join(script) + "\n"


def run(what, command, cwd):
    print(f"=== {what}\n{command}", flush=True)
    done = subprocess.run(["bash", "-c", command], cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, check=False)
    print(done.stdout, flush=True)
    if done.returncode != 0:
        raise SystemExit(f"README check: '{what}' failed with exit status {done.returncode}")
    return done.stdout


def main():
    keep = "--keep" in sys.argv[1:]
    if subprocess.run(["git", "-C", ROOT, "status", "--porcelain"], capture_output=True,
                      text=True, check=True).stdout.strip():
        print("note: uncommitted changes are not in the clone that is checked")
    work = tempfile.mkdtemp(prefix="korvale_readme_")
    clone = os.path.join(work, "korvale")
    try:
        subprocess.run(["git", "clone", "--quiet", ROOT, clone], check=True)
        with open(os.path.join(clone, "README.md"), encoding="utf-8") as f:
            readme = f.read()
        summary = run("the README's first command", first_command(readme), clone)
        assert "rows:      1182" in summary, "the first command printed no summary"
        out = run("the README's Python section", python_section_script(readme), clone)
        for expected in ("SpeedsAtDistance(", "SpeedsAtPosition(", "Slowdown(", "\n2.0\n",
                         "vehicle_mass=40000.0", "profile.png"):
            assert expected in out, f"the Python section printed no {expected!r}"
        assert os.path.getsize(os.path.join(clone, "profile.png")) > 0
        print("README check: the first command and the Python section work in a clean clone")
    finally:
        if keep:
            print(f"kept {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
