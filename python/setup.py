"""Builds the compiled module saccadrix._saccadrix with the kit's CMake project (the same
python/CMakeLists.txt as the kit's own build) and puts the libraries it calls, libSaccadrix
and libSaccadrixGS, into the package folder beside it, where the module looks for them.

The kit's sources are the folder above this one, or SACCADRIX_SOURCE_DIR. Extra CMake
options go in SACCADRIX_CMAKE_ARGS (e.g. "-DSACCADRIX_VIDEO=OFF"); the build runs 2 jobs
unless CMAKE_BUILD_PARALLEL_LEVEL says otherwise.
"""

import os
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class BuildWithCMake(build_ext):
    def build_extension(self, ext):
        source_dir = os.environ.get("SACCADRIX_SOURCE_DIR") or os.path.dirname(HERE)
        if not os.path.exists(os.path.join(source_dir, "device", "include", "saccadrix", "saccadrix.h")):
            raise RuntimeError(f"the Saccadrix kit's sources are not in {source_dir}: "
                               "build from the kit's python/ folder or set SACCADRIX_SOURCE_DIR")
        build_dir = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        staging = os.path.abspath(os.path.join(self.build_temp, "staging"))
        configure = [
            "cmake", "-S", source_dir, "-B", build_dir,
            "-DCMAKE_BUILD_TYPE=Release",
            "-DSACCADRIX_PYTHON=ON",
            "-DSACCADRIX_PYTHON_WHEEL=ON",
            f"-DSACCADRIX_PYTHON_EXECUTABLE={sys.executable}",
            "-DSACCADRIX_PYTHON_INSTALL_DIR=.",
            "-DSACCADRIX_MEX=OFF",
            "-DSACCADRIX_BENCH=OFF",
        ]
        configure += shlex.split(os.environ.get("SACCADRIX_CMAKE_ARGS", ""))
        env = dict(os.environ)
        env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(configure, check=True, env=env)
        subprocess.run(["cmake", "--build", build_dir, "--target", "saccadrix_python"],
                       check=True, env=env)
        shutil.rmtree(staging, ignore_errors=True)
        subprocess.run(["cmake", "--install", build_dir, "--component", "saccadrix_python",
                        "--prefix", staging], check=True, env=env)

        target_dir = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        os.makedirs(target_dir, exist_ok=True)
        module = os.path.basename(self.get_ext_fullpath(ext.name))
        shutil.copyfile(os.path.join(staging, "saccadrix", module), os.path.join(target_dir, module))
        # The libraries under their sonames (the names the module asks for).
        with open(os.path.join(build_dir, "python", "wheel_libraries.txt")) as listing:
            for library in filter(None, (line.strip() for line in listing)):
                shutil.copyfile(library, os.path.join(target_dir, os.path.basename(library)))


setup(
    ext_modules=[CMakeExtension("saccadrix._saccadrix")],
    cmdclass={"build_ext": BuildWithCMake},
)
