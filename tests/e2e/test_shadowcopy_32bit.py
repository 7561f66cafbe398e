"""The shadow-copy road of a 32-bit system: in a WINEARCH=win32 prefix the main program has no
WoW64, so it loads kv_vss.dll itself. The job tests of the shadow-copy client run there once
more; in the run's default 64-bit prefix CTest runs them on the bridge-and-host road."""
import os
import pathlib
import shutil
import subprocess

import pytest

from conftest import PREFIX_SH, WinePrefix, _required_env


@pytest.fixture(scope="session")
def win32_prefix():
    root = pathlib.Path(_required_env("VELLORAN_TEST_ROOT"))
    path = root / "win32-prefix"
    env = dict(os.environ, WINEARCH="win32")
    subprocess.run(["bash", "-c", f'. "{PREFIX_SH}" && make_pristine_prefix "$0"', str(path)], env=env,
                   check=True, timeout=300)
    prefix = WinePrefix(path)
    yield prefix
    prefix.kill()
    shutil.rmtree(path, ignore_errors=True)


# A 32-bit prefix needs Wine's 32-bit loader; where it cannot start, the 64-bit build's own tests
# take this road (a program without WoW64 loads kv_vss.dll itself) in the run's prefix.
@pytest.mark.skipif(bool(os.environ.get("VELLORAN_WINE64_ONLY")), reason="this machine runs no 32-bit code")
def test_jobs_take_the_32_bit_library_in_a_32_bit_prefix(win32_prefix, bin_dir):
    assert not (win32_prefix.path / "drive_c" / "windows" / "syswow64").exists(), "not a 32-bit prefix"
    program = pathlib.Path(_required_env("VELLORAN_TEST_TREE")) / "tests" / "bin" / "job_tests.exe"
    win32_prefix.env["VELLORAN_BIN_DIR"] = win32_prefix.windows_path(bin_dir)
    doubles = pathlib.Path(_required_env("VELLORAN_TEST_DOUBLES_DIR"))
    win32_prefix.env["VELLORAN_TEST_DOUBLES_DIR"] = win32_prefix.windows_path(doubles)
    result = win32_prefix.run(program, "--gtest_filter=ShadowClientTest.*:ShadowJobTest.*", timeout=180)
    output = result.stdout.decode(errors="replace")
    assert result.returncode == 0, output
    assert "[  FAILED  ]" not in output, output
    assert "[       OK ] ShadowJobTest.JobReadsItsSourcesThroughTheShadowLetter" in output, output
