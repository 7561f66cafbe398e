"""Fixtures for end-to-end tests: the built binaries and a private Wine prefix per test."""
import os
import pathlib
import shutil
import subprocess
import tempfile

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
PREFIX_SH = ROOT / "tests" / "wine" / "prefix.sh"
SETTINGS_KEY = r"Software\Dorvane Software\Velloran\CurrentVersion"
IMPORT = "/usr/bin/import"
CONVERT = "/usr/bin/convert"
SCREEN = (1280, 1024)


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
        # Output goes to files, not pipes: a Wine process started meanwhile (the server, or a
        # program the test started) may inherit a pipe and keep it open after this one ends.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(["wine", str(program), *map(str, args)], env=self.env, timeout=timeout,
                                    stdout=out, stderr=err)
            out.seek(0)
            err.seek(0)
            result.stdout, result.stderr = out.read(), err.read()
        return result

    def start(self, program, *args):
        """Starts a Windows program and returns its Popen; the caller waits for it."""
        return subprocess.Popen(["wine", str(program), *map(str, args)], env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def set_settings(self, section, values):
        """Writes the program's settings of one section as the text values it stores."""
        key = rf"HKEY_CURRENT_USER\{SETTINGS_KEY}\{section}"
        lines = ["REGEDIT4", "", f"[{key}]"] + [f'"{name}"="{value}"' for name, value in values.items()]
        reg_file = self.path / f"settings-{section}.reg"
        reg_file.write_text("\r\n".join(lines) + "\r\n", encoding="ascii")
        subprocess.run(["wine", "reg", "import", self.windows_path(reg_file)], env=self.env, check=True,
                       capture_output=True, timeout=60)

    def query_settings(self, section):
        """The program's settings of one section as a dict of texts (empty when the key is missing)."""
        result = subprocess.run(["wine", "reg", "query", rf"HKCU\{SETTINGS_KEY}\{section}"], env=self.env,
                                capture_output=True, timeout=60)
        values = {}
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2].strip()
        return values

    def trust_certificate(self, cert):
        """Adds a PEM certificate to the prefix's trusted roots."""
        tool = pathlib.Path(_required_env("VELLORAN_TEST_TREE")) / "tests" / "bin" / "add_root_cert.exe"
        result = self.run(tool, self.windows_path(cert))
        assert result.returncode == 0, result.stderr

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

    @property
    def data_folder(self):
        """The program's data folder: its store, job logs and library logs."""
        return self.appdata / "Velloran"

    def kill(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True)


def make_certificate(folder, name, alt_name):
    """A self-signed certificate made out for name (subjectAltName alt_name, e.g. "IP:127.0.0.1")
    that may stand as a trusted root, and its key: the PEM files (cert, key)."""
    cert, key = folder / f"{name}-cert.pem", folder / f"{name}-key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    f"/CN={name}", "-addext", f"subjectAltName={alt_name}", "-addext",
                    "basicConstraints=critical,CA:TRUE", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True, timeout=60)
    return cert, key


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


@pytest.fixture
def x_display():
    """A virtual X screen of its own (Xvfb) for pictures of windows; its display name."""
    if not (shutil.which("Xvfb") and os.path.exists(IMPORT) and os.path.exists(CONVERT)):
        pytest.skip("Xvfb or ImageMagick is not installed")
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                               f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp"], pass_fds=[write_end],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        display = ":" + numbers.readline().strip()
    yield display
    server.terminate()
    server.wait(timeout=30)
