"""The set-up's decisions, fed apt's recorded outputs: no network, no apt run."""
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
OUTPUTS = pathlib.Path(__file__).with_name("apt-outputs")


def bash(script, *args):
    """Runs a few lines of bash with the set-up's functions loaded and returns their output."""
    prologue = f'as_root() {{ "$@"; }}; log() {{ :; }}; . "{ROOT}/scripts/apt_steps.sh"\n'
    functions = subprocess.run(["sed", "-n", "/^parse_source_uris()/,/^}/p;/^quilt_series()/,/^}/p",
                                str(ROOT / "scripts" / "setup.sh")], capture_output=True, text=True, check=True)
    result = subprocess.run(["bash", "-c", prologue + functions.stdout + script, "bash", *args],
                            capture_output=True, text=True, check=True)
    return result.stdout.strip()


@pytest.mark.parametrize("output, rc, attempt, expected", [
    ("update-clean.txt", 0, 1, "done"),
    ("update-mirror-sync.txt", 100, 1, "retry"),
    ("update-mirror-sync.txt", 100, 2, "retry"),
    # After the last try the set-up goes on with the lists apt kept.
    ("update-mirror-sync.txt", 100, 3, "go-on"),
])
def test_update_is_retried_then_goes_on(output, rc, attempt, expected):
    assert bash('apt_update_decision "$1" "$2" 3 "$3"', str(rc), str(attempt), str(OUTPUTS / output)) == expected


@pytest.mark.parametrize("output, expected", [
    ("install-version-split.txt", "one-suite"),
    ("install-unknown-package.txt", "stop"),
    ("install-no-network.txt", "stop"),
])
def test_only_a_version_split_is_installed_again_from_one_suite(output, expected):
    assert bash('apt_install_decision "$1"', str(OUTPUTS / output)) == expected


def test_source_files_are_read_with_their_index_sizes_and_hashes():
    listed = bash('parse_source_uris < "$1"', str(OUTPUTS / "source-uris-libssh2.txt")).splitlines()
    names = [line.split()[1] for line in listed]
    assert names == ["libssh2_1.10.0-3+deb12u1.dsc", "libssh2_1.10.0.orig.tar.gz",
                     "libssh2_1.10.0-3+deb12u1.debian.tar.xz"]
    uri, _, size, sha256 = listed[1].split()
    assert uri.endswith("/libssh2_1.10.0.orig.tar.gz") and size == "965044" and len(sha256) == 64


def test_patches_are_applied_in_series_order_with_their_levels(tmp_path):
    series = tmp_path / "series"
    series.write_text("# from upstream\nfix-a.patch\n\nfix-b.patch -p0\nfix-c.patch\n")
    assert bash('quilt_series "$1"', str(series)).splitlines() == ["fix-a.patch 1", "fix-b.patch 0", "fix-c.patch 1"]
