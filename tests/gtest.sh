# Sourced by the test scripts after tests/env.sh: makes GoogleTest available for
# the engine tests and sets GTEST_CMAKE_ARGS for their configure step, or
# GTEST_CMAKE_ARGS=none when it cannot be had. Order: the system's
# (/usr/include/gtest), then the GoogleTest sources that the ros-gtest-vendor
# wheel on PyPI carries, unpacked (never installed) into build/googletest and
# compiled along with the tests. Needs no root and installs nothing.
GTEST_CMAKE_ARGS=()
if [ ! -f /usr/include/gtest/gtest.h ]; then
  gtest_src="$PWD/build/googletest"
  if [ ! -f "$gtest_src/src/gtest-all.cc" ]; then
    rm -rf build/googletest-wheel
    # Any wheel of the package holds the same sources; pin one so that pip
    # finds it whatever this interpreter is.
    if "$PY" -m pip download --quiet --disable-pip-version-check --no-deps --only-binary=:all: \
        --python-version 3.11 --platform manylinux_2_28_x86_64 -d build/googletest-wheel \
        ros-gtest-vendor==1.15.1 >/dev/null 2>&1; then
      "$PY" - "$gtest_src" build/googletest-wheel/*.whl <<'PY'
import sys, zipfile
prefix = "ros_gtest_vendor-1.15.1.data/data/src/gtest_vendor/"
with zipfile.ZipFile(sys.argv[2]) as wheel:
    for name in wheel.namelist():
        if name.startswith(prefix) and not name.endswith("/"):
            target = sys.argv[1] + "/" + name[len(prefix):]
            __import__("os").makedirs(target.rsplit("/", 1)[0], exist_ok=True)
            with open(target, "wb") as out:
                out.write(wheel.read(name))
PY
    fi
  fi
  if [ -f "$gtest_src/src/gtest-all.cc" ]; then
    GTEST_CMAKE_ARGS=(-DHOURLOOM_GTEST_SOURCE="$gtest_src")
  else
    GTEST_CMAKE_ARGS=(none)
  fi
fi
