"""quarlin-sim sweep --dask on a cluster of our own on the loopback address.

A scheduler and two workers are started on 127.0.0.1 with ports the system
picks, each in a process group of its own, and are ended (SIGTERM, then
SIGKILL) when the tests are done, however they end.  Runs with Debian's
/usr/bin/python3; QUARLIN_BUILD_DIR names the build tree.
"""

import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = os.environ.get("QUARLIN_BUILD_DIR", "")
PROGRAM = os.path.join(BUILD, "bin", "quarlin-sim")
GRID = ["--rpm", "1500,3000,4500,6000", "--psi", "0.005,0.01,0.02", "--iq", "1,1.5", "--ramp", "0.4"]
START_TIMEOUT = 90
STOP_TIMEOUT = 15


def sweep(*args, cwd):
    return subprocess.run([PROGRAM, "sweep", *args], cwd=cwd, capture_output=True, text=True, timeout=300)


class SweepOnDask(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(PROGRAM):
            raise RuntimeError(f"no quarlin-sim at {PROGRAM}: set QUARLIN_BUILD_DIR to the build tree")
        cls.dir = tempfile.TemporaryDirectory(prefix="quarlin-dask-test.")
        cls.processes = []
        try:
            cls.start_cluster()
        except BaseException:
            cls.stop_cluster()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.stop_cluster()

    @classmethod
    def start(cls, name, argv):
        log = open(os.path.join(cls.dir.name, name + ".log"), "wb")
        cls.processes.append(subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                              cwd=cls.dir.name, start_new_session=True))
        log.close()

    @classmethod
    def start_cluster(cls):
        scheduler_file = os.path.join(cls.dir.name, "scheduler.json")
        quiet = ["--no-dashboard", "--dashboard-address", "127.0.0.1:0"]
        cls.start("scheduler", ["/usr/bin/dask-scheduler", "--host", "127.0.0.1", "--port", "0",
                                "--scheduler-file", scheduler_file, "--idle-timeout", "600s", *quiet])
        deadline = time.monotonic() + START_TIMEOUT
        while not os.path.exists(scheduler_file):
            if time.monotonic() > deadline or cls.processes[0].poll() is not None:
                raise RuntimeError("the Dask scheduler did not start: " + cls.log("scheduler"))
            time.sleep(0.1)
        time.sleep(0.2)  # the file is written, then closed
        with open(scheduler_file) as f:
            cls.address = json.load(f)["address"]
        for n in (1, 2):
            cls.start(f"worker{n}", ["/usr/bin/dask-worker", cls.address, "--host", "127.0.0.1", "--nthreads", "1",
                                     "--no-nanny", "--death-timeout", "60",
                                     "--local-directory", os.path.join(cls.dir.name, f"worker{n}"), *quiet])
        from distributed import Client

        with Client(cls.address, timeout="30s") as client:
            client.wait_for_workers(2, timeout=START_TIMEOUT)

    @classmethod
    def log(cls, name):
        try:
            with open(os.path.join(cls.dir.name, name + ".log"), errors="replace") as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    @staticmethod
    def signal(process, number):
        """Signals the process group that start() made for `process`."""
        try:
            os.killpg(process.pid, number)
        except ProcessLookupError:
            pass

    @classmethod
    def stop_cluster(cls):
        for p in reversed(cls.processes):
            cls.signal(p, signal.SIGTERM)
        for p in reversed(cls.processes):
            try:
                p.wait(timeout=STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                cls.signal(p, signal.SIGKILL)
                p.wait()
        cls.processes = []
        cls.dir.cleanup()

    def test_same_csv_as_a_local_run(self):
        local = sweep(*GRID, "--jobs", "2", cwd=self.dir.name)
        self.assertEqual(local.returncode, 0, local.stderr)
        dask = sweep(*GRID, "--dask", self.address, "--output", "dask.csv", cwd=self.dir.name)
        self.assertEqual(dask.returncode, 0, dask.stderr)
        self.assertIn(f"cells: 24 on the Dask cluster at {self.address}", dask.stderr)
        with open(os.path.join(self.dir.name, "dask.csv")) as f:
            self.assertEqual(f.read(), local.stdout)
        classes = {row.split(",")[4] for row in local.stdout.splitlines()[1:]}
        self.assertEqual(classes, {"tracks", "loses-lock", "diverges"})

    def test_a_worker_that_cannot_run_the_program_fails_the_sweep(self):
        missing = os.path.join(self.dir.name, "no-such-quarlin-sim")
        dask = sweep(*GRID, "--dask", self.address, "--dask-program", missing, "--output", "lost.csv",
                     cwd=self.dir.name)
        self.assertEqual(dask.returncode, 1, dask.stderr)
        self.assertTrue(dask.stderr.startswith("quarlin-sim: the Dask run failed: "), dask.stderr)
        self.assertIn(f"cannot run {missing}", dask.stderr)
        self.assertEqual(dask.stderr.count("\n"), 1, dask.stderr)
        self.assertEqual([name for name in os.listdir(self.dir.name) if "lost.csv" in name], [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
