"""Draws a run of quarlin-sim (angle, speed and tracking error over time),
or a sweep (the envelope: final speed x flux linkage, coloured by class).

usage: quarlin_plot.py RUN.csv -o RUN.png
       quarlin_plot.py SWEEP.csv -o SWEEP.png

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


def read_csv(path):
    try:
        with open(path, newline="") as f:
            rows = list(csv.reader(f))
    except OSError as e:
        raise PlotError(f"cannot read {path}: {e.strerror}")
    except (UnicodeDecodeError, csv.Error) as e:
        raise PlotError(f"{path} is not a CSV file: {e}")
    if not rows:
        raise PlotError(f"{path} is empty")
    return [name.strip() for name in rows[0]], rows


def read_run(path, header, rows):
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


SWEEP_COLUMNS = ["rpm", "psi", "iq", "ramp", "class", "angle_error"]
CLASSES = {
    # class: (legend, colour map for the angle error or a fixed colour)
    "tracks": ("tracks", "Greens"),
    "loses-lock": ("loses lock", "Oranges"),
    "diverges": ("diverges (an output became non-finite)", "#5b1a8a"),
}
# Angle errors are shaded on a log scale over this range, rad.
ERROR_RANGE = (1e-4, math.pi)


def read_sweep(path, header, rows):
    missing = [name for name in SWEEP_COLUMNS if name not in header]
    if missing:
        raise PlotError(f"{path} has no column {missing[0]} (is it a sweep of quarlin-sim?)")
    index = {name: header.index(name) for name in SWEEP_COLUMNS}
    cells = []
    for line, row in enumerate(rows[1:], start=2):
        if not row:
            continue
        if len(row) < len(header):
            raise PlotError(f"{path} line {line}: the row is short")
        cell = {}
        for name in ("rpm", "psi", "iq", "ramp"):
            try:
                cell[name] = float(row[index[name]])
            except ValueError:
                raise PlotError(f"{path} line {line}, column {name}: {row[index[name]]!r} is not a number")
        cell["class"] = row[index["class"]]
        if cell["class"] not in CLASSES:
            raise PlotError(f"{path} line {line}: {cell['class']!r} is not a class of a sweep")
        error = row[index["angle_error"]]
        try:
            cell["angle_error"] = float(error) if error else None
        except ValueError:
            raise PlotError(f"{path} line {line}, column angle_error: {error!r} is not a number")
        cells.append(cell)
    if not cells:
        raise PlotError(f"{path} has no cells to draw")
    return cells


def shade_maps():
    """Each class's colour map, cut so that the smallest error is still a clear colour."""
    import matplotlib
    import numpy as np
    from matplotlib.colors import ListedColormap

    maps = {}
    for name, (_, colours) in CLASSES.items():
        if colours.startswith("#"):
            continue
        maps[name] = ListedColormap(matplotlib.colormaps[colours](np.linspace(0.3, 1.0, 256)))
    return maps


def draw_sweep(cells, out_path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np
    from matplotlib.cm import ScalarMappable
    from matplotlib.colors import LogNorm, to_rgba
    from matplotlib.patches import Patch

    rpms = sorted({c["rpm"] for c in cells})
    psis = sorted({c["psi"] for c in cells})
    # One panel per value of the further swept parameters, in grid order.
    panels = []
    for c in cells:
        if (c["iq"], c["ramp"]) not in panels:
            panels.append((c["iq"], c["ramp"]))
    iq_varies = len({p[0] for p in panels}) > 1
    ramp_varies = len({p[1] for p in panels}) > 1

    norm = LogNorm(*ERROR_RANGE, clip=True)
    maps = shade_maps()
    columns = min(3, len(panels))
    rows = -(-len(panels) // columns)
    width = max(7.0, min(22.0, columns * (2.5 + 0.32 * len(rpms))))
    height = rows * (1.6 + 0.38 * len(psis)) + 2.2
    fig, axes = plt.subplots(rows, columns, figsize=(width, height), squeeze=False)
    fig.suptitle("Operating envelope: the pmsm scenario's cells, judged over the last 0.1 s of each run")

    for n, (iq, ramp) in enumerate(panels):
        ax = axes[n // columns][n % columns]
        picture = np.ones((len(psis), len(rpms), 4))
        picture[:, :, :3] = 0.85  # no cell here
        for c in cells:
            if (c["iq"], c["ramp"]) != (iq, ramp):
                continue
            y, x = psis.index(c["psi"]), rpms.index(c["rpm"])
            legend, colours = CLASSES[c["class"]]
            if c["class"] in maps and c["angle_error"] is not None:
                picture[y, x] = maps[c["class"]](norm(c["angle_error"]))
            else:
                picture[y, x] = to_rgba(colours if colours.startswith("#") else maps[c["class"]](1.0))
        ax.imshow(picture, origin="lower", aspect="auto", interpolation="nearest")
        ax.set_xticks(range(len(rpms)))
        ax.set_xticklabels([f"{r:g}" for r in rpms], rotation=90 if len(rpms) > 8 else 0, fontsize="small")
        ax.set_yticks(range(len(psis)))
        ax.set_yticklabels([f"{p:g}" for p in psis], fontsize="small")
        ax.set_xlabel("final speed [rpm]")
        ax.set_ylabel("flux linkage psi [V·s]")
        parts = []
        if iq_varies or not ramp_varies:
            parts.append(f"iq = {iq:g} A")
        if ramp_varies or not iq_varies:
            parts.append(f"ramp {ramp:g} s")
        ax.set_title(", ".join(parts), fontsize="medium")
    for n in range(len(panels), rows * columns):
        axes[n // columns][n % columns].axis("off")

    handles = [Patch(color=to_rgba(colours) if colours.startswith("#") else maps[name](0.6), label=legend)
               for name, (legend, colours) in CLASSES.items()]
    fig.legend(handles=handles, loc="lower left", ncol=3, fontsize="small", frameon=False,
               bbox_to_anchor=(0.01, 0.0))
    fig.tight_layout(rect=(0, 0.07, 0.82, 0.96))
    # One bar per shaded class, on the same scale: darker is a larger error.
    for k, name in enumerate(maps):
        bar = fig.add_axes((0.84 + k * 0.06, 0.15, 0.016, 0.7))
        colourbar = fig.colorbar(ScalarMappable(norm=norm, cmap=maps[name]), cax=bar)
        colourbar.ax.tick_params(labelsize="x-small")
        colourbar.ax.set_title(CLASSES[name][0], fontsize="x-small")
        if k + 1 < len(maps):
            colourbar.ax.set_yticklabels([], minor=False)
            colourbar.ax.set_yticklabels([], minor=True)
    colourbar.set_label("largest angle error over the last 0.1 s [rad]", fontsize="small")

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
    parser.add_argument("run", help="the CSV of a run or a sweep, as quarlin-sim writes it")
    parser.add_argument("-o", "--output", required=True, help="the PNG to write")
    args = parser.parse_args(argv)
    try:
        header, rows = read_csv(args.run)
        if "class" in header:
            draw_sweep(read_sweep(args.run, header, rows), args.output)
        else:
            draw(read_run(args.run, header, rows), os.path.basename(args.run), args.output)
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
