"""The last dialogs in the running program, worked through its windows by the window probe:
Filter Options and the remote backup sheet edit a configuration that then runs with "/run="
(the excluded files are missing from the mirror, the ZIP parts reach an FTP and an SMTP server
started here on 127.0.0.1), the pages' Test buttons against those servers and against a closed
port, and the Options dialog, whose values reach the registry only at exit."""
import contextlib
import os

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

    @contextlib.contextmanager
    def running(self, config=None):
        """The program for a with block: started (with config's editor open, when given), ended by
        its Exit command with code 0 at the end of the block, and killed when a step failed."""
        process = self.start_editing(config) if config else self.start()
        try:
            yield process
            self.do("post", WM_COMMAND, IDM_EXIT)
            assert process.wait(timeout=60) == 0
        finally:
            if process.poll() is None:
                process.kill()

    def start_editing(self, config):
        """Starts the program on a store of this one configuration and opens its editor; the process."""
        vlrstore.write_store(self.store, [config])
        process = self.start()
        self.open_editor()
        return process

    def open_editor(self):
        """Opens the editor of the first configuration in the list."""
        self.do("select", 0)
        self.do("post", WM_COMMAND, IDM_EDIT)
        self.wait_dialog(EDITOR)

    def open_remote_sheet(self):
        """Opens the first configuration's remote backup sheet from its Advanced page."""
        self.open_editor()
        self.do("page", EDITOR, ADVANCED_PAGE)
        self.do("click", EDITOR, ADVANCED_REMOTE)
        self.wait_dialog(REMOTE)

    def box_text(self, seconds=60):
        """The text of the next message box, which is then closed."""
        self.wait_dialog(BOX, seconds)
        box = self.do("handle", BOX).strip()
        text = self.do("text", BOX, MESSAGE_TEXT).strip()
        self.do("command", BOX, IDOK)
        # Another box may follow at once under the same caption.
        assert wait_until(lambda: self.do("handle", BOX).strip() != box, 30), f"box {text!r} stayed open"
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
    program.do("drop", FILTER, excluded_folder)
    program.do("command", FILTER, IDOK)
    program.wait_gone(FILTER)


def test_filter_options_through_the_window_keep_excluded_files_out_of_the_mirror(program, wine_prefix, tmp_path):
    source = make_sources(tmp_path)
    destination = tmp_path / "dest"
    config = vlrstore.Config(3, "Filtered", wine_prefix.windows_path(destination) + "\\",
                             [wine_prefix.windows_path(source) + "\\"])
    with program.running(config):
        edit_filters(program, wine_prefix.windows_path(source / "Cache"))
        program.do("press", EDITOR, PSBTN_OK)
        program.wait_gone(EDITOR)
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
    with program.running():
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

    options = wine_prefix.query_settings("options")
    assert options["ftp_retry"] == "9999"
    assert options["email_send_timeout"] == "1"
    assert options["newversionfreq"] == "1"
    assert options["instartup"] == "0"


# The remote backup sheet, opened from the Advanced page.
EMAIL_ENABLE, MAIL_TO, MAIL_SERVER, MAIL_FROM, MAIL_USE_SMTP, MAIL_AUTH = 1063, 1001, 1000, 1250, 1015, 1252
FTP_ENABLE, FTP_SERVER, FTP_USER, FTP_PASSWORD, FTP_FOLDER = 1060, 1000, 1061, 1062, 1001
PORT_SPECIFY, PORT, TEST, TEST_LABEL = 1208, 1205, 1093, 1095
EMAIL_PAGE, FTP_PAGE = 0, 1
REMOTE_FTP, REMOTE_EMAIL = 0x200, 0x400


def click_checked(program, title, control, state):
    """Clicks the button unless it already shows the state ("1" checked, "0" not)."""
    if program.do("checked", title, control).strip() != state:
        program.do("click", title, control)
    assert wait_until(lambda: program.probe("checked", title, control)[1].strip() == state, 10), control


def run_test_button(program):
    """Presses the page's Test button; the texts of the boxes it showed, once it is enabled again."""
    program.do("click", REMOTE, TEST)
    texts = [program.box_text()]
    while not wait_until(lambda: program.probe("enabled", REMOTE, TEST)[1].strip() == "1", 2):
        texts.append(program.box_text())
    return texts


def set_up_email_page(program, smtp):
    click_checked(program, REMOTE, EMAIL_ENABLE, "1")
    click_checked(program, REMOTE, MAIL_USE_SMTP, "1")
    click_checked(program, REMOTE, MAIL_AUTH, "0")
    program.do("settext", REMOTE, MAIL_TO, "backup@example.test, second@example.test")
    program.do("settext", REMOTE, MAIL_SERVER, "127.0.0.1")
    program.do("settext", REMOTE, MAIL_FROM, "velloran@example.test")
    click_checked(program, REMOTE, PORT_SPECIFY, "1")
    program.do("settext", REMOTE, PORT, smtp.port)


def set_up_ftp_page(program, ftp):
    program.do("page", REMOTE, FTP_PAGE)
    click_checked(program, REMOTE, FTP_ENABLE, "1")
    program.do("settext", REMOTE, FTP_SERVER, "127.0.0.1")
    program.do("settext", REMOTE, FTP_USER, USER)
    program.do("settext", REMOTE, FTP_PASSWORD, PASSWORD)
    program.do("settext", REMOTE, FTP_FOLDER, "backup")
    click_checked(program, REMOTE, PORT_SPECIFY, "1")
    program.do("settext", REMOTE, PORT, ftp.port)


def test_remote_sheet_through_the_window_sends_the_zip_parts_to_both_servers(program, wine_prefix, tmp_path,
                                                                             started):
    home = tmp_path / "ftp"
    (home / "backup").mkdir(parents=True)
    ftp = start_ftp(started, home)
    smtp = SmtpServer(tmp_path / "smtp")
    started.append(smtp)
    source = make_sources(tmp_path)
    destination = tmp_path / "dest"
    config = MailConfig(5, "Remote Job", wine_prefix.windows_path(destination) + "\\",
                        [wine_prefix.windows_path(source) + "\\"], flags=vlrstore.ENABLED | COMPRESSED | SPLIT_ZIP,
                        split_kb=64)
    vlrstore.write_store(program.store, [config])
    wine_prefix.set_settings("options", {"remote_requires_encryption": "0", "auto_showlog": "0",
                                         "email_recv_timeout": "5", "email_send_timeout": "5", "smtp_retry": "1"})
    with program.running():
        program.open_remote_sheet()

        set_up_email_page(program, smtp)
        assert run_test_button(program) == ["Message Sent Successfully"]
        program.do("settext", REMOTE, PORT, free_port())
        failed = run_test_button(program)
        assert len(failed) == 1 and failed[0].startswith("Failed to send email: SMTP E-mail Code "), failed
        program.do("settext", REMOTE, PORT, smtp.port)

        set_up_ftp_page(program, ftp)
        assert run_test_button(program) == ["Upload Successful"]
        assert (home / "backup" / "FTP_test.txt").read_bytes() == b"Hello World!"
        program.do("settext", REMOTE, PORT, free_port())
        failed = run_test_button(program)
        assert failed[-1] == "Unable to connect to server: 127.0.0.1", failed
        program.do("settext", REMOTE, PORT, ftp.port)

        program.do("press", REMOTE, PSBTN_OK)
        program.wait_gone(REMOTE)
        program.do("press", EDITOR, PSBTN_OK)
        program.wait_gone(EDITOR)
        assert wait_until(lambda: vlrstore.read_store(program.store)[1][0].flags & (REMOTE_FTP | REMOTE_EMAIL)
                          == REMOTE_FTP | REMOTE_EMAIL, 30)
    test_mails = len(smtp.messages())
    assert test_mails == 1
    result = wine_prefix.run(program.exe, "/hidden", "/exitwhendone", "/run=5", timeout=300)
    assert result.returncode == 0
    log = program.log(5)
    assert vlrstore.read_store(program.store)[1][0].last_result == vlrstore.SUCCESS, log
    parts = sorted((destination / "Remote Job" / "Compressed").glob("Backup.zip.*"))
    assert len(parts) >= 2, log
    for part in parts:
        assert (home / "backup" / part.name).read_bytes() == part.read_bytes(), part.name
    messages = smtp.messages()[test_mails:]
    assert [m["Subject"] for m in messages] == [p.name for p in parts]
    for part, message in zip(parts, messages):
        (attachment,) = list(message.iter_attachments())
        assert attachment.get_content() == part.read_bytes(), part.name
    assert smtp.envelopes()[-1] == ["velloran@example.test", "backup@example.test", "second@example.test"]
