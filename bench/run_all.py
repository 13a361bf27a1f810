"""Runs every benchmark script in bench/ and prints one table: operation, cost,
baseline, ratio (cost / baseline, both timed in this run), target and ok.

    python3 bench/run_all.py [name ...]     (e.g. run_all.py state search)

Each script offers rows() (and prints them as the same table when run alone).
The baselines' packages (pandas, numpy, businesstimedelta: the `bench` extras)
are installed with pip when missing."""
import importlib
import importlib.util
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


def main(wanted):
    install_anchors()
    names = sorted(p.stem for p in HERE.glob("bench_*.py"))
    if wanted:
        names = [n for n in names if n.removeprefix("bench_") in wanted or n in wanted]
    table = []
    for name in names:
        t0 = time.perf_counter()
        table += importlib.import_module(name).rows()
        print(f"{name}: {time.perf_counter() - t0:.0f} s", file=sys.stderr)
    common.report(table)
    return 0 if all(r["ok"] != "NO" for r in table) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
