"""Mirror benchmark (not a test), run by mirror_benchmark.sh inside a booted Wine prefix.

Times, in one run and on one generated tree, the job's mirror (first run, unchanged rerun, a
share of the files touched) beside its peers: a plain Win32 walker that calls CopyFileW
(copy_walker.exe), Wine's xcopy and rsync -a. Every timed run is checked first: the job must end
Success with the counts its log should show, and every destination must hold the source's files
with their contents (and, where the tool keeps them, their last-write times). A run that fails a
check stops the benchmark without a figure.

Two figures per run: the whole process, from its start, and the work alone, as the job driver and
the walker time it themselves (the driver's window thread is up before its clock starts, as the
program's is when it runs a job).
"""
import filecmp
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SMALL = int(os.environ.get("BENCH_SMALL_FILES", "20000"))
LARGE = int(os.environ.get("BENCH_LARGE_FILES", "3"))
LARGE_MB = int(os.environ.get("BENCH_LARGE_MB", "100"))
PER_FOLDER = int(os.environ.get("BENCH_FOLDER_FILES", "25"))
TOUCH_PERCENT = float(os.environ.get("BENCH_TOUCH_PERCENT", "1"))
RUNS = int(os.environ.get("BENCH_RUNS", "3"))
# 0: the job keeps no revisions, as the walker keeps none (a new configuration keeps them).
REVISIONS = os.environ.get("BENCH_REVISIONS", "1") != "0"
PEERS = os.environ.get("BENCH_PEERS", "velloran,walker,xcopy,rsync").split(",")


class BenchFailure(Exception):
    pass


def generate(root):
    random.seed(7)
    for i in range(SMALL):
        folder = os.path.join(root, "d%03d" % (i // (PER_FOLDER * 4)), "e%02d" % (i // PER_FOLDER % 4))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
            f.write(os.urandom(random.randint(200, 4000)))
    os.makedirs(os.path.join(root, "large"), exist_ok=True)
    for i in range(LARGE):
        with open(os.path.join(root, "large", "big%d.bin" % i), "wb") as f:
            for _ in range(LARGE_MB):
                f.write(os.urandom(1 << 20))


def list_files(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = path
    return found


def check_tree(source, copy, label, times=True):
    """The copy holds exactly the source's files, with their contents and last-write times."""
    expected = list_files(source)
    got = list_files(copy)
    if set(expected) != set(got):
        missing = sorted(set(expected) - set(got))[:3]
        extra = sorted(set(got) - set(expected))[:3]
        raise BenchFailure("%s: %d files, expected %d (missing %s, extra %s)" %
                           (label, len(got), len(expected), missing, extra))
    for rel, path in expected.items():
        a, b = os.stat(path), os.stat(got[rel])
        if a.st_size != b.st_size or not filecmp.cmp(path, got[rel], shallow=False):
            raise BenchFailure("%s: %s differs from its source" % (label, rel))
        if times and abs(a.st_mtime_ns - b.st_mtime_ns) >= 1000:
            raise BenchFailure("%s: %s has another last-write time" % (label, rel))


def windows(path):
    return "Z:" + path.replace("/", "\\")


def timed(command, label):
    """Seconds and output of one run. The output goes to a file: Wine's own services, started by
    the first program, inherit a pipe and would hold it open."""
    subprocess.run(["sync"], check=True)
    with tempfile.TemporaryFile("w+", errors="replace") as output:
        start = time.perf_counter()
        code = subprocess.call(command, stdout=output, stderr=subprocess.STDOUT)
        seconds = time.perf_counter() - start
        output.seek(0)
        text = output.read()
    if code != 0:
        raise BenchFailure("%s: exit code %d\n%s" % (label, code, text[-2000:]))
    return seconds, text


def own_seconds(output, label):
    """The time a program gave for its own work ("seconds=<s>")."""
    for word in output.split():
        if word.startswith("seconds="):
            return float(word[len("seconds="):])
    raise BenchFailure("%s printed no time of its own:\n%s" % (label, output))


def log_count(output, label):
    for line in output.splitlines():
        if line.startswith("log: " + label):
            return int(line.split(":", 2)[2].split("/")[0].strip().replace(",", ""))
    raise BenchFailure("the job's log has no line %r:\n%s" % (label, output))


class Bench:
    def __init__(self, work, bin_dir):
        self.work = work
        self.src = os.path.join(work, "src")
        self.driver = os.path.join(bin_dir, "mirror_bench.exe")
        self.walker = os.path.join(bin_dir, "copy_walker.exe")
        self.times = {}
        self.files = 0
        self.touched = []

    def fresh(self, name):
        path = os.path.join(self.work, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def record(self, key, seconds):
        self.times.setdefault(key, []).append(seconds)

    # The job: the mirror lies under <destination>\Bench\Z\<the source's path>.
    def job(self, key, copied, unchanged):
        dest = os.path.join(self.work, "dest")
        seconds, out = timed(["wine", self.driver, windows(self.src + "/"), windows(dest + "/"),
                              windows(self.work + "/data/")] + ([] if REVISIONS else ["norevisions"]), "job " + key)
        if "result=1 " not in out or "log: WARNING" in out or "log: ERROR" in out:
            raise BenchFailure("job %s did not succeed:\n%s" % (key, out))
        counts = (log_count(out, "Copied Successfully"), log_count(out, "Not Changed"),
                  log_count(out, "Copy Failed"), log_count(out, "Total"))
        if counts != (copied, unchanged, 0, self.files):
            raise BenchFailure("job %s: copied/unchanged/failed/total %s, expected %s" %
                               (key, counts, (copied, unchanged, 0, self.files)))
        check_tree(self.src, dest + "/Bench/Z" + self.src, "job " + key)
        self.record("velloran " + key, seconds)
        self.record("velloran work " + key, own_seconds(out, "job " + key))

    def walk(self, key, mode, copied):
        dest = os.path.join(self.work, "walker")
        seconds, out = timed(["wine", self.walker, mode, windows(self.src + "/"), windows(dest + "/")],
                             "walker " + key)
        expected = "files=%d copied=%d failed=0" % (self.files, copied)
        if expected not in out:
            raise BenchFailure("walker %s: %s, expected %s" % (key, out.strip(), expected))
        check_tree(self.src, dest, "walker " + key)
        self.record("walker " + key, seconds)
        self.record("walker work " + key, own_seconds(out, "walker " + key))

    def xcopy(self):
        dest = self.fresh("xcopy")
        seconds, _ = timed(["wine", "xcopy", "/E", "/I", "/Q", "/Y", windows(self.src), windows(dest)], "xcopy")
        check_tree(self.src, dest, "xcopy", times=False)
        self.record("xcopy first", seconds)

    def rsync(self, key):
        dest = os.path.join(self.work, "rsync")
        seconds, _ = timed(["rsync", "-a", self.src + "/", dest + "/"], "rsync " + key)
        check_tree(self.src, dest, "rsync " + key)
        self.record("rsync " + key, seconds)

    def touch(self):
        """Gives the chosen files new contents of the same size and a new last-write time."""
        for path in self.touched:
            size = os.path.getsize(path)
            with open(path, "r+b") as f:
                f.write(os.urandom(size))
            os.utime(path, None)

    def run_once(self, round_number):
        """One round: each kind of run of every peer, side by side, so that each ratio compares
        runs made within moments of each other. The peers take turns at going first: a run that
        follows another's large copy shares the disk with its write-back."""
        touched = len(self.touched)
        for name in ("dest", "walker", "rsync"):
            self.fresh(name)
        kinds = [
            [("velloran", lambda: self.job("first", self.files, 0)),
             ("walker", lambda: self.walk("first", "copy", self.files)),
             ("xcopy", self.xcopy),
             ("rsync", lambda: self.rsync("first"))],
            [("velloran", lambda: self.job("rerun", 0, self.files)),
             ("walker", lambda: self.walk("rerun", "sync", 0)),
             ("rsync", lambda: self.rsync("rerun"))],
            [(None, self.touch)],
            [("velloran", lambda: self.job("touched", touched, self.files - touched)),
             ("walker", lambda: self.walk("touched", "sync", touched)),
             ("rsync", lambda: self.rsync("touched"))],
        ]
        for steps in kinds:
            steps = [step for step in steps if step[0] is None or step[0] in PEERS]
            turn = round_number % len(steps)
            for _, step in steps[turn:] + steps[:turn]:
                step()

    def report(self):
        med = {key: statistics.median(values) for key, values in self.times.items()}
        mb = sum(os.path.getsize(p) for p in list_files(self.src).values()) / 1048576
        print("[bench] %d files, %.0f MB, %d round(s), %d files touched, the job %s revisions; seconds of the "
              "whole process, and of the work alone where the program times it (median, then every round)" %
              (self.files, mb, RUNS, len(self.touched), "keeping" if REVISIONS else "without"))
        for key in sorted(med):
            print("  %-22s %8.2f s   (%s)" % (key, med[key], ", ".join("%.2f" % v for v in self.times[key])))
        pairs = [("first", "walker first"), ("rerun", "walker rerun"), ("touched", "walker touched"),
                 ("first", "xcopy first"), ("first", "rsync first"), ("rerun", "rsync rerun"),
                 ("touched", "rsync touched"), ("work first", "walker work first"),
                 ("work rerun", "walker work rerun"), ("work touched", "walker work touched")]
        print("[bench] Velloran / peer, each round's runs compared with each other (below 1 is faster):"
              " median, then every round")
        for key, peer in pairs:
            ours = self.times.get("velloran " + key)
            theirs = self.times.get(peer)
            if ours and theirs:
                ratios = [a / b for a, b in zip(ours, theirs)]
                print("  %-12s / %-19s %6.2f   (%s)" % (key, peer, statistics.median(ratios),
                                                         ", ".join("%.2f" % r for r in ratios)))

def main():
    work, bin_dir = sys.argv[1], sys.argv[2]
    bench = Bench(work, bin_dir)
    print("[bench] generating %d small files in folders of %d and %d files of %d MB" %
          (SMALL, PER_FOLDER, LARGE, LARGE_MB))
    generate(bench.src)
    files = sorted(list_files(bench.src).values())
    bench.files = len(files)
    small = [p for p in files if p.endswith(".txt")]
    step = max(1, int(round(100 / TOUCH_PERCENT))) if TOUCH_PERCENT > 0 else 0
    bench.touched = small[::step] if step else []
    os.makedirs(os.path.join(work, "data"), exist_ok=True)
    try:
        for run in range(RUNS):
            print("[bench] round %d of %d" % (run + 1, RUNS), flush=True)
            bench.run_once(run)
    except BenchFailure as failure:
        print("[bench] FAILED, no figures: %s" % failure, file=sys.stderr)
        return 1
    bench.report()
    return 0


if __name__ == "__main__":
    sys.exit(main())
