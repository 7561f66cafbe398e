"""A picture of the main window with a few configurations, taken on a virtual X screen and
kept in the build folder, so anyone can see what the program looks like."""
import datetime
import os
import pathlib
import shutil
import subprocess
import time

import pytest

import vlrstore
from test_shell import IDM_EXIT, WM_COMMAND, Program

IMPORT = "/usr/bin/import"
IDENTIFY = "/usr/bin/identify"


@pytest.fixture
def x_display():
    if not (shutil.which("Xvfb") and os.path.exists(IMPORT)):
        pytest.skip("Xvfb or ImageMagick is not installed")
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp"], pass_fds=[write_end], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        display = ":" + numbers.readline().strip()
    yield display
    server.terminate()
    server.wait(timeout=30)


def test_main_window_screenshot(wine_prefix, bin_dir, tmp_path, x_display):
    wine_prefix.env["DISPLAY"] = x_display
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "x11", "/f"],
                   env=wine_prefix.env, check=True, capture_output=True, timeout=60)
    program = Program(wine_prefix, bin_dir)
    yesterday = datetime.datetime.now().replace(microsecond=0) - datetime.timedelta(days=1)
    documents = wine_prefix.windows_path(tmp_path / "Documents") + "\\"
    configs = [
        vlrstore.Config(1, "Documents to USB disk", r"E:\Backup\Documents" + "\\", [documents],
                        run_count=12, last_result=vlrstore.SUCCESS, last_run=yesterday),
        vlrstore.Config(2, "Photos, weekly ZIP", r"E:\Backup\Photos" + "\\", [documents],
                        flags=vlrstore.ENABLED | 0x8 | 0x10, schedule_kind=vlrstore.WEEKLY, day_mask=0x41,
                        hour=21, minute=30, run_count=3, last_result=vlrstore.WARNINGS, last_run=yesterday),
        vlrstore.Config(3, "Mail archive", r"F:\Mirror" + "\\", [documents],
                        schedule_kind=vlrstore.EVERY_N_DAYS, every_days=2, hour=6, minute=0),
        vlrstore.Config(4, "Old project (disabled)", r"E:\Old" + "\\", [documents], flags=vlrstore.UNCOMPRESSED),
    ]
    (tmp_path / "Documents").mkdir()
    (tmp_path / "Documents" / "letter.txt").write_text("Dear reader\n")
    vlrstore.write_store(program.store, configs)
    wine_prefix.set_settings("options", {"askexit": "0"})

    process = program.start()
    try:
        time.sleep(4)  # let the window paint and the sizes come in
        picture = tmp_path / "main-window.png"
        # Wine names the X window after the main window's title.
        subprocess.run([IMPORT, "-display", x_display, "-window", "Velloran", str(picture)], check=True, timeout=60)
        colours = subprocess.run([IDENTIFY, "-format", "%k", str(picture)], check=True, capture_output=True,
                                 timeout=60).stdout
        assert int(colours) > 16, "the screen looks empty"
        artefacts = pathlib.Path(os.environ["VELLORAN_BUILD_DIR"]) / "artifacts"
        artefacts.mkdir(exist_ok=True)
        shutil.copy(picture, artefacts / "main-window.png")
        # Scheduled configurations keep the program alive on close; Exit ends it.
        assert program.probe("post", WM_COMMAND, IDM_EXIT)[0] == 0
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()
