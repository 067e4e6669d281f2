"""Installs the Python package from a source tree with pip, offline and without build isolation,
into a temporary directory, then checks what a fresh interpreter finds there.

Usage: check_pip_install.py SOURCE_DIR EXPECTED_VERSION
"""

import os
import subprocess
import sys
import sysconfig
import tempfile
import textwrap
from pathlib import Path

# Run in a fresh interpreter whose only addition to sys.path is the install directory.
IMPORT_CHECK = textwrap.dedent("""
    import sys
    from importlib import metadata
    from pathlib import Path

    import quorvanta_core

    site, expected_version = Path(sys.argv[1]), sys.argv[2]
    module_file = Path(quorvanta_core.__file__)
    assert module_file.parent == site, f"imported {module_file}, not from {site}"
    assert "Session" in quorvanta_core.__all__, quorvanta_core.__all__
    distribution = next(metadata.distributions(name="quorvanta_core", path=[str(site)]))
    assert distribution.version == expected_version, distribution.version
    assert distribution.requires == ["numpy"], distribution.requires
""")


def pip_install(source_dir, work_dir, site_dir):
    # setuptools' build tree and egg-info go to the temporary directory, not the source tree.
    build_dir = work_dir / "build"
    build_dir.mkdir()
    config = work_dir / "setup.cfg"
    config.write_text(f"[build]\nbuild_base = {build_dir}\n[egg_info]\negg_base = {build_dir}\n")
    environment = {**plain_environment(), "DIST_EXTRA_CONFIG": str(config)}
    subprocess.run(
        [sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-deps", "--no-index",
         "--no-cache-dir", "--disable-pip-version-check", "--root-user-action=ignore", "--quiet",
         "--target", str(site_dir), str(source_dir)],
        cwd=work_dir, env=environment, check=True)


def check_import(work_dir, site_dir, expected_version):
    environment = {**plain_environment(), "PYTHONPATH": str(site_dir)}
    subprocess.run([sys.executable, "-s", "-c", IMPORT_CHECK, str(site_dir), expected_version],
                   cwd=work_dir, env=environment, check=True)


def check_layout(source_dir, site_dir):
    module = site_dir / ("quorvanta_core" + sysconfig.get_config_var("EXT_SUFFIX"))
    stub = site_dir / "quorvanta_core-stubs" / "__init__.pyi"
    marker = site_dir / "quorvanta_core-stubs" / "py.typed"
    for path in (module, stub, marker):
        if not path.is_file():
            sys.exit(f"not installed: {path.relative_to(site_dir)}")
    if stub.read_bytes() != (source_dir / "src" / "python" / "quorvanta_core.pyi").read_bytes():
        sys.exit("the installed stub differs from src/python/quorvanta_core.pyi")


def plain_environment():
    """The caller's environment without what would point Python or pip elsewhere."""
    return {name: value for name, value in os.environ.items()
            if not name.startswith(("PYTHON", "PIP_"))}


def main():
    source_dir, expected_version = Path(sys.argv[1]).resolve(), sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="quorvanta-packaging-") as temporary:
        work_dir = Path(temporary)
        site_dir = work_dir / "site"
        pip_install(source_dir, work_dir, site_dir)
        check_layout(source_dir, site_dir)
        check_import(work_dir, site_dir, expected_version)
    print("python_packaging: installed and imported quorvanta_core", expected_version)


if __name__ == "__main__":
    main()
