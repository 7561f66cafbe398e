"""The data folder where users really have it: a profile moved to another disk and left behind a
link, as people do when the system disk fills up."""
import vlrstore


def test_a_profile_moved_behind_a_link_still_gets_its_log_and_store(wine_prefix, bin_dir, tmp_path):
    roaming = wine_prefix.appdata
    moved = tmp_path / "D" / "Users" / "Roaming"
    moved.parent.mkdir(parents=True)
    roaming.rename(moved)
    roaming.symlink_to(moved, target_is_directory=True)
    source, destination = tmp_path / "Documents", tmp_path / "Backup"
    source.mkdir()
    (source / "letter.txt").write_bytes(b"Dear Sir,\r\n")
    config = vlrstore.Config(7, "Documents", wine_prefix.windows_path(destination) + "\\",
                             [wine_prefix.windows_path(source) + "\\"],
                             flags=vlrstore.UNCOMPRESSED | vlrstore.COMPRESSED | vlrstore.ENABLED)
    vlrstore.write_store(wine_prefix.data_folder / "configs.vlr", [config])
    wine_prefix.set_settings("options", {"backup_locked": "0", "auto_showlog": "0"})
    assert wine_prefix.run(bin_dir / "Korrin.exe", "/hidden", "/exitwhendone", "/run=7", timeout=180).returncode == 0
    log = (moved / "Velloran" / "7.txt").read_bytes().decode("cp1252", "replace")
    assert "ERROR" not in log, log
    assert vlrstore.read_store(moved / "Velloran" / "configs.vlr")[1][0].last_result == vlrstore.SUCCESS, log
    assert any((destination / "Documents" / "Compressed").iterdir()), log
