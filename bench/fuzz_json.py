"""Coverage-guided fuzzing of the definition reader (atheris): every input must
end in a definition whose text reads back unchanged, or in a plain ValueError.

Build an instrumented module and the coverage shim first (GCC's trace-pc hits,
counted by bench/fuzz_coverage_shim.c and handed to libFuzzer):
  cmake -S . -B build/fuzz -DHOURLOOM_BUILD_MODULE=ON -DPython_EXECUTABLE=$(which python3) \\
        -DCMAKE_CXX_FLAGS="-fsanitize-coverage=trace-pc" \\
        -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY && cmake --build build/fuzz -j2
  gcc -shared -fPIC -O2 -o build/fuzz/coverage_shim.so bench/fuzz_coverage_shim.c
then:  PYTHONPATH=build/fuzz python3 bench/fuzz_json.py -max_total_time=300
A crash input is written by libFuzzer as crash-<hash>; keep it as a regression case."""
import ctypes
import glob
import os
import sys
import tempfile

import atheris

hourloom = None  # imported after atheris.Setup, which loads the libFuzzer the module calls into
SEEDS = [
    '{"defaultCapacity":2,"openRules":[{"day":1,"start":"08:00:00","end":"17:00:00"}],"breakRules":[],'
    '"openWindows":[{"start":"2024-05-11T09:00:00","end":"2024-05-11T13:00:00.5"}],"closedWindows":[],'
    '"capacityWindows":[["2024-05-13T08:00:00","+10000-01-01T00:00:00",5]],'
    '"entries":[{"id":"a\\u00e9","kind":1,"start":"2016-12-31T23:59:60.25","end":"2017-01-01T00:00:00",'
    '"capacity":0,"x":[{}]}]}',
    '[1,[[0,"08:00","09:00:01.123456789"]],[],[],[],[],[]]',
]


def test_one_input(data: bytes) -> None:
    Def = hourloom.HourloomDefinition
    text = data.decode("utf-8", "surrogateescape")  # invalid UTF-8 arrives as lone surrogates
    try:
        d = Def.FromJson(text)
    except ValueError as e:
        if type(e) is not ValueError:
            raise
        return
    written = d.ToJson()
    assert Def.FromJson(written).ToJson() == written
    assert Def.FromJson(d.ToJson(True)).ToJson() == written
    try:
        cal = d.ToCalendar()
    except ValueError:
        return
    assert hourloom.HourloomCalendar.FromJson(cal.ToJson()).ToJson() == cal.ToJson()


def main():
    corpus = tempfile.mkdtemp(prefix="hourloom-json-corpus-")
    for i, seed in enumerate(SEEDS):
        with open(os.path.join(corpus, f"seed{i}"), "w", encoding="utf-8") as f:
            f.write(seed)
    atheris.Setup(sys.argv + [corpus], test_one_input)
    global hourloom
    shim = ctypes.CDLL(os.environ.get("HOURLOOM_COVERAGE_SHIM", "build/fuzz/coverage_shim.so"),
                       mode=ctypes.RTLD_GLOBAL)
    core = ctypes.CDLL(glob.glob(os.path.join(os.path.dirname(atheris.__file__), "core_with_libfuzzer*.so"))[0])
    for f in (shim.shim_counters, shim.shim_pcs):
        f.restype = ctypes.c_void_p
    shim.shim_slots.restype = ctypes.c_size_t
    slots = shim.shim_slots()
    counters, pcs = shim.shim_counters(), shim.shim_pcs()
    core.__sanitizer_cov_8bit_counters_init(ctypes.c_void_p(counters), ctypes.c_void_p(counters + slots))
    core.__sanitizer_cov_pcs_init(ctypes.c_void_p(pcs), ctypes.c_void_p(pcs + 2 * slots * ctypes.sizeof(ctypes.c_void_p)))
    import hourloom as module
    hourloom = module
    atheris.Fuzz()


if __name__ == "__main__":
    main()
