"""Recombining a real split archive made by the ZIP step and kvcmpenc.dll: the joined file is a
valid archive for Python's zipfile and Debian's 7z, and replaces an older archive of that name."""
import os
import pathlib
import subprocess
import zipfile

import pytest

from test_zip_step import ZipJob

DRIVER = "combine_driver.exe"


@pytest.fixture
def job(wine_prefix, bin_dir, tmp_path):
    return ZipJob(wine_prefix, bin_dir, tmp_path)


def combine(job, first_part):
    driver = pathlib.Path(os.environ["VELLORAN_BUILD_DIR"]) / "i686" / "tests" / "bin" / DRIVER
    result = job.prefix.run(driver, job.prefix.windows_path(first_part))
    return result.returncode, result.stdout.decode(errors="replace")


def test_split_archive_recombines_into_a_valid_archive(job):
    noise = os.urandom(300_000)
    job.add("noise.bin", noise)
    job.add("text.txt", b"hello\n" * 50)
    code, log = job.run("--split", "64", "1")
    assert code == 1, log
    parts = sorted(job.compressed.glob("Backup.zip.*"))
    assert len(parts) >= 5
    archive = job.compressed / "Backup.zip"
    archive.write_bytes(b"an older archive")

    code, message = combine(job, parts[0])

    assert code == 0, message
    assert message.startswith("ZIP Successfully Combined")
    assert archive.read_bytes() == b"".join(p.read_bytes() for p in parts)
    with zipfile.ZipFile(archive) as z:
        assert z.testzip() is None
        by_name = {n.rsplit("src/", 1)[-1]: n for n in z.namelist()}
        assert sorted(by_name) == ["noise.bin", "text.txt"]
        assert z.read(by_name["noise.bin"]) == noise
    assert subprocess.run(["7z", "t", "-bd", str(archive)], capture_output=True, timeout=60).returncode == 0
    assert not list(job.compressed.glob("*.vlrjoin"))

