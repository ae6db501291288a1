"""The Quarlin_msp block as a numpy function.

The compiled block runs on the project's host engine, exactly as
``quarlin-sim`` runs it: the same module, the same engine, the same bits.
Inputs go in as arrays, a structured array comes out::

    import quarlin
    machine = quarlin.pmsm(rpm=1500)            # the synthetic machine's inputs
    run = quarlin.simulate(machine)             # one call, the loop runs in C++
    run["angle"], run["speed_rpm"]              # binary32 outputs per step

For test benches that feed back, :class:`Block` steps one sample at a time;
:class:`Snapshot` saves and restores the block's simulation state, also to
MAT files that ``quarlin-sim`` and GNU Octave read.

The block steps every 1e-4 s in single precision: every input value is
rounded to binary32 before the block sees it.
"""

import os

import numpy as np

from . import _quarlin
from ._errors import BlockError, HostError, ModuleError, QuarlinError, SnapshotError

__all__ = [
    "simulate", "Block", "Snapshot", "pmsm", "sizes", "info", "default_module_path",
    "QuarlinError", "ModuleError", "BlockError", "HostError", "SnapshotError",
    "INPUT_NAMES", "OUTPUT_NAMES", "STATE_NAMES", "RUN_FLAG_NAMES", "STEP_SECONDS",
]

INPUT_NAMES = ("i_alpha", "i_beta", "v_alpha", "v_beta")
"""The block's inputs in port order: currents (A) and voltages (V), alpha and beta."""
OUTPUT_NAMES = ("angle", "speed_rpm")
"""The block's outputs in port order: electrical angle in [0, 2*pi] (rad), speed (rev/min)."""
STATE_NAMES = tuple(f"x{i}" for i in range(7))
"""The seven states as the data map lists them, named as quarlin-sim names them."""
RUN_FLAG_NAMES = ("ran0", "ran1", "ran2")
"""The three run flags as the data map lists them."""
STEP_SECONDS = _quarlin.STEP_SECONDS
"""The block's step: 1e-4 s."""

_PMSM_DEFAULTS = {"rpm": 1500.0, "ramp": 0.5, "hold": 0.3, "psi": 0.01, "iq": 1.0, "phi0": 0.0}


def default_module_path():
    """The module the package loads unless told otherwise: Quarlin_msp.mexa64
    in the library directory two levels above the package."""
    here = os.path.dirname(os.path.abspath(_quarlin.__file__))
    return os.path.normpath(os.path.join(here, "..", "..", "Quarlin_msp.mexa64"))


def _module_path(module):
    return default_module_path() if module is None else os.fspath(module)


def _column(values, name):
    column = np.asarray(values)
    if column.ndim != 1:
        raise ValueError(f"input {name} must be one value per step, not an array of shape {column.shape}")
    return column


def _check_real(dtype, what):
    if not np.issubdtype(dtype, np.number) or np.issubdtype(dtype, np.complexfloating):
        raise ValueError(f"{what} must be real numbers, not {dtype}")


def _inputs_array(inputs):
    """The inputs as an (N, 4) C-contiguous binary32 array, each value rounded
    once from its own type."""
    if isinstance(inputs, np.ndarray) and inputs.dtype.names is not None:
        missing = [n for n in INPUT_NAMES if n not in inputs.dtype.names]
        if missing:
            raise ValueError(f"the structured inputs lack the field(s) {', '.join(missing)}")
        columns = [_column(inputs[n], n) for n in INPUT_NAMES]
    elif not isinstance(inputs, np.ndarray) and hasattr(inputs, "keys") and hasattr(inputs, "__getitem__"):
        missing = [n for n in INPUT_NAMES if n not in inputs.keys()]
        if missing:
            raise ValueError(f"the inputs lack the field(s) {', '.join(missing)}")
        columns = [_column(inputs[n], n) for n in INPUT_NAMES]
    else:
        array = np.asarray(inputs)
        if array.ndim != 2 or array.shape[1] != 4:
            raise ValueError(f"inputs must have the shape (N, 4) (i_alpha, i_beta, v_alpha, v_beta), "
                             f"not {array.shape}")
        _check_real(array.dtype, "inputs")
        return np.ascontiguousarray(array, dtype=np.float32)
    rows = len(columns[0])
    for name, column in zip(INPUT_NAMES, columns):
        _check_real(column.dtype, f"input {name}")
        if len(column) != rows:
            raise ValueError(f"input {name} has {len(column)} values, {INPUT_NAMES[0]} has {rows}")
    out = np.empty((rows, 4), dtype=np.float32)
    for j, column in enumerate(columns):
        out[:, j] = column
    return out


def _run_dtype(log_states):
    fields = [("step", np.int64), ("time", np.float64), ("angle", np.float32), ("speed_rpm", np.float32)]
    if log_states:
        fields += [(n, np.float32) for n in STATE_NAMES] + [(n, np.int8) for n in RUN_FLAG_NAMES]
    return np.dtype(fields)


def _times(steps):
    # The double nearest to the decimal time of step k, as quarlin-sim writes it.
    return steps.astype(np.float64) / _quarlin.STEPS_PER_SECOND


class Block(_quarlin.BlockCore):
    """One block instance, bound and set up through system initialize, ready to step.

    ``Block(module=None)`` loads the module (default: :func:`default_module_path`)
    and makes a block on it.  Several blocks are independent of each other.
    Close a block with :meth:`close` or use it as a context manager; a block
    that is garbage-collected is terminated too.

    Raises ModuleError when the module does not load, HostError or BlockError
    when the block refuses its bind or set-up.
    """

    def __init__(self, module=None):
        super().__init__()
        self._open(_module_path(module))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __repr__(self):
        if self.closed:
            return "<quarlin.Block, closed>"
        return f"<quarlin.Block on {self.module_path}, at step {self.steps_done}>"

    @property
    def steps_done(self):
        """Steps run since set-up or reset, counting from a restored snapshot's step."""
        return self._step

    def run(self, inputs, *, log_states=False):
        """Runs one step per row of ``inputs`` and returns the run.

        ``inputs``: an (N, 4) array (i_alpha, i_beta, v_alpha, v_beta), or a
        structured array or mapping with those four fields; any real dtype,
        each value rounded to binary32.

        Returns a structured array of N rows with ``step``, ``time`` (s),
        ``angle`` and ``speed_rpm`` (float32); with ``log_states`` also the
        states x0..x6 (float32) and run flags ran0..ran2 (int8), read through
        the data map between each step's output and update, as quarlin-sim
        logs them.  Ctrl-C stops the run between two steps and raises
        KeyboardInterrupt; the block stays usable, after the steps it ran.
        """
        array = _inputs_array(inputs)
        first = self.steps_done
        outputs, states, flags = self._run(array, bool(log_states))
        run = np.empty(len(array), dtype=_run_dtype(log_states))
        run["step"] = np.arange(first, first + len(array), dtype=np.int64)
        run["time"] = _times(run["step"])
        run["angle"] = outputs[:, 0]
        run["speed_rpm"] = outputs[:, 1]
        if log_states:
            for i, name in enumerate(STATE_NAMES):
                run[name] = states[:, i]
            for i, name in enumerate(RUN_FLAG_NAMES):
                run[name] = flags[:, i]
        return run

    @property
    def states(self):
        """The states x0..x6 (numpy.float32) and run flags ran0..ran2 (int),
        read through the block's data map, in the map's order."""
        states, flags = self._states()
        values = {name: np.float32(v) for name, v in zip(STATE_NAMES, states)}
        values.update({name: int(v) for name, v in zip(RUN_FLAG_NAMES, flags)})
        return values

    def reset(self):
        """System reset: the block's states go back to their initial values and
        :attr:`steps_done` to 0.  The run flags keep what they show: the
        block is reset, not set up anew."""
        self._reset()

    def save(self):
        """The block's simulation state now, as a :class:`Snapshot`."""
        return Snapshot(self._save(), step=self.steps_done, state_checksum=self._checksum)

    def restore(self, snapshot):
        """Restores a :class:`Snapshot` (or a bare tree of nested dicts) into
        the block and continues from its step.

        Raises SnapshotError when the snapshot is of another build of the
        module or not of the shape this block's snapshots have; the block is
        then unchanged.
        """
        if isinstance(snapshot, Snapshot):
            if snapshot.state_checksum is not None and tuple(snapshot.state_checksum) != tuple(self._checksum):
                raise SnapshotError(
                    f"{snapshot.source_name} was saved by another build of the module (state checksum "
                    f"{snapshot.state_checksum[0]:#010x}..., this module's is {self._checksum[0]:#010x}...)")
            tree, step, source = snapshot.tree, snapshot.step, snapshot.source_name
        else:
            tree, step, source = snapshot, 0, "the snapshot"
        self._restore(tree, source)
        self._step = step

    def close(self):
        """Terminates the block and releases it; a closed block refuses every
        call.  Closing twice does nothing."""
        self._close()


class Snapshot:
    """A block's simulation state.

    ``tree`` is the block's tree as nested dicts (field names exactly as the
    module made them) of 2-D numpy arrays: uint8 byte rows, float64 scalars
    and (0, 0) float64 arrays for empty fields, as the block makes them; a
    tree handed back may hold other real numeric arrays, which the block
    judges when it restores them.  ``step`` is the number of
    steps the block had run, ``state_checksum`` the module's four state
    checksum words.

    Snapshots cross between quarlin-sim, Python and GNU Octave as MAT files
    (level 5): :meth:`save` and :meth:`load`.  ``resume`` holds what
    quarlin-sim needs to continue a run from the file: ``{"source": "pmsm",
    "phase": ..., "rpm": ..., ...}`` or ``{"source": "csv", "input_digest":
    ...}``; None for a snapshot taken in Python until it is saved.
    """

    def __init__(self, tree, *, step=0, state_checksum=None, resume=None, source_name="the snapshot"):
        self.tree = tree
        self.step = int(step)
        self.state_checksum = None if state_checksum is None else tuple(int(w) for w in state_checksum)
        self.resume = resume
        self.source_name = source_name

    def __repr__(self):
        return f"<quarlin.Snapshot at step {self.step}>"

    def __eq__(self, other):
        if not isinstance(other, Snapshot):
            return NotImplemented
        return (self.step == other.step and self.state_checksum == other.state_checksum
                and _same_tree(self.tree, other.tree))

    @classmethod
    def load(cls, path):
        """Reads a snapshot file written by quarlin-sim, by :meth:`save` or by
        anything that keeps their layout.

        Raises SnapshotError when the file is not a snapshot file or is
        damaged (its digest does not match its content); OSError when it
        cannot be read.
        """
        import scipy.io
        path = os.fspath(path)
        try:
            variables = scipy.io.loadmat(path, appendmat=False, struct_as_record=False, squeeze_me=False,
                                         chars_as_strings=True, variable_names=["snapshot", "resume"])
        except (ValueError, TypeError, NotImplementedError, scipy.io.matlab.MatReadError) as error:
            raise SnapshotError(f"{path} is not a MAT file (level 5): {error}") from None
        for name in ("snapshot", "resume"):
            if name not in variables:
                raise SnapshotError(f"{path} is not a quarlin-sim snapshot: it has no variable \"{name}\"")
        tree = _from_mat(variables["snapshot"])
        info = _from_mat(variables["resume"])
        if not isinstance(info, dict) or info.get("format") != _quarlin.SNAPSHOT_FORMAT:
            raise SnapshotError(f"{path} is not a quarlin-sim snapshot: \"resume.format\" is not "
                                f"\"{_quarlin.SNAPSHOT_FORMAT}\"")
        if not isinstance(tree, dict):
            raise SnapshotError(f"{path} is damaged: \"snapshot\" is not a struct")
        names = list(info)
        if not names or names[-1] != "digest" or not isinstance(info["digest"], str):
            raise SnapshotError(f"{path} is damaged: it has no resume.digest")
        covered = {n: info[n] for n in names[:-1]}
        if info["digest"] != _quarlin._snapshot_digest(tree, covered):
            raise SnapshotError(f"{path} is damaged: its content does not match its digest")
        step = _whole(info.get("step"), 2.0 ** 53, f"{path} is damaged: resume.step is not a step count")
        checksum = info.get("state_checksum")
        if not isinstance(checksum, np.ndarray) or checksum.size != 4:
            raise SnapshotError(f"{path} is damaged: resume.state_checksum is not four numbers")
        words = [_whole(w, 2.0 ** 32 - 1, f"{path} is damaged: resume.state_checksum is not four 32-bit words")
                 for w in checksum.ravel(order="F")]
        resume = {n: (v if isinstance(v, str) else float(np.asarray(v).ravel()[0]))
                  for n, v in covered.items() if n not in ("format", "step", "state_checksum")}
        return cls(tree, step=step, state_checksum=words, resume=resume, source_name=path)

    def save(self, path, *, step=None, inputs=None, pmsm=None):
        """Writes the snapshot to a MAT file (level 5) in quarlin-sim's layout.

        ``step``: the steps done when the snapshot was taken (default:
        :attr:`step`).  What quarlin-sim needs to continue the run: either
        ``pmsm``, a dict of :func:`pmsm` arguments (the block ran that
        scenario from step 0), or ``inputs``, the inputs the block ran on from
        step 0 (at least ``step`` rows; quarlin-sim continues with ``run
        --restore FILE --input`` the same inputs as CSV).  A snapshot loaded
        from a file keeps its own.

        The file appears complete or not at all.
        """
        import scipy.io
        step = self.step if step is None else int(step)
        if step < 0:
            raise ValueError("step must not be negative")
        if pmsm is not None and inputs is not None:
            raise ValueError("give either pmsm or inputs, not both")
        if pmsm is not None:
            unknown = set(pmsm) - set(_PMSM_DEFAULTS)
            if unknown:
                raise TypeError(f"pmsm has no parameter(s) {', '.join(sorted(unknown))}")
            params = {**_PMSM_DEFAULTS, **{k: float(v) for k, v in pmsm.items()}}
            resume = {"source": "pmsm", "phase": _quarlin._pmsm_phase(**params, step=step), **params}
        elif inputs is not None:
            array = _inputs_array(inputs)
            if len(array) < step:
                raise ValueError(f"inputs has {len(array)} rows; the snapshot was taken after {step} steps")
            resume = {"source": "csv", "input_digest": _quarlin._input_digest(array, step)}
        elif self.resume is not None and step == self.step:
            resume = self.resume
        else:
            raise ValueError("say what the block ran on before this snapshot, pmsm=... or inputs=..., "
                             "so that quarlin-sim can continue the run")
        if self.state_checksum is None:
            raise ValueError("the snapshot has no state checksum; take it with Block.save()")
        info = {"format": _quarlin.SNAPSHOT_FORMAT, "step": np.array([[float(step)]]),
                "state_checksum": np.array([[float(w) for w in self.state_checksum]]),
                "source": resume["source"]}
        for name, value in resume.items():
            if name != "source":
                info[name] = value if isinstance(value, str) else np.array([[float(value)]])
        info["digest"] = _quarlin._snapshot_digest(self.tree, info)
        path = os.fspath(path)
        temporary = f"{path}.tmp{os.getpid()}"
        try:
            scipy.io.savemat(temporary, {"snapshot": self.tree, "resume": info}, appendmat=False, format="5",
                             do_compression=False, oned_as="row")
            os.replace(temporary, path)
        finally:
            if os.path.exists(temporary):
                os.remove(temporary)


def _whole(value, largest, problem):
    try:
        number = float(np.asarray(value).ravel()[0])
    except (TypeError, ValueError, IndexError):
        raise SnapshotError(problem) from None
    if not (0 <= number <= largest) or number != int(number):
        raise SnapshotError(problem)
    return int(number)


def _from_mat(value):
    """A value scipy.io read, as a snapshot tree: structs as dicts in field order."""
    import scipy.io.matlab
    if isinstance(value, np.ndarray) and value.dtype == object and value.size == 1:
        value = value.flat[0]
    if isinstance(value, scipy.io.matlab.mat_struct):
        return {name: _from_mat(getattr(value, name)) for name in value._fieldnames}
    if isinstance(value, np.ndarray) and value.dtype.kind == "U":
        return "".join(value.ravel().tolist())
    return value


def _same_tree(a, b):
    if isinstance(a, dict) or isinstance(b, dict):
        return (isinstance(a, dict) and isinstance(b, dict) and list(a) == list(b)
                and all(_same_tree(a[k], b[k]) for k in a))
    if isinstance(a, str) or isinstance(b, str):
        return a == b
    a, b = np.asarray(a), np.asarray(b)
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


def simulate(inputs, *, snapshot=None, log_states=False, module=None):
    """Runs one block over ``inputs`` and returns the run as a structured array.

    ``inputs``: an (N, 4) array (i_alpha, i_beta, v_alpha, v_beta), or a
    structured array or mapping with those four fields (any real dtype, each
    value rounded to binary32), e.g. the result of :func:`pmsm`.
    ``snapshot``: a :class:`Snapshot` to start from; steps are then counted
    from its step.  ``log_states``: add the states x0..x6 and run flags
    ran0..ran2.  ``module``: the module's path (default:
    :func:`default_module_path`).

    Returns the fields ``step``, ``time``, ``angle``, ``speed_rpm`` (and the
    states), one row per input row, bit for bit what ``quarlin-sim run``
    gives on the same inputs.  The loop runs in C++; Ctrl-C stops it between
    steps and raises KeyboardInterrupt.
    """
    array = _inputs_array(inputs)
    with Block(module) as block:
        if snapshot is not None:
            block.restore(snapshot)
        return block.run(array, log_states=log_states)


def pmsm(rpm=1500.0, ramp=0.5, hold=0.3, psi=0.01, iq=1.0, phi0=0.0, *, steps=None):
    """The synthetic machine quarlin-sim runs by default, as a structured array.

    A surface-magnet machine with the model's constants ramps from standstill
    to ``rpm`` (mechanical, rev/min) in ``ramp`` s, holds it for ``hold`` s,
    with flux linkage ``psi`` (V*s), torque current ``iq`` (A) and electrical
    angle ``phi0`` (rad) at step 0.  ``steps`` defaults to (ramp+hold)/1e-4.

    Fields: ``step``, ``time``, the four inputs ``i_alpha``, ``i_beta``,
    ``v_alpha``, ``v_beta`` (float32, as the block gets them), and the
    machine's ``true_angle`` (rad, wrapped into [0, 2*pi)) and
    ``true_speed_rpm`` (float64): the same numbers as quarlin-sim's scenario.
    """
    if steps is not None and int(steps) < 0:
        raise ValueError("steps must not be negative")
    inputs, angle, speed = _quarlin._pmsm(float(rpm), float(ramp), float(hold), float(psi), float(iq),
                                          float(phi0), -1 if steps is None else int(steps))
    fields = [("step", np.int64), ("time", np.float64)] + [(n, np.float32) for n in INPUT_NAMES]
    fields += [("true_angle", np.float64), ("true_speed_rpm", np.float64)]
    machine = np.empty(len(inputs), dtype=fields)
    machine["step"] = np.arange(len(inputs), dtype=np.int64)
    machine["time"] = _times(machine["step"])
    for j, name in enumerate(INPUT_NAMES):
        machine[name] = inputs[:, j]
    machine["true_angle"] = angle
    machine["true_speed_rpm"] = speed
    return machine


def sizes(module=None):
    """The host's command-line sizes query (no block record, flag 0): the 40
    elements of its result as a list of numbers, as ``quarlin-sim sizes``
    shows them."""
    return _quarlin._sizes(_module_path(module))


def info(module=None):
    """What the module declares, as ``quarlin-sim info`` shows it, as a dict:
    ``module``, ``release_stamp``, ``interface_version``, ``inputs`` and
    ``outputs`` (port dicts), ``sample_times`` ((period, offset) pairs),
    ``model_information`` (model and entries, or None), ``state_checksum``
    (four words) and ``states`` (the data map's states with their initial
    values)."""
    return _quarlin._info(_module_path(module))
