"""Every error comes back as a Python exception, and the interpreter, and
the block where it can, goes on."""

import os
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest
import scipy.io

import quarlin
from conftest import BUILD_DIR, same_bits

GOOD = quarlin.pmsm(steps=200)


def still_works():
    return same_bits(quarlin.simulate(GOOD), quarlin.simulate(GOOD))


@pytest.mark.parametrize("module, reason", [
    ("no-such-module.mexa64", "No such file"),
    (__file__, "invalid ELF header"),
    (os.path.join(BUILD_DIR, "lib", "libmx.so"), "does not export"),
], ids=["missing", "not a library", "no entry points"])
def test_a_module_that_does_not_load(module, reason):
    for call in (lambda: quarlin.Block(module), lambda: quarlin.simulate(GOOD, module=module),
                 lambda: quarlin.sizes(module), lambda: quarlin.info(module)):
        with pytest.raises(quarlin.ModuleError, match=reason):
            call()
    # A block that never came up is a closed one.
    block = quarlin.Block.__new__(quarlin.Block)
    with pytest.raises(quarlin.ModuleError):
        block.__init__(module)
    assert block.closed and "closed" in repr(block)
    assert still_works()


machine = quarlin.pmsm(steps=4)
WRONG_INPUTS = {
    "three columns": np.zeros((4, 3)),
    "one dimension": np.zeros(4),
    "three dimensions": np.zeros((4, 4, 1)),
    "complex": np.zeros((4, 4), dtype=complex),
    "texts": np.full((4, 4), "1"),
    "objects": np.array([[object()] * 4] * 4),
    "booleans": np.ones((4, 4), dtype=bool),
    "structured without v_beta": machine[["i_alpha", "i_beta", "v_alpha"]],
    "mapping without i_alpha": {"i_beta": [0], "v_alpha": [0], "v_beta": [0]},
    "columns of two lengths": {"i_alpha": [0, 1], "i_beta": [0], "v_alpha": [0], "v_beta": [0]},
    "a column of rows": {n: np.zeros((2, 2)) for n in quarlin.INPUT_NAMES},
}


@pytest.mark.parametrize("inputs", WRONG_INPUTS.values(), ids=WRONG_INPUTS.keys())
def test_inputs_of_the_wrong_shape(inputs):
    with pytest.raises(ValueError):
        quarlin.simulate(inputs)
    with quarlin.Block() as block:
        with pytest.raises(ValueError):
            block.run(inputs)
        assert block.steps_done == 0
    with pytest.raises(ValueError):
        quarlin.Snapshot({}, step=0, state_checksum=(0, 0, 0, 0)).save(os.devnull, inputs=inputs)


def test_step_takes_four_numbers():
    with quarlin.Block() as block:
        for args in [(1.0, 2.0, 3.0), (1.0, 2.0, 3.0, "4"), (1.0, 2.0, 3.0, 4.0, 5.0)]:
            with pytest.raises(TypeError):
                block.step(*args)
        assert block.steps_done == 0


def edited(tree, path, value):
    """A copy of `tree` with the field at `path` replaced (or removed when
    `value` is None), in field order."""
    copy = {}
    for name, field in tree.items():
        if name != path[0]:
            copy[name] = field
        elif len(path) > 1:
            copy[name] = edited(field, path[1:], value)
        elif value is not None:
            copy[name] = value
    return copy


def renamed(tree, old, new):
    return {new if n == old else n: f for n, f in tree.items()}


def test_snapshots_the_block_refuses_leave_it_unchanged():
    whole = quarlin.simulate(quarlin.pmsm(steps=600))
    with quarlin.Block() as block:
        block.run(quarlin.pmsm(steps=300))
        tree = block.save().tree
        first_state = list(tree["mdlrefDW"]["rtdw"])[0]
        wrong = {
            "field missing": edited(tree, ["tNextTid"], None),
            "state of three bytes": edited(tree, ["mdlrefDW", "rtdw", first_state], np.zeros((1, 3), np.uint8)),
            "state as int32": edited(tree, ["mdlrefDW", "rtdw", first_state], np.zeros((1, 1), np.int32)),
            "task index not whole": edited(tree, ["tNextTid"], np.array([[0.5]])),
            "not a tree": np.zeros(3),
        }
        for name, bad in wrong.items():
            with pytest.raises(quarlin.SnapshotError):
                block.restore(bad)
        other_build = quarlin.Snapshot(tree, step=300, state_checksum=(1, 2, 3, 4))
        with pytest.raises(quarlin.SnapshotError, match="another build"):
            block.restore(other_build)
        assert block.steps_done == 300
        assert same_bits(block.run(quarlin.pmsm(steps=600)[300:]), whole[300:])


def test_the_block_judges_a_snapshot_by_its_content_not_its_names():
    whole = quarlin.simulate(quarlin.pmsm(steps=600))
    with quarlin.Block() as block:
        block.run(quarlin.pmsm(steps=300))
        tree = block.save().tree
    accepted = {
        "field renamed": renamed(tree, "tNext", "tLater"),
        "task index as int32": edited(tree, ["tNextTid"], np.array([[tree["tNextTid"][0, 0]]], np.int32)),
    }
    for name, variant in accepted.items():
        with quarlin.Block() as block:
            block.restore(variant)
            rest = block.run(quarlin.pmsm(steps=600)[300:])
            for column in ("angle", "speed_rpm"):
                assert same_bits(rest[column], whole[300:][column]), name


def test_files_that_are_no_snapshot(default_run, tmp_path):
    _, _, mat = default_run
    (tmp_path / "text.mat").write_text("not a MAT file at all\n" * 20)
    scipy.io.savemat(tmp_path / "other.mat", {"x": np.eye(2)})
    snapshot = quarlin.Snapshot.load(mat)
    next(iter(snapshot.tree["mdlrefDW"]["rtdw"].values()))[0, 0] ^= 1  # one bit of a state flipped
    resume = quarlin._from_mat(scipy.io.loadmat(mat, struct_as_record=False)["resume"])
    scipy.io.savemat(tmp_path / "damaged.mat", {"snapshot": snapshot.tree, "resume": resume})
    cases = {"missing.mat": OSError, "text.mat": quarlin.SnapshotError,
             "other.mat": quarlin.SnapshotError, "damaged.mat": quarlin.SnapshotError}
    for name, error in cases.items():
        with pytest.raises(error):
            quarlin.Snapshot.load(tmp_path / name)
    with pytest.raises(quarlin.SnapshotError, match="does not match its digest"):
        quarlin.Snapshot.load(tmp_path / "damaged.mat")


def test_a_snapshot_file_needs_its_inputs(tmp_path):
    with quarlin.Block() as block:
        block.run(GOOD)
        snapshot = block.save()
    with pytest.raises(ValueError, match="pmsm=... or inputs="):
        snapshot.save(tmp_path / "s.mat")
    with pytest.raises(ValueError, match="has 100 rows"):
        snapshot.save(tmp_path / "s.mat", inputs=GOOD[:100])
    with pytest.raises(TypeError):
        snapshot.save(tmp_path / "s.mat", pmsm={"speed": 3})
    assert os.listdir(tmp_path) == []


def test_a_host_error_comes_back_as_host_error():
    identifier = "Simulink:SFunctions:SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal"
    with quarlin.Block() as block:
        block.run(GOOD[:10])
        block._disconnect_input(0)  # the host's wiring of input 0 is gone
        for call in (lambda: block.step(0, 0, 0, 0), lambda: block.run(GOOD)):
            with pytest.raises(quarlin.HostError) as caught:
                call()
            assert caught.value.identifier == identifier
            assert caught.value.arguments == ("Quarlin_msp", "top/Quarlin_msp", 1.0)
            assert identifier in caught.value.text and "step 10" in str(caught.value)
    assert still_works()


def test_a_closed_block_refuses_every_call():
    block = quarlin.Block()
    block.close()
    block.close()
    assert block.closed
    for call in (lambda: block.step(0, 0, 0, 0), lambda: block.run(GOOD), lambda: block.save(),
                 lambda: block.states, lambda: block.reset()):
        with pytest.raises(ValueError, match="closed"):
            call()


@pytest.mark.parametrize("arguments", [{"ramp": -1}, {"hold": -0.1}, {"rpm": float("nan")},
                                       {"psi": float("inf")}, {"steps": -1}, {"ramp": 1e7, "hold": 1}])
def test_scenarios_that_are_no_machine(arguments):
    with pytest.raises(ValueError):
        quarlin.pmsm(**arguments)


def test_ctrl_c_stops_a_long_run_between_steps():
    # The child says "running" before each try; a signal that comes before
    # the run has taken its first step (a busy machine may delay the child)
    # makes it try again, and the parent sends another.
    script = textwrap.dedent("""
        import sys
        import numpy as np
        import quarlin
        machine = quarlin.pmsm(ramp=0.5, hold=499.5)
        block = quarlin.Block()
        while True:
            try:
                print("running", flush=True)
                block.run(machine)
                print("finished", flush=True)
                break
            except KeyboardInterrupt:
                k = block.steps_done
                if k == 0:
                    continue
                print("interrupted", k, flush=True)
                assert 0 < k < len(machine)
                rest = block.run(machine[k:k + 1000])
                whole = quarlin.simulate(machine[:k + 1000])
                assert (rest["step"] == whole["step"][k:]).all()
                assert rest.tobytes() == whole[k:].tobytes()
                print("went on", flush=True)
                break
    """)
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, env=os.environ)
    import time
    for line in child.stdout:
        if line != "running\n":
            break
        # Long enough to be inside the run, far shorter than it.
        time.sleep(0.5)
        child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=120)
    out = line + out
    assert child.returncode == 0, err
    assert out.startswith("interrupted") and out.endswith("went on\n"), out + err
