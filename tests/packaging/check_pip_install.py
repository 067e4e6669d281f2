# SPDX-License-Identifier: Apache-2.0
"""Installs the Python package from a source tree with pip, offline and without build isolation,
into a temporary directory, then checks what is installed and what a fresh interpreter finds.

Usage: check_pip_install.py SOURCE_DIR EXPECTED_VERSION
"""

import os
import subprocess
import sys
import sysconfig
import tempfile
from pathlib import Path

# Run in a fresh interpreter whose only addition to sys.path is the install directory.
IMPORT_CHECK = """
import sys
from importlib import metadata
from pathlib import Path
import quorvanta_core
site, expected_version = Path(sys.argv[1]), sys.argv[2]
assert Path(quorvanta_core.__file__).parent == site, quorvanta_core.__file__
assert "Session" in quorvanta_core.__all__, quorvanta_core.__all__
distribution = next(metadata.distributions(name="quorvanta_core", path=[str(site)]))
assert (distribution.version, distribution.requires) == (expected_version, ["numpy"])
assert distribution.metadata["License"] == "Apache-2.0"
"""


def pip_install(source_dir, work_dir, site_dir, environment):
    # setuptools' build tree and egg-info go to the temporary directory, not the source tree.
    (work_dir / "build").mkdir()
    config = work_dir / "setup.cfg"
    config.write_text(f"[build]\nbuild_base = {work_dir / 'build'}\n"
                      f"[egg_info]\negg_base = {work_dir / 'build'}\n")
    subprocess.run(
        [sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-deps", "--no-index",
         "--no-cache-dir", "--disable-pip-version-check", "--root-user-action=ignore", "--quiet",
         "--target", str(site_dir), str(source_dir)],
        cwd=work_dir, env={**environment, "DIST_EXTRA_CONFIG": str(config)}, check=True)


def check_layout(source_dir, site_dir):
    stub = site_dir / "quorvanta_core-stubs" / "__init__.pyi"
    for path in (site_dir / ("quorvanta_core" + sysconfig.get_config_var("EXT_SUFFIX")), stub,
                 stub.with_name("py.typed")):
        if not path.is_file():
            sys.exit(f"not installed: {path.relative_to(site_dir)}")
    if stub.read_bytes() != (source_dir / "src" / "python" / "quorvanta_core.pyi").read_bytes():
        sys.exit("the installed stub differs from src/python/quorvanta_core.pyi")


def main():
    source_dir, expected_version = Path(sys.argv[1]).resolve(), sys.argv[2]
    # Nothing in the environment may point Python or pip elsewhere.
    environment = {name: value for name, value in os.environ.items()
                   if not name.startswith(("PYTHON", "PIP_"))}
    with tempfile.TemporaryDirectory(prefix="quorvanta-packaging-") as temporary:
        work_dir, site_dir = Path(temporary), Path(temporary) / "site"
        pip_install(source_dir, work_dir, site_dir, environment)
        check_layout(source_dir, site_dir)
        subprocess.run([sys.executable, "-s", "-c", IMPORT_CHECK, str(site_dir), expected_version],
                       cwd=work_dir, env={**environment, "PYTHONPATH": str(site_dir)}, check=True)
    print("python_packaging: installed and imported quorvanta_core", expected_version)


if __name__ == "__main__":
    main()
