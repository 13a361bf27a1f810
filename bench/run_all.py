"""Runs every benchmark script in bench/ and prints one table: operation, cost,
baseline, ratio (cost / baseline, both timed in this run), target and ok.

    python3 bench/run_all.py [name ...]     (e.g. run_all.py state search)

The baselines' packages (pandas, numpy, businesstimedelta: the `bench` extras)
are installed with pip when missing. A script that offers rows() joins the
table; one that only prints through common.report is caught there, and any
other script's own output is shown as it is."""
import contextlib
import importlib
import importlib.util
import io
import pathlib
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import common  # noqa: E402

ANCHORS = ["pandas", "numpy", "businesstimedelta"]


def install_anchors():
    missing = [m for m in ANCHORS if importlib.util.find_spec(m) is None]
    if missing:
        print(f"installing {' '.join(missing)} for the baselines", file=sys.stderr)
        subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", *missing], check=True)
        importlib.invalidate_caches()


def script_rows(name):
    """(rows, other output) of one script."""
    module = importlib.import_module(name)
    if hasattr(module, "rows"):
        return module.rows(), ""
    caught, printed = [], io.StringIO()
    if getattr(module, "report", None) is common.report:
        module.report = caught.extend
    with contextlib.redirect_stdout(printed):
        module.main()
    return [r if isinstance(r, dict) else common.row(*r) for r in caught], printed.getvalue()


def main(wanted):
    install_anchors()
    names = sorted(p.stem for p in HERE.glob("bench_*.py"))
    if wanted:
        names = [n for n in names if n.removeprefix("bench_") in wanted or n in wanted]
    table, extra = [], []
    for name in names:
        t0 = time.perf_counter()
        print(f"{name} ...", end="", flush=True, file=sys.stderr)
        rows, printed = script_rows(name)
        print(f" {time.perf_counter() - t0:.0f} s", file=sys.stderr)
        table += rows
        if printed.strip():
            extra.append(f"{name}:\n{printed.rstrip()}")
    common.report(table)
    for block in extra:
        print("\n" + block)
    return 0 if all(r["ok"] != "NO" for r in table) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
