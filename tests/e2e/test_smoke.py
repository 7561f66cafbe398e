"""The deliverables start under Wine from the end-to-end harness."""
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_main_program_starts_and_exits(wine_prefix, bin_dir):
    result = wine_prefix.run(bin_dir / "Korrin.exe", "/hidden", "/exitwhendone", "/run=0")
    assert result.returncode == 0


def test_host_starts_as_a_64_bit_program(wine_prefix, bin_dir):
    result = wine_prefix.run(bin_dir / "kv64wrap.exe")
    # No request file exists in a fresh prefix, so the host gives up with an exit code.
    assert result.returncode != 0


# What a user runs, and nothing else: test doubles and test builds live in their own folders.
DELIVERABLES = {"Korrin.exe", "Korrin.chm", "kv64dll.dll", "kv64wrap.exe", "kvcmpenc.dll", "tarnmail.dll",
                "kv_vss.dll", "kv_vss64.dll"}


def test_shipped_folder_holds_the_deliverables_without_test_switches(bin_dir):
    assert {path.name for path in bin_dir.iterdir()} == DELIVERABLES
    for path in bin_dir.iterdir():
        data = path.read_bytes()
        # An environment variable of ours, in either string form, would let the environment
        # change how a backup runs.
        for name in (b"VELLORAN_", "VELLORAN_".encode("utf-16-le")):
            assert name not in data, f"{path.name} holds {name!r}"


def section_names(data):
    """The section names of a PE file, long ones ("/4") read from the COFF string table."""
    pe = int.from_bytes(data[0x3C:0x40], "little")
    count = int.from_bytes(data[pe + 6:pe + 8], "little")
    strings = int.from_bytes(data[pe + 12:pe + 16], "little") + 18 * int.from_bytes(data[pe + 16:pe + 20], "little")
    table = pe + 24 + int.from_bytes(data[pe + 20:pe + 22], "little")
    names = []
    for i in range(count):
        name = data[table + 40 * i:table + 40 * i + 8].rstrip(b"\0").decode()
        if name.startswith("/"):
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode()
        names.append(name)
    return names


def test_shipped_binaries_carry_nothing_of_the_build_machine(bin_dir):
    build_paths = {str(ROOT).encode(), str(pathlib.Path.home() / ".cache").encode(), b"velloran-deps"}
    for path in bin_dir.iterdir():
        if path.suffix not in (".exe", ".dll"):
            continue
        data = path.read_bytes()
        debug = [name for name in section_names(data) if name.startswith((".debug", ".stab"))]
        assert not debug, f"{path.name} carries debug sections {debug}"
        for build_path in build_paths:
            assert build_path not in data, f"{path.name} holds {build_path!r}"
        # OpenSSL's compiled-in folder is an absolute Windows path that only an administrator can write.
        for folder in re.findall(rb'OPENSSLDIR: "([^"]*)"', data):
            assert folder == b"C:/Windows/VelloranSSL", f"{path.name}: OpenSSL's folder is {folder!r}"
