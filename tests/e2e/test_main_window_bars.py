"""The main window on a real (virtual) X display: the toolbar draws its images, the tray icon
reaches the notification area, and a screenshot is kept in the build folder's artifacts/."""
import os
import pathlib
import shutil
import subprocess
import textwrap

import pytest

SCREEN = (1280, 1024)


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


def count_near(pixels, width, box, colour, tolerance=40):
    """Pixels within the box (left, top, right, bottom) close to the colour."""
    left, top, right, bottom = box
    count = 0
    for y in range(top, bottom):
        row = pixels[(y * width + left) * 3:(y * width + right) * 3]
        for x in range(0, len(row), 3):
            if all(abs(row[x + i] - colour[i]) <= tolerance for i in range(3)):
                count += 1
    return count


@pytest.mark.skipif(shutil.which("xvfb-run") is None, reason="xvfb-run is not installed")
def test_toolbar_images_and_tray_icon_show_on_a_display(wine_prefix, bin_dir, tmp_path):
    # The prefix uses the null graphics driver; this test wants the X11 one.
    subprocess.run(["wine", "reg", "delete", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/f"],
                   env=wine_prefix.env, capture_output=True)
    wine_prefix.kill()
    shot = tmp_path / "screen.png"
    script = tmp_path / "show.sh"
    script.write_text(textwrap.dedent(f"""\
        wine '{bin_dir / "Korrin.exe"}' &
        for i in $(seq 40); do
          sleep 0.5
          import -window root '{shot}' 2>/dev/null || continue
          # Wait until the toolbar's green Run Now image is drawn.
          green=$(convert '{shot}' -fill black -fuzz 12% +opaque '#34a853' -fill white -opaque '#34a853' \\
                  -format '%[fx:int(mean*w*h)]' info: 2>/dev/null)
          [ "${{green:-0}}" -gt 20 ] && {{ sleep 1; import -window root '{shot}'; break; }}
        done
        wineserver -k
        """))
    subprocess.run(["xvfb-run", "-a", "-s", f"-screen 0 {SCREEN[0]}x{SCREEN[1]}x24", "bash", str(script)],
                   env=wine_prefix.env, timeout=120, capture_output=True)
    assert shot.exists()
    build = os.environ.get("VELLORAN_BUILD_DIR")
    if build:
        artifacts = pathlib.Path(build) / "artifacts"
        artifacts.mkdir(parents=True, exist_ok=True)
        shutil.copy(shot, artifacts / "main-window-empty.png")

    ppm = subprocess.run(["convert", str(shot), "PPM:-"], capture_output=True, check=True).stdout
    width, height, pixels = read_ppm(ppm)
    assert (width, height) == SCREEN
    whole = (0, 0, width, height)
    # Run Now (green), Delete (red) and the document outlines (slate blue) of the toolbar.
    assert count_near(pixels, width, whole, (0x34, 0xa8, 0x53)) > 50
    assert count_near(pixels, width, whole, (0xe5, 0x39, 0x35)) > 20
    assert count_near(pixels, width, whole, (0x4b, 0x5d, 0x78)) > 50
    # The idle tray icon's blue tile in Wine's notification area at the top left of the screen.
    assert count_near(pixels, width, (0, 0, 200, 100), (0x2f, 0x6d, 0xb5)) > 30
