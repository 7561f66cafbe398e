"""The main program as a user starts it: runs from the command line, a second start handing
over to the first, a fresh start, closing the window, and the internal scheduler's timer."""
import datetime
import os
import pathlib
import subprocess
import time

import pytest

import vlrstore

WM_CLOSE = 16
WM_QUERYENDSESSION = 17
WM_ENDSESSION = 22
WM_COMMAND = 273
IDM_RUN = 32781
IDM_EXIT = 32784
LAST_RESULT_COLUMN = 4


class Program:
    """Korrin.exe in one prefix, with the window probe beside it."""

    def __init__(self, prefix, bin_dir):
        self.prefix = prefix
        self.exe = bin_dir / "Korrin.exe"
        self.probe_exe = pathlib.Path(os.environ["VELLORAN_TEST_TREE"]) / "tests" / "bin" / "window_probe.exe"
        self.store = prefix.data_folder / "configs.vlr"
        # Shadow copies do not exist under Wine; the runs here read the files directly.
        prefix.set_settings("options", {"backup_locked": "0"})

    def probe(self, *args, timeout=60):
        result = self.prefix.run(self.probe_exe, *args, timeout=timeout)
        return result.returncode, result.stdout.decode("cp1252", "replace").replace("\r\n", "\n")

    def start(self, *args):
        process = self.prefix.start(self.exe, *args)
        code, _ = self.probe("wait", 30000)
        assert code == 0, "the main window did not appear"
        return process

    def log(self, unique_id):
        return (self.prefix.data_folder / f"{unique_id}.txt").read_text("cp1252")


@pytest.fixture
def program(wine_prefix, bin_dir):
    return Program(wine_prefix, bin_dir)


def mirror_config(prefix, tmp_path, unique_id, **schedule):
    source = tmp_path / f"source{unique_id}"
    (source / "sub").mkdir(parents=True)
    (source / "a.txt").write_text("alpha\n")
    (source / "sub" / "b.txt").write_text("beta\n")
    destination = tmp_path / f"mirror{unique_id}"
    config = vlrstore.Config(unique_id, f"Job {unique_id}", prefix.windows_path(destination) + "\\",
                             [prefix.windows_path(source) + "\\"], **schedule)
    return config, destination


def mirrored(destination):
    return sorted(p.name for p in destination.rglob("*.txt"))


def post_ending(program, messages):
    """Posts the messages that end the program; the window may be gone before the later ones."""
    first, *later = messages
    assert program.probe("post", *first)[0] == 0
    for message in later:
        program.probe("post", *message)


def wait_until(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.5)
    return condition()


def test_run_switch_runs_the_configuration_and_exits(program, wine_prefix, tmp_path):
    first, first_mirror = mirror_config(wine_prefix, tmp_path, 2)
    chosen, chosen_mirror = mirror_config(wine_prefix, tmp_path, 5)
    vlrstore.write_store(program.store, [first, chosen])

    result = wine_prefix.run(program.exe, "/hidden", "/exitwhendone", "/run=5", timeout=180)

    assert result.returncode == 0
    assert mirrored(chosen_mirror) == ["a.txt", "b.txt"]
    assert not first_mirror.exists()
    log = program.log(5)
    assert "Success" in log
    _, records = vlrstore.read_store(program.store)
    by_id = {r.unique_id: r for r in records}
    assert (by_id[5].run_count, by_id[5].last_result) == (1, vlrstore.SUCCESS)
    assert (by_id[2].run_count, by_id[2].last_result) == (0, 0)
    assert not (wine_prefix.data_folder / "2.txt").exists()


@pytest.mark.parametrize("switches", [["/run=0"], ["/run=9"], ["/RUN=4"]])
def test_exit_when_done_ends_even_when_nothing_can_run(program, wine_prefix, tmp_path, switches):
    # Id 0 and 9 name no configuration; id 4 is disabled.
    disabled, mirror = mirror_config(wine_prefix, tmp_path, 4, flags=vlrstore.UNCOMPRESSED)
    vlrstore.write_store(program.store, [disabled])
    result = wine_prefix.run(program.exe, "/hidden", "/exitwhendone", *switches, timeout=60)
    assert result.returncode == 0
    assert not mirror.exists()


def test_second_start_hands_its_command_line_to_the_running_instance(program, wine_prefix, tmp_path):
    config, mirror = mirror_config(wine_prefix, tmp_path, 3)
    vlrstore.write_store(program.store, [config])
    first = program.start("/hidden")
    try:
        second = wine_prefix.run(program.exe, "/hidden", "/run=3", timeout=60)
        assert second.returncode == 0
        assert wait_until(lambda: vlrstore.read_store(program.store)[1][0].run_count == 1, 60)
        assert mirrored(mirror) == ["a.txt", "b.txt"]
        assert "Success" in program.log(3)
        # The handed-over line could not ask for an exit, so the first instance still runs.
        assert first.poll() is None
        assert program.probe("post", WM_CLOSE, 0)[0] == 0
        assert first.wait(timeout=60) == 0
    finally:
        if first.poll() is None:
            first.kill()


def test_fresh_start_creates_the_empty_store_and_close_writes_the_settings(program, wine_prefix):
    process = program.start()
    try:
        assert wait_until(program.store.exists, 30)
        header = program.store.read_bytes()
        assert header == b"vlr\0" + (3).to_bytes(4, "little") + bytes(8)
        code, columns = program.probe("columns")
        assert code == 0
        assert [line.split("\t")[0] for line in columns.splitlines()] == [
            "Description", "Size", "Destination", "Last Run", "Last Result", "Next Run", "Schedule"]
        code, status = program.probe("status")
        assert code == 0
        parts = status.splitlines()
        assert parts[0] == "No Jobs Scheduled" and parts[1].strip() == "C 0", parts
        code, toolbar = program.probe("toolbar")
        assert code == 0
        buttons = [line.split("\t") for line in toolbar.splitlines()]
        labels = [b[2] for b in buttons if b[0] != "0"]
        assert labels == ["New", "Edit", "Delete", "Copy", "Run Now", "View Log", "Hide"], buttons
        # With no configuration selected only New and Hide can be used.
        enabled = [b[2] for b in buttons if b[0] != "0" and int(b[1]) & 4]
        assert enabled == ["New", "Hide"], buttons
        # With no schedule and no job, closing the window ends the program.
        assert program.probe("post", WM_CLOSE, 0)[0] == 0
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()
    windows = wine_prefix.query_settings("windows")
    assert {"positionX", "positionY", "sizeX", "sizeY"} <= windows.keys(), windows
    assert "btnsize" in wine_prefix.query_settings("options")


def test_timer_runs_a_due_configuration_once(program, wine_prefix, tmp_path):
    now = datetime.datetime.now()
    due = now.replace(second=0, microsecond=0) + datetime.timedelta(minutes=1 if now.second < 45 else 2)
    # Every day of the week, at the due minute; it never ran and was edited yesterday.
    config, mirror = mirror_config(wine_prefix, tmp_path, 8, schedule_kind=vlrstore.WEEKLY, day_mask=0x7F,
                                   hour=due.hour, minute=due.minute,
                                   date_modified=now - datetime.timedelta(days=1))
    vlrstore.write_store(program.store, [config])
    wine_prefix.set_settings("options", {"askexit": "0"})
    process = program.start("/hidden")
    try:
        assert not mirror.exists()
        seconds_left = (due - datetime.datetime.now()).total_seconds()
        assert wait_until(lambda: vlrstore.read_store(program.store)[1][0].run_count == 1, seconds_left + 60)
        record = vlrstore.read_store(program.store)[1][0]
        assert record.last_result == vlrstore.SUCCESS
        assert record.last_run >= due
        assert mirrored(mirror) == ["a.txt", "b.txt"]
        # The run moved the next one to tomorrow: a few more ticks start nothing.
        time.sleep(5)
        assert vlrstore.read_store(program.store)[1][0].run_count == 1
        # A schedule keeps the program alive on close; Exit ends it.
        assert program.probe("post", WM_CLOSE, 0)[0] == 0
        time.sleep(2)
        assert process.poll() is None
        assert program.probe("post", WM_COMMAND, IDM_EXIT)[0] == 0
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()


@pytest.mark.parametrize("ending", [[(WM_COMMAND, IDM_EXIT)], [(WM_QUERYENDSESSION, 0), (WM_ENDSESSION, 1)]],
                         ids=["exit", "logoff"])
def test_exit_during_a_job_records_its_end_and_shows_nothing(program, wine_prefix, tmp_path, ending):
    # The program before the backup keeps the job busy until it is stopped.
    config, mirror = mirror_config(wine_prefix, tmp_path, 3)
    config.flags |= vlrstore.RUN_PROGRAM_BEFORE
    config.program_before = "cmd.exe /c ping -n 120 127.0.0.1 >nul"
    vlrstore.write_store(program.store, [config])
    process = program.start()
    try:
        assert program.probe("select", 0)[0] == 0
        assert program.probe("post", WM_COMMAND, IDM_RUN)[0] == 0
        assert wait_until(lambda: program.probe("rows", LAST_RESULT_COLUMN)[1].strip() == "Running...", 30)
        post_ending(program, ending)
        # No "Job Aborted" box holds the program after its window has gone.
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()
    record = vlrstore.read_store(program.store)[1][0]
    assert (record.run_count, record.last_result) == (1, vlrstore.ABORTED)
    assert "Job Result: Aborted" in program.log(3)
    assert not mirror.exists()
