"""Fixtures for end-to-end tests: the built binaries and a private Wine prefix per test."""
import os
import pathlib
import shutil
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
PREFIX_SH = ROOT / "tests" / "wine" / "prefix.sh"


def _required_env(name):
    value = os.environ.get(name)
    if not value:
        pytest.exit(f"{name} is not set: run the tests through scripts/test.sh", returncode=2)
    return value


@pytest.fixture(scope="session")
def bin_dir():
    return pathlib.Path(_required_env("VELLORAN_BIN_DIR"))


class WinePrefix:
    """One private prefix, cloned from the run's pristine one and removed afterwards."""

    def __init__(self, path):
        self.path = pathlib.Path(path)
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=str(self.path), WINEDEBUG="-all", LANG="C.UTF-8", LC_ALL="C.UTF-8",
                        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")

    def run(self, program, *args, timeout=120):
        """Runs a Windows program to its end and returns the CompletedProcess."""
        return subprocess.run(["wine", str(program), *map(str, args)], env=self.env, timeout=timeout,
                              capture_output=True)

    def windows_path(self, unix_path):
        """The Z: drive path under which Wine shows a Unix path."""
        return "Z:" + str(unix_path).replace("/", "\\")

    @property
    def user_dir(self):
        users = self.path / "drive_c" / "users"
        return next(p for p in users.iterdir() if p.name not in ("Public",))

    @property
    def appdata(self):
        return self.user_dir / "AppData" / "Roaming"

    def kill(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True)


@pytest.fixture
def wine_prefix(tmp_path):
    pristine = _required_env("VELLORAN_PRISTINE_PREFIX")
    path = tmp_path / "prefix"
    subprocess.run(["bash", "-c", f'. "{PREFIX_SH}" && clone_prefix "$0" "$1"', pristine, str(path)],
                   check=True)
    prefix = WinePrefix(path)
    yield prefix
    prefix.kill()
    shutil.rmtree(path, ignore_errors=True)
