import os
import pathlib
import subprocess
import sys

import pytest

import hourloom

STUBS = pathlib.Path(__file__).resolve().parents[2] / "stubs"


@pytest.mark.parametrize("module", ["hourloom", "hourloom_tools"])
def test_stubs_match_the_module(tmp_path, module):
    pytest.importorskip("mypy.stubtest")
    env = dict(os.environ, MYPYPATH=str(STUBS), PYTHONPATH=os.path.dirname(hourloom.__file__))
    run = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", module],
        cwd=tmp_path, env=env, capture_output=True, text=True, timeout=300,
    )
    assert run.returncode == 0, run.stdout + run.stderr
