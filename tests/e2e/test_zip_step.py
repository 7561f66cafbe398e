"""Whole compressed backup jobs under Wine (a small driver runs one job through the engine and
the real kvcmpenc.dll); their archives are checked by Debian's 7z and Python's zipfile. A job
killed while compressing, or one whose destination fills up, leaves the previous archive whole."""
import hashlib
import os
import pathlib
import random
import shutil
import subprocess
import time
import zipfile

import pytest

from jobdriver import DriverJob

DRIVER = "zip_job_driver.exe"
OLD = 1_300_000_000      # 2011
# Names users have: cp1252 punctuation, Cyrillic, CJK, and a name of 250 characters.
USER_NAMES = ["Report \u2013 final.txt", "Bob\u2019s \u201cnotes\u201d.txt", "\u20ac receipts.txt",
              "\u041e\u0442\u0447\u0451\u0442.txt", "\u5831\u544a\u66f8.txt", "n" * 246 + ".txt"]


def seven_zip(*args):
    return subprocess.run(["7z", *args], capture_output=True, text=True, timeout=60)


class ZipJob(DriverJob):
    """Sources, a destination and the driver that runs the job over them."""

    def __init__(self, prefix, bin_dir, root):
        super().__init__(prefix, bin_dir, root, DRIVER)
        self.state = root / "state.bin"

    def add(self, relative, data, base=None, mtime=None):
        path = (base or self.source) / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        return path

    def run(self, *options, sources=None, timeout=120):
        sources = sources or [self.source]
        args = [*self.library_and_destination(), *options]
        args += [self.prefix.windows_path(s) + "\\" for s in sources]
        result = self.prefix.run(self.driver, *args, timeout=timeout)
        return result.returncode, result.stdout.decode(errors="replace")


@pytest.fixture
def job(wine_prefix, bin_dir, tmp_path):
    return ZipJob(wine_prefix, bin_dir, tmp_path)


def names_in(archive):
    with zipfile.ZipFile(archive) as z:
        assert z.testzip() is None
        return sorted(n.rsplit("src/", 1)[-1] for n in z.namelist())


def test_plain_archive_holds_every_file(job):
    job.add("a.txt", b"alpha\n" * 1000)
    job.add("sub/b.bin", os.urandom(5000))
    code, log = job.run()
    assert code == 1, log
    archive = job.compressed / "Backup.zip"
    assert "Compressed file created successfully: " in log
    assert seven_zip("t", "-bd", str(archive)).returncode == 0
    assert names_in(archive) == ["a.txt", "sub/b.bin"]
    with zipfile.ZipFile(archive) as z:
        name = next(n for n in z.namelist() if n.endswith("src/a.txt"))
        assert z.read(name) == b"alpha\n" * 1000


def test_every_name_reaches_the_archive(job):
    for i, name in enumerate(USER_NAMES):
        job.add(f"names/{name}", f"file {i}\n".encode())
    code, log = job.run()
    assert code == 1, log
    archive = job.compressed / "Backup.zip"
    assert seven_zip("t", "-bd", str(archive)).returncode == 0
    listed = [p.rsplit("/", 1)[-1] for p in seven_zip("l", "-slt", str(archive)).stdout.splitlines()
              if p.startswith("Path = ") and "/names/" in p]
    assert sorted(listed) == sorted(USER_NAMES)
    with zipfile.ZipFile(archive) as z:
        for i, name in enumerate(USER_NAMES):
            entry = next(n for n in z.namelist() if n.endswith("/names/" + name))
            assert z.read(entry) == f"file {i}\n".encode()


def test_encrypted_archive_opens_with_its_password_only(job):
    job.add("secret.txt", b"top secret\n" * 100)
    code, log = job.run("--password", "right pass")
    assert code == 1, log
    assert "right pass" not in log
    archive = str(job.compressed / "Backup.zip")
    assert seven_zip("t", "-bd", "-pright pass", archive).returncode == 0
    assert seven_zip("t", "-bd", "-pwrong", archive).returncode != 0
    listing = seven_zip("l", "-slt", "-pright pass", archive).stdout
    assert "AES-256" in listing


def test_password_with_a_quote_is_refused(job):
    job.add("a.txt", b"a")
    code, log = job.run("--password", 'pa"ss')
    assert code == 3, log
    assert "ERROR: ZIP password contains a double quote" in log
    assert not (job.compressed / "Backup.zip").exists()


def test_split_parts_join_into_a_valid_archive(job):
    job.add("noise.bin", os.urandom(300_000))
    job.add("text.txt", b"hello\n")
    code, log = job.run("--split", "64", "1")
    assert code == 1, log
    parts = sorted(job.compressed.glob("Backup.zip.*"))
    assert len(parts) >= 5
    assert all(p.stat().st_size <= 64 * 1024 for p in parts)
    assert not (job.compressed / "Backup.zip").exists()
    joined = job.compressed.parent / "joined.zip"
    joined.write_bytes(b"".join(p.read_bytes() for p in parts))
    assert names_in(joined) == ["noise.bin", "text.txt"]
    assert seven_zip("t", "-bd", str(joined)).returncode == 0


def test_lone_part_is_renamed_to_the_archive_name(job):
    job.add("small.txt", b"small")
    code, log = job.run("--split", "1", "2")
    assert code == 1, log
    assert (job.compressed / "Backup.zip").exists()
    assert not list(job.compressed.glob("Backup.zip.*"))
    assert names_in(job.compressed / "Backup.zip") == ["small.txt"]


def test_two_source_roots_give_two_archives(job, wine_prefix):
    other = wine_prefix.path / "drive_c" / "other"
    job.add("z.txt", b"on Z")
    (other / "src").mkdir(parents=True)
    (other / "src" / "c.txt").write_bytes(b"on C")
    args = ["--lib", wine_prefix.windows_path(job.bin_dir), "--dest", wine_prefix.windows_path(job.dest) + "\\",
            wine_prefix.windows_path(job.source) + "\\", "C:\\other\\src\\"]
    result = wine_prefix.run(job.driver, *args)
    log = result.stdout.decode(errors="replace")
    assert result.returncode == 1, log
    assert names_in(job.compressed / "Backup_Z.zip") == ["z.txt"]
    assert names_in(job.compressed / "Backup_C.zip") == ["c.txt"]


# The name a new configuration gets, and a fixed one: a date-filtered run that finds an archive
# under its name replaces it by one of all files, and one with nothing to list leaves it alone.
@pytest.mark.parametrize("name", ["Backup Job 1_[[DATE]].zip", "Backup.zip"])
def test_a_date_filtered_run_never_leaves_less_than_the_archive_it_replaces(job, tmp_path, name):
    budget, letter = "Budget 2024.xlsx", "Letters/To the landlord.docx"
    job.add(budget, b"budget, first draft\n" * 100, mtime=OLD)
    job.add(letter, b"dear landlord\n" * 100, mtime=OLD)
    data = tmp_path / "data"
    data.mkdir()
    options = ["--name", name, "--every", "30", "--state", job.prefix.windows_path(job.state),
               "--data", job.prefix.windows_path(data) + "\\"]

    def archived():
        archives = list(job.compressed.glob(name.replace("[[DATE]]", "*")))
        if len(archives) > 1:
            pytest.skip("the date changed during the test")
        assert len(archives) == 1, list(job.compressed.iterdir())
        with zipfile.ZipFile(archives[0]) as z:
            assert z.testzip() is None
            return {n.rsplit("src/", 1)[-1]: z.read(n) for n in z.namelist() if not n.endswith("/")}

    code, log = job.run(*options)
    assert code == 1, log
    first = {p: (job.source / p).read_bytes() for p in (budget, letter)}
    assert archived() == first
    edited = b"dear landlord, the boiler\n" * 100
    exists = "The ZIP file exists already, so all files are compressed into it: "
    # (files written before the run, None to empty the source; a line of its log; what the archive holds)
    steps = [({}, exists, first),
             ({letter: edited}, exists, {budget: first[budget], letter: edited}),
             (None, "Skipping creation of empty ZIP file: ", {budget: first[budget], letter: edited})]
    for writes, line, holds in steps:
        if writes is None:
            shutil.rmtree(job.source)
            job.source.mkdir()
        for path, data in (writes or {}).items():
            (job.source / path).write_bytes(data)
        code, log = job.run(*options)
        assert code == 1, log
        assert line in log
        assert archived() == holds


def test_unreadable_file_is_left_out_with_warnings(job):
    job.add("a.txt", b"alpha")
    locked = job.add("locked.txt", b"locked")
    code, log = job.run("--lock", job.prefix.windows_path(locked))
    assert code == 3, log
    assert "WARNING (1): Compression operation completed with warnings." in log
    assert names_in(job.compressed / "Backup.zip") == ["a.txt"]


def test_cancel_while_compressing_leaves_nothing(job):
    # Text keeps the library busy for a while; noise it only stores, at the speed of the disc.
    words = [b"backup ", b"volume ", b"archive ", b"folder ", b"schedule ", b"mirror ", b"the ", b"report\r\n"]
    job.add("big.txt", b"".join(random.Random(99).choices(words, k=7 * 1024 * 1024)))
    code, log = job.run("--cancel")
    assert code == 4, log
    assert not list(job.compressed.glob("*"))


# Names the system's own path parsing misreads: device names with or without an extension, a
# trailing dot or blank, and a folder whose name ends in a dot.
MISREAD_NAMES = ["aux.txt", "COM1.log", "nul.txt", "con", "trail.", "trail2 ", "tdir./in.txt"]


def test_names_the_system_misreads_are_archived_under_their_own_names(job):
    for i, name in enumerate(MISREAD_NAMES):
        job.add(name, f"file {i}\n".encode())
    code, log = job.run()
    assert code == 1, log
    with zipfile.ZipFile(job.compressed / "Backup.zip") as z:
        assert z.testzip() is None
        contents = {n.rsplit("src/", 1)[-1]: z.read(n) for n in z.namelist()}
    assert contents == {name: f"file {i}\n".encode() for i, name in enumerate(MISREAD_NAMES)}


TEMPORARY = ".vlrnew"
SWAP_NOTE = ".vlrswap"
SPLIT_64K = ("--split", "64", "1")


def archive_files(job):
    """The archive files under their final names, by name: what a reader or the next step sees."""
    return {p.name: p.read_bytes() for p in job.compressed.iterdir() if TEMPORARY not in p.name}


def digests(files):
    return {name: hashlib.sha256(data).hexdigest()[:16] for name, data in files.items()}


def make_previous_archive(job, options):
    job.add("previous.bin", os.urandom(200_000))
    code, log = job.run(*options)
    assert code == 1, log
    (job.source / "previous.bin").unlink()
    return archive_files(job)


def names_in_files(job, files):
    """The names in the archive made of these files (its parts joined in order), or None when
    7-Zip finds no whole archive there."""
    whole = job.compressed.parent / "whole.zip"
    whole.write_bytes(b"".join(files[name] for name in sorted(files)))
    if not files or seven_zip("t", "-bd", str(whole)).returncode != 0:
        return None
    return names_in(whole)


def writing(job, previous):
    return archive_files(job) != previous or any(TEMPORARY in p.name and p.stat().st_size
                                                 for p in job.compressed.iterdir())


def big_text():
    words = [b"backup ", b"volume ", b"archive ", b"folder ", b"schedule ", b"mirror ", b"the ", b"report\r\n"]
    return b"".join(random.Random(7).choices(words, k=24 * 1024 * 1024))


@pytest.mark.parametrize("options", [(), SPLIT_64K], ids=["one file", "split"])
def test_a_job_killed_while_compressing_keeps_the_previous_archive(job, options):
    previous = make_previous_archive(job, options)
    job.add("big.txt", big_text())
    args = [*job.library_and_destination(), *options, job.prefix.windows_path(job.source) + "\\"]
    process = job.prefix.start(job.driver, *args)
    try:
        # Killed as soon as the new archive is being written, or the old one has changed.
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and process.poll() is None and not writing(job, previous):
            time.sleep(0.01)
        assert process.poll() is None, "the job ended before it could be killed"
    finally:
        process.kill()
        process.wait(timeout=60)

    assert digests(archive_files(job)) == digests(previous)
    assert names_in_files(job, previous) == ["previous.bin"]
    # The next run clears what the killed one left and replaces the previous archive.
    (job.source / "big.txt").unlink()
    job.add("next.txt", b"the next backup\n")
    code, log = job.run(*options)
    assert code == 1, log
    assert not [p for p in job.compressed.iterdir() if TEMPORARY in p.name]
    assert names_in_files(job, archive_files(job)) == ["next.txt"]


COPY_DRIVES = pathlib.Path(__file__).resolve().parents[1] / "engine" / "copy-drives.sh"


@pytest.fixture
def small_drive(tmp_path):
    """The copy tests' tmpfs of 4 MB that fills up, mounted here (which needs root)."""
    if os.geteuid() != 0:
        pytest.skip("mounting the small drive needs root")
    root = tmp_path / "drives"
    subprocess.run([str(COPY_DRIVES), "mount", str(root)], check=True, capture_output=True, timeout=120)
    yield root / "small"
    subprocess.run([str(COPY_DRIVES), "unmount", str(root)], check=True, capture_output=True, timeout=120)


@pytest.mark.parametrize("options", [(), SPLIT_64K], ids=["one file", "split"])
def test_a_full_destination_keeps_the_previous_archive(job, small_drive, options):
    job.dest = small_drive / "dest"
    job.dest.mkdir()
    previous = make_previous_archive(job, options)
    job.add("large.bin", os.urandom(5 << 20))

    code, log = job.run(*options)

    assert code == 3, log
    assert "ERROR (2): Compression operation Failed: disk full." in log
    assert "Compressed file created successfully" not in log
    assert {p.name for p in job.compressed.iterdir()} == set(previous)
    assert digests(archive_files(job)) == digests(previous)
    assert names_in_files(job, previous) == ["previous.bin"]


def archive_set(job, name):
    """The files under an archive's name: the archive itself and its numbered parts."""
    return {p.name: p.read_bytes() for p in job.compressed.iterdir()
            if p.name == name or (p.name.startswith(name + ".") and p.name[len(name) + 1:].isdigit())}


def test_a_job_killed_while_a_split_archive_replaces_the_previous_one_never_mixes_them(job):
    # Five parts of the previous archive are replaced by three of the new one; the job is killed
    # before each deletion, move or write of that replacement in turn, until one is not killed.
    job.add("Scans/Statement 2019.pdf", os.urandom(300_000))
    code, log = job.run(*SPLIT_64K)
    assert code == 1, log
    previous = archive_set(job, "Backup.zip")
    assert len(previous) == 5
    shutil.rmtree(job.source / "Scans")
    job.add("Scans/Statement 2024.pdf", os.urandom(150_000))
    for kill_at in range(1, 30):
        shutil.rmtree(job.compressed)
        job.compressed.mkdir()
        for name, data in previous.items():
            (job.compressed / name).write_bytes(data)
        code, log = job.run(*SPLIT_64K, "--kill-at-change", str(kill_at))
        if code != 99:
            assert code == 1, log
            assert names_in_files(job, archive_set(job, "Backup.zip")) == ["Scans/Statement 2024.pdf"]
            break
        left = archive_set(job, "Backup.zip")
        noted = (job.compressed / ("Backup.zip" + SWAP_NOTE)).exists()
        # The previous archive, the new one, or no archive yet while the note says what to finish.
        assert (left == previous or names_in_files(job, left) == ["Scans/Statement 2024.pdf"]
                or (noted and "Backup.zip" not in left and "Backup.zip.001" not in left)), (kill_at, sorted(left))
        # The next job's ZIP step (another archive) finishes the replacement first.
        code, log = job.run("--name", "Other.zip")
        assert code == 1, log
        after = archive_set(job, "Backup.zip")
        if noted:
            assert "Finishing the replacement of a zip file that an earlier run left unfinished" in log
            assert names_in_files(job, after) == ["Scans/Statement 2024.pdf"], kill_at
            assert not [p.name for p in job.compressed.iterdir() if TEMPORARY in p.name or SWAP_NOTE in p.name]
        else:
            assert after == previous, kill_at
    else:
        pytest.fail("the job was killed at every step")
