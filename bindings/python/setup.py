"""Puts the shared libraries that KORVALE_LIBRARY names into the package when it is built.

Everything else about the package is in pyproject.toml. Without KORVALE_LIBRARY the package is
pure Python and finds libkorvale at run time (KORVALE_LIBRARY, or the system's library path).
"""

import glob
import os
import shutil

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

# What the package looks for next to itself (korvale/_native.py, korvale/routes.py).
LIBRARY_PATTERNS = ("*.so", "*.so.*", "*.dll", "*.dylib")
ROUTES_NAMES = ("libkorvale_routes.so", "korvale_routes.dll", "libkorvale_routes.dylib")


def bundled_libraries():
    """The libraries to install with the package: KORVALE_LIBRARY's, and libkorvale_routes
    where it lies beside it; none without KORVALE_LIBRARY."""
    library = os.environ.get("KORVALE_LIBRARY")
    if not library:
        return []
    # pip builds in the package's directory: a relative path is the caller's, whose directory
    # the shell left in PWD
    if not os.path.isabs(library) and os.environ.get("PWD"):
        library = os.path.join(os.environ["PWD"], library)
    if not os.path.isfile(library):
        raise SystemExit(f"KORVALE_LIBRARY: no library at {library!r} (give an absolute path)")
    found = [library]
    directory = os.path.dirname(os.path.abspath(library))
    found += [os.path.join(directory, name) for name in ROUTES_NAMES
              if os.path.isfile(os.path.join(directory, name))]
    return found


class BuildWithLibraries(build_py):
    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "korvale")
        # what an earlier build left there must not ride along
        for pattern in LIBRARY_PATTERNS:
            for stale in glob.glob(os.path.join(target, pattern)):
                os.remove(stale)
        for library in bundled_libraries():
            # (a symbolic link is copied as the library it names, under the link's name)
            shutil.copyfile(library, os.path.join(target, os.path.basename(library)))


class PlatformDistribution(Distribution):
    """A wheel that holds a shared library is for one platform."""

    def has_ext_modules(self):
        return bool(os.environ.get("KORVALE_LIBRARY"))


setup(packages=["korvale"], cmdclass={"build_py": BuildWithLibraries},
      distclass=PlatformDistribution)
