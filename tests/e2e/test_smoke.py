"""The deliverables start under Wine from the end-to-end harness."""


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
