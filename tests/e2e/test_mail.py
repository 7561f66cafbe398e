"""E-mail off-site copies and job-result e-mails of whole jobs run by the main program, sent
through tarnmail.dll to an aiosmtpd server on 127.0.0.1 (plain, with a login, with STARTTLS
and over SMTPS with a certificate made here); the messages are read with Python's email
package."""
import email
import email.policy
import os
import pathlib
import shutil
import socket
import struct
import subprocess
import sys
import time

import pytest

import vlrstore
from conftest import make_certificate

HERE = pathlib.Path(__file__).resolve().parent
COMPRESSED = 0x8
REMOTE_EMAIL = 0x400
SPLIT_ZIP = 0x20
USE_AUTHENTICATION = 0x4
SECURE_SSL = 0x10
SECURE_TLS = 0x20


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class SmtpServer:
    """aiosmtpd in its own process, stopped by its process id."""

    def __init__(self, folder, *options):
        self.folder = folder
        self.port = free_port()
        self.process = subprocess.Popen([sys.executable, str(HERE / "smtp_server.py"), str(folder), str(self.port),
                                         *options])
        deadline = time.monotonic() + 30
        while not (folder / "ready").exists():
            assert self.process.poll() is None, "the SMTP server ended"
            assert time.monotonic() < deadline, "the SMTP server did not start"
            time.sleep(0.1)

    def messages(self):
        return [email.message_from_bytes(p.read_bytes(), policy=email.policy.default)
                for p in sorted(self.folder.glob("*.eml"))]

    def envelopes(self):
        return [p.read_text().split() for p in sorted(self.folder.glob("*.env"))]

    def sessions(self):
        """How many connections the server took."""
        noted = self.folder / "sessions"
        return len(noted.read_text().splitlines()) if noted.exists() else 0

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


@pytest.fixture
def servers(tmp_path):
    started = []

    def start(*options):
        server = SmtpServer(tmp_path / f"smtp{len(started)}", *options)
        started.append(server)
        return server

    yield start
    for server in started:
        server.stop()


@pytest.fixture(scope="session")
def certificate(tmp_path_factory):
    """A self-signed certificate for 127.0.0.1 and its key, as PEM files."""
    return make_certificate(tmp_path_factory.mktemp("cert"), "127.0.0.1", "IP:127.0.0.1")


class MailConfig(vlrstore.Config):
    """A compressed configuration that e-mails its archive through the SMTP library."""

    def __init__(self, *args, email_flags=0, to="", server="", sender="", user="", password="", port=25,
                 split_kb=0, zip_name="Backup.zip", **kwargs):
        super().__init__(*args, **kwargs)
        self.email = (email_flags, to, server, sender, user, password, port)
        self.split_kb = split_kb
        self.zip_name = zip_name

    def record(self):
        r = bytearray(super().record())
        flags, to, server, sender, user, password, port = self.email
        r[388:648] = vlrstore._text(self.zip_name, 260)
        if self.split_kb:
            struct.pack_into("<ii", r, 932, self.split_kb, 1)
        scrambled = bytes(b ^ 0xA7 for b in password.encode("cp1252"))
        struct.pack_into("<i", r, 2616, flags)
        r[2620:2876] = vlrstore._text(to, 256)
        r[2876:3004] = vlrstore._text(server, 128)
        r[3004:3260] = vlrstore._text(sender, 256)
        r[3260:3324] = vlrstore._text(user, 64)
        r[3324:3388] = scrambled + b"\0" * (64 - len(scrambled))
        struct.pack_into("<i", r, 3388, port)
        return bytes(r)


class MailJob:
    def __init__(self, prefix, bin_dir, root):
        self.prefix = prefix
        self.exe = bin_dir / "Korrin.exe"
        self.source = root / "src"
        self.dest = root / "dest"
        self.source.mkdir()
        self.dest.mkdir()
        # auto_showlog 0: a warned job would otherwise open its log in an editor and wait.
        prefix.set_settings("options", {"backup_locked": "0", "remote_requires_encryption": "0", "auto_showlog": "0",
                                        "email_recv_timeout": "5", "email_send_timeout": "5", "smtp_retry": "1"})

    @property
    def compressed(self):
        return self.dest / "Mail Job" / "Compressed"

    def crash_dumps(self):
        folder = self.prefix.user_dir / "AppData" / "Local" / "Temp" / "Velloran"
        return sorted(folder.glob("*.dmp")) if folder.exists() else []

    def run(self, flags=COMPRESSED | REMOTE_EMAIL | vlrstore.ENABLED, description="Mail Job", **email):
        config = MailConfig(7, description, self.prefix.windows_path(self.dest) + "\\",
                            [self.prefix.windows_path(self.source) + "\\"], flags=flags, **email)
        store = self.prefix.data_folder / "configs.vlr"
        vlrstore.write_store(store, [config])
        process = self.prefix.start(self.exe, "/hidden", "/exitwhendone", "/run=7")
        deadline = time.monotonic() + int(os.environ.get("MAIL_JOB_TIMEOUT", "240"))
        try:
            while process.poll() is None:
                # A crash waits in its message box for a user who is not there: it fails the test at once.
                assert not self.crash_dumps(), "the program crashed"
                assert time.monotonic() < deadline, "the job did not end"
                time.sleep(0.2)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        assert process.returncode == 0
        _, records = vlrstore.read_store(store)
        log = (self.prefix.data_folder / "7.txt").read_text("cp1252")
        return records[0].last_result, log


@pytest.fixture
def job(wine_prefix, bin_dir, tmp_path):
    return MailJob(wine_prefix, bin_dir, tmp_path)


def attachment_of(message):
    parts = list(message.iter_attachments())
    assert len(parts) == 1
    return parts[0].get_filename(), parts[0].get_content()


def smtp_options(server, **more):
    return dict(to="backup@example.test, second@example.test", server="127.0.0.1", sender="velloran@example.test",
                port=server.port, **more)


def test_split_archive_goes_as_one_message_per_part(job, servers):
    server = servers()
    job.source.joinpath("noise.bin").write_bytes(os.urandom(200_000))
    result, log = job.run(flags=COMPRESSED | REMOTE_EMAIL | SPLIT_ZIP | vlrstore.ENABLED, split_kb=64,
                          **smtp_options(server))
    parts = sorted(job.compressed.glob("Backup.zip.*"))
    assert len(parts) >= 3
    assert result == vlrstore.SUCCESS, log
    assert f"Remote backup via e-mail completed successfully.  Sent {len(parts)} e-mails.\n" in log
    messages = server.messages()
    assert len(messages) == len(parts)
    for number, (part, message) in enumerate(zip(parts, messages), start=1):
        assert message["Subject"] == part.name
        assert message["From"] == "velloran@example.test"
        assert message.get_content_type() == "multipart/mixed"
        assert message.get_param("boundary") == "unique-boundary=_-velloran1"
        text = message.get_body(("plain",)).get_content()
        assert f"File {number} of {len(parts)}\n" in text.replace("\r\n", "\n")
        assert "Backup configuration: Mail Job" in text
        name, data = attachment_of(message)
        assert name == part.name
        assert data == part.read_bytes()
    assert server.envelopes()[0] == ["velloran@example.test", "backup@example.test", "second@example.test"]


def test_volume_named_in_the_code_page_is_sent_under_its_name(job, servers, wine_prefix):
    server = servers()
    wine_prefix.set_settings("options", {"log_verbose": "1"})
    inside = "\u041e\u0442\u0447\u0451\u0442 \u5831\u544a.txt"
    job.source.joinpath(inside).write_bytes(b"report\n")
    zip_name = "Backup \u2013 B\u00fcro\u2019s.zip"
    result, log = job.run(zip_name=zip_name, **smtp_options(server))
    archive = job.compressed / zip_name
    assert result == vlrstore.SUCCESS, log
    assert f"\tFile 1: {job.prefix.windows_path(archive)}\n" in log.replace("\r\n", "\n")
    assert "Sent 1 e-mail.\n" in log.replace("\r\n", "\n")
    # Subject and attachment name carry the bytes of the name's ANSI text (the subject under the
    # message's "iso-8859-1" label).
    ansi = zip_name.encode("cp1252")
    assert b'filename="' + ansi + b'"' in next(server.folder.glob("*.eml")).read_bytes()
    (message,) = server.messages()
    assert message["Subject"].encode("latin-1") == ansi
    assert attachment_of(message)[1] == archive.read_bytes()
    listing = subprocess.run(["7z", "l", "-slt", str(archive)], capture_output=True, text=True).stdout
    assert any(line.startswith("Path = ") and line.endswith("/" + inside) for line in listing.splitlines())


def test_login_and_starttls_with_a_trusted_certificate(job, servers, certificate, wine_prefix):
    wine_prefix.trust_certificate(certificate[0])
    server = servers("--user", "mailer", "--password", "s3cret pass", "--starttls", *map(str, certificate))
    job.source.joinpath("a.txt").write_bytes(b"alpha\n" * 1000)
    result, log = job.run(**smtp_options(server, email_flags=USE_AUTHENTICATION | SECURE_TLS, user="mailer",
                                         password="s3cret pass"))
    assert result == vlrstore.SUCCESS, log
    assert "Sent 1 e-mail.\n" in log
    (message,) = server.messages()
    assert attachment_of(message)[1] == (job.compressed / "Backup.zip").read_bytes()
    assert "s3cret" not in (wine_prefix.data_folder / "tarnmail.txt").read_text("cp1252")


def test_smtps_with_a_login(job, servers, certificate, wine_prefix):
    wine_prefix.trust_certificate(certificate[0])
    server = servers("--user", "mailer", "--password", "pw", "--smtps", *map(str, certificate))
    job.source.joinpath("a.txt").write_bytes(b"over smtps\n")
    result, log = job.run(**smtp_options(server, email_flags=USE_AUTHENTICATION | SECURE_SSL, user="mailer",
                                         password="pw"))
    assert result == vlrstore.SUCCESS, log
    (message,) = server.messages()
    assert attachment_of(message)[1] == (job.compressed / "Backup.zip").read_bytes()


def test_untrusted_certificate_is_refused_at_once(job, servers, certificate):
    server = servers("--smtps", *map(str, certificate))
    job.source.joinpath("a.txt").write_bytes(b"a")
    result, log = job.run(**smtp_options(server, email_flags=SECURE_SSL))
    assert result == vlrstore.WARNINGS, log
    assert "Failed to send email 1 of 1 (Try 1): SMTP E-mail Code 17." in log
    assert "(Try 2)" not in log
    assert "\tNo message was sent.\n" in log
    assert "WARNING(1D): Emailing compressed backup failed\n" in log
    assert server.messages() == []


def test_wrong_password_gives_warnings(job, servers):
    server = servers("--user", "mailer", "--password", "right")
    job.source.joinpath("a.txt").write_bytes(b"a")
    result, log = job.run(**smtp_options(server, email_flags=USE_AUTHENTICATION, user="mailer", password="wrong"))
    assert result == vlrstore.WARNINGS, log
    assert "Failed to send email 1 of 1 (Try 1): SMTP E-mail Code 3." in log
    assert "\tNo message was sent.\n" in log
    assert "WARNING(1D): Emailing compressed backup failed\n" in log
    assert server.messages() == []


def test_refused_connection_is_retried_then_gives_warnings(job):
    job.source.joinpath("a.txt").write_bytes(b"a")
    result, log = job.run(to="x@example.test", server="127.0.0.1", sender="v@example.test", port=free_port())
    assert result == vlrstore.WARNINGS, log
    assert "Failed to send email 1 of 1 (Try 1): SMTP E-mail Code 4." in log
    assert "Re-trying email 1\n" in log
    assert "Failed to send email 1 of 1 (Try 2): SMTP E-mail Code 4." in log
    assert "\tNo message was sent.\n" in log
    assert "WARNING(1D): Emailing compressed backup failed\n" in log


def test_job_result_mail_carries_the_log(job, servers, wine_prefix):
    server = servers()
    job.source.joinpath("a.txt").write_bytes(b"a")
    wine_prefix.set_settings("options", {"jr_emailwhen": "8", "jr_options": "0", "jr_server": "127.0.0.1",
                                         "jr_port": str(server.port), "jr_emailto": "admin@example.test",
                                         "jr_emailfrom": "velloran@example.test"})
    result, log = job.run(flags=COMPRESSED | vlrstore.ENABLED)
    assert result == vlrstore.SUCCESS, log
    assert "E-mail of job results completed successfully.\n" in log
    (message,) = server.messages()
    assert message["Subject"] == "Mail Job - Success"
    assert "Job Result: Success" in message.get_body(("plain",)).get_content()
    name, data = attachment_of(message)
    assert name == "7_emailresults.txt"
    sent_log = data.decode("cp1252") if isinstance(data, bytes) else data
    assert "Job Result: Success" in sent_log
    assert (wine_prefix.data_folder / "7_emailresults.txt").exists()


REMOTE_FTP = 0x200
SFTP = 0x4000


def test_links_left_in_the_data_folder_carry_no_write_elsewhere(job, servers, wine_prefix, tmp_path):
    # Any program of the user's can leave a hard link at a file name of the data folder, to a
    # file the elevated program must not write. A job with SFTP, e-mail and the result e-mail
    # writes each of these names; every file they led to keeps its content, and the job log
    # (or the library's own log) says what was found.
    from test_remote_upload import PASSWORD, SERVERS, USER, Server
    sftp_root = tmp_path / "sftp"
    sftp_root.mkdir()
    sftp = Server(["/usr/bin/python3", str(SERVERS), "sftp", "--root", str(sftp_root), "--user", USER, "--password",
                   PASSWORD, "--host-key", str(tmp_path / "host_key"), "--port", "0"], tmp_path / "asyncssh.log")
    smtp = servers()
    job.source.joinpath("a.txt").write_bytes(b"alpha")
    wine_prefix.set_settings("options", {"jr_emailwhen": "8", "jr_options": "0", "jr_server": "127.0.0.1",
                                         "jr_port": str(smtp.port), "jr_emailto": "admin@example.test",
                                         "jr_emailfrom": "velloran@example.test"})
    data, victims = wine_prefix.data_folder, tmp_path / "victims"
    data.mkdir(parents=True, exist_ok=True)
    victims.mkdir()
    # name: the log that tells of it, "job" for the job log
    names = {"7.txt": "job", "7_0.txt": "job", "compress.txt": "job", "FTPsLog.txt": "job",
             "known_hosts_curl.txt": "job", "known_hosts.txt": "job", "7_emailresults.txt": "job",
             "tarnmail.txt": "tarnmail.txt", "tarnmailJR.txt": "tarnmailJR.txt"}
    for name in names:
        (victims / name).write_bytes(b"precious " + name.encode())
        os.link(victims / name, data / name)
    config = MailConfig(7, "Mail Job", wine_prefix.windows_path(job.dest) + "\\",
                        [wine_prefix.windows_path(job.source) + "\\"],
                        flags=COMPRESSED | REMOTE_EMAIL | REMOTE_FTP | SFTP | vlrstore.ENABLED,
                        **smtp_options(smtp))
    record = bytearray(config.record())
    record[2100:2228] = vlrstore._text("127.0.0.1", 128)
    record[2228:2292] = vlrstore._text(USER, 64)
    record[2292:2356] = bytes(b ^ vlrstore.PASSWORD_KEY for b in PASSWORD.encode()).ljust(64, b"\0")
    struct.pack_into("<i", record, 4512, sftp.port)
    config.record = lambda: bytes(record)
    vlrstore.write_store(data / "configs.vlr", [config])
    try:
        assert wine_prefix.run(job.exe, "/hidden", "/exitwhendone", "/run=7", timeout=240).returncode == 0
    finally:
        sftp.stop()
    log = (data / "7.txt").read_text("cp1252")
    assert vlrstore.read_store(data / "configs.vlr")[1][0].last_result == vlrstore.SUCCESS, log
    folder = rf"C:\users\{wine_prefix.user_dir.name}\AppData\Roaming\Velloran" + "\\"
    for name, told_in in names.items():
        assert (victims / name).read_bytes() == b"precious " + name.encode(), name
        told = log if told_in == "job" else (data / told_in).read_text("cp1252")
        assert (f"WARNING: {folder}{name} was a hard link to another file; the link was removed and the file made "
                "anew") in told, name
    assert len(smtp.messages()) == 2
    assert (sftp_root / "Backup.zip").exists()


def test_line_break_in_an_address_or_subject_is_refused_before_connecting(job, servers, wine_prefix):
    server = servers()
    job.source.joinpath("a.txt").write_bytes(b"a")
    refused = "holds a line break or NUL, which cannot go into an SMTP command; nothing was sent"
    result, log = job.run(**{**smtp_options(server), "to": "a1@vlr.test>\r\nRCPT TO:<evil1@vlr.test"})
    assert result == vlrstore.WARNINGS, log
    assert (f"ERROR (47a): E-mail To address {refused}: a1@vlr.test><CR><LF>RCPT TO:<evil1@vlr.test\n" in log
            and "WARNING(1D): Emailing compressed backup failed\n" in log), log
    assert not any(text.startswith("RCPT") for text in log.splitlines()), log  # no forged log lines
    # The job-result e-mail's subject carries the configuration's description (with which the
    # backup folder cannot be made either).
    wine_prefix.set_settings("options", {"jr_emailwhen": "8", "jr_options": "0", "jr_server": "127.0.0.1",
                                         "jr_port": str(server.port), "jr_emailto": "admin@example.test",
                                         "jr_emailfrom": "velloran@example.test"})
    result, log = job.run(flags=COMPRESSED | vlrstore.ENABLED, description="Mail Job\r\nBcc: evil4@vlr.test")
    assert result == vlrstore.FAILED, log
    assert f"ERROR (147a): E-mail subject {refused}: Mail Job<CR><LF>Bcc: evil4@vlr.test - Failed\n" in log, log
    assert server.sessions() == 0


def test_archive_of_300_mb_ends_with_an_error_line_not_a_crash(job, servers):
    # Base64 makes a 300 MB archive a message of 412 MB, which a 32-bit program may not find room
    # for: the program may use 4 GB of address space where the system offers them, and wherever
    # the message does not fit, the step must end with its error line.
    program = pathlib.Path(os.environ["VELLORAN_BUILD_DIR"]) / "bin" / "Korrin.exe"
    assert is_large_address_aware(program)
    server = servers()
    big = job.source / "big.bin"
    with open(big, "wb") as out:
        for _ in range(300):
            out.write(os.urandom(1 << 20))
    try:
        result, log = job.run(**smtp_options(server))
    finally:
        big.unlink()
        shutil.rmtree(job.dest)
    assert result == vlrstore.WARNINGS, log
    assert "WARNING(1D): Emailing compressed backup failed\n" in log
    # Built, the message is refused by the server's size limit; not built, the memory error.
    assert ("Failed to send email 1 of 1 (Try 1): SMTP E-mail Code 17." in log
            or "ERROR (46a): Memory allocation error while creating email body\n" in log), log


def is_large_address_aware(program):
    data = program.read_bytes()[:4096]
    header = struct.unpack_from("<I", data, 0x3C)[0]
    characteristics = struct.unpack_from("<H", data, header + 22)[0]
    return bool(characteristics & 0x20)  # IMAGE_FILE_LARGE_ADDRESS_AWARE
