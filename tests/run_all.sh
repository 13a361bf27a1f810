#!/usr/bin/env bash
# Runs every test: the C++ engine tests (GoogleTest) and the Python suite
# against a freshly installed module. Installs what it needs on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."

python3 -m pip install --quiet --disable-pip-version-check pytest hypothesis nlohmann-json pysimdjson mypy holidays pandas numpy matplotlib "dask[dataframe]" distributed

# The engine tests' outcome is kept; the Python suite runs whatever it was.
engine=0
source tests/gtest.sh
if [ "${GTEST_CMAKE_ARGS[0]:-}" = none ]; then
  echo "GoogleTest not found and not obtainable (no root for apt, no PyPI): skipping the C++ engine tests" >&2
else
  (cmake -S . -B build/engine-tests -DHOURLOOM_BUILD_MODULE=OFF -DHOURLOOM_BUILD_TESTS=ON \
     "${GTEST_CMAKE_ARGS[@]}" >/dev/null &&
   cmake --build build/engine-tests -j 2 &&
   ctest --test-dir build/engine-tests --output-on-failure -j 2) || engine=1
fi

python3 -m pip install --quiet --disable-pip-version-check .
python3 -m pytest -q tests/python
exit "$engine"
