"""Compressed backups sent off-site: a driver runs a whole job under Wine whose ZIP volumes go
to a server this test starts on 127.0.0.1 (pyftpdlib for plain FTP, vsftpd for FTPS, asyncssh
for SFTP); what the server received is compared with the job's volumes."""
import base64
import hashlib
import os
import pathlib
import re
import shutil
import socket
import subprocess
import time

import pytest

from conftest import make_certificate
from jobdriver import DriverJob
from test_mail import SmtpServer

HERE = pathlib.Path(__file__).resolve().parent
SERVERS = HERE / "upload_servers.py"
DRIVER = "remote_job_driver.exe"
USER, PASSWORD = "tester", "s3cret pass"
FTP_WARNING = "WARNING(1C): Uploading compressed backup via FTP failed"


class Server:
    """One test server process, stopped by its own process id."""

    def __init__(self, args, log_path, port=None):
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=self.log)
        if port is None:
            line = self.process.stdout.readline().decode()
            assert line.startswith("port "), f"server did not start: {log_path.read_text(errors='replace')}"
            port = int(line.split()[1])
        else:
            wait_for_port(port, self.process, log_path)
        self.port = port

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


def wait_for_port(port, process, log_path):
    for _ in range(100):
        assert process.poll() is None, log_path.read_text(errors="replace")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise AssertionError(f"nothing listens on {port}")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture
def servers(tmp_path):
    started = []

    def start(args, name, port=None):
        server = Server(args, tmp_path / f"{name}.log", port)
        started.append(server)
        return server

    yield start
    for server in started:
        server.stop()


def ftp_server(servers, home, *options):
    home.mkdir(exist_ok=True)
    return servers(["/usr/bin/python3", str(SERVERS), "ftp", "--home", str(home), "--user", USER,
                    "--password", PASSWORD, *options], "pyftpdlib")


class UploadJob(DriverJob):
    """Sources, a destination and the driver that runs one job with an off-site step."""

    def __init__(self, prefix, bin_dir, root):
        super().__init__(prefix, bin_dir, root, DRIVER)

    def add(self, name, data):
        (self.source / name).write_bytes(data)

    def run(self, port, *options, user=USER, password=PASSWORD, wait_seconds=None, timeout=120, sources=()):
        """Runs the job over the source folder and then the given Windows source paths."""
        args = [*self.library_and_destination(), "--server", "ftp://127.0.0.1/", "--port", str(port), "--user", user,
                "--pass", password, "--zip-password", "zip pass", *options]
        if wait_seconds is not None:
            args += ["--resume-wait", str(wait_seconds)]
        args += [self.prefix.windows_path(self.source) + "\\", *sources]
        result = self.prefix.run(self.driver, *args, timeout=timeout)
        # The job log is ANSI text.
        text = re.sub(r"\r+\n", "\n", result.stdout.decode("cp1252", errors="replace"))
        log, _, curl_log = text.partition("=== FTPsLog.txt\n")
        return result.returncode, log, curl_log

    def test_upload(self, port, *options, folder="", user=USER, password=PASSWORD):
        """The FTP page's test upload: the message boxes it showed and libcurl's log."""
        args = ["--lib", "-", "--dest", "-", "--server", "ftp://127.0.0.1/", "--port", str(port), "--user", user,
                "--pass", password, "--folder", folder, "--test-upload", *options, "-"]
        result = self.prefix.run(self.driver, *args)
        text = re.sub(r"\r+\n", "\n", result.stdout.decode(errors="replace"))
        boxes, _, curl_log = text.partition("=== FTPsLog.txt\n")
        return result.returncode, boxes, curl_log

    def volumes(self):
        return sorted(self.compressed.iterdir())


@pytest.fixture
def job(wine_prefix, bin_dir, tmp_path):
    return UploadJob(wine_prefix, bin_dir, tmp_path)


def assert_same_files(volumes, folder):
    assert volumes
    for volume in volumes:
        received = folder / volume.name
        assert received.exists(), f"{volume.name} not on the server"
        assert received.read_bytes() == volume.read_bytes(), volume.name


# Plain FTP through WinINet.

def test_split_volumes_arrive_whole(job, servers, tmp_path):
    home = tmp_path / "ftp"
    (home / "backup").mkdir(parents=True)
    server = ftp_server(servers, home)
    job.add("noise.bin", os.urandom(200_000))
    job.add("text.txt", b"hello\n" * 100)
    # The listing of WinINet under Wine cuts names at a space; the sizes are still found.
    code, log, _ = job.run(server.port, "--split", "64", "1", "--folder", "backup", "--name", "Job A.zip")
    volumes = job.volumes()
    assert code == 1, log
    assert len(volumes) >= 4
    assert_same_files(volumes, home / "backup")
    assert f"Remote backup via FTP completed successfully.  Uploaded {len(volumes)} files.\n" in log
    assert "ERROR" not in log
    code, boxes, _ = job.test_upload(server.port, folder="backup")
    assert code == 1 and boxes == "=== box: Upload Successful\n", boxes
    assert (home / "backup" / "FTP_test.txt").read_bytes() == b"Hello World!"


def test_volumes_named_in_the_code_page_carry_every_name(job, servers, tmp_path):
    home = tmp_path / "ftp"
    server = ftp_server(servers, home, "--latin1-names")
    names = ["Report \u2013 final.txt", "\u041e\u0442\u0447\u0451\u0442.txt", "\u5831\u544a\u66f8.txt"]
    for name in names:
        job.add(name, os.urandom(40_000))
    zip_name = "Backup \u2013 B\u00fcro\u2019s.zip"
    code, log, _ = job.run(server.port, "--split", "64", "1", "--name", zip_name, "--verbose")
    volumes = job.volumes()
    assert code == 1, log
    assert len(volumes) >= 2
    assert [v.name for v in volumes] == [f"{zip_name}.{n:03d}" for n in range(1, len(volumes) + 1)]
    # The log names every volume; the wire carries each name in the ANSI code page, as WinINet sends it.
    for number, volume in enumerate(volumes, start=1):
        assert f"\tFile {number}: {job.prefix.windows_path(volume)}\n" in log
    received = sorted(home.iterdir())
    assert [p.name.encode("latin-1") for p in received] == [v.name.encode("cp1252") for v in volumes]
    joined = tmp_path / "joined.zip"
    joined.write_bytes(b"".join(p.read_bytes() for p in received))
    listing = subprocess.run(["7z", "l", "-slt", "-pzip pass", str(joined)], capture_output=True, text=True).stdout
    assert sorted(p.rsplit("/", 1)[-1] for p in listing.splitlines() if p.startswith("Path = ") and "/src/" in p) \
        == sorted(names)


def test_root_that_made_no_archive_holds_back_no_other(job, servers, tmp_path, wine_prefix):
    home = tmp_path / "ftp"
    server = ftp_server(servers, home)
    job.add("z.txt", b"on Z")
    other = wine_prefix.path / "drive_c" / "other"
    other.mkdir()
    (other / "locked.txt").write_bytes(b"held open by another program")
    code, log, _ = job.run(server.port, "--lock", "C:\\other\\locked.txt", sources=["C:\\other\\"])
    assert code == 3, log
    assert "Remote backup via FTP completed successfully.  Uploaded 1 file.\n" in log
    assert_same_files([job.compressed / "Backup_Z.zip"], home)
    assert "ERROR (2): Compression operation Failed.\n" in log
    assert not (job.compressed / "Backup_C.zip").exists()


def test_broken_transfer_resumes_where_the_server_stopped(job, servers, tmp_path):
    home = tmp_path / "ftp"
    server = ftp_server(servers, home, "--drop-once", "1000000")
    job.add("big.bin", os.urandom(3_000_000))
    code, log, _ = job.run(server.port, "--verbose", wait_seconds=0)
    assert code == 1, log
    assert "Restart supported by this FTP server\n" in log
    assert "WARNING: Upload not complete, attempting to resume... (1)\n" in log
    offset = int(re.search(r"Pass 2 to upload .*Backup\.zip\n\tResuming at byte offset: (\d+)\n", log).group(1))
    assert 1_000_000 <= offset < 3_000_000
    assert f"REST {offset}: 350" in log
    assert "Restart position verified\n" in log
    assert_same_files(job.volumes(), home)
    assert "Remote backup via FTP completed successfully.  Uploaded 1 file.\n" in log


def test_server_without_restart_is_sent_again_from_the_start(job, servers, tmp_path):
    home = tmp_path / "ftp"
    server = ftp_server(servers, home, "--drop-once", "500000", "--no-rest")
    job.add("big.bin", os.urandom(2_000_000))
    code, log, _ = job.run(server.port, "--verbose", wait_seconds=0)
    assert code == 1, log
    assert "'REST 0' command failed\n" in log
    assert "Extended error message: 502 " in log, log  # the reply, though it came to a worker thread
    assert "\tResuming at byte offset: 0\n" in log
    assert_same_files(job.volumes(), home)


def test_restart_at_a_wrong_position_ends_the_run(job, servers, tmp_path):
    server = ftp_server(servers, tmp_path / "ftp", "--drop-once", "500000",
                        "--rest-reply", "350 Restarting at 2147483647.")
    job.add("big.bin", os.urandom(2_000_000))
    code, log, _ = job.run(server.port, wait_seconds=0)
    assert code == 3, log
    assert ("Server restarting at incorrect position, quiting...\n"
            "It appears your server cannot restart at positions greater than 2GB.  Try splitting your compressed "
            "file.\n" + FTP_WARNING) in log


def test_refused_login_and_closed_port_give_warnings(job, servers, tmp_path):
    server = ftp_server(servers, tmp_path / "ftp")
    job.add("a.txt", b"alpha")
    for port, password in ((server.port, "wrong"), (free_port(), PASSWORD)):
        code, log, _ = job.run(port, password=password)
        assert code == 3, log
        assert re.search(r"== start_error\nInternet Connect:\nERROR at [^\n]*\n(.*\n)*?== end_error\n"
                         r"ERROR \(21w\): Unable to connect to server: 127\.0\.0\.1\n" + re.escape(FTP_WARNING),
                         log), log
        assert "completed successfully" not in log
        # Each failure names its cause: WinINet's code (Wine clears the last error), and the
        # server's refusal when there was one.
        assert re.search(r"Internet Connect:\nERROR at [^\n]*: WinInet error code: 120(15|29)\n", log), log
        assert ("Last reply of the FTP server: 530 " in log) == (password == "wrong"), log
    code, boxes, _ = job.test_upload(server.port, password="wrong")
    assert code == 0
    assert boxes.endswith("=== box: Unable to connect to server: 127.0.0.1\n"), boxes


def test_unencrypted_archive_is_not_sent(job, servers, tmp_path):
    home = tmp_path / "ftp"
    server = ftp_server(servers, home)
    job.add("a.txt", b"alpha")
    args = ["--lib", job.prefix.windows_path(job.bin_dir), "--dest", job.prefix.windows_path(job.dest) + "\\",
            "--server", "127.0.0.1", "--port", str(server.port), job.prefix.windows_path(job.source) + "\\"]
    result = job.prefix.run(job.driver, *args)
    log = result.stdout.decode(errors="replace")
    assert result.returncode == 3, log
    assert "WARNING (25e): Compressed ZIP file is not encrypted.  Skipped FTP backup." in log
    assert not list(home.iterdir())


def test_stop_during_upload_ends_aborted(job, servers, tmp_path):
    home = tmp_path / "ftp"
    server = ftp_server(servers, home, "--throttle", "1000000")
    job.add("big.bin", os.urandom(8_000_000))
    started = time.monotonic()
    code, log, _ = job.run(server.port, "--stop-when-uploading")
    assert code == 4, log
    assert time.monotonic() - started < 30
    assert "completed successfully" not in log
    assert "=== box" not in log
    assert (home / "Backup.zip").stat().st_size < job.volumes()[0].stat().st_size


# FTPS through libcurl against vsftpd, with certificates checked against the prefix's trusted
# roots.

VERIFY_CERTIFICATE, VERIFY_HOST_NAME = 0x8000, 0x10000
FTPS_EXPLICIT, FTPS_IMPLICIT = 0x2000, 0x1000
AUTHENTICITY_HINT = ("\nIf you want to skip checking the certificate validity turn off the \"Verify Certificate "
                     "Authenticity\" option.\n\nFor details, see the log file at: ")
HOST_NAME_HINT = ("\nIf you want to accept this certificate hostname mismatch and proceed anyway, turn off the "
                  "\"Verify Certificate Hostname\" option.\n\nFor details, see the log file at: ")


@pytest.fixture(scope="session")
def certificates(tmp_path_factory):
    """Certificates as (cert, key): "right" is made out for 127.0.0.1, "other" for localhost."""
    folder = tmp_path_factory.mktemp("ftps-certs")
    return {"right": make_certificate(folder, "127.0.0.1", "IP:127.0.0.1"),
            "other": make_certificate(folder, "localhost", "DNS:localhost")}


def vsftpd_server(servers, tmp_path, certificate, implicit, label="", send_password=False):
    name = ("implicit" if implicit else "explicit") + label
    root = tmp_path / f"vsftpd-{name}"
    (root / "up").mkdir(parents=True)
    root.chmod(0o755)
    shutil.chown(root / "up", "ftp", "ftp")
    empty = tmp_path / f"vsftpd-{name}-empty"
    empty.mkdir()
    port = free_port()
    cert, key = certificate
    settings = {
        "listen": "YES", "listen_ipv6": "NO", "listen_address": "127.0.0.1", "listen_port": port,
        "background": "NO", "anonymous_enable": "YES", "local_enable": "NO",
        "no_anon_password": "NO" if send_password else "YES",
        "anon_root": root, "write_enable": "YES", "anon_upload_enable": "YES", "anon_umask": "022",
        "ssl_enable": "YES", "allow_anon_ssl": "YES", "force_anon_logins_ssl": "YES",
        "force_anon_data_ssl": "YES", "require_ssl_reuse": "YES", "implicit_ssl": "YES" if implicit else "NO",
        "rsa_cert_file": cert, "rsa_private_key_file": key, "secure_chroot_dir": empty,
        "seccomp_sandbox": "NO", "isolate": "NO", "isolate_network": "NO", "pasv_enable": "YES",
        "xferlog_enable": "NO", "use_localtime": "NO",
    }
    config = tmp_path / f"vsftpd-{name}.conf"
    config.write_text("".join(f"{k}={v}\n" for k, v in settings.items()))
    server = servers(["/usr/sbin/vsftpd", str(config)], f"vsftpd-{name}", port=port)
    return server, root / "up"


def test_ftps_explicit_and_implicit_uploads_with_a_trusted_certificate(job, servers, tmp_path, certificates):
    job.prefix.trust_certificate(certificates["right"][0])
    job.add("noise.bin", os.urandom(150_000))
    verify = VERIFY_CERTIFICATE | VERIFY_HOST_NAME
    for protocol, implicit, scheme in ((FTPS_EXPLICIT, False, "ftpes"), (FTPS_IMPLICIT, True, "ftpis")):
        server, up = vsftpd_server(servers, tmp_path, certificates["right"], implicit)
        flag = f"{protocol | verify:X}"
        code, log, curl_log = job.run(server.port, "--flags", flag, "--folder", "/up", "--verbose",
                                      user="anonymous", password="guest")
        assert code == 1, log + curl_log
        assert f"File uploaded successfully: {scheme}://127.0.0.1/up/Backup.zip\n" in log
        assert "Remote backup via Secure FTP completed successfully.  Uploaded 1 file.\n" in log
        assert "Uploaded 150" in curl_log and "(100%)\n" in curl_log
        assert_same_files(job.volumes(), up)
        code, boxes, curl_log = job.test_upload(server.port, "--flags", flag, folder="/up", user="anonymous",
                                                password="guest")
        success = f"File uploaded successfully:\n\n{scheme}://127.0.0.1/up/FTPs_test.txt"
        assert code == 1 and boxes == f"=== box: {success}\n", boxes + curl_log
        assert curl_log.endswith(success + "\n")
        assert (up / "FTPs_test.txt").read_bytes() == b"Hello Secure World!"


def test_ftps_refused_certificate_names_the_check_that_refused_it(job, servers, tmp_path, certificates):
    # "other" is trusted but made out for another name; "right" is made out for 127.0.0.1 but
    # not trusted.
    job.prefix.trust_certificate(certificates["other"][0])
    job.add("a.txt", b"alpha")
    cases = [
        ("right", VERIFY_CERTIFICATE, AUTHENTICITY_HINT),
        ("right", VERIFY_CERTIFICATE | VERIFY_HOST_NAME, AUTHENTICITY_HINT),
        ("other", VERIFY_HOST_NAME, HOST_NAME_HINT),
        ("other", VERIFY_CERTIFICATE | VERIFY_HOST_NAME, HOST_NAME_HINT),
    ]
    for certificate, verify, hint in cases:
        server, up = vsftpd_server(servers, tmp_path, certificates[certificate], False, f"-{certificate}-{verify:x}")
        code, log, curl_log = job.run(server.port, "--flags", f"{FTPS_EXPLICIT | verify:X}", "--folder", "up",
                                      user="anonymous", password="guest")
        case = f"{certificate} certificate, verify {verify:#x}"
        assert code == 3, case + log
        assert "File upload failed. Error: 60 - " in log, case + log
        assert hint in log, case + log
        assert (HOST_NAME_HINT if hint == AUTHENTICITY_HINT else AUTHENTICITY_HINT) not in log, case + log
        assert "FTPsLog.txt\n" + FTP_WARNING in log, case + log
        assert "File upload failed. Error: 60 - " in curl_log, case
        assert not list(up.iterdir()), case


# SFTP through libcurl and libssh2 against asyncssh.

def sftp_server(servers, root, host_key, name, port=0):
    return servers(["/usr/bin/python3", str(SERVERS), "sftp", "--root", str(root), "--user", USER, "--password",
                    PASSWORD, "--host-key", str(host_key), "--port", str(port)], name)


def public_key(host_key):
    """The server's public key as the known-hosts file holds it, and its fingerprint."""
    kind, key = pathlib.Path(f"{host_key}.pub").read_text().split()[:2]
    digest = base64.b64encode(hashlib.sha256(base64.b64decode(key)).digest()).decode().rstrip("=")
    return f"{kind} {key}", f"{kind} SHA256:{digest}"


def test_sftp_upload_and_refused_password(job, servers, tmp_path):
    root = tmp_path / "sftp"
    (root / "in box").mkdir(parents=True)
    server = sftp_server(servers, root, tmp_path / "host_key", "asyncssh")
    job.add("noise.bin", os.urandom(300_000))
    code, log, curl_log = job.run(server.port, "--flags", "4000", "--folder", "/in box", "--split", "128", "1")
    volumes = job.volumes()
    assert code == 1, log + curl_log
    for volume in volumes:
        assert f"File uploaded successfully: sftp://127.0.0.1/in box/{volume.name}\n" in log
    assert f"Uploaded {len(volumes)} files.\n" in log
    assert_same_files(volumes, root / "in box")
    code, log, curl_log = job.run(server.port, "--flags", "4000", "--folder", "/in box", password="wrong")
    assert code == 3, log
    assert re.search(r"File upload failed\. Error: 67 - .*\.\nFor details, see the log file at: .*FTPsLog\.txt\n"
                     + re.escape(FTP_WARNING), log), log
    # Stop acts through the progress callback on this road.
    job.add("big.bin", os.urandom(12_000_000))
    code, log, curl_log = job.run(server.port, "--flags", "4000", "--folder", "/in box", "--stop-when-uploading")
    assert code == 4, log
    assert "File upload failed. Error: 42 - " in log
    assert "Cancel request received\n" in curl_log


def test_sftp_host_key_is_recorded_on_first_use_and_a_changed_key_is_refused(job, servers, tmp_path):
    root, data = tmp_path / "sftp", tmp_path / "data"
    root.mkdir()
    data.mkdir()
    known_hosts = data / "known_hosts.txt"
    port = free_port()  # the same port for both servers: one host and port, two keys
    options = ("--flags", "4000", "--data", job.prefix.windows_path(data) + "\\")
    job.add("a.txt", b"alpha")
    server = sftp_server(servers, root, tmp_path / "first_key", "asyncssh-first", port)
    key, fingerprint = public_key(tmp_path / "first_key")
    # A refused login proves nothing: nothing is recorded. A login that went through records
    # the key, even when the upload then fails (a folder that does not exist).
    code, log, _ = job.run(port, *options, password="wrong")
    assert code == 3 and not known_hosts.exists(), log
    code, log, _ = job.run(port, *options, "--folder", "/no such folder")
    log = log.partition("Job Result:")[0]
    assert code == 3 and "File upload failed. Error: 78 - " in log, log
    assert known_hosts.read_text() == f"[127.0.0.1]:{port} {key}\n"
    assert (f"Recorded the SSH host key of 127.0.0.1 port {port} at the first connection: {fingerprint} (known "
            f"hosts file: {job.prefix.windows_path(known_hosts)})\n") in log
    code, log, _ = job.run(port, *options)
    assert code == 1, log
    assert_same_files(job.volumes(), root)

    # The data folder stays, and with it the job log, the latest run first.
    code, log, _ = job.run(port, *options)
    log = log.partition("Job Result:")[0]
    assert code == 1, log
    assert "Recorded the SSH host key" not in log
    assert known_hosts.read_text() == f"[127.0.0.1]:{port} {key}\n"

    server.stop()
    (root / "Backup.zip").unlink()
    server = sftp_server(servers, root, tmp_path / "second_key", "asyncssh-second", port)
    _, offered = public_key(tmp_path / "second_key")
    code, log, curl_log = job.run(port, *options)
    log = log.partition("Job Result:")[0]
    assert code == 3, log
    error = (f"ERROR: The SSH host key of 127.0.0.1 port {port} has changed: recorded {fingerprint}, offered now "
             f"{offered}.  The connection was refused before the password was sent.  If the server's key was "
             f"changed on purpose, delete the line of [127.0.0.1]:{port} from {job.prefix.windows_path(known_hosts)} "
             "to accept the new key.\n")
    assert error in log and error in curl_log, log
    assert re.search(r"File upload failed\. Error: 60 - The SSH host key of the server is not the one recorded for "
                     r"it\.\n\nThe server's SSH host key is not the one recorded "
                     r"at the first connection, so no password was sent; the log file says how to accept the new "
                     r"key\.\n\nFor details, see the log file at: .*FTPsLog\.txt\n" + re.escape(FTP_WARNING), log), log
    assert not list(root.iterdir())
    assert "password offered" not in (tmp_path / "asyncssh-second.log").read_text()
    assert known_hosts.read_text() == f"[127.0.0.1]:{port} {key}\n"


# What a run must not give away, and where it must not be steered.

def test_ftps_trace_shows_the_login_without_its_password(job, servers, tmp_path, certificates):
    job.prefix.trust_certificate(certificates["right"][0])
    job.add("a.txt", b"alpha")
    secret = "Pa55-for-ftps-only"
    for protocol, implicit in ((FTPS_EXPLICIT, False), (FTPS_IMPLICIT, True)):
        # vsftpd asks anonymous users for a password only when told to.
        server, up = vsftpd_server(servers, tmp_path, certificates["right"], implicit, "-login", send_password=True)
        data = tmp_path / f"data-{protocol:x}"
        data.mkdir()
        code, log, curl_log = job.run(server.port, "--flags", f"{protocol | VERIFY_CERTIFICATE:X}", "--folder", "/up",
                                      "--verbose", "--data", job.prefix.windows_path(data) + "\\",
                                      user="anonymous", password=secret)
        assert code == 1, log + curl_log
        for line in ("> USER anonymous\n", "> PASS (credentials not logged)\n", "< 230 ", "> STOR Backup.zip\n"):
            assert line in curl_log, curl_log
        assert not [f.name for f in data.rglob("*") if f.is_file() and secret.encode() in f.read_bytes()]
        server.stop()


def test_line_break_in_the_ftp_folder_or_login_is_refused_before_connecting(job, servers, tmp_path):
    home = tmp_path / "ftp"
    server = ftp_server(servers, home)
    job.add("a.txt", b"alpha")
    refused = "holds a line break, which FTP would take as the end of a command; nothing was sent"
    cases = [
        (["--folder", "up\r\nMKD injected_by_folder"], USER, f"ERROR (29e): Remote folder {refused}: up"),
        (["--folder", "up\nMKD injected_by_folder"], USER, f"ERROR (29e): Remote folder {refused}: up"),
        ([], f"{USER}\r\nMKD injected_by_user", f"ERROR (29g): FTP user name or password {refused}\n"),
    ]
    for options, user, line in cases:
        code, log, _ = job.run(server.port, *options, user=user)
        assert code == 3 and line in log, log
        assert not any(line.startswith("MKD") for line in log.splitlines()), log  # no forged log lines
        assert not list(home.iterdir())
    assert "session opened" not in (tmp_path / "pyftpdlib.log").read_text()


def test_server_that_never_answers_ends_on_stop_or_time_out(job, servers, tmp_path):
    job.add("a.txt", b"alpha")
    python = "/usr/bin/python3"
    ftp = servers([python, str(SERVERS), "silent", "--greeting"], "silent-ftp")
    mute = servers([python, str(SERVERS), "silent", "--login"], "silent-after-login")
    ssh = servers([python, str(SERVERS), "silent"], "silent-ssh")
    cases = [
        # server, protocol flags, driver options, job result, a line of the log
        (ftp, [], ["--stop-at-status", "Connecting", "2"], 4, None),
        (ftp, [], ["--reply-timeout", "3"], 3,
         "The FTP server 127.0.0.1 did not finish its greeting and login within 3 seconds\n"),
        (mute, [], ["--stop-at-status", "Connecting", "3"], 4, None),  # waiting for a later reply
        (ssh, ["--flags", "4000"], ["--stop-at-status", "Uploading", "2"], 4, None),
        (ssh, ["--flags", "4000"], ["--reply-timeout", "3"], 3, "File upload failed. Error: 28 - "),
    ]
    for server, flags, options, result, line in cases:
        started = time.monotonic()
        code, log, curl_log = job.run(server.port, *flags, *options, timeout=90)
        case = f"{flags} {options}"
        assert code == result, case + log + curl_log
        assert time.monotonic() - started < 30, case
        if line:
            assert line in log, case + log
        assert "completed successfully" not in log


def test_known_hosts_lines_that_cannot_be_read_are_skipped(job, servers, tmp_path):
    root, data = tmp_path / "sftp", tmp_path / "data"
    root.mkdir()
    data.mkdir()
    known_hosts = data / "known_hosts.txt"
    port = free_port()
    # The server holds an Ed25519 key too, which libssh2 asks for first unless the recorded
    # key's type is named to it.
    servers(["/usr/bin/python3", str(SERVERS), "sftp", "--root", str(root), "--user", USER, "--password", PASSWORD,
             "--host-key", str(tmp_path / "rsa_key"), "--ed25519-key", str(tmp_path / "ed_key"), "--port", str(port)],
            "asyncssh")
    recorded = f"[127.0.0.1]:{port} {public_key(tmp_path / 'rsa_key')[0]}\n"
    job.add("a.txt", b"alpha")
    odd_lines = [
        "@cert-authority *.example.com ssh-rsa AAAAB3NzaC1yc2EAAAADAQABAAABAQC7\n",
        "far.example.com ssh-rsa " + "A" * 9000 + "\n",
        "|1|F1E1KeoE/eEWhi10WpGv4OdiO6Y=|3988QV0VE8wmZL7suNrYQLITLCg= ssh-rsa AAAAB3NzaC1yc2E\n",
        "this line holds no key at all\n\n# a comment\n",
    ]
    for odd in odd_lines:
        known_hosts.write_text(odd + recorded)
        code, log, curl_log = job.run(port, "--flags", "4000", "--data", job.prefix.windows_path(data) + "\\")
        log = log.partition("Job Result:")[0]
        assert code == 1 and "has changed" not in log, odd[:60] + log + curl_log
        assert known_hosts.read_text() == odd + recorded and not (data / "known_hosts_curl.txt").exists()
        (root / "Backup.zip").unlink()


# A crash dump written while a send is under way holds none of the passwords in use: the driver
# writes it as the fault handlers would, on the job's thread, once the server notes that the send
# has reached it (or once the compression is under way).

def passwords_in_dump(prefix, log, passwords):
    match = re.search(r"=== box: Program crashed\.  Send\n\n(C:\\.*\.dmp)\n", log)
    assert match, log
    dump = (prefix.path / "drive_c" / match.group(1)[3:].replace("\\", "/")).read_bytes()
    return [(password, encoding) for password in passwords for encoding in ("cp1252", "utf-16-le")
            if password.encode(encoding) in dump]


def test_dump_written_during_a_send_holds_no_password(job, servers, tmp_path):
    job.add("a.txt", b"alpha")
    smtp = SmtpServer(tmp_path / "smtp", "--user", USER, "--password", PASSWORD, "--stall", "3")
    stalled, login = smtp.folder / "stalled", tmp_path / "ftp-login"
    try:
        ftp = ftp_server(servers, tmp_path / "ftp", "--hold-login", str(login))
        cases = [  # what is sent, to which port, the driver's options, the bytes of a file added first
            ("volume e-mail", smtp.port, ["--mail", "--dump-when", job.prefix.windows_path(stalled)], 0),
            ("job-result e-mail", smtp.port, ["--result-mail", "--dump-when", job.prefix.windows_path(stalled)], 0),
            ("FTP login", ftp.port, ["--dump-when", job.prefix.windows_path(login)], 0),
            # A file big enough that the compression takes a while; the result e-mail finds no server.
            ("ZIP", free_port(), ["--result-mail", "--dump-while-compressing"], 40_000_000),
        ]
        for name, port, options, noise in cases:
            if noise:
                job.add("noise.bin", os.urandom(noise))
            _, log, _ = job.run(port, "--server", "127.0.0.1", *options)
            assert passwords_in_dump(job.prefix, log, [PASSWORD, "zip pass"]) == [], name
            stalled.unlink(missing_ok=True)
            login.unlink(missing_ok=True)
    finally:
        smtp.stop()
