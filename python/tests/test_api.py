"""sizes and info say what quarlin-sim says; every public name is
documented; the installed package runs where cmake --install puts it."""

import inspect
import os
import subprocess
import sys

import numpy as np

import quarlin
from conftest import BUILD_DIR, run_sim, same_bits


def test_sizes_are_quarlin_sims(tmp_path):
    shown = run_sim("sizes", cwd=tmp_path).stdout.splitlines()
    assert [f"{i} {v}" for i, v in enumerate(quarlin.sizes())] == shown


def test_info_is_quarlin_sims(tmp_path):
    shown = run_sim("info", cwd=tmp_path).stdout.splitlines()
    info = quarlin.info()
    assert info["module"] == quarlin.default_module_path()
    assert f"module: {os.path.realpath(info['module'])}" in shown
    assert f"mexfilerequiredapiversion: {info['release_stamp']} {info['interface_version']}" in shown
    assert [p["name"] for p in info["inputs"]] == list(quarlin.INPUT_NAMES)
    assert [p["name"] for p in info["outputs"]] == list(quarlin.OUTPUT_NAMES)
    for i, port in enumerate(info["inputs"]):
        assert (f"  {i} {port['name']:<9} width {port['width']}, type {port['type_id']} ({port['type']}), "
                f"direct feedthrough {int(port['direct_feedthrough'])}") in shown
    assert info["sample_times"] == [(1e-4, 0.0), (float("inf"), 0.0)]
    table = info["model_information"]
    assert f"model information: {len(table['entries'])} entries, model {table['model']}" in shown
    first = table["entries"][0]
    assert any(line.split()[-2:] == [first["identifier"], first["owner"]] for line in shown)
    assert "state checksum: " + " ".join(f"0x{w:08X}" for w in info["state_checksum"]) in shown
    assert f"data map states: {len(info['states'])}" in shown
    for state in info["states"]:
        assert any(line.startswith(f"  {state['name']} address {state['address']}  "
                                   f"{state['block_path']}/{state['state']}  {state['type']}") for line in shown)


def test_every_public_name_is_documented():
    assert quarlin.__doc__
    undocumented = []
    for name in quarlin.__all__:
        value = getattr(quarlin, name)
        if inspect.isclass(value) or callable(value):
            if not inspect.getdoc(value):
                undocumented.append(name)
        if inspect.isclass(value) and value.__module__.startswith("quarlin"):
            for member, attribute in inspect.getmembers(value):
                if member.startswith("_") or not (callable(attribute) or isinstance(attribute, property)):
                    continue
                if not inspect.getdoc(attribute):
                    undocumented.append(f"{name}.{member}")
    assert undocumented == []


def test_the_installed_package_runs_from_its_prefix(tmp_path):
    prefix = tmp_path / "prefix"
    done = subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", str(prefix)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    package = prefix / "lib" / "python3" / "quarlin"
    assert sorted(p.name for p in package.iterdir() if not p.name.startswith("_quarlin")) == \
        ["__init__.py", "_errors.py"]
    script = ("import quarlin, sys; r = quarlin.simulate(quarlin.pmsm(steps=300)); "
              "sys.stdout.write(quarlin.default_module_path() + '\\n'); sys.stdout.buffer.write(r.tobytes())")
    env = {**os.environ, "PYTHONPATH": str(prefix / "lib" / "python3")}
    child = subprocess.run([sys.executable, "-c", script], capture_output=True, env=env, cwd=tmp_path)
    assert child.returncode == 0, child.stderr.decode()
    path, _, data = child.stdout.partition(b"\n")
    assert path.decode() == str(prefix / "lib" / "Quarlin_msp.mexa64")
    assert data == quarlin.simulate(quarlin.pmsm(steps=300)).tobytes()


def test_an_explicit_module_path_is_used():
    here = quarlin.simulate(quarlin.pmsm(steps=50), module=quarlin.default_module_path())
    assert same_bits(here, quarlin.simulate(quarlin.pmsm(steps=50)))
    with quarlin.Block(module=quarlin.default_module_path()) as block:
        assert block.module_path == quarlin.default_module_path()
        assert np.isfinite(block.step(0, 1, 0, 6.97)).all()


def test_the_worked_example_prints_what_the_page_says(tmp_path):
    page = open(os.path.join(os.path.dirname(__file__), "..", "..", "docs", "python.md")).read()
    example = page.split("```python\n", 1)[1].split("```", 1)[0]
    printed = page.split("It prints\n\n```text\n", 1)[1].split("```", 1)[0]
    env = {**os.environ, "PYTHONPATH": os.path.dirname(os.path.dirname(quarlin.__file__))}
    child = subprocess.run([sys.executable, "-c", example], capture_output=True, text=True, cwd=tmp_path, env=env)
    assert child.returncode == 0, child.stderr
    assert child.stdout == printed
    assert (tmp_path / "quarlin-python-example.png").read_bytes().startswith(b"\x89PNG")
