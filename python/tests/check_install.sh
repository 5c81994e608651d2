#!/bin/sh
# Installs the package the two ways users do and checks that it imports, opens a (simulated)
# tracker and calls into the libraries it was installed with, not those of the build tree.
#   check_install.sh cmake BUILD_DIR WORK PYTHON PRELOAD PY_DIR LIB_DIR LIBRARY...
#     "cmake --install" of the package into WORK/prefix (PY_DIR and LIB_DIR relative to it);
#     LIBRARY... are the built libraries, copied into LIB_DIR by their sonames.
#   check_install.sh pip SOURCE_DIR WORK PYTHON PRELOAD
#     "pip install --no-build-isolation --no-index" into a virtual environment made with
#     --system-site-packages, from a copy of python/ (pip builds inside the folder).
set -eu
mode=$1; from=$2; work=$3; python=$4; preload=$5
shift 5
rm -rf "$work"
mkdir -p "$work"

case "$mode" in
  cmake)
    prefix=$work/prefix; py_dir=$1; lib_dir=$2
    shift 2
    cmake --install "$from" --prefix "$prefix" --component saccadrix_python > /dev/null
    mkdir -p "$prefix/$lib_dir"
    for library in "$@"; do
      soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
      cp "$library" "$prefix/$lib_dir/$soname"
    done
    run_python=$python
    export PYTHONPATH="$prefix/$py_dir"
    expected=$prefix
    ;;
  pip)
    cp -r "$from/python" "$work/python"
    rm -rf "$work/python/build" "$work/python/"*.egg-info
    "$python" -m venv --system-site-packages "$work/venv"
    SACCADRIX_SOURCE_DIR=$from "$work/venv/bin/pip" install --no-build-isolation --no-index \
      --quiet "$work/python"
    run_python=$work/venv/bin/python
    expected=$work/venv
    ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac

cd "$work"
module=$("$run_python" -c 'import saccadrix._saccadrix as m; print(m.__file__)')
runpath=$(readelf -d "$module" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
case "$runpath" in
  \$ORIGIN*) ;;
  *) echo "$module: RUNPATH '$runpath' is not relative to the module" >&2; exit 1 ;;
esac

LD_PRELOAD=$preload SACCADRIX_VT_DEVICES=model=4,rate=1000 SACCADRIX_INIT_SETTLE_MS=0 \
  "$run_python" - "$expected" <<'PY'
import sys
import saccadrix

expected = sys.argv[1]
assert saccadrix.__file__.startswith(expected), saccadrix.__file__
with saccadrix.Tracker() as tracker:
    tracker.start_recording()
    while tracker.recorded_count < 50:
        tracker.next_result(timeout=10)
    tracker.stop_recording()
rec = tracker.recording()
assert len(rec) >= 50 and rec["timestamp"][0] == 0
maps = open("/proc/self/maps").read()
libraries = {line.split()[-1] for line in maps.splitlines() if "libSaccadrix" in line}
device = [p for p in libraries if "libSaccadrix.so" in p]
assert device and all(p.startswith(expected) for p in device), libraries
print("installed package loads", ", ".join(sorted(libraries)))
PY
