"""The main window on a virtual X screen with a few configurations: the toolbar draws its
images, the tray icon reaches the notification area, and a picture of the window is kept as
build/artifacts/main-window.png so anyone can see what the program looks like."""
import datetime
import os
import pathlib
import shutil
import subprocess
import time

import vlrstore
from conftest import CONVERT, IMPORT, SCREEN
from test_shell import IDM_EXIT, WM_COMMAND, Program

RUN_GREEN = (0x34, 0xa8, 0x53)
DELETE_RED = (0xe5, 0x39, 0x35)
OUTLINE_SLATE = (0x4b, 0x5d, 0x78)
TRAY_BLUE = (0x2f, 0x6d, 0xb5)


def read_ppm(data):
    """Width, height and RGB bytes of a binary PPM."""
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b"P6" and fields[3] == b"255"
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def count_near(screen, box, colour, tolerance=40):
    """Pixels within the box (left, top, right, bottom) close to the colour."""
    width, _, pixels = screen
    left, top, right, bottom = box
    count = 0
    for y in range(top, bottom):
        row = pixels[(y * width + left) * 3:(y * width + right) * 3]
        for x in range(0, len(row), 3):
            if all(abs(row[x + i] - colour[i]) <= tolerance for i in range(3)):
                count += 1
    return count


def grab(display, window, path):
    subprocess.run([IMPORT, "-display", display, "-window", window, str(path)], check=True, timeout=60,
                   capture_output=True)
    ppm = subprocess.run([CONVERT, str(path), "PPM:-"], capture_output=True, check=True, timeout=60).stdout
    return read_ppm(ppm)


def sample_configs(prefix, tmp_path):
    documents = tmp_path / "Documents"
    documents.mkdir()
    (documents / "letter.txt").write_text("Dear reader\n")
    source = prefix.windows_path(documents) + "\\"
    yesterday = datetime.datetime.now().replace(microsecond=0) - datetime.timedelta(days=1)
    return [
        vlrstore.Config(1, "Documents to USB disk", "E:\\Backup\\Documents\\", [source],
                        run_count=12, last_result=vlrstore.SUCCESS, last_run=yesterday),
        vlrstore.Config(2, "Photos, weekly ZIP", "E:\\Backup\\Photos\\", [source],
                        flags=vlrstore.ENABLED | 0x8 | 0x10, schedule_kind=vlrstore.WEEKLY, day_mask=0x41,
                        hour=21, minute=30, run_count=3, last_result=vlrstore.WARNINGS, last_run=yesterday),
        vlrstore.Config(3, "Mail archive", "F:\\Mirror\\", [source],
                        schedule_kind=vlrstore.EVERY_N_DAYS, every_days=2, hour=6, minute=0),
        vlrstore.Config(4, "Old project (disabled)", "E:\\Old\\", [source], flags=vlrstore.UNCOMPRESSED),
    ]


def test_main_window_on_a_display(wine_prefix, bin_dir, tmp_path, x_display):
    wine_prefix.env["DISPLAY"] = x_display
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "x11", "/f"],
                   env=wine_prefix.env, check=True, capture_output=True, timeout=60)
    program = Program(wine_prefix, bin_dir)
    vlrstore.write_store(program.store, sample_configs(wine_prefix, tmp_path))
    wine_prefix.set_settings("options", {"askexit": "0"})

    process = program.start()
    try:
        # A selected configuration that may run enables the Run Now, Edit, Copy and Delete images.
        assert program.probe("select", 0)[0] == 0
        shot = tmp_path / "screen.png"
        whole = (0, 0) + SCREEN
        for _ in range(40):  # until the toolbar's green Run Now image is drawn
            screen = grab(x_display, "root", shot)
            if count_near(screen, whole, RUN_GREEN) > 50:
                break
            time.sleep(0.5)
        time.sleep(2)  # the sizes come in and the tray icon settles
        screen = grab(x_display, "root", shot)
        assert screen[0:2] == SCREEN
        assert count_near(screen, whole, RUN_GREEN) > 50
        assert count_near(screen, whole, DELETE_RED) > 20
        assert count_near(screen, whole, OUTLINE_SLATE) > 50
        # The idle tray icon's blue tile in Wine's notification area at the top left.
        assert count_near(screen, (0, 0, 200, 100), TRAY_BLUE) > 30

        # Wine names the X window after the main window's title.
        picture = tmp_path / "main-window.png"
        grab(x_display, "Velloran", picture)
        artefacts = pathlib.Path(os.environ["VELLORAN_BUILD_DIR"]) / "artifacts"
        artefacts.mkdir(exist_ok=True)
        shutil.copy(picture, artefacts / "main-window.png")

        # Scheduled configurations keep the program alive on close; Exit ends it.
        assert program.probe("post", WM_COMMAND, IDM_EXIT)[0] == 0
        assert process.wait(timeout=60) == 0
    finally:
        if process.poll() is None:
            process.kill()
