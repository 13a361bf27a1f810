#!/usr/bin/env bash
# Builds the engine tests and both modules (hourloom and hourloom_tools) with
# AddressSanitizer and UndefinedBehaviorSanitizer and with the standard
# library's own checks (any finding ends the run), and runs the C++ tests and
# the Python suite under them. Never installs the module: Python imports it from
# the build directory. Runs in the environment tests/env.sh chooses.
# The compiler and its flags come from the environment as in tests/run_all.sh,
# each toolchain in its own build/asan-<compiler>[-<flags checksum>]:
#   bash tests/run_sanitized.sh                 (g++ and libstdc++)
#   CXX=clang++-16 CXXFLAGS=-stdlib=libc++ LDFLAGS=-stdlib=libc++ bash tests/run_sanitized.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/env.sh
mapfile -t needed < <(requirements build; requirements test)
pip_install "${needed[@]}"

cxx="${CXX:-c++}"
clang=0
if "$cxx" --version | grep -q clang; then clang=1; fi

# The standard library's checks: an out-of-range index or an invalid iterator
# aborts. libstdc++ has _GLIBCXX_ASSERTIONS; libc++ names its checks by version.
# HOURLOOM_CHECKED does the same for the engine's results: reading the value of
# an error, or the error of a value, aborts.
checks=(-DHOURLOOM_CHECKED -D_GLIBCXX_ASSERTIONS)
libcxx="$(printf '#include <version>\n_LIBCPP_VERSION\n' | "$cxx" ${CXXFLAGS:-} -E -x c++ - 2>/dev/null | tail -n 1)"
if [[ "$libcxx" =~ ^[0-9]+$ ]]; then
  if ((libcxx < 170000)); then checks+=(-D_LIBCPP_ENABLE_ASSERTIONS=1)
  elif ((libcxx < 180000)); then checks+=(-D_LIBCPP_ENABLE_HARDENED_MODE=1)
  else checks+=(-D_LIBCPP_HARDENING_MODE=_LIBCPP_HARDENING_MODE_EXTENSIVE)
  fi
fi
# They must be on: a read past a vector's end aborts this probe.
probe="$(mktemp -d)"
printf '#include <vector>\nint main() { std::vector<int> v(1); return v[1] == 7; }\n' >"$probe/probe.cpp"
"$cxx" -std=c++20 ${CXXFLAGS:-} "${checks[@]}" "$probe/probe.cpp" -o "$probe/probe" ${LDFLAGS:-}
status=0
("$probe/probe"; exit $?) 2>/dev/null || status=$?  # the subshell keeps the shell's "Aborted" quiet
rm -rf "$probe"
if ((status != 134)); then
  echo "the standard library's checks are not on with $cxx ${checks[*]}" >&2
  exit 1
fi

SAN="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
# UBSan's dynamic type check is left out under libc++: its runtime asks the
# system's C++ ABI library (libstdc++'s __dynamic_cast), which cannot read
# libc++abi's type_info objects and crashes on the first check.
if [[ "$libcxx" =~ ^[0-9]+$ ]] && ((clang)); then SAN="$SAN -fno-sanitize=vptr"; fi
# clang links no sanitizer runtime into a shared object unless told to: the
# modules then take it from the preloaded runtime below.
MODULE_SAN="$SAN"
if ((clang)); then MODULE_SAN="$SAN -shared-libasan"; fi
dir="$(build_dir build/asan)"
configure() {
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="${CXXFLAGS:-} ${checks[*]} $SAN" \
    -DCMAKE_EXE_LINKER_FLAGS="${LDFLAGS:-} $SAN" -DCMAKE_SHARED_LINKER_FLAGS="${LDFLAGS:-} $MODULE_SAN" \
    -DCMAKE_MODULE_LINKER_FLAGS="${LDFLAGS:-} $MODULE_SAN" -DPython_EXECUTABLE="$PY" "${@:2}" >/dev/null
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
configure "$dir" -DHOURLOOM_BUILD_MODULE=ON "${tests[@]}"
cmake --build "$dir" -j 2
if [ "${tests[0]}" = -DHOURLOOM_BUILD_TESTS=ON ]; then
  ctest --test-dir "$dir" --output-on-failure -j 2
fi

# The interpreter is not instrumented: the runtimes are preloaded, and
# PYTHONMALLOC=malloc lets AddressSanitizer see the objects' memory. clang's
# shared ASan runtime carries UBSan's as well.
if ((clang)); then
  LD_PRELOAD="$("$cxx" -print-file-name="libclang_rt.asan-$(uname -m).so")"
else
  LD_PRELOAD="$("$cxx" -print-file-name=libasan.so) $("$cxx" -print-file-name=libubsan.so)"
fi
export LD_PRELOAD
# hourloom_tools is laid out there as a package around the instrumented _core.
rm -rf "$dir/hourloom_tools" && cp -r src/tools/hourloom_tools "$dir/hourloom_tools"
cp "$dir"/_core*.so "$dir/hourloom_tools/"
export PYTHONMALLOC=malloc PYTHONPATH="$PWD/$dir"
"$PY" -c 'import hourloom, hourloom_tools._core as c, os, sys; sys.exit(not all(
    m.__file__.startswith(os.environ["PYTHONPATH"]) for m in (hourloom, c)))' ||
  { echo "hourloom or hourloom_tools was not imported from $PYTHONPATH" >&2; exit 1; }
"$PY" -m pytest -q -s -p no:cacheprovider tests/python
