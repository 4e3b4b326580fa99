"""The compiled part of the package: the console program's engine sources
(model/, engine/, report/, console/, without model/main.cpp) and the binding
python/duolocus/_engine.cpp, built with pybind11. Everything else is in
pyproject.toml."""

import glob
import os

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension
from setuptools import setup

HERE = os.path.dirname(os.path.abspath(__file__))
# Two compilers at once at most, as on every build of this project.
ParallelCompile("DUOLOCUS_BUILD_JOBS", default=2).install()

sources = ["python/duolocus/_engine.cpp"]
for folder in ("model", "engine", "report", "console"):
    sources += sorted(os.path.relpath(p, HERE) for p in glob.glob(os.path.join(HERE, folder, "*.cpp")))
sources.remove(os.path.join("model", "main.cpp"))

# setuptools' scratch folders stay out of the CMake build folder and the
# package folder.
scratch = os.environ.get("DUOLOCUS_SETUP_BUILD", os.path.join("build", "python-setup"))
os.makedirs(scratch, exist_ok=True)

setup(
    ext_modules=[Pybind11Extension(
        "duolocus._engine", sources, include_dirs=[HERE], cxx_std=17,
        # The same floating-point rules as the CMake build, so that the
        # package's files equal the programs' byte for byte.
        extra_compile_args=["-ffp-contract=off"])],
    options={"build": {"build_base": scratch}, "egg_info": {"egg_base": scratch}},
)
