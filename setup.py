"""Builds the extension roomstat._roomstat with the project's CMake build (the
command-line host's core, position-independent) for the running interpreter."""
import os
import re
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.abspath(self.build_temp)
        package = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        jobs = os.environ.get("ROOMSTAT_JOBS", "2")
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                        "-DROOMSTAT_BUILD_PYTHON=ON", "-DPython_EXECUTABLE=" + sys.executable,
                        "-DROOMSTAT_PYTHON_DIR=" + package, "-DROOMSTAT_BUILD_TESTS=OFF",
                        "-DROOMSTAT_BUILD_BENCHMARKS=OFF"], check=True)
        subprocess.run(["cmake", "--build", build, "--target", "_roomstat", "--parallel", jobs], check=True)


with open(os.path.join(ROOT, "CMakeLists.txt")) as cmake_lists:
    VERSION = re.search(r"project\(Roomstat VERSION ([0-9.]+)", cmake_lists.read()).group(1)

setup(version=VERSION, ext_modules=[Extension("roomstat._roomstat", sources=[])],
      cmdclass={"build_ext": CMakeBuild}, options={"build": {"build_base": "build-pip"}})
