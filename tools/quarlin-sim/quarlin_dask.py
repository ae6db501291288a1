"""Runs the cells of a quarlin-sim sweep on a Dask cluster.

usage: quarlin_dask.py --scheduler ADDRESS --cells-file FILE -- WORKER COMMAND...

quarlin-sim sweep --dask starts this script with Debian's /usr/bin/python3.
FILE holds one cell a line ("rpm,psi,iq,ramp"), in grid order.  The cells
are cut into batches of consecutive cells, a few per thread of the cluster
and at least MIN_BATCH each, so that scheduling costs little beside the
stepping.  Each batch is one task: a Dask worker runs WORKER COMMAND with
"--cells" and the batch's cells added (quarlin-sim sweep itself, so a cell
is run and classified there exactly as on the local machine) and returns
what it wrote.  As each task completes, its output goes to standard output
after a line "@ FIRST COUNT" (FIRST counts cells from 0).  Any failure is
one line on stderr and exit status 1.
"""

import argparse
import sys

PROG = "quarlin_dask"
BATCHES_PER_THREAD = 4
MIN_BATCH = 8
# A batch is one command line: 256 cells are about 10 kB of it.
MAX_BATCH = 256
CONNECT_TIMEOUT = "20s"
# A cluster without workers would hold the tasks for ever.
WORKER_TIMEOUT = 60
# Seconds a closing client waits for the scheduler.
CLOSE_TIMEOUT = 10


class DaskError(Exception):
    pass


def run_batch(argv):
    """Runs on a Dask worker: the worker command over one batch."""
    import socket
    import subprocess

    try:
        done = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    except OSError as e:
        return 127, "", f"cannot run {argv[0]} on {socket.gethostname()}: {e.strerror}"
    return done.returncode, done.stdout, done.stderr


def read_cells(path):
    try:
        with open(path) as f:
            cells = [line.strip() for line in f if line.strip()]
    except OSError as e:
        raise DaskError(f"cannot read {path}: {e.strerror}")
    if not cells:
        raise DaskError(f"{path} holds no cells")
    return cells


def batches(cells, threads):
    size = -(-len(cells) // max(1, threads * BATCHES_PER_THREAD))
    size = min(MAX_BATCH, max(MIN_BATCH, size))
    return [(first, cells[first:first + size]) for first in range(0, len(cells), size)]


def last_line(text):
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[-1].strip() if lines else ""


def run(scheduler, cells, command):
    try:
        from distributed import Client, as_completed
    except ImportError as e:
        raise DaskError(f"Dask's distributed is not available to {sys.executable}: {e}")
    try:
        client = Client(scheduler, timeout=CONNECT_TIMEOUT)
    except (OSError, TimeoutError, ValueError) as e:
        raise DaskError(f"cannot reach the Dask scheduler at {scheduler}: {e}")
    # The client is closed whatever happened; a close that times out on a
    # busy machine must not hide what the sweep has to say.
    try:
        try:
            client.wait_for_workers(1, timeout=WORKER_TIMEOUT)
        except TimeoutError:
            raise DaskError(f"no Dask worker joined the scheduler at {scheduler} within {WORKER_TIMEOUT} s")
        threads = sum(client.nthreads().values())
        work = batches(cells, threads)
        futures = {}
        for first, batch in work:
            argv = command + ["--cells", ";".join(batch)]
            futures[client.submit(run_batch, argv, pure=False)] = (first, batch)
        for future in as_completed(futures):
            first, batch = futures[future]
            try:
                status, out, err = future.result()
            except Exception as e:
                raise DaskError(f"the batch from cell {first + 1} failed on the cluster: {e}")
            if status != 0:
                why = last_line(err) or f"exit status {status}"
                if why.startswith("quarlin-sim: "):
                    why = why[len("quarlin-sim: "):]
                raise DaskError(f"cells {first + 1} to {first + len(batch)}: {why}")
            sys.stdout.write(f"@ {first} {len(batch)}\n{out}")
            sys.stdout.flush()
    finally:
        try:
            client.close(timeout=CLOSE_TIMEOUT)
        except Exception:
            pass


def main(argv):
    parser = argparse.ArgumentParser(prog=PROG, description="Runs quarlin-sim sweep cells on a Dask cluster.")
    parser.add_argument("--scheduler", required=True, help="the scheduler's address, tcp://host:port")
    parser.add_argument("--cells-file", required=True, help="one cell a line: rpm,psi,iq,ramp")
    parser.add_argument("command", nargs=argparse.REMAINDER, help="-- the worker command without its cells")
    args = parser.parse_args(argv)
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("the worker command is missing")
    try:
        run(args.scheduler, read_cells(args.cells_file), command)
    except DaskError as e:
        print(f"{PROG}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
