# SPDX-License-Identifier: Apache-2.0
"""The library and the module used as other projects use them: the build tree installed by
`cmake --install` into a scratch prefix, where a C program builds through the CMake package and
through pkg-config and a fresh interpreter imports the module; and the Python package installed
from the source tree by pip, offline and without build isolation.

QUORVANTA_BUILD_DIR names the build tree (ctest sets it); its tools come from its CMakeCache.txt."""

import os
import re
import subprocess
import sys
from importlib import metadata
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
CONSUMER = Path(__file__).resolve().parent / "consumer"
BUILD = Path(os.environ["QUORVANTA_BUILD_DIR"])
CACHE = dict(re.findall(r"^(\w+):\w+=(.*)$", (BUILD / "CMakeCache.txt").read_text(), re.M))
VERSION = CACHE["CMAKE_PROJECT_VERSION"]
# Nothing in the environment may point the loader, Python or pip elsewhere.
ENVIRONMENT = {name: value for name, value in os.environ.items()
               if not name.startswith(("LD_LIBRARY_PATH", "PYTHON", "PIP_"))}


def run(*command, env=None, cwd=None):
    """Runs a command, its errors going to the log, and returns what it printed."""
    env = {**ENVIRONMENT, **{name: str(value) for name, value in (env or {}).items()}}
    return subprocess.run([str(part) for part in command], stdout=subprocess.PIPE, text=True,
                          check=True, cwd=cwd, env=env).stdout


def check_module(site):
    """The module and its stub-only package, as a fresh interpreter finds them in `site`."""
    stubs = site / "quorvanta_core-stubs"
    assert (stubs / "py.typed").is_file()
    assert (stubs / "__init__.pyi").read_bytes() == \
        (SOURCE / "src/python/quorvanta_core.pyi").read_bytes()
    found = run(sys.executable, "-s", "-c", "import quorvanta_core as q; print(q.__file__, "
                "q.get_vital_info('rr').id)", env={"PYTHONPATH": site}, cwd=site.parent)
    module, vital = found.split()
    assert (Path(module).parent, vital) == (site, "respiratory_rate")


def test_cmake_install_serves_c_and_python_consumers(tmp_path):
    prefix = tmp_path / "prefix"
    libdir = prefix / CACHE["CMAKE_INSTALL_LIBDIR"]
    library = libdir / "libquorvanta_core.so"
    cmake = CACHE["CMAKE_COMMAND"]
    run(cmake, "--install", BUILD, "--prefix", prefix)
    # Binding generators read the interface metadata from the symbol table, which is kept.
    assert "UNIFFI_META_NAMESPACE_QUORVANTA_CORE" in run(CACHE["CMAKE_NM"], library)
    # The licence travels with the library, and with the default transform nothing it links is
    # under a licence that would bind a closed-source app (FFTW is GPL).
    assert list(prefix.glob("share/doc/*/LICENSE"))
    assert "\nLicense: Apache-2.0\n" in (libdir / "pkgconfig/quorvanta_core.pc").read_text()
    if CACHE["QUORVANTA_FFT"] == "builtin":
        assert not re.search(r"NEEDED +\S*fftw", run(CACHE["CMAKE_OBJDUMP"], "-p", library))

    # A consumer project finds the package in the prefix and links the imported target; its
    # build tree records the library's folder as the executable's run path.
    consumer = tmp_path / "consumer"
    run(cmake, "-S", CONSUMER, "-B", consumer, "-G", CACHE["CMAKE_GENERATOR"],
        f"-DCMAKE_C_COMPILER={CACHE['CMAKE_C_COMPILER']}", f"-DCMAKE_PREFIX_PATH={prefix}",
        f"-DQUORVANTA_VERSION={VERSION}")
    assert f"\nquorvanta_core_DIR:PATH={libdir}/cmake/quorvanta_core\n" in \
        (consumer / "CMakeCache.txt").read_text()
    run(cmake, "--build", consumer)
    run(consumer / "quorvanta_consumer")

    # The same program built with pkg-config's flags, recording the library's folder as
    # docs/c-abi.md says, so that it runs without LD_LIBRARY_PATH.
    def pkg_config(*arguments):
        return run(CACHE["PKG_CONFIG_EXECUTABLE"], *arguments, "quorvanta_core",
                   env={"PKG_CONFIG_PATH": libdir / "pkgconfig"}).split()
    program = tmp_path / "pkg_config_consumer"
    run(CACHE["CMAKE_C_COMPILER"], "-std=c11", "-Wall", "-Wextra", "-Wpedantic", "-Werror",
        CONSUMER / "consumer.c", *pkg_config("--cflags", "--libs"),
        f"-Wl,-rpath,{pkg_config('--variable=libdir')[0]}", "-o", program)
    run(program)
    if "QUORVANTA_PYTHON_INSTALL_DIR" in CACHE:
        check_module(prefix / CACHE["QUORVANTA_PYTHON_INSTALL_DIR"])


def test_pip_installs_the_module_with_its_stub_and_metadata(tmp_path):
    # setuptools' build tree and egg-info go to the temporary directory, not the source tree.
    config, site = tmp_path / "setup.cfg", tmp_path / "site"
    config.write_text(f"[build]\nbuild_base = {tmp_path / 'build'}\n"
                      f"[egg_info]\negg_base = {tmp_path / 'build'}\n")
    (tmp_path / "build").mkdir()
    run(sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-deps", "--no-index",
        "--no-cache-dir", "--disable-pip-version-check", "--root-user-action=ignore", "--quiet",
        "--target", site, SOURCE, env={"DIST_EXTRA_CONFIG": config}, cwd=tmp_path)
    check_module(site)
    distribution = next(metadata.distributions(name="quorvanta_core", path=[str(site)]))
    assert (distribution.version, distribution.requires, distribution.metadata["License"]) == (
        VERSION, ["numpy"], "Apache-2.0")
