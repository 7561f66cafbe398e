#!/usr/bin/python3
"""Throughput of kvcmpenc.dll beside Debian's 7z on the same generated tree.

Generates a mixed tree (compressible text, incompressible noise, many small files), archives
it once through zipdriver.exe under Wine and twice with `7z a -tzip -mx=5` (one thread, then
7z's default threads), and prints MB/s of input for each. Run after a build:

    VELLORAN_BUILD_DIR=/work/build-zip tests/kvcmpenc/benchmark_zip.py [--size-mb 1024]

Uses WINEPREFIX when set, else boots a throw-away prefix (about 10 s, not timed).
"""
import argparse
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
WORDS = ("backup volume archive folder schedule mirror compress verify restore network share "
         "report quarterly invoice customer the of and to in is for on with").split()


def make_tree(root, total_bytes, seed=7):
    """A third text, a third noise, a third small files of either kind; returns the relative paths."""
    rng = random.Random(seed)
    names, made = [], 0
    line_pool = [" ".join(rng.choice(WORDS) for _ in range(12)).encode() + b"\n" for _ in range(5000)]

    def text(size):
        out, n = [], 0
        while n < size:
            line = line_pool[rng.randrange(len(line_pool))]
            out.append(line)
            n += len(line)
        return b"".join(out)[:size]

    index = 0
    while made < total_bytes:
        kind = index % 3
        if kind == 0:
            size, data = 8 << 20, None
            data = text(size)
        elif kind == 1:
            size = 8 << 20
            data = os.urandom(size)
        else:
            data = b""
            for k in range(200):
                small = rng.randrange(1, 40000)
                part = text(small) if k % 2 else os.urandom(small)
                rel = pathlib.Path(f"small{index}") / f"f{k}.dat"
                (root / rel).parent.mkdir(parents=True, exist_ok=True)
                (root / rel).write_bytes(part)
                names.append(str(rel))
                made += small
            index += 1
            continue
        rel = pathlib.Path(f"dir{index % 7}") / f"file{index}.bin"
        (root / rel).parent.mkdir(parents=True, exist_ok=True)
        (root / rel).write_bytes(data)
        names.append(str(rel))
        made += len(data)
        index += 1
    return names, made


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def timed(command, **kwargs):
    start = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
    return time.monotonic() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-mb", type=int, default=1024)
    args = parser.parse_args()
    build = pathlib.Path(os.environ.get("VELLORAN_BUILD_DIR", ROOT / "build"))
    driver = build / "i686" / "tests" / "bin" / "zipdriver.exe"
    dll = build / "bin" / "kvcmpenc.dll"
    if not driver.exists() or not dll.exists():
        sys.exit(f"build first: {driver} or {dll} is missing")

    work = pathlib.Path(tempfile.mkdtemp(prefix="zipbench."))
    try:
        env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
        if "WINEPREFIX" not in env:
            env["WINEPREFIX"] = str(work / "prefix")
            subprocess.run(["bash", "-c", f'. "{ROOT}/tests/wine/prefix.sh" && make_pristine_prefix "$0"',
                            env["WINEPREFIX"]], check=True, env=env, stdout=subprocess.DEVNULL)
        tree = work / "tree"
        tree.mkdir()
        names, total = make_tree(tree, args.size_mb << 20)
        listfile = work / "list.txt"
        listfile.write_bytes(b"".join(n.replace("/", "\\").encode() + b"\r\n" for n in names))
        # 7z on Linux takes a backslash as part of a name.
        unix_list = work / "list-unix.txt"
        unix_list.write_bytes(b"".join(n.encode() + b"\n" for n in names))
        mb = total / (1 << 20)
        print(f"tree: {len(names)} files, {mb:.0f} MB")

        ours = work / "ours.zip"
        line = f'fake.exe a -tzip -scsWIN -ssw "{windows_path(ours)}" @"{windows_path(listfile)}"'
        results = [("kvcmpenc (Wine, 1 thread)", timed(
            ["wine", str(driver), windows_path(dll), windows_path(tree), windows_path(work / "compress.txt"), line],
            env=env), ours)]
        for label, extra in (("7z -mx=5 -mmt=1", ["-mmt=1"]), ("7z -mx=5 default threads", [])):
            out = work / f"7z{len(results)}.zip"
            results.append((label, timed(["7z", "a", "-tzip", "-mx=5", *extra, str(out), f"@{unix_list}"],
                                         cwd=tree), out))
        base = mb / results[0][1]
        for label, seconds, out in results:
            rate = mb / seconds
            print(f"{label:28s} {seconds:7.1f} s {rate:8.1f} MB/s  ratio to kvcmpenc {rate / base:5.2f}  "
                  f"size {out.stat().st_size / total:5.1%}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
