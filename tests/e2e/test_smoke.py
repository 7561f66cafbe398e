"""The deliverables start under Wine from the end-to-end harness."""


def test_main_program_starts_and_exits(wine_prefix, bin_dir):
    result = wine_prefix.run(bin_dir / "Korrin.exe", "/hidden", "/exitwhendone", "/run=0")
    assert result.returncode == 0


def test_host_starts_as_a_64_bit_program(wine_prefix, bin_dir):
    result = wine_prefix.run(bin_dir / "kv64wrap.exe")
    # No request file exists in a fresh prefix, so the host gives up with an exit code.
    assert result.returncode != 0
