# SPDX-License-Identifier: Apache-2.0
"""Builds the quorvanta_core extension module with the project's own CMake build.

The wheel holds the module flat (`quorvanta_core.<EXT_SUFFIX>`) and the stub-only package
`quorvanta_core-stubs`. setuptools works under build/python-package, so the source tree gets no
build/ or *.egg-info of its own; a setup.cfg named by DIST_EXTRA_CONFIG may move that elsewhere.
"""

import re
import shutil
import sys
from pathlib import Path

from setuptools import Command, Extension, setup
from setuptools.command.build import build
from setuptools.command.build_ext import build_ext
from setuptools.command.egg_info import egg_info

SOURCE_DIR = Path(__file__).resolve().parent
PYTHON_SOURCE_DIR = SOURCE_DIR / "src" / "python"
BUILD_BASE = SOURCE_DIR / "build" / "python-package"
MODULE_TARGET = "quorvanta_core_python"
STUB_PACKAGE = "quorvanta_core-stubs"


def project_version():
    cmake_lists = (SOURCE_DIR / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"^project\(\s*quorvanta_core\s+VERSION\s+([0-9.]+)", cmake_lists, re.M)
    if match is None:
        raise RuntimeError("CMakeLists.txt: no 'project(quorvanta_core VERSION x.y.z' line")
    return match.group(1)


class CMakeBuild(build_ext):
    """Configures the project into build_temp and builds only the module's target."""

    def build_extension(self, ext):
        cmake_dir = Path(self.build_temp).resolve() / "cmake"
        self.spawn(["cmake", "-S", str(SOURCE_DIR), "-B", str(cmake_dir), "-G", "Ninja",
                    "-DQUORVANTA_BUILD_TESTS=OFF", "-DQUORVANTA_BUILD_BENCHMARKS=OFF",
                    "-DCMAKE_BUILD_TYPE=Release", f"-DPython3_EXECUTABLE={sys.executable}"])
        self.spawn(["cmake", "--build", str(cmake_dir), "--target", MODULE_TARGET])
        built_module = cmake_dir / "python" / self.get_ext_filename(ext.name)
        if not built_module.is_file():
            raise RuntimeError(f"the CMake build did not produce {built_module}")
        destination = Path(self.get_ext_fullpath(ext.name))
        destination.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built_module, destination)


class BuildStubPackage(Command):
    """Puts the module's type stub into build_lib as a PEP 561 stub-only package."""

    description = "add the quorvanta_core-stubs package"
    user_options = []

    def initialize_options(self):
        self.build_lib = None

    def finalize_options(self):
        self.set_undefined_options("build", ("build_lib", "build_lib"))

    def run(self):
        package_dir = Path(self.build_lib) / STUB_PACKAGE
        self.mkpath(str(package_dir))
        self.copy_file(str(PYTHON_SOURCE_DIR / "quorvanta_core.pyi"),
                       str(package_dir / "__init__.pyi"))
        self.copy_file(str(PYTHON_SOURCE_DIR / "py.typed"), str(package_dir / "py.typed"))


class BuildWithStubs(build):
    sub_commands = build.sub_commands + [("build_stubs", None)]


class EggInfoInBuildTree(egg_info):
    """Writes the egg-info into the build tree instead of the source tree."""

    def finalize_options(self):
        if self.egg_base is None:
            self.egg_base = str(BUILD_BASE)
        Path(self.egg_base).mkdir(parents=True, exist_ok=True)
        super().finalize_options()


setup(
    version=project_version(),
    packages=[],
    py_modules=[],
    ext_modules=[Extension("quorvanta_core", sources=[])],
    cmdclass={
        "build": BuildWithStubs,
        "build_ext": CMakeBuild,
        "build_stubs": BuildStubPackage,
        "egg_info": EggInfoInBuildTree,
    },
    options={"build": {"build_base": str(BUILD_BASE)}},
)
