"""The README and the user guide run as written: their python blocks are
executed in order in one namespace. A block whose first line reads
`# needs: a, b` is skipped when one of those packages is missing."""
import contextlib
import importlib.util
import io
import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def blocks(path):
    return re.findall(r"```python\n(.*?)```", path.read_text(), flags=re.S)


@pytest.mark.parametrize("doc", ["README.md", "docs/guide.md"])
def test_documents_run_as_written(doc, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    namespace, skipped = {"__name__": "guide"}, []
    for code in blocks(ROOT / doc):
        needs = re.match(r"# needs: (.*)\n", code)
        missing = [m for m in (needs.group(1).split(", ") if needs else []) if not importlib.util.find_spec(m)]
        if missing:
            skipped.append(missing)
            continue
        with contextlib.redirect_stdout(io.StringIO()):
            exec(compile(code, doc, "exec"), namespace)
    if skipped:
        pytest.skip(f"blocks needing {skipped}")
