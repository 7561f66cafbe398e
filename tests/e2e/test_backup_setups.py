"""Backups set up the way users set them up, run by the shipped program with "Remove Excluded
Files/Folders" on: a destination at the root of a disk beside the user's own folders, a source
inside the backup folder, a backup folder inside a source (also through a second drive letter),
a description "..", and sources whose folder links lead back into their own tree. Each is built,
run, changed and run again; every file of the user's keeps its bytes, and the mirror (and the
archive) equals the sources. Drives are folders of the test, mapped by links in dosdevices. The
General page refuses a description that cannot name a folder of its own."""
import os
import zipfile

import pytest

import vlrstore
from test_dialogs import EDITOR, PSBTN_OK, Dialogs
from test_shell import IDM_EXIT, WM_COMMAND

UNIQUE_ID = 5
PSBTN_CANCEL = 5
IDC_GENERAL_DESCRIPTION = 1029
LOOP_WARNING = "WARNING: Folder link leads back into its own tree and is not followed: "


class Disk:
    """A drive of the prefix: a folder of the test under one or more letters."""

    def __init__(self, prefix, root, *letters):
        self.root = root
        root.mkdir(parents=True, exist_ok=True)
        for letter in letters:
            (prefix.path / "dosdevices" / f"{letter.lower()}:").symlink_to(root)

    def write(self, files):
        for relative, data in files.items():
            path = self.root / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)

    def files(self, under=""):
        """Every file below a folder of the disk, by its path relative to that folder."""
        top = self.root / under
        found = {}
        for folder, _, names in os.walk(top):
            for name in names:
                path = os.path.join(folder, name)
                found[os.path.relpath(path, top).replace(os.sep, "/")] = open(path, "rb").read()
        return found


def run_job(prefix, bin_dir, config, timeout=120):
    """Runs the stored configuration as the scheduler would; its result word and its newest log."""
    vlrstore.write_store(prefix.data_folder / "configs.vlr", [config])
    result = prefix.run(bin_dir / "Korrin.exe", "/hidden", "/exitwhendone", f"/run={config.unique_id}",
                        timeout=timeout)
    assert result.returncode == 0
    log = (prefix.data_folder / f"{config.unique_id}.txt").read_bytes().decode("cp1252", "replace")
    newest = log.split("************************** Backup Job Finished")[0]
    return newest.split("Job Result: ")[1].splitlines()[0], newest


@pytest.fixture
def settings(wine_prefix):
    # No shadow copies under Wine; a log left open by a result with warnings would hold the run.
    wine_prefix.set_settings("options", {"backup_locked": "0", "auto_showlog": "0", "remove_excluded": "1",
                                         "log_verbose": "1"})


def edit_plan(disk, projects, user_files):
    """What a user does between two runs: edits a file, adds one and deletes one."""
    changed = {f"{projects}/plan.txt": b"plan, second draft\n", f"{projects}/budget.xls": b"budget\n" * 40}
    disk.write(changed)
    user_files.update(changed)
    os.remove(disk.root / projects / "report.doc")
    del user_files[f"{projects}/report.doc"]


def made_by_the_backup(path, backup):
    """Whether a file of the disk lies in one of the folders the job makes in its backup folder."""
    return any(path.startswith(f"{backup}/{folder}/") for folder in ("Y", "Deleted", "Revisions", "Compressed"))


# Each set-up: its destination, description and sources, the user's files on the disk, the folder
# that holds the sources' files (changed between the runs), the backup folder (relative to the
# disk), whether the job may run (or the ERROR line that ends it), and the drive letters the disk
# has.
SETUPS = {
    "destination at a disk root beside the user's folders": dict(
        destination="Y:\\", description="Data", sources=["Y:\\Projects\\"], backup="Data",
        files={"Data/Music/song.mp3": b"ID3 song" * 500, "Projects/plan.txt": b"plan\n",
               "Projects/report.doc": b"report" * 100, "Photos/beach.jpg": b"\xff\xd8 beach"},
        projects="Projects", runs=True),
    "source inside the backup folder": dict(
        destination="Y:\\bk\\", description="Out", sources=["Y:\\bk\\Out\\mine\\"], backup="bk/Out",
        files={"bk/Out/mine/plan.txt": b"plan\n", "bk/Out/mine/report.doc": b"report\n",
               "Music/song.mp3": b"ID3 song"},
        projects="bk/Out/mine", runs=False, error="ERROR: Source lies inside the backup folder "),
    "backup folder inside a source": dict(
        destination="Y:\\data\\bk\\", description="In", sources=["Y:\\data\\"], backup="data/bk/In",
        files={"data/Projects/plan.txt": b"plan\n", "data/Projects/report.doc": b"report\n",
               "data/Music/song.mp3": b"ID3 song", "data/bk/Other Job/Y/data/old.txt": b"other job's mirror"},
        projects="data/Projects", runs=True, compressed=True),
    "backup folder inside a source, under a second drive letter": dict(
        destination="W:\\data\\bk\\", description="In", sources=["Y:\\data\\"], backup="data/bk/In",
        files={"data/Projects/plan.txt": b"plan\n", "data/Projects/report.doc": b"report\n",
               "data/Music/song.mp3": b"ID3 song"},
        projects="data/Projects", runs=True, compressed=True, letters=("Y", "W")),
    "description ..": dict(
        destination="Y:\\bk\\", description="..", sources=["Y:\\Projects\\"], backup="bk/..",
        files={"bk/Other Job/Y/Projects/plan.txt": b"other job's mirror", "Music/song.mp3": b"ID3 song",
               "Projects/plan.txt": b"plan\n", "Projects/report.doc": b"report\n"},
        projects="Projects", runs=False, error="ERROR: The description cannot name a backup folder "),
}


@pytest.mark.parametrize("name", sorted(SETUPS))
def test_backup_set_up_as_users_do_keeps_every_user_file_and_mirrors_the_sources(wine_prefix, bin_dir, tmp_path,
                                                                                  settings, name):
    setup = SETUPS[name]
    disk = Disk(wine_prefix, tmp_path / "disk", *setup.get("letters", ("Y",)))
    disk.write(setup["files"])
    flags = vlrstore.UNCOMPRESSED | vlrstore.SAVE_DELETED | vlrstore.ENABLED
    if setup.get("compressed"):
        flags |= vlrstore.COMPRESSED
    config = vlrstore.Config(UNIQUE_ID, setup["description"], setup["destination"], setup["sources"], flags=flags)
    backup = setup["backup"]
    source = setup["sources"][0][3:].rstrip("\\").replace("\\", "/")
    user_files = dict(setup["files"])
    for run in (1, 2):
        result, log = run_job(wine_prefix, bin_dir, config)
        on_disk = disk.files()
        assert {p: d for p, d in on_disk.items() if not made_by_the_backup(p, backup)} == user_files, log
        if not setup["runs"]:
            assert result == "Failed", log
            assert [line[:len(setup["error"])] for line in log.splitlines() if line.startswith("ERROR")] == [
                setup["error"]], log
            assert on_disk == user_files
        else:
            assert result == "Success", log
            sources = {p: d for p, d in disk.files(source).items() if not f"{source}/{p}".startswith(backup + "/")}
            assert disk.files(f"{backup}/Y/{source}") == sources, log
            assert f"Total Files : {len(sources)}" in log
            left_out = [line for line in log.splitlines() if "The backup folder lies inside a source" in line]
            assert len(left_out) == (1 if backup.startswith(source + "/") else 0), log
            if setup.get("compressed"):
                with zipfile.ZipFile(disk.root / backup / "Compressed" / "In") as archive:
                    listed = [n for n in archive.namelist() if not n.endswith("/")]
                assert sorted(listed) == sorted(f"{source}/{p}" for p in sources)
        if run == 1:
            edit_plan(disk, setup["projects"], user_files)


def test_folder_links_are_followed_once_and_never_back_into_their_own_tree(wine_prefix, bin_dir, tmp_path, settings):
    disk = Disk(wine_prefix, tmp_path / "disk", "Y")
    disk.write({"Home/Documents/report.doc": b"report", "Home/Music/song.mp3": b"ID3 song",
                "Shared/plan.txt": b"plan"})
    links = {"Home/Documents/Home again": "..", "Home/Music/itself": ".", "Home/Shared": "../Shared",
             "Shared/Back home": "../Home"}
    for link, target in links.items():
        os.symlink(target, disk.root / link)
    # A link the user excluded is not looked at at all.
    config = vlrstore.Config(UNIQUE_ID, "Links", "Y:\\Backup\\", ["Y:\\Home\\"],
                             flags=vlrstore.UNCOMPRESSED | vlrstore.COMPRESSED | vlrstore.ENABLED,
                             excluded=["Y:\\Home\\Music\\itself\\"])
    expected = {"Documents/report.doc": b"report", "Music/song.mp3": b"ID3 song", "Shared/plan.txt": b"plan"}
    for run in (1, 2):
        result, log = run_job(wine_prefix, bin_dir, config, timeout=90)
        assert result == "Warnings", log
        assert disk.files("Backup/Links/Y/Home") == expected, log
        with zipfile.ZipFile(disk.root / "Backup/Links/Compressed/Links") as archive:
            listed = [n for n in archive.namelist() if not n.endswith("/")]
        assert sorted(listed) == sorted(f"Home/{p}" for p in expected)
        warned = sorted(line[len(LOOP_WARNING):] for line in log.splitlines() if line.startswith(LOOP_WARNING))
        # Once by the mirror walk, once by the ZIP listing.
        assert warned == sorted(2 * ["Y:\\Home\\Documents\\Home again\\", "Y:\\Home\\Shared\\Back home\\"]), log
        assert "Total Files : 3" in log
        if run == 1:
            disk.write({"Shared/plan.txt": b"plan, second draft"})
            expected["Shared/plan.txt"] = b"plan, second draft"


def test_general_page_refuses_a_description_that_cannot_name_a_folder(wine_prefix, bin_dir, tmp_path):
    program = Dialogs(wine_prefix, bin_dir)
    source = tmp_path / "Projects"
    source.mkdir()
    config = vlrstore.Config(UNIQUE_ID, "Projects", wine_prefix.windows_path(tmp_path / "bk") + "\\",
                             [wine_prefix.windows_path(source) + "\\"])
    process = program.start_editing(config)
    try:
        for name in ["..", ".", "Trailing dot.", "Trailing space ", "What?."]:
            program.do("settext", EDITOR, IDC_GENERAL_DESCRIPTION, name)
            program.do("press", EDITOR, PSBTN_OK)
            assert program.box_text().startswith(f"The description cannot name a folder of its own: {name}\n")
            assert program.probe("dialog", EDITOR, 0)[0] == 1, f"the editor closed on {name!r}"
        program.do("settext", EDITOR, IDC_GENERAL_DESCRIPTION, "Projects .. nightly")
        program.do("press", EDITOR, PSBTN_OK)
        program.wait_gone(EDITOR)
    finally:
        if program.probe("dialog", EDITOR, 0)[0] == 1:
            program.probe("press", EDITOR, PSBTN_CANCEL)
        program.probe("post", WM_COMMAND, IDM_EXIT)
        process.wait(timeout=60)
    assert [r.description for r in vlrstore.read_store(program.store)[1]] == ["Projects .. nightly"]
