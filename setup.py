"""Builds the extension plymark._plymark with the project's CMake, Release,
the reader linked in statically, so that the package carries everything it
needs but numpy. Needs cmake, a C++20 compiler, pybind11-dev, python3-dev,
zlib1g-dev and liblcms2-dev (scripts/lib.sh lists them)."""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).parent.resolve()


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        target = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve()
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DPLYMARK_QT=OFF", "-DBUILD_TESTING=OFF", "-DPLYMARK_PYTHON=ON",
                     f"-DPython_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        if not (build / "CMakeCache.txt").exists():
            subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "_plymark", "--parallel", jobs],
                       check=True)
        built = next((build / "python" / "plymark").glob("_plymark*.so"))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    ext_modules=[Extension("plymark._plymark", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # The project's own CMake builds live in build/ and build-*/.
    options={"build": {"build_base": "build-python"}, "egg_info": {"egg_base": "build-python"}},
)
