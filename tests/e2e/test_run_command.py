"""The README's run command on a machine without a display, with a user prefix it boots itself,
and a program that cannot create its window: it must say so and fail, never end with 0."""
import os
import pathlib
import signal
import subprocess
import time

from conftest import ROOT
from test_shell import WM_CLOSE

RUNNING = b"[run] Velloran runs on the virtual screen"


def probe(env, *args):
    probe_exe = pathlib.Path(os.environ["VELLORAN_TEST_TREE"]) / "tests" / "bin" / "window_probe.exe"
    return subprocess.run(["wine", str(probe_exe), *map(str, args)], env=env, capture_output=True,
                          timeout=120).returncode


def test_run_command_without_a_display_boots_starts_and_shows_a_picture(tmp_path):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    prefix = tmp_path / "user" / "wineprefix"
    # scripts/test.sh has set the machine up already.
    env.update(VELLORAN_WINEPREFIX=str(prefix), VELLORAN_SKIP_SETUP="1", WINEPREFIX=str(prefix))
    picture = pathlib.Path(env["VELLORAN_BUILD_DIR"]) / "artifacts" / "run-screen.png"
    picture.unlink(missing_ok=True)
    output = tmp_path / "run.out"
    with open(output, "wb") as out:
        run = subprocess.Popen(["bash", str(ROOT / "scripts" / "run.sh")], env=env, stdout=out,
                               stderr=subprocess.STDOUT, start_new_session=True)
    try:
        deadline = time.monotonic() + 300
        while RUNNING not in output.read_bytes() and run.poll() is None and time.monotonic() < deadline:
            time.sleep(1)
        text = output.read_bytes()
        assert RUNNING in text, text.decode("utf-8", "replace")
        assert (prefix / "drive_c" / "windows").is_dir()
        assert probe(env, "wait", 30000) == 0, "no window of class Velloran"
        assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        assert str(picture).encode() in text and b"Ctrl+C" in text

        assert probe(env, "post", WM_CLOSE, 0) == 0
        assert run.wait(timeout=120) == 0
        assert b"[run] Korrin.exe ended with exit code 0" in output.read_bytes()
    finally:
        if run.poll() is None:
            subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
            os.killpg(run.pid, signal.SIGTERM)
            run.wait(timeout=60)


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
