# Sourced by the test scripts: chooses the Python environment the tests run in
# and sets PY to its interpreter. That is the active virtual environment when
# there is one, else a private one in build/venv made on first use: a test run
# installs only into a virtual environment, never into a system or user Python.
# Defines pip_install and requirements (the lists pyproject.toml keeps).
if python3 -c 'import sys; sys.exit(sys.prefix == sys.base_prefix)'; then
  PY="$(python3 -c 'import sys; print(sys.executable)')"
else
  if [ ! -x build/venv/bin/python ]; then
    python3 -m venv build/venv || {
      echo "could not make a virtual environment in build/venv: activate one first" \
           "(on Debian, python3 -m venv needs the python3-venv package)" >&2
      exit 1
    }
  fi
  PY="$PWD/build/venv/bin/python"
fi

# build_dir PREFIX -> PREFIX-<compiler>, and a checksum of CXXFLAGS and LDFLAGS
# when there are any: a build directory keeps the compiler and flags it was
# first configured with, so each toolchain builds in its own.
build_dir() {
  local compiler flags
  compiler="${CXX:-c++}"
  compiler="$(basename "${compiler##* }")"
  flags="${CXXFLAGS:-}|${LDFLAGS:-}"
  if [ "$flags" = "|" ]; then
    echo "$1-$compiler"
  else
    echo "$1-$compiler-$(printf '%s' "$flags" | cksum | cut -d' ' -f1)"
  fi
}

pip_install() { "$PY" -m pip install --quiet --disable-pip-version-check "$@"; }

# requirements build|test -> the build system's requirements, or the `test`
# extra's, one per line, read from pyproject.toml.
requirements() {
  "$PY" - "$1" <<'PY'
import re, sys
text = open("pyproject.toml", encoding="utf-8").read()
section, key = {"build": ("build-system", "requires"), "test": ("project.optional-dependencies", "test")}[sys.argv[1]]
body = re.search(r"^\[" + re.escape(section) + r"\]\n(.*?)(?=^\[|\Z)", text, re.M | re.S).group(1)
items = re.search(r"^" + key + r"\s*=\s*\[(.*?)\]\s*$", body, re.M | re.S).group(1)
print("\n".join(re.findall(r'"([^"]+)"', items)))
PY
}
