"""quarlin-sim.exe run as users run it, under wine: the sizes query, the
default run, bad input files, snapshots saved and restored; the same runs and
snapshot files as the Linux quarlin-sim; and the installed folder, copied
elsewhere, run with nothing else on its path.

Run one class at a time: windows_sim_test.py CLASS.  Environment:
QUARLIN_WINE (wine's launcher; WINEPREFIX and the rest set by the caller),
QUARLIN_BUILD_DIR (the Windows build), QUARLIN_NATIVE_SIM (the Linux
quarlin-sim), QUARLIN_CMAKE, QUARLIN_OBJDUMP."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

WINE = os.environ["QUARLIN_WINE"]
BUILD = os.environ["QUARLIN_BUILD_DIR"]
SIM = os.path.join(BUILD, "bin", "quarlin-sim.exe")

INPUT_HEADER = "i_alpha,i_beta,v_alpha,v_beta\n"


def run_windows(args, cwd, program=SIM, env=None):
    return subprocess.run([WINE, program] + args, cwd=cwd, capture_output=True, env=env, timeout=300)


def run_linux(args, cwd):
    native = os.environ["QUARLIN_NATIVE_SIM"]
    if not os.path.isfile(native):
        raise AssertionError("the Linux quarlin-sim is not built at " + native)
    return subprocess.run([native] + args, cwd=cwd, capture_output=True, timeout=300)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, text):
    with open(path, "w", newline="\n") as f:
        f.write(text)


def measured_inputs(rows):
    lines = [INPUT_HEADER]
    for k in range(rows):
        lines.append("%.6f,%.6f,%.6f,%.6f\n" % (0.5 * (k % 7), -0.25 * (k % 5), 3.0 - 0.01 * k, 0.125 * (k % 3)))
    return "".join(lines)


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quarlin-windows-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def assertSucceeded(self, outcome, what):
        self.assertEqual(outcome.returncode, 0, what + ": " + outcome.stderr.decode(errors="replace"))

    def assertSameBytes(self, got, expected, what):
        """Equal byte strings; else the first line where they part (a full
        difference of two runs would be too long to read or to compute)."""
        if got == expected:
            return
        got_lines, expected_lines = got.split(b"\n"), expected.split(b"\n")
        for number, (g, e) in enumerate(zip(got_lines, expected_lines)):
            if g != e:
                self.fail("%s: line %d differs:\n  %r\n  expected %r" % (what, number + 1, g, e))
        self.fail("%s: %d lines, expected %d" % (what, len(got_lines), len(expected_lines)))

    def assertOneErrorLine(self, outcome, message, what):
        err = outcome.stderr.decode(errors="replace")
        self.assertEqual(outcome.returncode, 1, what + ": " + err)
        self.assertEqual(err.count("\n"), 1, what + ": " + err)
        self.assertIn(message, err, what)


class WindowsProgram(Case):
    def test_sizes_are_the_linux_sizes(self):
        windows = run_windows(["sizes"], self.dir)
        self.assertSucceeded(windows, "sizes")
        lines = windows.stdout.decode().split("\n")
        self.assertEqual(len(lines), 41)  # 40 lines, each ended by a newline
        self.assertEqual(lines[19], "19 8480229")
        self.assertSameBytes(windows.stdout, run_linux(["sizes"], self.dir).stdout, "sizes")

    def test_default_run_tracks_the_machine(self):
        outcome = run_windows(["run", "--output", "out.csv"], self.dir)
        self.assertSucceeded(outcome, "run")
        rows = read(self.path("out.csv")).decode().split("\n")
        self.assertEqual(len(rows), 8002)  # header, 8000 steps, the last newline
        self.assertTrue(rows[0].startswith("step,time,"), rows[0])
        summary = outcome.stderr.decode()
        self.assertIn("steps: 8000 (0 to 7999)", summary)
        angle = float(re.search(r"largest angle error (\S+) rad", summary).group(1))
        self.assertLess(angle, 0.01)

    def test_bad_input_files_stop_the_run_before_any_output(self):
        late = INPUT_HEADER + "0.5,0.5,1,1\n" * 3000 + "0,1..5,0,0\n"
        cases = [
            ("no file", None, "cannot read in.csv"),
            ("missing column", "i_alpha,i_beta,v_beta\n1,2,3\n", "in.csv line 1: the header has no column v_alpha"),
            ("short row", INPUT_HEADER + "1,2,3,4\n1,2\n", "in.csv line 3, column v_alpha: missing"),
            ("not a number", INPUT_HEADER + "1,2,3,four\n", "in.csv line 2, column v_beta: \"four\" is not a number"),
            ("a late bad value", late, "in.csv line 3002, column i_beta: \"1..5\" is not a number"),
            ("a snapshot that is no MAT file", INPUT_HEADER, "s.mat is not a MAT file (level 5)"),
        ]
        for name, content, message in cases:
            for entry in os.listdir(self.dir):
                os.remove(self.path(entry))
            if content is not None:
                write(self.path("in.csv"), content)
            args = ["run", "--input", "in.csv", "--output", "out.csv"]
            if name.startswith("a snapshot"):
                shutil.copy(self.path("in.csv"), self.path("s.mat"))
                args = ["run", "--restore", "s.mat", "--output", "out.csv"]
            self.assertOneErrorLine(run_windows(args, self.dir), message, name)
            left = sorted(os.listdir(self.dir))
            expected = [] if content is None else ["in.csv"] + (["s.mat"] if name.startswith("a snapshot") else [])
            self.assertEqual(left, expected, name)

    def test_snapshot_restored_run_continues_with_the_same_bytes(self):
        write(self.path("in.csv"), measured_inputs(900))
        for name, options, at in [("scenario", ["--steps", "900"], 333), ("measured inputs", ["--input", "in.csv"], 500)]:
            self.assertSucceeded(run_windows(["run"] + options + ["--log-states", "--output", "full.csv",
                                                                  "--save-state", "s.mat", "--at", str(at)], self.dir), name)
            restored = run_windows(["run", "--restore", "s.mat", "--log-states", "--output", "rest.csv"]
                                   + (["--input", "in.csv"] if "--input" in options else ["--steps", "900"]), self.dir)
            self.assertSucceeded(restored, name)
            full = read(self.path("full.csv")).split(b"\n")
            rest = read(self.path("rest.csv")).split(b"\n")
            self.assertGreater(len(rest), 300, name)
            self.assertSameBytes(b"\n".join(rest), b"\n".join(full[:1] + full[1 + at:]), name)

    def test_damaged_snapshots_are_refused(self):
        self.assertSucceeded(run_windows(["run", "--steps", "200", "--save-state", "s.mat", "--output", "o.csv"],
                                         self.dir), "save")
        good = read(self.path("s.mat"))
        flipped = bytearray(good)
        flipped[len(good) // 2] ^= 0x40
        for name, content in [("truncated", good[:-100]), ("flipped byte", bytes(flipped))]:
            with open(self.path("bad.mat"), "wb") as f:
                f.write(content)
            self.assertOneErrorLine(run_windows(["run", "--restore", "bad.mat", "--output", "r.csv"], self.dir),
                                    "bad.mat is damaged", name)
            self.assertFalse(os.path.exists(self.path("r.csv")), name)


class SnapshotFilesCross(Case):
    """A snapshot crosses between the platforms bit for bit: restored on the
    other platform and saved again at once, it is the same file."""

    def test_linux_to_windows_and_back(self):
        write(self.path("in.csv"), measured_inputs(700))
        for name, options in [("scenario", ["--steps", "700"]), ("measured inputs", ["--input", "in.csv"])]:
            self.assertSucceeded(run_linux(["run"] + options + ["--save-state", "linux.mat", "--at", "420",
                                                                "--output", "l.csv"], self.dir), name)
            again = run_windows(["run", "--restore", "linux.mat", "--save-state", "windows.mat", "--at", "420",
                                 "--output", "w.csv"] + options, self.dir)
            self.assertSucceeded(again, name)
            self.assertSameBytes(read(self.path("windows.mat")), read(self.path("linux.mat")), name)
            back = run_linux(["run", "--restore", "windows.mat", "--save-state", "linux2.mat", "--at", "420",
                              "--output", "l2.csv"] + options, self.dir)
            self.assertSucceeded(back, name)
            self.assertSameBytes(read(self.path("linux2.mat")), read(self.path("linux.mat")), name)


class CrossTarget(Case):
    """The same run gives the same bytes on both platforms, and a run saved on
    one continues on the other exactly as it would have gone on where it
    began."""

    def test_default_run_gives_the_same_csv(self):
        self.assertSucceeded(run_windows(["run", "--log-states", "--output", "windows.csv"], self.dir), "windows")
        self.assertSucceeded(run_linux(["run", "--log-states", "--output", "linux.csv"], self.dir), "linux")
        self.assertSameBytes(read(self.path("windows.csv")), read(self.path("linux.csv")), "default run")

    def test_snapshots_continue_across_platforms(self):
        at = 3000
        self.assertSucceeded(run_linux(["run", "--log-states", "--output", "full.csv"], self.dir), "linux full")
        full = read(self.path("full.csv")).split(b"\n")
        saving = [("linux", run_linux), ("windows", run_windows)]
        for saver_name, saver in saving:
            for restorer_name, restorer in saving:
                if saver_name == restorer_name:
                    continue
                what = saver_name + " to " + restorer_name
                self.assertSucceeded(saver(["run", "--log-states", "--output", "o.csv", "--save-state", "s.mat",
                                            "--at", str(at)], self.dir), what)
                self.assertSucceeded(restorer(["run", "--restore", "s.mat", "--log-states", "--output", "rest.csv"],
                                              self.dir), what)
                rest = read(self.path("rest.csv")).split(b"\n")
                self.assertSameBytes(b"\n".join(rest[1:]), b"\n".join(full[1 + at:]), what)


class InstalledFolder(Case):
    """The install is one self-contained folder: copied anywhere, its program
    runs with nothing else on its path."""

    def test_copied_install_runs_alone(self):
        prefix = self.path("prefix")
        subprocess.run([os.environ["QUARLIN_CMAKE"], "--install", BUILD, "--prefix", prefix], check=True,
                       capture_output=True)
        copy = self.path("elsewhere")
        shutil.copytree(prefix, copy)
        shutil.rmtree(prefix)
        names = set(os.listdir(copy))
        expected = {"quarlin-sim.exe", "Quarlin_msp.mexw64", "libmx.dll", "libmex.dll", "libmwsl_simtarget_core.dll",
                    "libmwsl_simtarget_instrumentation.dll", "libmwmathutil.dll", "libfixedpoint.dll",
                    "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}
        self.assertLessEqual(expected, names)
        # Every DLL any of them imports is in the folder or is the system's.
        objdump = os.environ["QUARLIN_OBJDUMP"]
        system = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ws2_32.dll"}
        present = {n.lower() for n in names}
        for name in sorted(n for n in names if n.endswith((".exe", ".dll", ".mexw64"))):
            listing = subprocess.run([objdump, "-p", os.path.join(copy, name)], check=True, capture_output=True,
                                     text=True).stdout
            for dll in re.findall(r"DLL Name: (\S+)", listing):
                self.assertIn(dll.lower(), present | system, name + " imports " + dll)

        env = {k: v for k, v in os.environ.items() if k.startswith("WINE") or k in ("HOME", "DISPLAY")}
        env["PATH"] = "/usr/bin:/bin"
        env["WINEPATH"] = ""
        work = self.path("work")
        os.mkdir(work)
        outcome = run_windows(["run", "--steps", "500", "--output", "out.csv", "--save-state", "s.mat"], work,
                              program=os.path.join(copy, "quarlin-sim.exe"), env=env)
        self.assertSucceeded(outcome, "installed run")
        self.assertEqual(len(read(os.path.join(work, "out.csv")).split(b"\n")), 502)
        built = run_windows(["run", "--steps", "500", "--output", "built.csv"], work)
        self.assertSucceeded(built, "built run")
        self.assertSameBytes(read(os.path.join(work, "out.csv")), read(os.path.join(work, "built.csv")), "installed run")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:], verbosity=2)
