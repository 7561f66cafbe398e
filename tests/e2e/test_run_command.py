"""The README's run command on a machine without a display, with a user prefix it boots itself:
it starts the program on a screen of its own, Ctrl+C ends the program as Windows ends a session
(so what was changed in that session is saved), and the prefix opens text files with Notepad as
Windows does (View Log). A program that cannot create its window must say so and fail, never
end with 0."""
import os
import pathlib
import signal
import subprocess
import time

import vlrstore
from conftest import ROOT, WinePrefix
from test_shell import WM_CLOSE, WM_COMMAND, wait_until

RUNNING = b"[run] Velloran runs on the virtual screen"
IDM_VIEWLOG = 32782
IDM_OPTIONS = 32786
OPTIONS = "Options"
BACKUP_LOCKED = 1093
IDOK = 1


class RunCommand:
    """scripts/run.sh with a user prefix of its own, started as a terminal starts it."""

    def __init__(self, tmp_path):
        self.prefix = tmp_path / "user" / "wineprefix"
        self.env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        # scripts/test.sh has set the machine up already.
        self.env.update(VELLORAN_WINEPREFIX=str(self.prefix), VELLORAN_SKIP_SETUP="1", WINEPREFIX=str(self.prefix))
        self.wine = WinePrefix(self.prefix)
        self.output = tmp_path / "run.out"
        self.run = None

    def start(self):
        """Starts the command and waits until it says the program runs; the output so far."""
        with open(self.output, "wb") as out:
            self.run = subprocess.Popen(["bash", str(ROOT / "scripts" / "run.sh")], env=self.env, stdout=out,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        deadline = time.monotonic() + 300
        while RUNNING not in self.text() and self.run.poll() is None and time.monotonic() < deadline:
            time.sleep(1)
        assert RUNNING in self.text(), self.text().decode("utf-8", "replace")
        return self.text()

    def text(self):
        return self.output.read_bytes()

    def probe(self, *args):
        """The window probe's exit code and output, run in the command's prefix."""
        result = self.wine.run(pathlib.Path(os.environ["VELLORAN_TEST_TREE"]) / "tests" / "bin" / "window_probe.exe",
                               *args)
        return result.returncode, result.stdout.decode("cp1252", "replace").strip()

    def do(self, *args):
        code, out = self.probe(*args)
        assert code == 0, f"probe {args} gave {code}"
        return out

    def ctrl_c(self):
        """What Ctrl+C in the terminal does: SIGINT to the command's process group."""
        os.killpg(self.run.pid, signal.SIGINT)
        return self.run.wait(timeout=120)

    def stop(self):
        if self.run is not None and self.run.poll() is None:
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
            os.killpg(self.run.pid, signal.SIGTERM)
            self.run.wait(timeout=60)


def test_run_command_without_a_display_boots_starts_and_shows_a_picture(tmp_path):
    command = RunCommand(tmp_path)
    picture = pathlib.Path(command.env["VELLORAN_BUILD_DIR"]) / "artifacts" / "run-screen.png"
    picture.unlink(missing_ok=True)
    try:
        text = command.start()
        assert (command.prefix / "drive_c" / "windows").is_dir()
        assert command.probe("wait", 30000)[0] == 0, "no window of class Velloran"
        assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        assert str(picture).encode() in text and b"Ctrl+C" in text

        assert command.probe("post", WM_CLOSE, 0)[0] == 0
        assert command.run.wait(timeout=120) == 0
        assert b"[run] Korrin.exe ended with exit code 0" in command.text()
    finally:
        command.stop()


def test_ctrl_c_keeps_the_options_of_the_session_and_view_log_opens_notepad(tmp_path):
    command = RunCommand(tmp_path)
    try:
        # A new installation backs up locked files; the user switches that off in this session.
        command.start()
        command.do("post", WM_COMMAND, IDM_OPTIONS)
        command.do("dialog", OPTIONS, 30000)
        assert command.do("checked", OPTIONS, BACKUP_LOCKED) == "1"
        command.do("click", OPTIONS, BACKUP_LOCKED)
        assert wait_until(lambda: command.probe("checked", OPTIONS, BACKUP_LOCKED)[1] == "0", 10)
        command.do("command", OPTIONS, IDOK)
        assert wait_until(lambda: command.probe("dialog", OPTIONS, 0)[0] == 0, 30)
        assert command.ctrl_c() == 130
        assert command.wine.query_settings("options").get("backup_locked") == "0"
        assert b"ending Velloran as Windows ends a session" in command.text()
        assert b"did not end" not in command.text()

        # View Log opens the job log with Wine's Notepad.
        data = command.wine.data_folder
        vlrstore.write_store(data / "configs.vlr", [vlrstore.Config(7, "Documents", "C:\\Backup\\",
                                                                    ["C:\\windows\\win.ini"], run_count=1,
                                                                    last_result=vlrstore.SUCCESS)])
        (data / "7.txt").write_text("Backup log of Documents\r\n", encoding="cp1252")
        command.start()
        command.do("select", 0)
        command.do("post", WM_COMMAND, IDM_VIEWLOG)
        # Notepad shows its window before it has read the file into it.
        notepad = lambda: command.probe("window", "Notepad", 1000)[1].split("\t")[0]
        assert wait_until(lambda: notepad().startswith("7.txt"), 30), notepad()
        assert command.ctrl_c() == 130
        assert command.wine.query_settings("options").get("backup_locked") == "0"
    finally:
        command.stop()


def test_a_window_that_cannot_be_created_ends_the_program_with_an_error(wine_prefix, bin_dir):
    # The X11 driver without a display: no window can be created.
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "x11", "/f"],
                   env=wine_prefix.env, check=True, capture_output=True, timeout=60)
    subprocess.run(["wineserver", "-w"], env=wine_prefix.env, timeout=60)
    wine_prefix.env.pop("DISPLAY", None)
    result = wine_prefix.run(bin_dir / "Korrin.exe")
    assert result.returncode == 2
    lines = result.stderr.decode("cp1252").splitlines()
    assert "Velloran: Cannot create the main window" in lines[0], lines
    assert lines[1] == "Velloran: no window can be shown; is there a display?", lines
