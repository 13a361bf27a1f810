#!/usr/bin/env bash
# Runs every test: the C++ engine tests (GoogleTest) and the Python suite
# against a freshly installed module. Installs what it needs on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."

python3 -m pip install --quiet --disable-pip-version-check pytest hypothesis nlohmann-json

if [ ! -f /usr/include/gtest/gtest.h ]; then
  if command -v apt-get >/dev/null 2>&1; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
  fi
fi

cmake -S . -B build/engine-tests -DHOURLOOM_BUILD_MODULE=OFF -DHOURLOOM_BUILD_TESTS=ON >/dev/null
cmake --build build/engine-tests -j 2
ctest --test-dir build/engine-tests --output-on-failure -j 2

python3 -m pip install --quiet --disable-pip-version-check .
python3 -m pytest -q tests/python
