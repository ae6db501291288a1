"""simulate and Block give what quarlin-sim run gives, bit for bit."""

import numpy as np
import pytest

import quarlin
from conftest import csv_column, same_bits


def test_pmsm_gives_the_simulators_scenario(default_run):
    _, csv, _ = default_run
    machine = quarlin.pmsm()
    assert len(machine) == 8000
    for name in quarlin.INPUT_NAMES:
        assert same_bits(machine[name], csv_column(csv, name, np.float32)), name
    for name in ("true_angle", "true_speed_rpm", "time"):
        assert same_bits(machine[name], csv_column(csv, name, np.float64)), name
    assert same_bits(machine["step"], csv_column(csv, "step", np.int64))


def test_simulate_equals_quarlin_sim_run(default_run):
    _, csv, _ = default_run
    run = quarlin.simulate(quarlin.pmsm(), log_states=True)
    columns = [("step", np.int64), ("time", np.float64), ("angle", np.float32), ("speed_rpm", np.float32)]
    columns += [(n, np.float32) for n in quarlin.STATE_NAMES] + [(n, np.int8) for n in quarlin.RUN_FLAG_NAMES]
    assert list(run.dtype.names) == [n for n, _ in columns]
    for name, dtype in columns:
        assert same_bits(run[name], csv_column(csv, name, dtype)), name
    # Without the states, the same outputs.
    plain = quarlin.simulate(quarlin.pmsm())
    assert plain.dtype.names == ("step", "time", "angle", "speed_rpm")
    assert same_bits(plain[["angle", "speed_rpm"]], run[["angle", "speed_rpm"]])


def test_block_step_by_step_equals_simulate():
    machine = quarlin.pmsm(steps=3000)
    run = quarlin.simulate(machine, log_states=True)
    with quarlin.Block() as block:
        for k, row in enumerate(machine):
            angle, speed = block.step(row["i_alpha"], row["i_beta"], row["v_alpha"], row["v_beta"])
            assert (np.float32(angle), np.float32(speed)) == (run["angle"][k], run["speed_rpm"][k]), k
            assert isinstance(angle, float)
        assert block.steps_done == 3000
        # The data map after the last update shows the states the next step starts from.
        states = block.states
        rest = block.run(quarlin.pmsm()[3000:3001], log_states=True)
    whole = quarlin.simulate(quarlin.pmsm(steps=3001), log_states=True)
    assert rest["step"][0] == 3000
    assert same_bits(rest, whole[3000:])
    # Between step 3000's output and update the states are still those the
    # update of step 2999 left.
    assert list(states) == list(quarlin.STATE_NAMES + quarlin.RUN_FLAG_NAMES)
    for name, value in states.items():
        assert same_bits(np.array(value, dtype=whole.dtype[name]), whole[name][3000]), name


def test_inputs_in_every_form_give_the_same_run():
    machine = quarlin.pmsm(steps=500)
    as_array = np.stack([machine[n] for n in quarlin.INPUT_NAMES], axis=1)
    forms = {
        "structured": machine,
        "float32 (N, 4)": as_array,
        "float64 (N, 4)": as_array.astype(np.float64),
        "Fortran order": np.asfortranarray(as_array),
        "mapping of lists": {n: machine[n].tolist() for n in quarlin.INPUT_NAMES},
        "mapping with more fields": {**{n: machine[n] for n in quarlin.INPUT_NAMES}, "other": np.zeros(3)},
    }
    expected = quarlin.simulate(machine)
    for name, inputs in forms.items():
        assert same_bits(quarlin.simulate(inputs), expected), name


def test_each_value_is_rounded_once_to_binary32():
    # float64 values halfway-ish between binary32 neighbours, and integers.
    wide = np.array([[0.1, 1 / 3, 2.0 ** -149 * 0.75, 16777217]] * 4)
    narrow = wide.astype(np.float32)
    assert same_bits(quarlin.simulate(wide), quarlin.simulate(narrow))
    assert same_bits(quarlin.simulate(np.array([[1, 2, 3, 4]] * 3, dtype=np.int64)),
                     quarlin.simulate(np.array([[1, 2, 3, 4]] * 3, dtype=np.float32)))
    with quarlin.Block() as a, quarlin.Block() as b:
        assert a.step(*wide[0]) == b.step(*narrow[0].tolist())


def test_two_blocks_stepped_alternately_equal_two_separate_runs():
    first = quarlin.pmsm(rpm=1500, steps=2000)
    second = quarlin.pmsm(rpm=-900, phi0=1.0, iq=2.0, steps=2000)
    alone = [quarlin.simulate(first, log_states=True), quarlin.simulate(second, log_states=True)]
    outputs = [[], []]
    with quarlin.Block() as a, quarlin.Block() as b:
        # One step each in turn, then a hundred each in turn.
        for k in range(1000):
            for block, machine, out in ((a, first, outputs[0]), (b, second, outputs[1])):
                out.append(block.step(*(machine[n][k] for n in quarlin.INPUT_NAMES)))
        runs = [[], []]
        for k in range(1000, 2000, 100):
            runs[0].append(a.run(first[k:k + 100], log_states=True))
            runs[1].append(b.run(second[k:k + 100], log_states=True))
    for out, run, whole in zip(outputs, runs, alone):
        assert same_bits(np.array(out, dtype=np.float32), np.stack([whole["angle"], whole["speed_rpm"]], 1)[:1000])
        assert same_bits(np.concatenate(run), whole[1000:])
    assert not same_bits(alone[0]["angle"], alone[1]["angle"])


def test_reset_starts_the_states_over():
    machine = quarlin.pmsm(steps=1000)
    values = ["step", "time", "angle", "speed_rpm", *quarlin.STATE_NAMES]
    with quarlin.Block() as block:
        first = block.run(machine, log_states=True)
        block.reset()
        assert block.steps_done == 0
        again = block.run(machine, log_states=True)
    assert same_bits(again[values], first[values])
    # A system reset is not a new run: the run flags keep what they show.
    assert (again["ran1"] == 2).all()


def test_an_empty_run_is_empty():
    run = quarlin.simulate(np.zeros((0, 4)))
    assert len(run) == 0 and run.dtype.names == ("step", "time", "angle", "speed_rpm")
