"""Full and date-filtered ZIP backups made by the shipped program, restored as a user restores
them: the archives unpacked over each other in the order they were made give the tree as it was
at the last run, whatever times the files that came in since carry."""
import datetime
import os
import shutil
import subprocess
import zipfile

import pytest

import vlrstore

OLD = datetime.datetime(2020, 3, 14, 9, 26).timestamp()
TREE = {"Documents/Budget 2024.xlsx": b"rent;heating;phone\n" * 200,
        "Documents/Letter to the landlord.docx": b"Dear Mr Hale,\n" * 100,
        "Photos/Holiday/IMG_0412.JPG": bytes(range(256)) * 40}


def files_under(folder):
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


def entries(archive):
    with zipfile.ZipFile(archive) as z:
        assert z.testzip() is None
        return sorted(n.split("src/", 1)[1] for n in z.namelist() if not n.endswith("/"))


def restore(archives, into):
    for archive in archives:
        result = subprocess.run(["7z", "x", "-bd", "-aoa", f"-o{into}", str(archive)], capture_output=True,
                                text=True, timeout=60)
        assert result.returncode == 0, result.stdout + result.stderr


def write_old(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    os.utime(path, (OLD, OLD))


# Full every 30 runs, and neither date-filter option (only the first run lists all files).
@pytest.mark.parametrize("date_filter", [(vlrstore.EVERY_N_ALL, 30), (0, 0)], ids=["full every 30", "no full runs"])
def test_full_and_date_filtered_archives_restore_the_tree_of_the_last_run(wine_prefix, bin_dir, tmp_path,
                                                                         date_filter):
    source, outside = tmp_path / "src", tmp_path / "Downloads"
    for name, data in TREE.items():
        (source / name).parent.mkdir(parents=True, exist_ok=True)
        (source / name).write_bytes(data)
    destination = tmp_path / "dest"
    config = vlrstore.Config(7, "Home Office", wine_prefix.windows_path(destination) + "\\",
                             [wine_prefix.windows_path(source) + "\\"],
                             flags=vlrstore.COMPRESSED | vlrstore.ENABLED, zip_name="Backup_[[UNIQUE]].zip",
                             date_filter_flags=date_filter[0], full_backup_every=date_filter[1])
    vlrstore.write_store(wine_prefix.data_folder / "configs.vlr", [config])
    wine_prefix.set_settings("options", {"backup_locked": "0", "auto_showlog": "0"})

    def edit_budget():
        (source / "Documents/Budget 2024.xlsx").write_bytes(b"rent;heating;phone;insurance\n" * 200)

    def copy_in_with_old_time():
        write_old(outside / "Tax return 2019.pdf", b"%PDF-1.4 tax return\n" * 300)
        (source / "Documents/Taxes").mkdir()
        shutil.copy2(outside / "Tax return 2019.pdf", source / "Documents/Taxes/Tax return 2019.pdf")

    def move_into_new_folder():
        write_old(outside / "receipt-0815.pdf", b"%PDF-1.4 receipt\n" * 300)
        (source / "Scans/Receipts").mkdir(parents=True)
        os.rename(outside / "receipt-0815.pdf", source / "Scans/Receipts/receipt-0815.pdf")

    # (the change before the run, the files its archive holds)
    runs = [(None, sorted(TREE)),
            (edit_budget, ["Documents/Budget 2024.xlsx"]),
            (copy_in_with_old_time, ["Documents/Taxes/Tax return 2019.pdf"]),
            (move_into_new_folder, ["Scans/Receipts/receipt-0815.pdf"])]
    archives = []
    for run, (change, held) in enumerate(runs, start=1):
        if change:
            change()
        result = wine_prefix.run(bin_dir / "Korrin.exe", "/hidden", "/exitwhendone", "/run=7", timeout=180)
        assert result.returncode == 0
        log = (wine_prefix.data_folder / "7.txt").read_bytes().decode("cp1252", "replace")
        assert "Success" in log.split("Job Result:")[1].splitlines()[0], log
        archives.append(destination / "Home Office" / "Compressed" / f"Backup_7_{run}.zip")
        assert archives[-1].exists(), (run, log)
        assert entries(archives[-1]) == held, run
        restored = tmp_path / f"restored {run}"
        restore(archives, restored)
        assert files_under(restored / str(source).lstrip("/")) == files_under(source), run
