"""Snapshots: taken in Python they continue in quarlin-sim, taken by
quarlin-sim they continue in Python, and through save and load they restore
as they were."""

import numpy as np

import quarlin
from conftest import csv_column, read_csv, run_sim, same_bits

AT = 4000


def test_a_quarlin_sim_snapshot_continues_in_python(default_run, tmp_path):
    _, csv, mat = default_run
    snapshot = quarlin.Snapshot.load(mat)
    assert snapshot.step == AT
    assert snapshot.resume["source"] == "pmsm" and snapshot.resume["rpm"] == 1500.0
    assert snapshot.state_checksum == tuple(quarlin.info()["state_checksum"])
    rest = quarlin.simulate(quarlin.pmsm()[AT:], snapshot=snapshot, log_states=True)
    assert rest["step"][0] == AT
    for name in rest.dtype.names:
        assert same_bits(rest[name], csv_column(csv, name, rest.dtype[name])[AT:]), name
    # Saved again from Python, the file still continues in quarlin-sim.
    snapshot.save(tmp_path / "again.mat")
    run_sim("run", "--restore", "again.mat", "--log-states", "--output", "rest.csv", cwd=tmp_path)
    assert read_csv(tmp_path / "rest.csv")[1] == read_csv(csv)[1][AT:]


def test_a_python_snapshot_continues_in_quarlin_sim_on_the_scenario(default_run, tmp_path):
    _, csv, _ = default_run
    with quarlin.Block() as block:
        block.run(quarlin.pmsm()[:AT])
        block.save().save(tmp_path / "py.mat", pmsm={"rpm": 1500})
    run_sim("run", "--restore", "py.mat", "--log-states", "--output", "rest.csv", cwd=tmp_path)
    assert read_csv(tmp_path / "rest.csv")[1] == read_csv(csv)[1][AT:]


def test_a_python_snapshot_continues_in_quarlin_sim_on_measured_inputs(tmp_path):
    # Inputs of no scenario, handed to quarlin-sim as CSV.
    rng = np.random.default_rng(15)
    inputs = rng.normal(0, 3, size=(2500, 4)).astype(np.float32)
    with open(tmp_path / "in.csv", "w") as f:
        f.write("i_alpha,i_beta,v_alpha,v_beta\n")
        f.writelines(",".join(repr(float(v)) for v in row) + "\n" for row in inputs)
    with quarlin.Block() as block:
        block.run(inputs[:1200])
        snapshot = block.save()
    snapshot.save(tmp_path / "py.mat", inputs=inputs)
    run_sim("run", "--input", "in.csv", "--output", "whole.csv", "--log-states", cwd=tmp_path)
    run_sim("run", "--input", "in.csv", "--restore", "py.mat", "--output", "rest.csv", "--log-states", cwd=tmp_path)
    assert read_csv(tmp_path / "rest.csv")[1] == read_csv(tmp_path / "whole.csv")[1][1200:]
    # The CSV held the inputs exactly.
    assert same_bits(csv_column(tmp_path / "whole.csv", "v_beta", np.float32), inputs[:, 3])


def test_save_and_load_restore_identically(tmp_path):
    machine = quarlin.pmsm()
    whole = quarlin.simulate(machine, log_states=True)
    with quarlin.Block() as block:
        block.run(machine[:AT])
        taken = block.save()
        block.run(machine[AT:AT + 500])  # moves on, then goes back
        taken.save(tmp_path / "s.mat", pmsm={})
        loaded = quarlin.Snapshot.load(tmp_path / "s.mat")
        assert loaded == taken
        assert list(loaded.tree) == list(taken.tree)
        assert list(loaded.tree["mdlrefDW"]["rtdw"]) == list(taken.tree["mdlrefDW"]["rtdw"])
        block.restore(loaded)
        assert block.steps_done == AT
        assert same_bits(block.run(machine[AT:], log_states=True), whole[AT:])
        # In memory, without a file, the same.
        block.restore(taken)
        assert same_bits(block.run(machine[AT:], log_states=True), whole[AT:])


def test_the_tree_holds_the_modules_field_names_and_bytes():
    with quarlin.Block() as block:
        block.run(quarlin.pmsm()[:10])
        snapshot = block.save()
        states = block.states
    tree = snapshot.tree
    assert list(tree) == ["localX", "mdlrefDW", "disallowedStateData", "tNext", "tNextTid",
                          "nonContDerivSigInfoPrevVal"]
    assert tree["localX"].shape == (0, 0) and tree["tNext"].dtype == np.float64
    rtdw = tree["mdlrefDW"]["rtdw"]
    assert all(name.startswith("mdlrefDW->rtdw.") and name.endswith("_prot") for name in rtdw)
    # The seven states' bytes are the binary32 values the data map shows.
    state_bytes = b"".join(v.tobytes() for v in list(rtdw.values())[:7])
    assert sorted(np.frombuffer(state_bytes, dtype=np.float32).tolist()) == \
        sorted(float(states[n]) for n in quarlin.STATE_NAMES)
