#!/usr/bin/env bash
# Runs every test: the C++ engine tests (GoogleTest) and the Python suite. One
# build serves both: installing the module with its `test` extra also builds
# the engine tests. Runs in the active virtual environment, or in build/venv
# when none is active (see tests/env.sh); asks nothing of the system beyond a
# compiler, CMake and python3.
# The compiler and its flags come from the environment, as for `pip install .`
# (CMake reads CXX, CXXFLAGS and LDFLAGS), and each toolchain builds in its own
# directory, build/tests-<compiler>[-<flags checksum>]:
#   CXX=clang++-16 CXXFLAGS=-stdlib=libc++ LDFLAGS=-stdlib=libc++ bash tests/run_all.sh
# HOURLOOM_WARNINGS_AS_ERRORS=ON makes the project's warnings errors.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/env.sh
source tests/gtest.sh

dir="$(build_dir build/tests)"
build=(--config-settings=build-dir="$dir")
if [ -n "${HOURLOOM_WARNINGS_AS_ERRORS:-}" ]; then
  build+=("--config-settings=cmake.define.HOURLOOM_WARNINGS_AS_ERRORS=$HOURLOOM_WARNINGS_AS_ERRORS")
fi
if [ "${GTEST_CMAKE_ARGS[0]:-}" = none ]; then
  echo "GoogleTest not found and not obtainable (no PyPI): skipping the C++ engine tests" >&2
else
  build+=(--config-settings=cmake.define.HOURLOOM_BUILD_TESTS=ON)
  for arg in "${GTEST_CMAKE_ARGS[@]}"; do build+=("--config-settings=cmake.define.${arg#-D}"); done
fi
pip_install "${build[@]}" '.[test]'

# The engine tests' outcome is kept; the Python suite runs whatever it was.
engine=0
if [ "${GTEST_CMAKE_ARGS[0]:-}" != none ]; then
  ctest --test-dir "$dir" --output-on-failure -j 2 || engine=1
fi
"$PY" -m pytest -q tests/python
exit "$engine"
