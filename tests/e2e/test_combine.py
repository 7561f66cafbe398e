"""Recombining a real split archive made by the ZIP step and kvcmpenc.dll: the joined file is a
valid archive for Python's zipfile and Debian's 7z, and replaces an older archive of that name.
Parts that do not make a whole archive (one missing, short, empty or a folder; an end record of
another disk; parts swapped, duplicated, foreign or with a byte changed, so that an entry does not
match its directory) are refused with the part or the entry named, and nothing written."""
import io
import os
import random
import re
import subprocess
import zipfile

import pytest

from jobdriver import driver_program
from test_zip_step import ZipJob

DRIVER = "combine_driver.exe"


@pytest.fixture
def job(wine_prefix, bin_dir, tmp_path):
    return ZipJob(wine_prefix, bin_dir, tmp_path)


def combine(job, first_part):
    driver = driver_program(DRIVER)
    result = job.prefix.run(driver, job.prefix.windows_path(first_part))
    return result.returncode, result.stdout.decode(errors="replace").replace("\r\n", "\n")


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



def missing(part):
    part.unlink()


def folder(part):
    part.unlink()
    part.mkdir()


def emptied(part):
    part.write_bytes(b"")


def halved(part):
    part.write_bytes(part.read_bytes()[: part.stat().st_size // 2])


def ten_bytes_short(part):
    part.write_bytes(part.read_bytes()[:-10])


@pytest.mark.parametrize("damage, index, words", [
    (missing, 1, "Split part missing"),
    (missing, -1, "Split part missing"),
    (folder, 1, "Split part missing"),
    (emptied, 1, "Split part too short"),
    (halved, 2, "Split part too short"),
    (ten_bytes_short, -1, "Split part too short"),
    (halved, 0, "Split part too short"),
], ids=["002 missing", "last missing", "002 a folder", "002 empty", "003 halved", "last truncated",
        "001 halved"])
def test_parts_that_make_no_whole_archive_are_not_combined(job, damage, index, words):
    job.add("noise.bin", os.urandom(300_000))
    code, log = job.run("--split", "64", "1")
    assert code == 1, log
    parts = sorted(job.compressed.glob("Backup.zip.*"))
    assert len(parts) >= 5
    damage(parts[index])

    code, message = combine(job, parts[0])

    assert code in (9, 10), message
    assert message.startswith(words + ":\n\n" + job.prefix.windows_path(parts[index]) + "\n"), message
    assert not (job.compressed / "Backup.zip").exists()
    assert not list(job.compressed.glob("*.vlrjoin"))


def zip64_archive():
    """A small archive with the Zip64 end records that big archives carry."""
    buffer = io.BytesIO()
    limit = zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP_FILECOUNT_LIMIT = 0  # Python's writer then adds them whatever the size
    try:
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("noise.bin", os.urandom(200_000))
            z.writestr("text.txt", b"hello\n" * 50)
    finally:
        zipfile.ZIP_FILECOUNT_LIMIT = limit
    data = buffer.getvalue()
    assert b"PK\x06\x06" in data and b"PK\x06\x07" in data
    return data


def last_disk_of_three():
    """An archive whose end record says it is disk 3 of a spanned set."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
        z.writestr("noise.bin", os.urandom(200_000))
    data = bytearray(buffer.getvalue())
    end = data.rfind(b"PK\x05\x06")
    data[end + 4:end + 8] = (2).to_bytes(2, "little") * 2
    return bytes(data)


def chunks(data, count):
    size = -(-len(data) // count)
    return [data[n * size:(n + 1) * size] for n in range(count)]


def write_parts(pieces, folder):
    parts = [folder / f"Other.zip.{n + 1:03d}" for n in range(len(pieces))]
    for part, piece in zip(parts, pieces):
        part.write_bytes(piece)
    return parts


def split(data, folder, count):
    return write_parts(chunks(data, count), folder)


@pytest.mark.parametrize("make, damage, index, code, words", [
    (zip64_archive, None, 0, 0, "ZIP Successfully Combined"),
    (zip64_archive, halved, 1, 10, "Split part too short:\n\n{part}"),
    (zip64_archive, missing, -1, 9, "Split part missing:\n\n{part}"),
    (last_disk_of_three, None, 0, 11, "The split parts do not make a whole ZIP archive, so nothing was combined:"
                                      "\n\n{part}"),
], ids=["zip64", "zip64 002 halved", "zip64 last missing", "end record of disk 3"])
def test_end_records_of_other_writers(job, tmp_path, make, damage, index, code, words):
    parts = split(make(), tmp_path, 4)
    if damage:
        damage(parts[index])

    result, message = combine(job, parts[0])

    assert result == code, message
    assert message.startswith(words.format(part=job.prefix.windows_path(parts[index]))), message
    archive = tmp_path / "Other.zip"
    if code == 0:
        with zipfile.ZipFile(archive) as z:
            assert z.testzip() is None and sorted(z.namelist()) == ["noise.bin", "text.txt"]
    else:
        assert not archive.exists()
    assert not list(tmp_path.glob("*.vlrjoin"))


def stored_archive(seed):
    """Entries stored, of fixed names and sizes: archives of different seeds differ only in their
    data, so their parts have the same sizes and their directories the same layout."""
    rng = random.Random(seed)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
        for i in range(4):
            z.writestr(f"docs/file{i}.bin", rng.randbytes(50_000))
    return buffer.getvalue()


def flipped(data, offset):
    data = bytearray(data)
    data[offset] ^= 0x20
    return bytes(data)


DAMAGED_ENTRY = r"The (local header|data) of the entry \"docs/file\d\.bin\" \(offset \d+, in Other\.zip\.00\d\) "


@pytest.mark.parametrize("damage, words", [
    (lambda p, o: [p[0], p[2], p[1], *p[3:]], DAMAGED_ENTRY),
    (lambda p, o: [p[0], o[1], *p[2:]], DAMAGED_ENTRY + "does not match its CRC-32"),
    (lambda p, o: [p[0], p[1], p[1], *p[3:]], DAMAGED_ENTRY),
    (lambda p, o: [*p[:-1], o[-1]], DAMAGED_ENTRY + "does not match its central directory entry"),
    (lambda p, o: [p[0], flipped(p[1], len(p[1]) // 2), *p[2:]], DAMAGED_ENTRY + "does not match its CRC-32"),
    # The first character of the first local header's name.
    (lambda p, o: [flipped(p[0], 30), *p[1:]], r"The local header of the entry \"docs/file0\.bin\" \(offset 0, in "
                                                r"Other\.zip\.001\) does not match its central directory entry"),
], ids=["002 and 003 swapped", "002 of another archive", "003 a copy of 002", "foreign last part of the same size",
        "byte flipped in 002", "byte flipped in the first name"])
def test_parts_whose_entries_do_not_match_their_directory_are_not_combined(job, tmp_path, damage, words):
    parts = write_parts(damage(chunks(stored_archive(1), 5), chunks(stored_archive(2), 5)), tmp_path)
    archive = tmp_path / "Other.zip"
    archive.write_bytes(b"an older archive")

    code, message = combine(job, parts[0])

    assert code == 11, message
    head = "The split parts do not make a whole ZIP archive, so nothing was combined:\n\n"
    assert message.startswith(head + job.prefix.windows_path(parts[0]) + "\n\n"), message
    assert re.match(words, message.split("\n\n")[2]), message
    assert archive.read_bytes() == b"an older archive"
    assert not list(tmp_path.glob("*.vlrjoin"))


def test_undamaged_stored_parts_still_combine(job, tmp_path):
    data = stored_archive(1)
    parts = split(data, tmp_path, 5)
    code, message = combine(job, parts[0])
    assert code == 0, message
    assert (tmp_path / "Other.zip").read_bytes() == data
