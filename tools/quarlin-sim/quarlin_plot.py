"""Draws a run of quarlin-sim: angle, speed and tracking error over time.

usage: quarlin_plot.py RUN.csv -o RUN.png

Runs with Debian's /usr/bin/python3 and matplotlib (Agg backend).  The
picture is written to a temporary file beside RUN.png and renamed onto it
when complete.  Any failure is one line on stderr and exit status 1.
"""

import argparse
import csv
import math
import os
import sys
import tempfile

PROG = "quarlin_plot"


class PlotError(Exception):
    pass


def read_run(path):
    try:
        with open(path, newline="") as f:
            rows = list(csv.reader(f))
    except OSError as e:
        raise PlotError(f"cannot read {path}: {e.strerror}")
    except (UnicodeDecodeError, csv.Error) as e:
        raise PlotError(f"{path} is not a CSV file: {e}")
    if not rows:
        raise PlotError(f"{path} is empty")
    header = [name.strip() for name in rows[0]]
    needed = ["time", "angle", "speed_rpm"]
    missing = [name for name in needed if name not in header]
    if missing:
        raise PlotError(f"{path} has no column {missing[0]} (is it a run of quarlin-sim?)")
    wanted = needed + [n for n in ("true_angle", "true_speed_rpm") if n in header]
    index = {name: header.index(name) for name in wanted}
    columns = {name: [] for name in wanted}
    for line, row in enumerate(rows[1:], start=2):
        if not row:
            continue
        for name, i in index.items():
            if i >= len(row):
                raise PlotError(f"{path} line {line}: column {name} is missing")
            try:
                columns[name].append(float(row[i]))
            except ValueError:
                raise PlotError(f"{path} line {line}, column {name}: {row[i]!r} is not a number")
    if not columns["time"]:
        raise PlotError(f"{path} has no rows to draw")
    return columns


def wrapped(error):
    """An angle difference wrapped into (-pi, pi]."""
    e = math.fmod(error, 2 * math.pi)
    if e > math.pi:
        e -= 2 * math.pi
    if e <= -math.pi:
        e += 2 * math.pi
    return e


def draw(columns, title, out_path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    t = columns["time"]
    scenario = "true_angle" in columns and "true_speed_rpm" in columns
    panels = 3 if scenario else 2
    fig, axes = plt.subplots(panels, 1, sharex=True, figsize=(10, 2.6 * panels + 0.6))
    fig.suptitle(title)

    ax = axes[0]
    if scenario:
        ax.plot(t, columns["true_angle"], color="0.6", linewidth=2.5, label="true")
    ax.plot(t, columns["angle"], color="C0", linewidth=0.9, label="estimated")
    ax.set_ylabel("electrical angle [rad]")
    ax.set_ylim(-0.3, 2 * math.pi + 0.3)
    ax.legend(loc="upper left", fontsize="small")

    ax = axes[1]
    if scenario:
        ax.plot(t, columns["true_speed_rpm"], color="0.6", linewidth=2.5, label="true")
    ax.plot(t, columns["speed_rpm"], color="C1", linewidth=0.9, label="estimated")
    ax.set_ylabel("speed [rpm]")
    ax.legend(loc="upper left", fontsize="small")

    if scenario:
        angle_error = [wrapped(a - b) for a, b in zip(columns["angle"], columns["true_angle"])]
        speed_error = [a - b for a, b in zip(columns["speed_rpm"], columns["true_speed_rpm"])]
        ax = axes[2]
        ax.plot(t, angle_error, color="C0", linewidth=0.9)
        ax.set_ylabel("angle error [rad]", color="C0")
        ax.axhline(0.0, color="0.8", linewidth=0.8)
        # Start-up transients dwarf the steady error; the axis shows the
        # error after the first tenth of the run at a readable scale.
        settled = [abs(e) for e, time in zip(angle_error, t) if time >= t[0] + 0.1 * (t[-1] - t[0])]
        finite = [e for e in settled if math.isfinite(e)]
        if finite and max(finite) > 0:
            limit = min(math.pi, 1.5 * max(finite))
            ax.set_ylim(-limit, limit)
        right = ax.twinx()
        right.plot(t, speed_error, color="C1", linewidth=0.9)
        right.set_ylabel("speed error [rpm]", color="C1")
        settled = [abs(e) for e, time in zip(speed_error, t) if time >= t[0] + 0.1 * (t[-1] - t[0])]
        finite = [e for e in settled if math.isfinite(e)]
        if finite and max(finite) > 0:
            right.set_ylim(-1.5 * max(finite), 1.5 * max(finite))

    axes[-1].set_xlabel("time [s]")
    fig.tight_layout()

    try:
        save(fig, out_path)
    finally:
        plt.close(fig)


def save(fig, out_path):
    """Writes the PNG beside its target and renames it into place.

    A target that exists and is not a regular file (/dev/null, a pipe) is
    written directly, since renaming onto it would replace it; a symbolic
    link is followed, so that the link stays.
    """
    if os.path.exists(out_path) and not os.path.isfile(out_path):
        if os.path.isdir(out_path):
            raise PlotError(f"cannot write {out_path}: it is a directory")
        with open(out_path, "wb") as f:
            fig.savefig(f, format="png", dpi=110)
        return
    target = os.path.realpath(out_path)
    fd, temp = tempfile.mkstemp(prefix="." + os.path.basename(target) + ".", dir=os.path.dirname(target))
    try:
        with os.fdopen(fd, "wb") as f:
            fig.savefig(f, format="png", dpi=110)
        mask = os.umask(0)
        os.umask(mask)
        os.chmod(temp, 0o666 & ~mask)
        os.replace(temp, target)
    except BaseException:
        os.unlink(temp)
        raise


def main(argv):
    parser = argparse.ArgumentParser(prog=PROG, description="Draws a run of quarlin-sim.")
    parser.add_argument("run", help="the run's CSV, as quarlin-sim run writes it")
    parser.add_argument("-o", "--output", required=True, help="the PNG to write")
    args = parser.parse_args(argv)
    try:
        columns = read_run(args.run)
        draw(columns, os.path.basename(args.run), args.output)
    except PlotError as e:
        print(f"{PROG}: {e}", file=sys.stderr)
        return 1
    except ImportError as e:
        print(f"{PROG}: matplotlib is not available to {sys.executable}: {e}", file=sys.stderr)
        return 1
    except OSError as e:
        print(f"{PROG}: cannot write {args.output}: {e.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
