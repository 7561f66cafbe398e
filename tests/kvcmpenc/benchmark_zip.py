#!/usr/bin/python3
"""Throughput of kvcmpenc.dll beside 7-Zip and Python's zipfile on one generated tree.

Generates a tree of about --size-mb megabytes, half text and half noise (a large file of each,
8 MB files, folders of small files), then archives it with every tool below and prints, for each,
the time, MB/s of input, the archive's size and its entries' compressed data (headers left out),
and kvcmpenc's speed and sizes as ratios to it:

    kvcmpenc (zipdriver.exe under Wine), plain, AES-256 and split into volumes
    7z a -tzip -mx1 -mmt1, and 7z -mx1 with its threads, plain and AES-256
    Python's zipfile, deflate level 6

Before a figure is printed the archive is checked: kvcmpenc's result code and log, `7z t` (with
the password for AES), and Python's zipfile for the names, sizes and CRCs of every listed file
(testzip where it can decrypt). Split volumes are joined first.

A second tree of --small-files files of 1-16 KB (20,000 by default, about 166 MB, half text and
half noise, in folders of 100; 0 leaves it out) is archived by kvcmpenc beside a plain reader of
the same list (plain_reader.exe under Wine: CreateFileA and ReadFile on every listed file, the
least any archiver must do), taking turns at going first; the ratio of their times is what
kvcmpenc spends beyond opening and reading the files. The reader must read every byte of the
tree, and the archive must hold every file.

A third tree of --listing-files small files (200,000 by default; 0 leaves it out) times the ZIP
step's listing of a folder source (zip_list_bench.exe under Wine: the step's own code, its time
and the process's peak private memory), then kvcmpenc on the list it wrote (with its process's
peak resident memory), beside 7-Zip on the same tree. The list must name every file of the tree
once, and each archive must hold them all. Run after a build:

    tests/kvcmpenc/benchmark_zip.py [--size-mb 1024] [--repeat 3] [--dll other/kvcmpenc.dll]
        [--small-files 20000] [--listing-files 200000]

Each timing is the median of --repeat runs. Uses WINEPREFIX when set, else boots a throw-away
prefix (not timed); its wineserver is kept running between runs and stopped at the end.
A benchmark, not a test: nothing here runs in CI.
"""
import argparse
import os
import pathlib
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
WORDS = ("backup volume archive folder schedule mirror compress verify restore network share "
         "report quarterly invoice customer the of and to in is for on with").split()
PASSWORD = "Bench Secret 1"


class Tree:
    """Half text, half noise by bytes: one large file of each kind (a quarter of the total
    together), 8 MB files, and folders of 200 small files of either kind."""

    def __init__(self, root, total_bytes, seed=7):
        self.start(root, seed)
        big = total_bytes // 8
        self.add("large/text.log", self.text(big))
        self.add("large/noise.bin", os.urandom(big))
        index = 0
        while self.made < total_bytes:
            kind = index % 3
            if kind == 0:
                self.add(f"dir{index % 7}/file{index}.txt", self.text(8 << 20))
            elif kind == 1:
                self.add(f"dir{index % 7}/file{index}.bin", os.urandom(8 << 20))
            else:
                for k in range(200):
                    small = self.rng.randrange(1, 40000)
                    self.add(f"small{index}/f{k}.dat", self.text(small) if k % 2 else os.urandom(small))
            index += 1

    def start(self, root, seed):
        self.root = root
        self.rng = random.Random(seed)
        self.lines = [" ".join(self.rng.choice(WORDS) for _ in range(12)).encode() + b"\n" for _ in range(5000)]
        self.names = []
        self.made = 0

    def text(self, size):
        out, n = [], 0
        while n < size:
            line = self.lines[self.rng.randrange(len(self.lines))]
            out.append(line)
            n += len(line)
        return b"".join(out)[:size]

    def add(self, relative, data):
        path = self.root / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        self.names.append(relative)
        self.made += len(data)

    def write_list(self, path):
        """The list as the ZIP step writes it: backslashes, CR LF, relative to the root."""
        path.write_bytes(b"".join(n.replace("/", "\\").encode() + b"\r\n" for n in self.names))

    def expected(self):
        """name -> (size, CRC-32) of every file, as an archive must hold it."""
        table = {}
        for name in self.names:
            data = (self.root / name).read_bytes()
            table[name] = (len(data), zlib.crc32(data))
        return table


class SmallFileTree(Tree):
    """count files of 1-16 KB, alternately text and noise, in folders of 100: a documents
    folder, where opening a file costs as much as reading it."""

    def __init__(self, root, count, seed=13):
        self.start(root, seed)
        for i in range(count):
            size = self.rng.randrange(1 << 10, (16 << 10) + 1)
            self.add(f"docs{i // 100:03d}/file{i:05d}.dat", self.text(size) if i % 2 else os.urandom(size))


class SmallTree:
    """count small files (1 byte to 2 KB, text) in folders of 500."""

    def __init__(self, root, count, seed=11):
        rng = random.Random(seed)
        self.root = root
        self.names = []
        for i in range(count):
            relative = f"folder{i // 500:04d}/note{i:07d}.txt"
            path = root / relative
            if i % 500 == 0:
                path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(b"x" * rng.randrange(1, 2048))
            self.names.append(relative)


def wine32_runs():
    """Whether Wine's 32-bit loader starts here (the kernel runs 32-bit code)."""
    try:
        return subprocess.run(["/usr/lib/wine/wine", "--version"], capture_output=True).returncode == 0
    except OSError:
        return False


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def run_quietly(command, **kwargs):
    """Runs to the end with its output in a file: Wine's helper processes inherit a pipe and keep
    it open long after the program ends."""
    code, output, _ = run_measured(command, **kwargs)
    return code, output


def run_measured(command, **kwargs):
    """As run_quietly, with the process's peak resident memory in bytes as Linux counts it (Wine
    starts the program in the process it is given); Wine's own count of a process's peak private
    memory is not to be trusted."""
    with tempfile.TemporaryFile() as output:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.STDOUT,
                                   **kwargs)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        output.seek(0)
        return process.returncode, output.read().decode(errors="replace"), usage.ru_maxrss * 1024


class Bench:
    def __init__(self, args, work):
        self.work = work
        build = pathlib.Path(os.environ.get("VELLORAN_BUILD_DIR", ROOT / "build"))
        self.env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
        if wine32_runs():
            self.driver = build / "i686" / "tests" / "bin" / "zipdriver.exe"
            bin_dir = build / "bin"
        else:
            # As scripts/test.sh does: the 64-bit build, started with Wine's 64-bit loader.
            print("this machine cannot start 32-bit programs: timing the 64-bit build (build/whole64)")
            self.driver = build / "whole64" / "tests" / "bin" / "zipdriver.exe"
            bin_dir = build / "bin64"
            self.env.update(VELLORAN_WINE64_ONLY="1",
                            PATH=f"{ROOT / 'tests' / 'wine' / 'wine64-only'}{os.pathsep}{self.env['PATH']}")
        self.dll = pathlib.Path(args.dll) if args.dll else bin_dir / "kvcmpenc.dll"
        if not self.driver.exists() or not self.dll.exists():
            sys.exit(f"build first: {self.driver} or {self.dll} is missing")
        self.repeat = args.repeat
        self.volume_mb = args.volume_mb
        if "WINEPREFIX" not in self.env:
            self.env["WINEPREFIX"] = str(work / "prefix")
            subprocess.run(["bash", "-c", f'. "{ROOT}/tests/wine/prefix.sh" && make_pristine_prefix "$0"',
                            self.env["WINEPREFIX"]], check=True, env=self.env, stdout=subprocess.DEVNULL)
        # A persistent wineserver, so no run pays for starting one.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        run_quietly(["wine", "cmd", "/c", "exit"], env=self.env)
        self.tree = Tree(work / "tree", args.size_mb << 20)
        self.expected = self.tree.expected()
        self.listfile = work / "list.txt"
        self.tree.write_list(self.listfile)
        self.unix_list = work / "list-unix.txt"
        self.unix_list.write_bytes(b"".join(n.encode() + b"\n" for n in self.tree.names))
        self.out = work / "out"

    def listing(self, tree):
        """The ZIP step's listing of tree: (seconds, peak bytes, the list's lines)."""
        list_file = self.work / "zip-list.txt"
        listing_driver = self.driver.parent / "zip_list_bench.exe"
        if not listing_driver.exists():
            sys.exit(f"build first: {listing_driver} is missing")
        code, output = run_quietly(["wine", str(listing_driver), windows_path(tree.root) + "\\",
                                    windows_path(list_file)], env=self.env)
        fields = dict(word.split("=", 1) for word in output.split() if "=" in word)
        if code != 0 or fields.get("listed") != "1":
            sys.exit(f"listing failed ({code}): {output[-2000:]}")
        lines = list_file.read_bytes().decode("utf-8").split("\r\n")[:-1]
        root = windows_path(tree.root)[3:] + "\\"
        expected = sorted(root + name.replace("/", "\\") for name in tree.names)
        if int(fields["files"]) != len(tree.names) or sorted(lines) != expected:
            sys.exit(f"listing: the list does not name each of the {len(tree.names)} files once")
        return float(fields["seconds"]), int(fields["peak_bytes"]), list_file

    def kvcmpenc_listed(self, list_file, count, root="Z:\\", charset="UTF-8"):
        """kvcmpenc on a list, from its root as the ZIP step calls it: (seconds, peak resident bytes)."""
        archive = self.fresh_output()
        log = self.work / "compress.txt"
        log.unlink(missing_ok=True)
        line = f'fake.exe a -tzip -scs{charset} -ssw "{windows_path(archive)}" @"{windows_path(list_file)}"'
        start = time.monotonic()
        code, output, peak = run_measured(["wine", str(self.driver), windows_path(self.dll), root,
                                           windows_path(log), line], env=self.env)
        seconds = time.monotonic() - start
        self.check_count("kvcmpenc (listed)", archive, count, code == 0)
        return seconds, peak

    def plain_reader(self, tree, list_file):
        """The plain reader on a list: its whole run in seconds."""
        reader = self.driver.parent / "plain_reader.exe"
        if not reader.exists():
            sys.exit(f"build first: {reader} is missing")
        start = time.monotonic()
        code, output = run_quietly(["wine", str(reader), windows_path(tree.root), windows_path(list_file)],
                                   env=self.env)
        seconds = time.monotonic() - start
        fields = dict(word.split("=", 1) for word in output.split() if "=" in word)
        if code != 0 or fields.get("files") != str(len(tree.names)) or fields.get("bytes") != str(tree.made):
            sys.exit(f"plain reader failed ({code}): {output[-2000:]}")
        return seconds

    def seven_zip_tree(self, tree, switches):
        archive = self.fresh_output()
        start = time.monotonic()
        code, output = run_quietly(["7z", "a", "-tzip", *switches, str(archive), "."], cwd=tree.root)
        seconds = time.monotonic() - start
        self.check_count("7z " + " ".join(switches), archive, len(tree.names), code == 0)
        return seconds

    @staticmethod
    def check_count(label, archive, count, succeeded):
        if not succeeded or not archive.exists():
            sys.exit(f"{label}: no archive made")
        with zipfile.ZipFile(archive) as z:
            files = [i for i in z.infolist() if not i.is_dir()]
            if len(files) != count or z.testzip() is not None:
                sys.exit(f"{label}: {len(files)} files in the archive, {count} expected, or testzip failed")

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)

    def fresh_output(self):
        shutil.rmtree(self.out, ignore_errors=True)
        self.out.mkdir()
        return self.out / "archive.zip"

    def kvcmpenc(self, switches):
        archive = self.fresh_output()
        log = self.work / "compress.txt"
        log.unlink(missing_ok=True)
        line = f'fake.exe a -tzip -scsWIN -ssw {switches}"{windows_path(archive)}" @"{windows_path(self.listfile)}"'
        start = time.monotonic()
        code, output = run_quietly(["wine", str(self.driver), windows_path(self.dll), windows_path(self.tree.root),
                                    windows_path(log), line], env=self.env)
        seconds = time.monotonic() - start
        if code != 0 or "Result 0: Archive created" not in log.read_text(errors="replace"):
            sys.exit(f"kvcmpenc failed ({code}): {output}\n{log.read_text(errors='replace')}")
        return seconds, archive

    def seven_zip(self, switches):
        archive = self.fresh_output()
        start = time.monotonic()
        code, output = run_quietly(["7z", "a", "-tzip", *switches, str(archive), f"@{self.unix_list}"],
                                   cwd=self.tree.root)
        seconds = time.monotonic() - start
        if code != 0:
            sys.exit(f"7z failed ({code}): {output}")
        return seconds, archive

    def python_zipfile(self):
        archive = self.fresh_output()
        script = ("import sys, zipfile\n"
                  "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=6) as z:\n"
                  "    for name in open(sys.argv[2], encoding='utf-8').read().splitlines():\n"
                  "        z.write(name)\n")
        start = time.monotonic()
        code, output = run_quietly([sys.executable, "-c", script, str(archive), str(self.unix_list)],
                                   cwd=self.tree.root)
        seconds = time.monotonic() - start
        if code != 0:
            sys.exit(f"zipfile failed ({code}): {output}")
        return seconds, archive

    def whole_archive(self, archive):
        """The archive as one file: split volumes are joined in order."""
        if archive.exists():
            return archive
        parts = sorted(self.out.glob(archive.name + ".*"))
        if not parts:
            sys.exit(f"no archive made: {archive}")
        joined = self.work / "joined.zip"
        with open(joined, "wb") as whole:
            for part in parts:
                with open(part, "rb") as piece:
                    shutil.copyfileobj(piece, whole, 1 << 20)
        return joined

    def check(self, label, archive, encrypted):
        """Exits unless the archive holds exactly the listed files, whole, as both readers see it."""
        whole = self.whole_archive(archive)
        test = ["7z", "t", "-bd", *([f"-p{PASSWORD}"] if encrypted else []), str(whole)]
        code, output = run_quietly(test)
        if code != 0 or "Everything is Ok" not in output:
            sys.exit(f"{label}: 7z t failed ({code}):\n{output[-2000:]}")
        with zipfile.ZipFile(whole) as z:
            infos = z.infolist()
            # WinZip AES entries of the second kind carry no CRC: 7z t checks their authentication code.
            found = {i.filename: (i.file_size, i.CRC) for i in infos}
            expected = self.expected
            if encrypted:
                found = {name: (size, 0) for name, (size, crc) in found.items()}
                expected = {name: (size, 0) for name, (size, crc) in expected.items()}
            if found != expected:
                missing = {n for n in set(expected) | set(found) if expected.get(n) != found.get(n)}
                sys.exit(f"{label}: names, sizes or CRCs differ from the tree (e.g. {sorted(missing)[:3]})")
            if encrypted:
                if any(i.compress_type != 99 for i in infos):
                    sys.exit(f"{label}: an entry is not AES-encrypted")
            elif z.testzip() is not None:
                sys.exit(f"{label}: zipfile testzip failed")
            data = sum(i.compress_size for i in infos)
        size = whole.stat().st_size
        if whole != archive:
            whole.unlink()
        return size, data

    def measure(self, label, timed, encrypted=False):
        """(label, median seconds, archive bytes, compressed data bytes of the entries)."""
        times = []
        sizes = (0, 0)
        for _ in range(self.repeat):
            # What the last run (or the tree) left in the page cache is written out first, so no
            # run pays for another's writes.
            os.sync()
            seconds, archive = timed()
            sizes = self.check(label, archive, encrypted)
            times.append(seconds)
        return (label, statistics.median(times)) + sizes


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mb", type=int, default=1024)
    parser.add_argument("--repeat", type=int, default=1, help="runs per tool; the median is printed")
    parser.add_argument("--volume-mb", type=int, default=100, help="volume size of the split run")
    parser.add_argument("--dll", help="kvcmpenc.dll to time instead of the build's")
    parser.add_argument("--small-files", type=int, default=20_000,
                        help="files of the small-file tree; 0 leaves its rows out")
    parser.add_argument("--listing-files", type=int, default=200_000,
                        help="small files of the listing tree; 0 leaves the listing rows out")
    args = parser.parse_args()

    work = pathlib.Path(tempfile.mkdtemp(prefix="zipbench."))
    bench = None
    try:
        bench = Bench(args, work)
        mb = bench.tree.made / (1 << 20)
        print(f"tree: {len(bench.tree.names)} files, {mb:.0f} MB; {os.cpu_count()} processors; dll {bench.dll}")
        aes = f'-p"{PASSWORD}" -mem=AES256 '
        seven_aes = ["-mem=AES256", f"-p{PASSWORD}"]
        groups = [
            (bench.measure("kvcmpenc", lambda: bench.kvcmpenc("")), [
                bench.measure("7z -mx1 -mmt1", lambda: bench.seven_zip(["-mx1", "-mmt1"])),
                bench.measure("7z -mx1 threads", lambda: bench.seven_zip(["-mx1"])),
                bench.measure("zipfile level 6", bench.python_zipfile),
            ]),
            (bench.measure("kvcmpenc AES-256", lambda: bench.kvcmpenc(aes), True), [
                bench.measure("7z AES -mx1 -mmt1", lambda: bench.seven_zip(["-mx1", "-mmt1", *seven_aes]), True),
                bench.measure("7z AES -mx1 threads", lambda: bench.seven_zip(["-mx1", *seven_aes]), True),
            ]),
            (bench.measure(f"kvcmpenc -v{args.volume_mb}m", lambda: bench.kvcmpenc(f"-v{args.volume_mb}m ")), [
                bench.measure(f"7z -mx1 -mmt1 -v{args.volume_mb}m",
                              lambda: bench.seven_zip(["-mx1", "-mmt1", f"-v{args.volume_mb}m"])),
            ]),
        ]
        total = bench.tree.made
        print(f"{'':26s} {'seconds':>8s} {'MB/s':>7s} {'size':>7s} {'data':>7s}   "
              "kvcmpenc's speed, archive size and data size as ratios to the peer's")
        for ours, peers in groups:
            label, seconds, size, data = ours
            print(f"{label:26s} {seconds:8.1f} {mb / seconds:7.1f} {size / total:7.2%} {data / total:7.2%}")
            for peer_label, peer_seconds, peer_size, peer_data in peers:
                print(f"  {peer_label:24s} {peer_seconds:8.1f} {mb / peer_seconds:7.1f} {peer_size / total:7.2%} "
                      f"{peer_data / total:7.2%}   speed x{peer_seconds / seconds:5.2f}  "
                      f"size x{size / peer_size:6.4f}  data x{data / peer_data:6.4f}")
        print("size: the archive; data: its entries' compressed data (headers left out)")
        print("all archives checked: 7z t, zipfile names, sizes and CRCs (testzip where not encrypted)")
        if args.small_files:
            print_small_file_rows(bench, args.small_files)
        if args.listing_files:
            print_listing_rows(bench, args.listing_files)
    finally:
        if bench:
            bench.stop()
        shutil.rmtree(work, ignore_errors=True)


def print_small_file_rows(bench, count):
    tree = SmallFileTree(bench.work / "smallfiles", count)
    list_file = bench.work / "small-list.txt"
    tree.write_list(list_file)
    os.sync()
    bench.plain_reader(tree, list_file)   # both find the tree in the page cache
    ours, reader = [], []
    for run in range(bench.repeat):
        turns = [(ours, lambda: bench.kvcmpenc_listed(list_file, count, windows_path(tree.root), "WIN")[0]),
                 (reader, lambda: bench.plain_reader(tree, list_file))]
        for times, timed in turns if run % 2 == 0 else reversed(turns):
            os.sync()
            times.append(timed())
    ours, reader = statistics.median(ours), statistics.median(reader)
    mb = tree.made / (1 << 20)
    print(f"\nsmall-file tree: {count} files of 1-16 KB, {mb:.0f} MB, half text, half noise, in folders of 100")
    print(f"{'':40s} {'seconds':>8s} {'files/s':>9s} {'MB/s':>7s}")
    print(f"{'kvcmpenc':40s} {ours:8.2f} {count / ours:9.0f} {mb / ours:7.1f}")
    print(f"{'  plain reader (CreateFileA, ReadFile)':40s} {reader:8.2f} {count / reader:9.0f} {mb / reader:7.1f}"
          f"   kvcmpenc's time x{ours / reader:4.2f}")
    print("each a whole process under Wine; the reader read every byte, the archive holds every file (testzip)")


def print_listing_rows(bench, count):
    tree = SmallTree(bench.work / "small", count)
    os.sync()
    seconds, peak, list_file = bench.listing(tree)
    archived, archived_peak = bench.kvcmpenc_listed(list_file, count)
    seven_threads = bench.seven_zip_tree(tree, ["-mx1"])
    seven_one = bench.seven_zip_tree(tree, ["-mx1", "-mmt1"])
    print(f"\nlisting tree: {count} small files in folders of 500")
    print(f"{'':34s} {'seconds':>8s} {'files/s':>9s}")
    print(f"{'ZIP step listing (peak %5.0f MB)' % (peak / (1 << 20)):34s} {seconds:8.1f} {count / seconds:9.0f}")
    print(f"{'kvcmpenc on that list (RSS %4.0f MB)' % (archived_peak / (1 << 20)):34s} {archived:8.1f} "
          f"{count / archived:9.0f}")
    print(f"{'listing + kvcmpenc':34s} {seconds + archived:8.1f} {count / (seconds + archived):9.0f}")
    print(f"{'  7z -mx1 threads':34s} {seven_threads:8.1f} {count / seven_threads:9.0f}")
    print(f"{'  7z -mx1 -mmt1':34s} {seven_one:8.1f} {count / seven_one:9.0f}")
    print("peak: the listing's peak private memory as Wine counts it; RSS: kvcmpenc's process's peak resident "
          "memory as Linux counts it;\nthe list names each file once, each archive holds every file (testzip)")


if __name__ == "__main__":
    main()
