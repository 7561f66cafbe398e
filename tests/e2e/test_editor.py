"""The configuration editor in the running program: Edit opens the sheet on the selected
configuration, OK writes the edit into the list and the store, Cancel leaves both alone."""
import pytest

import vlrstore
from test_shell import WM_CLOSE, WM_COMMAND, Program, mirror_config, wait_until

IDM_EDIT = 32776
IDC_GENERAL_DESCRIPTION = 1029
PSBTN_OK = 3
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
