"""What the end-to-end tests that run one job through a driver program share: the driver in the
build's test programs, a source and a destination folder under the test's own folder, and the
arguments that name the compression library and the destination."""
import os
import pathlib


def driver_program(name):
    """A program of the build's tests/bin, such as a job driver."""
    return pathlib.Path(os.environ["VELLORAN_TEST_TREE"]) / "tests" / "bin" / name


class DriverJob:
    """Sources, a destination and the driver that runs the job "Job A" over them."""

    def __init__(self, prefix, bin_dir, root, driver):
        self.prefix = prefix
        self.bin_dir = bin_dir
        self.driver = driver_program(driver)
        self.source = root / "src"
        self.dest = root / "dest"
        self.source.mkdir()
        self.dest.mkdir()

    @property
    def compressed(self):
        return self.dest / "Job A" / "Compressed"

    def library_and_destination(self):
        return ["--lib", self.prefix.windows_path(self.bin_dir), "--dest", self.prefix.windows_path(self.dest) + "\\"]
