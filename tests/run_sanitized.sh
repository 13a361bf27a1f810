#!/usr/bin/env bash
# Builds the engine tests and the module with AddressSanitizer and
# UndefinedBehaviorSanitizer (any finding ends the run) and runs the C++ tests
# and the Python suite under them. Uses its own build directory and never
# installs the module: Python imports it from build/asan. Runs in the
# environment tests/env.sh chooses, with the build and test requirements.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/env.sh
mapfile -t needed < <(requirements build; requirements test)
pip_install "${needed[@]}"

FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
configure() {
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="$FLAGS" \
    -DCMAKE_EXE_LINKER_FLAGS="$FLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$FLAGS" -DCMAKE_MODULE_LINKER_FLAGS="$FLAGS" \
    -DPython_EXECUTABLE="$PY" "${@:2}" >/dev/null
}

# Reports go to stderr; pytest runs with -s so that a report raised inside its
# output capture is not lost when the sanitizer ends the process.
export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# One instrumented build serves both: the engine tests (when GoogleTest is to
# be had) and the modules.
source tests/gtest.sh
tests=(-DHOURLOOM_BUILD_TESTS=OFF)
if [ "${GTEST_CMAKE_ARGS[0]:-}" = none ]; then
  echo "GoogleTest not found and not obtainable (no PyPI): skipping the C++ engine tests" >&2
else
  tests=(-DHOURLOOM_BUILD_TESTS=ON "${GTEST_CMAKE_ARGS[@]}")
fi
configure build/asan -DHOURLOOM_BUILD_MODULE=ON "${tests[@]}"
cmake --build build/asan -j 2
if [ "${tests[0]}" = -DHOURLOOM_BUILD_TESTS=ON ]; then
  ctest --test-dir build/asan --output-on-failure -j 2
fi

# The interpreter is not instrumented: the runtimes are preloaded, and
# PYTHONMALLOC=malloc lets AddressSanitizer see the objects' memory.
export LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
# hourloom_tools is laid out there as a package around the instrumented _core.
rm -rf build/asan/hourloom_tools && cp -r src/tools/hourloom_tools build/asan/hourloom_tools
cp build/asan/_core*.so build/asan/hourloom_tools/
export PYTHONMALLOC=malloc PYTHONPATH="$PWD/build/asan"
"$PY" -c 'import hourloom, hourloom_tools._core as c, os, sys; sys.exit(not all(
    m.__file__.startswith(os.environ["PYTHONPATH"]) for m in (hourloom, c)))' ||
  { echo "hourloom or hourloom_tools was not imported from $PYTHONPATH" >&2; exit 1; }
"$PY" -m pytest -q -s -p no:cacheprovider tests/python
