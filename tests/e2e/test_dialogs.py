"""The last dialogs in the running program, worked through its windows by the window probe:
Filter Options and the remote backup sheet edit a configuration that then runs with "/run="
(the excluded files are missing from the mirror, the ZIP parts reach an FTP and an SMTP server
started here on 127.0.0.1), the pages' Test buttons against those servers and against a closed
port, and the Options dialog, whose values reach the registry only at exit."""
import os
import pathlib

import pytest

import vlrstore
from test_mail import SmtpServer, MailConfig, free_port
from test_remote_upload import SERVERS, PASSWORD, USER, Server
from test_shell import WM_COMMAND, Program, mirrored, wait_until

IDM_EDIT = 32776
IDM_EXIT = 32784
IDM_OPTIONS = 32786
PSBTN_OK = 3
IDOK = 1
COMPRESSED = 0x8
SPLIT_ZIP = 0x20
MESSAGE_TEXT = 65535

EDITOR = "Backup Configuration Properties"
FILTER = "Filter Options"
EXTENSION = "Filename Extension"
REMOTE = "Remote Backup Options"
OPTIONS = "Options"
BOX = "Velloran"

GENERAL_FILTER_OPTIONS = 1006
FILTER_ADD_EXTENSION = 1036
EXTENSION_TEXT = 1037
ADVANCED_PAGE = 2
ADVANCED_REMOTE = 1051


class Dialogs(Program):
    """The program with the probe verbs the dialogs need; every step must work."""

    def do(self, *args):
        code, out = self.probe(*map(str, args))
        assert code == 0, f"probe {args} gave {code}"
        return out

    def wait_dialog(self, title, seconds=30):
        self.do("dialog", title, seconds * 1000)

    def wait_gone(self, title, seconds=30):
        assert wait_until(lambda: self.probe("dialog", title, 0)[0] == 0, seconds), f"{title} stayed open"

    def box_text(self, seconds=60):
        """The text of the next message box, which is then closed."""
        self.wait_dialog(BOX, seconds)
        text = self.do("text", BOX, MESSAGE_TEXT).strip()
        self.do("command", BOX, IDOK)
        self.wait_gone(BOX)
        return text


@pytest.fixture
def program(wine_prefix, bin_dir):
    return Dialogs(wine_prefix, bin_dir)


def start_ftp(servers_started, home):
    home.mkdir(parents=True, exist_ok=True)
    server = Server(["/usr/bin/python3", str(SERVERS), "ftp", "--home", str(home), "--user", USER,
                     "--password", PASSWORD], home.parent / "pyftpdlib.log")
    servers_started.append(server)
    return server


@pytest.fixture
def started(tmp_path):
    servers = []
    yield servers
    for server in servers:
        server.stop()


def make_sources(root):
    source = root / "src"
    (source / "Cache").mkdir(parents=True)
    (source / "keep.txt").write_text("kept\n")
    (source / "draft \u2013 old.tmp").write_text("temporary\n", encoding="utf-8")
    (source / "Cache" / "inside.txt").write_text("cached\n")
    (source / "noise.bin").write_bytes(os.urandom(150_000))
    return source


def edit_filters(program, excluded_folder):
    """Filter Options from the General page: .tmp excluded, then a folder dropped on the list."""
    program.do("click", EDITOR, GENERAL_FILTER_OPTIONS)
    program.wait_dialog(FILTER)
    program.do("click", FILTER, FILTER_ADD_EXTENSION)
    program.wait_dialog(EXTENSION)
    program.do("settext", EXTENSION, EXTENSION_TEXT, "*.TMP")
    program.do("command", EXTENSION, IDOK)
    program.wait_gone(EXTENSION)
    # Posted like the drop, so handled after it.
    program.do("drop", FILTER, excluded_folder)
    program.do("command", FILTER, IDOK)
    program.wait_gone(FILTER)


def test_filter_options_through_the_window_keep_excluded_files_out_of_the_mirror(program, wine_prefix, tmp_path):
    source = make_sources(tmp_path)
    destination = tmp_path / "dest"
    config = vlrstore.Config(3, "Filtered", wine_prefix.windows_path(destination) + "\\",
                             [wine_prefix.windows_path(source) + "\\"])
    vlrstore.write_store(program.store, [config])
    process = program.start()
    try:
        program.do("select", 0)
        program.do("post", WM_COMMAND, IDM_EDIT)
        program.wait_dialog(EDITOR)
        edit_filters(program, wine_prefix.windows_path(source / "Cache"))
        program.do("press", EDITOR, PSBTN_OK)
        program.wait_gone(EDITOR)
        program.do("post", WM_COMMAND, IDM_EXIT)
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()
    result = wine_prefix.run(program.exe, "/hidden", "/exitwhendone", "/run=3", timeout=180)
    assert result.returncode == 0
    assert mirrored(destination) == ["keep.txt"]
    assert not list(destination.rglob("*.tmp"))
    assert not list(destination.rglob("Cache"))
    assert list(destination.rglob("noise.bin"))


def startup_link(prefix):
    # Wine names the folder "StartUp".
    return prefix.appdata / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "StartUp" / "Velloran.lnk"


def test_options_reach_the_registry_at_exit_and_the_startup_shortcut_follows_every_ok(program, wine_prefix):
    process = program.start()
    try:
        program.do("post", WM_COMMAND, IDM_OPTIONS)
        program.wait_dialog(OPTIONS)
        program.do("settext", OPTIONS, 1087, "12345")
        program.do("settext", OPTIONS, 1089, "0")
        program.do("choose", OPTIONS, 1107, 0)
        program.do("click", OPTIONS, 1099)
        assert wait_until(lambda: program.probe("checked", OPTIONS, 1099)[1].strip() == "1", 10)
        program.do("command", OPTIONS, IDOK)
        program.wait_gone(OPTIONS)
        assert wait_until(startup_link(wine_prefix).exists, 10)
        before_exit = wine_prefix.query_settings("options")
        assert "ftp_retry" not in before_exit and "instartup" not in before_exit, before_exit

        program.do("post", WM_COMMAND, IDM_OPTIONS)
        program.wait_dialog(OPTIONS)
        assert program.do("text", OPTIONS, 1087).strip() == "9999"
        program.do("click", OPTIONS, 1099)
        assert wait_until(lambda: program.probe("checked", OPTIONS, 1099)[1].strip() == "0", 10)
        program.do("command", OPTIONS, IDOK)
        program.wait_gone(OPTIONS)
        assert wait_until(lambda: not startup_link(wine_prefix).exists(), 10)
        assert "ftp_retry" not in wine_prefix.query_settings("options")

        program.do("post", WM_COMMAND, IDM_EXIT)
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()
    options = wine_prefix.query_settings("options")
    assert options["ftp_retry"] == "9999"
    assert options["email_send_timeout"] == "1"
    assert options["newversionfreq"] == "1"
    assert options["instartup"] == "0"
