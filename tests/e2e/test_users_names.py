"""One backup as a user runs it, over the names users really have: the shipped program makes a
mirror and a ZIP archive of a tree whose names hold cp1252 punctuation, Cyrillic, CJK, a name of
250 characters and names that end in our own suffixes, then runs again with nothing changed."""
import subprocess
import zipfile

import vlrstore

NAMES = ["Report \u2013 final.txt", "Bob\u2019s \u201cnotes\u201d.txt", "\u20ac receipts.txt",
         "\u041e\u0442\u0447\u0451\u0442.txt", "\u5831\u544a\u66f8.txt", "n" * 246 + ".txt",
         "x.vlrpart", "copy.tmp", "y.vlrjoin"]
DESCRIPTION = "Names"


def test_every_name_reaches_mirror_and_archive_and_an_unchanged_rerun_deletes_nothing(wine_prefix, bin_dir,
                                                                                     tmp_path):
    source = tmp_path / "src"
    for i, name in enumerate(NAMES):
        folder = source / ("sub \u2013 \u0434\u0430\u043d\u043d\u044b\u0435" if i % 2 else "")
        folder.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(f"file {i}\n".encode() * (i + 1))
    files = sorted(str(p.relative_to(source)) for p in source.rglob("*") if p.is_file())
    destination = tmp_path / "dest"
    config = vlrstore.Config(7, DESCRIPTION, wine_prefix.windows_path(destination) + "\\",
                             [wine_prefix.windows_path(source) + "\\"],
                             flags=vlrstore.UNCOMPRESSED | vlrstore.COMPRESSED | vlrstore.SAVE_DELETED
                             | vlrstore.ENABLED)
    store = wine_prefix.data_folder / "configs.vlr"
    vlrstore.write_store(store, [config])
    # No shadow copies under Wine; a log left open by a result with warnings would hold the run.
    wine_prefix.set_settings("options", {"backup_locked": "0", "auto_showlog": "0"})
    backup = destination / DESCRIPTION
    mirror_root = backup / "Z" / str(source).lstrip("/")

    for run in (1, 2):
        result = wine_prefix.run(bin_dir / "Korrin.exe", "/hidden", "/exitwhendone", "/run=7", timeout=180)
        assert result.returncode == 0
        log = (wine_prefix.data_folder / "7.txt").read_bytes().decode("cp1252", "replace")
        newest = log.split("Job Result:")[1].splitlines()[0]
        assert "Success" in newest, log
        _, records = vlrstore.read_store(store)
        assert (records[0].run_count, records[0].last_result) == (run, vlrstore.SUCCESS)
        mirrored = sorted(str(p.relative_to(mirror_root)) for p in mirror_root.rglob("*") if p.is_file())
        assert mirrored == files
        for name in files:
            assert (mirror_root / name).read_bytes() == (source / name).read_bytes()
        archive = backup / "Compressed" / DESCRIPTION  # the stored ZIP name is the description
        assert subprocess.run(["7z", "t", "-bd", str(archive)], capture_output=True).returncode == 0
        with zipfile.ZipFile(archive) as z:
            assert z.testzip() is None
            entries = {n.split("src/", 1)[1]: n for n in z.namelist() if not n.endswith("/")}
            assert sorted(entries) == sorted(f.replace("\\", "/") for f in files)
            for name, entry in entries.items():
                assert z.read(entry) == (source / name).read_bytes()
    assert "Deleted From Backup: 0" in log.split("Job Result:")[0]
    assert not (backup / "Deleted").exists() or not any(p.is_file() for p in (backup / "Deleted").rglob("*"))
