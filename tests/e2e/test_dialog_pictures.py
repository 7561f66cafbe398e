"""Choose Columns and the remote backup sheet's E-Mail page on a virtual X screen at each dialog
size. Their pictures go to build/artifacts (columns-8pt.png, email-page-8pt.png and so on) for
anyone to look at, and disabled edit fields are drawn grey as Windows draws them, not white like
a field that can be typed in: on the E-Mail page with e-mail off, inside its group boxes as
beside them, like those of the FTP page and of the Schedule page's group box."""
import os
import pathlib
import subprocess

import pytest

import vlrstore
from test_dialogs import EDITOR, REMOTE, Dialogs
from test_main_window_display import grab
from test_shell import WM_COMMAND

IDM_COLUMNS = 32783
IDCANCEL = 2
PSBTN_CANCEL = 5
COLUMNS = "Choose Columns to Display"
FTP_PAGE, SCHEDULE_PAGE = 1, 1
WHITE = (255, 255, 255)
# Disabled while e-mail is off: the recipients beside the group boxes, the server inside two.
MAIL_TO, MAIL_SERVER = 1001, 1000
FTP_SERVER = 1000        # disabled while uploading is off
SCHEDULE_ACCOUNT = 1089  # disabled while the configuration is started by hand


def pixel(screen, x, y):
    width, _, pixels = screen
    at = (y * width + x) * 3
    return tuple(pixels[at:at + 3])


def field_colour(program, title, screen, control):
    """The colour inside the field's right end, clear of its frame and of any text."""
    assert program.do("enabled", title, control).strip() == "0"
    _, top, right, bottom = [int(v) for v in program.do("rect", title, control).split()]
    return pixel(screen, right - 6, (top + bottom) // 2)


@pytest.mark.parametrize("points", [8, 10, 12])
def test_column_chooser_and_email_page_pictures_with_disabled_fields_drawn_grey(wine_prefix, bin_dir, tmp_path,
                                                                                x_display, points):
    wine_prefix.env["DISPLAY"] = x_display
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "x11", "/f"],
                   env=wine_prefix.env, check=True, capture_output=True, timeout=60)
    program = Dialogs(wine_prefix, bin_dir)
    config = vlrstore.Config(1, "Documents", "C:\\Backup\\", ["C:\\windows\\win.ini"],
                             flags=vlrstore.ENABLED | vlrstore.COMPRESSED)
    vlrstore.write_store(program.store, [config])
    wine_prefix.set_settings("options", {"dlgsize": str(points), "askexit": "0"})
    artefacts = pathlib.Path(os.environ["VELLORAN_BUILD_DIR"]) / "artifacts"
    artefacts.mkdir(exist_ok=True)

    with program.running():
        program.do("post", WM_COMMAND, IDM_COLUMNS)
        program.wait_dialog(COLUMNS)
        grab(x_display, COLUMNS, artefacts / f"columns-{points}pt.png")
        program.do("command", COLUMNS, IDCANCEL)
        program.wait_gone(COLUMNS)

        program.open_remote_sheet()
        email = grab(x_display, REMOTE, artefacts / f"email-page-{points}pt.png")
        colours = {"E-Mail recipients": field_colour(program, REMOTE, email, MAIL_TO),
                   "E-Mail server": field_colour(program, REMOTE, email, MAIL_SERVER)}
        program.do("page", REMOTE, FTP_PAGE)
        ftp = grab(x_display, REMOTE, tmp_path / "ftp.png")
        colours["FTP server"] = field_colour(program, REMOTE, ftp, FTP_SERVER)
        program.do("press", REMOTE, PSBTN_CANCEL)
        program.wait_gone(REMOTE)

        program.do("page", EDITOR, SCHEDULE_PAGE)
        schedule = grab(x_display, EDITOR, tmp_path / "schedule.png")
        colours["Schedule account"] = field_colour(program, EDITOR, schedule, SCHEDULE_ACCOUNT)
        assert WHITE not in colours.values(), colours
        assert len(set(colours.values())) == 1, colours

        program.do("press", EDITOR, PSBTN_CANCEL)
        program.wait_gone(EDITOR)
