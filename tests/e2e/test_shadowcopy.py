"""Linux-side checks of the shadow-copy binaries: their machine, subsystem and imports."""
import os
import pathlib
import re
import shutil
import subprocess
import threading
import time

import pytest

OBJDUMP = shutil.which("x86_64-w64-mingw32-objdump")
# What a static mingw build may import: the system's own libraries, nothing of the toolchain.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "shell32.dll", "ole32.dll", "advapi32.dll",
               "msvcrt.dll", "ntdll.dll", "api-ms-win-crt-runtime-l1-1-0.dll"}

BINARIES = [
    ("kv64wrap.exe", "pei-x86-64"),
    ("kv_vss64.dll", "pei-x86-64"),
    ("kv64dll.dll", "pei-i386"),
    ("kv_vss.dll", "pei-i386"),
]


def headers(path):
    return subprocess.run([OBJDUMP, "-p", str(path)], check=True, capture_output=True, text=True).stdout


def imports(text):
    return {name.lower() for name in re.findall(r"DLL Name: (\S+)", text)}


pytestmark = pytest.mark.skipif(OBJDUMP is None, reason="mingw objdump is not installed")


@pytest.fixture(scope="module")
def shipped_dir():
    """build/bin, the binaries as shipped, even where the tests run a 64-bit build elsewhere."""
    return pathlib.Path(os.environ["VELLORAN_BUILD_DIR"]) / "bin"


@pytest.mark.parametrize("name,machine", BINARIES)
def test_binary_has_its_machine_and_only_system_imports(shipped_dir, name, machine):
    text = headers(shipped_dir / name)
    assert f"file format {machine}" in text
    assert imports(text) <= SYSTEM_DLLS, imports(text) - SYSTEM_DLLS


@pytest.mark.parametrize("name", ["kv_vss.dll", "kv_vss64.dll"])
def test_library_loads_where_the_shadow_copy_service_is_missing(shipped_dir, name):
    # vssapi.dll is looked up at run time, never imported.
    assert "vssapi.dll" not in imports(headers(shipped_dir / name))


@pytest.mark.parametrize("name", ["kv_vss.dll", "kv_vss64.dll", "kv64dll.dll"])
def test_library_exports_make_shadow_copy_undecorated(shipped_dir, name):
    text = headers(shipped_dir / name)
    assert re.search(r"\]\s+MakeShadowCopy$", text, re.M), text


def test_host_is_a_windowless_program_asking_for_the_highest_level(shipped_dir):
    path = shipped_dir / "kv64wrap.exe"
    assert re.search(r"Subsystem\s+00000002", headers(path))  # Windows GUI: no console
    assert b'level="highestAvailable"' in path.read_bytes()
    assert "user32.dll" not in imports(headers(path))  # and it makes no window


def test_host_writes_nothing_through_a_data_folder_that_links_elsewhere(wine_prefix, bin_dir, tmp_path):
    # A data folder replaced by a link would carry the elevated host's writes along.
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    shutil.rmtree(wine_prefix.data_folder, ignore_errors=True)
    wine_prefix.data_folder.symlink_to(elsewhere, target_is_directory=True)
    folder = rf"C:\users\{wine_prefix.user_dir.name}\AppData\Roaming\Velloran" + "\\"
    paths = [folder + name for name in ("VSSLog2.txt", "VSScom1.txt", "VSScom2.txt", "VSScom3.txt")]
    lines = paths + ["E", "C", folder + "VSSLog.txt", "0", "0", "-1", "1"]
    (elsewhere / "VSScom1.txt").write_text("\r\n".join(lines) + "\r\n", encoding="ascii")
    (elsewhere / "VSScom3.txt").write_text("1\r\n", encoding="ascii")  # a host that went on ends at once
    assert wine_prefix.run(bin_dir / "kv64wrap.exe").returncode == 18
    assert sorted(p.name for p in elsewhere.iterdir()) == ["VSScom1.txt", "VSScom3.txt"]


def test_host_writes_nothing_elsewhere_while_the_data_folder_is_swapped(wine_prefix, bin_dir, tmp_path):
    # Another program of the user's swaps the data folder for a link and back, over and over,
    # while the elevated host runs: the files behind the link keep their content every time.
    data = wine_prefix.data_folder
    data.mkdir(parents=True, exist_ok=True)
    aside = data.with_name("Velloran.real")
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    folder = rf"C:\users\{wine_prefix.user_dir.name}\AppData\Roaming\Velloran" + "\\"
    paths = [folder + name for name in ("VSSLog2.txt", "VSScom1.txt", "VSScom2.txt", "VSScom3.txt")]
    request = "\r\n".join(paths + ["E", "C", folder + "VSSLog.txt", "0", "0", "-1", "1"]) + "\r\n"
    for target in (data, elsewhere):
        (target / "VSScom1.txt").write_text(request, encoding="ascii")
        (target / "VSScom3.txt").write_text("1\r\n", encoding="ascii")  # a host that went on ends at once
    for name in ("VSSLog.txt", "VSSLog2.txt", "VSScom2.txt"):
        (elsewhere / name).write_text("precious", encoding="ascii")
    before = {p.name: p.read_bytes() for p in elsewhere.iterdir()}

    stop = threading.Event()

    def swap():
        while not stop.is_set():
            os.rename(data, aside)
            try:
                os.symlink(elsewhere, data, target_is_directory=True)
                time.sleep(0.003)
                os.unlink(data)
            except OSError:
                pass
            while True:  # a folder the host made anew meanwhile goes
                try:
                    os.rename(aside, data)
                    break
                except OSError:
                    shutil.rmtree(data, ignore_errors=True)
            time.sleep(0.003)

    swapper = threading.Thread(target=swap)
    swapper.start()
    try:
        for round_ in range(10):
            wine_prefix.run(bin_dir / "kv64wrap.exe")
            assert {p.name: p.read_bytes() for p in elsewhere.iterdir()} == before, f"round {round_}"
    finally:
        stop.set()
        swapper.join()
