"""What the package's tests share: quarlin-sim of the same build run as a
child process, its CSV read back, and a fresh directory per test."""

import os
import subprocess

import numpy as np
import pytest

BUILD_DIR = os.environ["QUARLIN_BUILD_DIR"]
SIM = os.path.join(BUILD_DIR, "bin", "quarlin-sim")


def run_sim(*args, cwd):
    """Runs quarlin-sim with `args` in `cwd`; fails the test when it fails."""
    done = subprocess.run([SIM, *map(str, args)], cwd=cwd, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=120)
    assert done.returncode == 0, f"quarlin-sim {' '.join(map(str, args))}: {done.stderr}"
    return done


def read_csv(path):
    """A CSV that quarlin-sim wrote: its header and its rows as lists of texts."""
    with open(path) as f:
        lines = f.read().splitlines()
    return lines[0].split(","), [line.split(",") for line in lines[1:]]


def csv_column(path, name, dtype):
    """One column of quarlin-sim's CSV, each shortest-form text read back to
    the value it was written from."""
    header, rows = read_csv(path)
    j = header.index(name)
    return np.array([float(row[j]) for row in rows]).astype(dtype)


def same_bits(a, b):
    """True when two arrays hold the same values to the bit, field by field."""
    a, b = np.asarray(a), np.asarray(b)
    if a.dtype.names is not None or b.dtype.names is not None:
        return a.dtype.names == b.dtype.names and all(same_bits(a[n], b[n]) for n in a.dtype.names)
    a, b = np.ascontiguousarray(a), np.ascontiguousarray(b)
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


@pytest.fixture(scope="session")
def default_run(tmp_path_factory):
    """quarlin-sim's default run with states logged, and a snapshot after
    4000 steps: (directory, CSV path, snapshot path)."""
    d = tmp_path_factory.mktemp("default-run")
    run_sim("run", "--log-states", "--output", "run.csv", "--save-state", "at4000.mat", "--at", 4000, cwd=d)
    return d, d / "run.csv", d / "at4000.mat"


_skipped = []


def pytest_runtest_logreport(report):
    if report.skipped:
        _skipped.append(report.nodeid)


def pytest_sessionfinish(session, exitstatus):
    # A test that skips tests nothing: every tool these tests use is installed.
    if _skipped and session.exitstatus == 0:
        session.exitstatus = 1
