"""The configuration editor in the running program: Edit opens the sheet on the selected
configuration, OK writes the edit into the list and the store, Cancel leaves both alone, and
an Exit or the end of the Windows session while the sheet is open loses no configuration."""
import time

import pytest

import vlrstore
from test_shell import (IDM_EXIT, WM_CLOSE, WM_COMMAND, WM_ENDSESSION, WM_QUERYENDSESSION, Program,
                        mirror_config, post_ending, wait_until)

IDM_NEW = 32775
IDM_EDIT = 32776
IDC_GENERAL_DESTINATION = 1008
IDC_GENERAL_SOURCES = 1002
IDC_GENERAL_DESCRIPTION = 1029
IDOK = 1
IDCANCEL = 2
PSBTN_OK = 3
PSBTN_APPLYNOW = 4
PSBTN_CANCEL = 5
SHEET = "Backup Configuration Properties"


@pytest.fixture
def program(wine_prefix, bin_dir):
    return Program(wine_prefix, bin_dir)


def edit_first_row(program, description, button):
    assert program.probe("select", 0)[0] == 0
    assert program.probe("post", WM_COMMAND, IDM_EDIT)[0] == 0
    assert program.probe("dialog", SHEET, 30000)[0] == 0, "the editor did not open"
    assert program.probe("settext", SHEET, IDC_GENERAL_DESCRIPTION, description)[0] == 0
    assert program.probe("press", SHEET, button)[0] == 0
    assert wait_until(lambda: program.probe("dialog", SHEET, 0)[0] == 0, 30), "the editor stayed open"


def test_edit_then_ok_writes_the_list_and_the_store_and_cancel_does_not(program, wine_prefix, tmp_path):
    config, _ = mirror_config(wine_prefix, tmp_path, 4)
    vlrstore.write_store(program.store, [config])
    process = program.start()
    try:
        edit_first_row(program, "Cancelled name", PSBTN_CANCEL)
        assert [r.description for r in vlrstore.read_store(program.store)[1]] == ["Job 4"]
        assert program.probe("rows", 0)[1].splitlines() == ["Job 4"]

        edit_first_row(program, "Edited name", PSBTN_OK)
        assert wait_until(lambda: vlrstore.read_store(program.store)[1][0].description == "Edited name", 30)
        header, records = vlrstore.read_store(program.store)
        assert [(r.unique_id, r.description) for r in records] == [(4, "Edited name")]
        assert program.probe("rows", 0)[1].splitlines() == ["Edited name"]
        assert program.probe("post", WM_CLOSE, 0)[0] == 0
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()


def apply_in_editor(program, road, tmp_path, wine_prefix):
    """Opens the editor on a new or the first configuration, renames it and presses Apply."""
    if road == "edit":
        assert program.probe("select", 0)[0] == 0
    assert program.probe("post", WM_COMMAND, IDM_EDIT if road == "edit" else IDM_NEW)[0] == 0
    assert program.probe("dialog", SHEET, 30000)[0] == 0, "the editor did not open"
    if road == "new":
        source = tmp_path / "new source"
        source.mkdir()
        assert program.probe("additem", SHEET, IDC_GENERAL_SOURCES, wine_prefix.windows_path(source) + "\\")[0] == 0
        destination = wine_prefix.windows_path(tmp_path / "new mirror")
        assert program.probe("settext", SHEET, IDC_GENERAL_DESTINATION, destination)[0] == 0
    assert program.probe("settext", SHEET, IDC_GENERAL_DESCRIPTION, "Applied – name")[0] == 0
    assert program.probe("press", SHEET, PSBTN_APPLYNOW)[0] == 0
    # A successful apply names one of the sheet's buttons Close (Cancel on Windows, OK under Wine).
    assert wait_until(lambda: "Close" in (program.probe("text", SHEET, IDOK)[1].strip(),
                                          program.probe("text", SHEET, IDCANCEL)[1].strip()), 30)


ENDINGS = {
    "exit": [(WM_COMMAND, IDM_EXIT)],
    "logoff": [(WM_QUERYENDSESSION, 0), (WM_ENDSESSION, 1)],
}


@pytest.mark.parametrize("ending", sorted(ENDINGS))
@pytest.mark.parametrize("road", ["new", "edit"])
def test_exit_or_session_end_during_an_edit_keeps_every_configuration(program, wine_prefix, tmp_path, road,
                                                                      ending):
    configs = [mirror_config(wine_prefix, tmp_path, unique_id)[0] for unique_id in (4, 6)]
    vlrstore.write_store(program.store, configs)
    process = program.start()
    try:
        apply_in_editor(program, road, tmp_path, wine_prefix)
        before = program.store.read_bytes()
        post_ending(program, ENDINGS[ending])
        if ending == "exit":
            # The exit waits for the editor, whose applied state is then saved.
            time.sleep(3)
            assert process.poll() is None
            assert program.probe("dialog", SHEET, 0)[0] == 1, "the editor was taken away"
        # At the end of the session the editor may still be there, but it writes nothing.
        if program.probe("dialog", SHEET, 0)[0] == 1:
            assert program.probe("press", SHEET, PSBTN_CANCEL)[0] == 0
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()
    stored = [(r.unique_id, r.description) for r in vlrstore.read_store(program.store)[1]]
    if ending == "logoff":
        assert program.store.read_bytes() == before
    elif road == "new":
        assert stored == [(4, "Job 4"), (6, "Job 6"), (7, "Applied – name")]
    else:
        assert stored == [(4, "Applied – name"), (6, "Job 6")]
