"""kvcmpenc.dll's archives checked by readers that share no code with it: Debian's 7z and
Python's zipfile. A small driver program makes one RunDLLCommand call under Wine."""
import os
import pathlib
import subprocess
import time
import zipfile

import pytest

DRIVER = "zipdriver.exe"
COMMAND = 'fake.exe a -tzip -scsWIN -ssw {switches}"{archive}" @"{listfile}"'


@pytest.fixture
def job(wine_prefix, bin_dir, tmp_path):
    return ArchiveJob(wine_prefix, bin_dir, tmp_path)


class ArchiveJob:
    """A source folder, a list file and an output folder, as the ZIP step lays them out."""

    def __init__(self, prefix, bin_dir, root):
        self.prefix = prefix
        self.dll = prefix.windows_path(bin_dir / "kvcmpenc.dll")
        self.driver = pathlib.Path(os.environ["VELLORAN_TEST_TREE"]) / "tests" / "bin" / DRIVER
        self.source = root / "src"
        self.output = root / "out"
        self.source.mkdir()
        self.output.mkdir()
        self.listfile = root / "0_0.txt"
        self.log = root / "compress.txt"

    def add(self, relative, data, mtime=None):
        path = self.source / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        return path

    def write_list(self, names, encoding="cp1252"):
        # 8-bit text in the ANSI code page, CR LF line ends, paths relative to the source root.
        self.listfile.write_bytes(b"".join(n.replace("/", "\\").encode(encoding) + b"\r\n" for n in names))

    def run(self, archive_name, switches="", cancel=False):
        archive = self.output / archive_name
        line = COMMAND.format(switches=switches, archive=self.prefix.windows_path(archive),
                              listfile=self.prefix.windows_path(self.listfile))
        args = [self.dll, self.prefix.windows_path(self.source), self.prefix.windows_path(self.log), line]
        if cancel:
            args.append("cancel")
        result = self.prefix.run(self.driver, *args, timeout=60)
        return result.returncode, result.stdout.decode(errors="replace"), archive


def seven_zip(*args):
    return subprocess.run(["7z", *args], capture_output=True, text=True, timeout=60)


def slt_field(listing, field):
    return [line.split(" = ", 1)[1] for line in listing.splitlines() if line.startswith(field + " = ")]


def test_plain_archive_passes_both_readers_with_names_and_times(job):
    written = 1_560_594_030  # an even second: DOS times hold two-second steps
    job.add("Docs/report.txt", b"quarterly numbers\n" * 2000, mtime=written)
    job.add("Docs/Sub/data.bin", os.urandom(30000), mtime=written)
    job.add("empty.txt", b"")
    job.write_list(["Docs/report.txt", "Docs/Sub/data.bin", "empty.txt"])
    code, out, archive = job.run("backup.zip")
    assert code == 0, out
    assert "progress=100" in out

    assert seven_zip("t", "-bd", str(archive)).returncode == 0
    listing = seven_zip("l", "-slt", str(archive)).stdout
    assert slt_field(listing, "Method") == ["Deflate"] * 3
    with zipfile.ZipFile(archive) as z:
        assert z.testzip() is None
        assert sorted(z.namelist()) == ["Docs/Sub/data.bin", "Docs/report.txt", "empty.txt"]
        assert z.read("Docs/report.txt") == b"quarterly numbers\n" * 2000
        assert z.read("Docs/Sub/data.bin") == (job.source / "Docs/Sub/data.bin").read_bytes()
        info = z.getinfo("Docs/report.txt")
        assert info.compress_type == zipfile.ZIP_DEFLATED
        assert info.compress_size < 2000
        assert info.date_time == time.localtime(written)[:6]
        assert not info.flag_bits & 0x800  # ASCII names need no UTF-8 flag


def test_aes256_opens_with_the_right_password_only(job):
    job.add("secret.txt", b"the plans" * 100)
    job.write_list(["secret.txt"])
    code, out, archive = job.run("enc.zip", switches='-p"Open Sesame" -mem=AES256 ')
    assert code == 0, out

    listing = seven_zip("l", "-slt", "-pOpen Sesame", str(archive)).stdout
    assert slt_field(listing, "Method") == ["AES-256 Deflate"]
    assert slt_field(listing, "Encrypted") == ["+"]
    assert seven_zip("t", "-bd", "-pOpen Sesame", str(archive)).returncode == 0
    assert seven_zip("t", "-bd", "-popen sesame", str(archive)).returncode != 0
    extracted = seven_zip("x", "-so", "-pOpen Sesame", str(archive), "secret.txt")
    assert extracted.stdout == "the plans" * 100
    with zipfile.ZipFile(archive) as z:
        assert z.getinfo("secret.txt").compress_type == 99  # WinZip AES
    assert "Sesame" not in job.log.read_text(errors="replace")


def test_split_parts_are_at_most_the_volume_size_and_join_into_a_valid_archive(job):
    contents = {f"part{i}.bin": os.urandom(7000) for i in range(3)}
    for name, data in contents.items():
        job.add(name, data)
    job.write_list(sorted(contents))
    code, out, archive = job.run("split.zip", switches="-v2k ")
    assert code == 0, out

    parts = sorted(job.output.iterdir())
    assert [p.name for p in parts] == [f"split.zip.{n:03d}" for n in range(1, len(parts) + 1)]
    assert len(parts) >= 10
    assert all(p.stat().st_size <= 2048 for p in parts)
    assert all(p.stat().st_size == 2048 for p in parts[:-1])
    joined = job.output.parent / "joined.zip"
    joined.write_bytes(b"".join(p.read_bytes() for p in parts))
    assert seven_zip("t", "-bd", str(joined)).returncode == 0
    with zipfile.ZipFile(joined) as z:
        assert z.testzip() is None
        assert {n: z.read(n) for n in z.namelist()} == contents


def joined_parts(archive):
    """A split archive's parts joined in order, or the archive itself when it has none."""
    if archive.exists():
        return archive
    parts = sorted(archive.parent.glob(archive.name + ".*"))
    joined = archive.parent.parent / (archive.name + ".joined")
    joined.write_bytes(b"".join(p.read_bytes() for p in parts))
    return joined


def test_large_entries_cut_into_blocks_pass_both_readers_plain_encrypted_and_split(job):
    # Entries are compressed in blocks of 1 MB on several threads: sizes on either side of a
    # block's end, noise that is stored and text that is compressed in one entry.
    block = 1 << 20
    text = b"".join(b"quarterly report %d for the backup of folder %d\r\n" % (i, i % 97) for i in range(90000))
    contents = {
        "empty.txt": b"",
        "below.txt": text[:block - 1],
        "exact.bin": os.urandom(block),
        "above.txt": text[:block + 1],
        "mixed.bin": os.urandom(block + 4321) + text[:2 * block],
    }
    for name, data in contents.items():
        job.add(name, data)
    job.write_list(sorted(contents))
    runs = [("plain.zip", "", None), ("aes.zip", '-p"Open Sesame" -mem=AES256 ', "Open Sesame"),
            ("split.zip", "-v700k ", None)]
    for archive_name, switches, password in runs:
        code, out, archive = job.run(archive_name, switches=switches)
        assert code == 0, out
        whole = joined_parts(archive)
        assert seven_zip("t", "-bd", *([f"-p{password}"] if password else []), str(whole)).returncode == 0
        with zipfile.ZipFile(whole) as z:
            infos = {i.filename: i for i in z.infolist()}
            assert {n: i.file_size for n, i in infos.items()} == {n: len(d) for n, d in contents.items()}
            if password:
                assert {i.compress_type for i in infos.values()} == {99}
                for name, data in contents.items():
                    extracted = subprocess.run(["7z", "x", "-so", f"-p{password}", str(whole), name],
                                               capture_output=True, timeout=60)
                    assert extracted.stdout == data, name
            else:
                assert {i.compress_type for i in infos.values()} == {zipfile.ZIP_DEFLATED}
                assert z.testzip() is None
                assert {n: z.read(n) for n in contents} == contents
                assert infos["exact.bin"].compress_size < block + 100  # stored blocks, not inflated
                assert infos["below.txt"].compress_size < block // 8


def test_names_outside_ascii_are_utf8_with_the_flag(job):
    job.add("café.txt", b"bonjour")
    job.add("Ärger/über.txt", b"gruss")
    job.add("plain.txt", b"x")
    job.write_list(["café.txt", "Ärger/über.txt", "plain.txt"])
    code, out, archive = job.run("names.zip")
    assert code == 0, out
    with zipfile.ZipFile(archive) as z:
        assert z.read("café.txt") == b"bonjour"
        assert z.read("Ärger/über.txt") == b"gruss"
        assert z.getinfo("café.txt").flag_bits & 0x800
        assert not z.getinfo("plain.txt").flag_bits & 0x800
    listing = seven_zip("l", "-slt", str(archive)).stdout
    assert "Ärger/über.txt" in slt_field(listing, "Path") or "Ärger\\über.txt" in slt_field(listing, "Path")


def test_cancel_syntax_error_and_unreadable_files(job):
    job.add("a.txt", b"a" * 1000)
    job.write_list(["a.txt", "gone.txt"])
    code, _, _ = job.run("c.zip", switches="-v1k ", cancel=True)
    assert code == 255
    assert list(job.output.iterdir()) == []

    code, _, _ = job.run("s.zip", switches="-mx=9 ")
    assert code == 7
    assert list(job.output.iterdir()) == []

    code, out, archive = job.run("w.zip")
    assert code == 1, out
    with zipfile.ZipFile(archive) as z:
        assert z.namelist() == ["a.txt"]
    assert "gone.txt" in job.log.read_text(errors="replace")


@pytest.mark.skipif(not os.environ.get("VELLORAN_SLOW_TESTS"), reason="reads 4.1 GB; set VELLORAN_SLOW_TESTS=1")
def test_entry_beyond_four_gigabytes_uses_zip64(job):
    big = job.source / "big.img"
    with open(big, "wb") as f:
        f.truncate((4 << 30) + 12345)  # sparse: zeros that cost no disc space
    job.add("after.txt", b"after the big one")
    job.write_list(["big.img", "after.txt"])
    code, out, archive = job.run("z64.zip")
    assert code == 0, out
    assert seven_zip("t", "-bd", str(archive)).returncode == 0
    with zipfile.ZipFile(archive) as z:
        assert z.getinfo("big.img").file_size == (4 << 30) + 12345
        assert z.read("after.txt") == b"after the big one"
