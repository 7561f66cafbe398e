"""A configuration made in the running program through all four pages of the editor and its two
small dialogs: every field lands at its place in configs.vlr, and a run by "/run=" makes the
split, encrypted archive. Then pictures of the four pages at each dialog size, kept under
build/artifacts/."""
import os
import pathlib
import shutil
import subprocess
import time

import vlrstore
from test_help_file import use_x11
from test_main_window_display import grab
from test_shell import IDM_EXIT, WM_COMMAND, Program, wait_until
from test_zip_step import seven_zip

IDM_NEW = 32775
SHEET = "Backup Configuration Properties"
SPLIT = "Split Compressed ZIP"
DATE_FILTER = "Compressed ZIP Date Filter"
PSBTN_OK = 3
PSBTN_CANCEL = 5
IDOK = 1
PAGES = ["General", "Schedule", "Advanced", "Notes"]


class Editor:
    """The editor's sheet in the running program, worked through the window probe."""

    def __init__(self, program):
        self.program = program

    def probe(self, *args):
        code, out = self.program.probe(*map(str, args))
        assert code == 0, (args, code, out)
        return out

    def open_new(self):
        self.probe("post", WM_COMMAND, IDM_NEW)
        self.probe("dialog", SHEET, 30000)

    def dialog(self, title):
        self.probe("dialog", title, 30000)

    def gone(self, title):
        assert wait_until(lambda: self.program.probe("dialog", title, 0)[0] == 0, 30), f"{title} stayed open"


def make_configuration(editor, source, destination, marker):
    editor.open_new()
    # General
    editor.probe("settext", SHEET, 1029, "Nightly ZIP")
    editor.probe("additem", SHEET, 1002, source)
    editor.probe("settext", SHEET, 1008, destination)
    # Schedule: every 2 days at 21:30 by the internal scheduler
    editor.probe("page", SHEET, 1)
    editor.probe("click", SHEET, 1009)
    editor.probe("settext", SHEET, 1000, "2")
    editor.probe("time", SHEET, 1015, 21, 30)
    editor.probe("click", SHEET, 1096)
    # Advanced: only the ZIP, encrypted, split and date-filtered, high priority, a program before
    editor.probe("page", SHEET, 2)
    editor.probe("click", SHEET, 1019)
    editor.probe("click", SHEET, 1020)
    editor.probe("settext", SHEET, 1021, "Nightly.zip")
    editor.probe("click", SHEET, 1022)
    editor.probe("settext", SHEET, 1023, "Open Sesame 7")
    editor.probe("settext", SHEET, 1024, "Open Sesame 7")
    editor.probe("click", SHEET, 1052)
    editor.dialog(SPLIT)
    editor.probe("settext", SPLIT, 1000, "1")
    editor.probe("choose", SPLIT, 1055, 2)
    editor.probe("click", SPLIT, IDOK)
    editor.gone(SPLIT)
    editor.probe("click", SHEET, 1054)
    editor.dialog(DATE_FILTER)
    editor.probe("click", DATE_FILTER, 1071)
    editor.probe("settext", DATE_FILTER, 1073, "5")
    editor.probe("click", DATE_FILTER, IDOK)
    editor.gone(DATE_FILTER)
    editor.probe("choose", SHEET, 1025, 3)
    editor.probe("click", SHEET, 1026)
    editor.probe("settext", SHEET, 1027, f"C:\\windows\\system32\\cmd.exe /c echo ran> {marker}")
    # Notes
    editor.probe("page", SHEET, 3)
    editor.probe("settext", SHEET, 1000, "Kept two weeks, then to tape.")
    editor.probe("press", SHEET, PSBTN_OK)
    editor.gone(SHEET)


def test_configuration_made_through_every_page_is_stored_and_runs(wine_prefix, bin_dir, tmp_path):
    program = Program(wine_prefix, bin_dir)
    wine_prefix.set_settings("options", {"askexit": "0"})
    source = tmp_path / "Documents"
    (source / "photos").mkdir(parents=True)
    noise = os.urandom(2_500_000)
    (source / "photos" / "holiday.raw").write_bytes(noise)
    (source / "letter.txt").write_text("Dear reader\n")
    destination = tmp_path / "Backups"
    marker = tmp_path / "before.txt"
    win_source = wine_prefix.windows_path(source) + "\\"
    win_destination = wine_prefix.windows_path(destination) + "\\"

    process = program.start()
    try:
        make_configuration(Editor(program), win_source, win_destination, wine_prefix.windows_path(marker))
        assert wait_until(lambda: program.store.exists() and vlrstore.read_store(program.store)[1], 30)
        header, records = vlrstore.read_store(program.store)
        assert header[8:16] == (1).to_bytes(4, "little") * 2
        [r] = records
        assert (r.unique_id, r.description, r.destination, r.sources) == (1, "Nightly ZIP", win_destination,
                                                                          [win_source])
        assert r.flags == (vlrstore.ENABLED | vlrstore.COMPRESSED | vlrstore.ENCRYPTED | vlrstore.SPLIT_ZIP |
                           vlrstore.SAVE_REVISIONS | vlrstore.SAVE_DELETED | vlrstore.RUN_PROGRAM_BEFORE)
        assert (r.compressed_file_name, r.zip_password) == ("Nightly.zip", "Open Sesame 7")
        assert (r.split_size, r.split_unit) == (1, 2)
        assert (r.date_filter_flags, r.full_backup_every, r.date_filter_count) == (0x2, 5, 0)
        assert r.priority == 3
        assert r.program_before.endswith("echo ran> " + wine_prefix.windows_path(marker))
        assert (r.schedule_kind, r.every_days, r.hour, r.minute) == (1, 2, 21, 30)
        assert r.notes == "Kept two weeks, then to tape."
        assert program.probe("post", WM_COMMAND, IDM_EXIT)[0] == 0
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()

    result = wine_prefix.run(program.exe, "/hidden", "/exitwhendone", "/run=1", timeout=300)
    assert result.returncode == 0
    log = program.log(1)
    assert "Success" in log, log
    assert marker.read_text().strip() == "ran"
    parts = sorted(destination.rglob("Nightly.zip.*"))
    assert [p.name for p in parts] == ["Nightly.zip.001", "Nightly.zip.002", "Nightly.zip.003"], log
    assert all(p.stat().st_size == 1024 * 1024 for p in parts[:-1])
    joined = tmp_path / "joined.zip"
    joined.write_bytes(b"".join(p.read_bytes() for p in parts))
    listing = seven_zip("l", "-slt", "-pOpen Sesame 7", str(joined)).stdout
    assert "Method = AES-256 Deflate" in listing
    assert seven_zip("t", "-bd", "-pOpen Sesame 7", str(joined)).returncode == 0
    assert seven_zip("t", "-bd", "-pwrong", str(joined)).returncode != 0
    extracted = subprocess.run(["7z", "x", "-so", "-pOpen Sesame 7", str(joined), "*holiday.raw", "-r"],
                               capture_output=True, timeout=60).stdout
    assert extracted == noise
    _, [after] = vlrstore.read_store(program.store)
    assert (after.run_count, after.last_result, after.date_filter_count) == (1, vlrstore.SUCCESS, 1)


def test_pictures_of_the_four_pages_at_every_dialog_size(wine_prefix, bin_dir, tmp_path, x_display):
    use_x11(wine_prefix, x_display)
    artefacts = pathlib.Path(os.environ["VELLORAN_BUILD_DIR"]) / "artifacts"
    artefacts.mkdir(exist_ok=True)
    program = Program(wine_prefix, bin_dir)
    sizes = {}
    for points in (8, 10, 12):
        wine_prefix.set_settings("options", {"askexit": "0", "dlgsize": str(points)})
        process = program.start()
        try:
            editor = Editor(program)
            editor.open_new()
            for index, name in enumerate(PAGES):
                editor.probe("page", SHEET, index)
                time.sleep(1)  # the page is painted
                picture = tmp_path / f"editor-{name.lower()}-{points}pt.png"
                width, height, pixels = grab(x_display, SHEET, picture)
                # A drawn page has text and edges: more than one colour.
                assert len(set(pixels[i:i + 3] for i in range(0, len(pixels), 3 * 97))) > 2
                shutil.copy(picture, artefacts / picture.name)
                sizes[points] = (width, height)
            editor.probe("press", SHEET, PSBTN_CANCEL)
            editor.gone(SHEET)
            assert program.probe("post", WM_COMMAND, IDM_EXIT)[0] == 0
            assert process.wait(timeout=60) == 0
        finally:
            if process.poll() is None:
                process.kill()
    # The sheet grows with the pages' font.
    assert sizes[8][0] < sizes[10][0] < sizes[12][0], sizes
    assert sizes[8][1] < sizes[10][1] < sizes[12][1], sizes
