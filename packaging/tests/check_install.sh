#!/bin/sh
# Installs the kit into a fresh prefix and uses it as a client would: the files are where
# they belong, the examples build against it with find_package and with pkg-config, and
# they and the installed saccadrix command run against the virtual tracker.
#   check_install.sh BUILD_DIR SOURCE_DIR WORK_DIR VIRTUAL_TRACKER GENERATOR
set -u
build=$1 source=$2 work=$3 preload=$4 generator=$5
status=0
fail() { echo "FAILED: $*"; status=1; }

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; echo "FAILED: cmake --install"; exit 1; }

libdir=$(cd "$prefix" && dirname "$(find . -name 'libSaccadrix.so' | head -n 1)")
libdir=${libdir#./}
[ "$libdir" != "." ] && [ -n "$libdir" ] || { echo "FAILED: libSaccadrix.so not installed"; exit 1; }
for f in "$libdir/libSaccadrix.so" "$libdir/libSaccadrix.so.0" include/saccadrix/saccadrix.h \
         bin/saccadrix lib/udev/rules.d/70-saccadrix.rules "$libdir/pkgconfig/saccadrix.pc" \
         "$libdir/cmake/Saccadrix/SaccadrixConfig.cmake" \
         "$libdir/cmake/Saccadrix/SaccadrixConfigVersion.cmake" \
         "$libdir/cmake/Saccadrix/SaccadrixTargets.cmake"; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
if [ -e "$prefix/$libdir/libSaccadrixGS.so" ]; then
  [ -e "$prefix/include/saccadrix/saccadrix_gs.h" ] || fail "not installed: saccadrix_gs.h"
  [ -e "$prefix/$libdir/pkgconfig/saccadrix-gs.pc" ] || fail "not installed: saccadrix-gs.pc"
fi
grep -q 'TAG+="uaccess"' "$prefix/lib/udev/rules.d/70-saccadrix.rules" || fail "udev rule"
# Nothing installed may find its libraries or headers in the build tree.
leaks=$(grep -rl "$build" "$prefix/$libdir/cmake" "$prefix/$libdir/pkgconfig" 2>/dev/null)
[ -z "$leaks" ] || fail "package files name the build tree: $leaks"
for f in "$prefix/bin/saccadrix" "$prefix/$libdir"/lib*.so "$prefix/$libdir"/saccadrix/mex/*.mex; do
  [ -e "$f" ] || continue
  if readelf -d "$f" | grep -E "RUNPATH|RPATH" | grep -q "$build"; then
    fail "$f looks for libraries in the build tree"
  fi
done

export SACCADRIX_VT_DEVICES="model=4,rate=500"

# A client project with find_package(Saccadrix): the examples, on their own.
if cmake -S "$source/examples" -B "$work/client-cmake" -G "$generator" \
     -DCMAKE_PREFIX_PATH="$prefix" >"$work/client-cmake.log" 2>&1 &&
   cmake --build "$work/client-cmake" >>"$work/client-cmake.log" 2>&1; then
  LD_PRELOAD="$preload" "$work/client-cmake/follow_results" 1 >"$work/run1.log" 2>&1 ||
    { fail "follow_results (find_package) did not run"; cat "$work/run1.log"; }
  grep -q "results in 1.0 s" "$work/run1.log" || fail "follow_results (find_package) output"
else
  fail "the examples do not build with find_package(Saccadrix)"; cat "$work/client-cmake.log"
fi

# A client built with pkg-config alone.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
flags=$(pkg-config --cflags --libs saccadrix) || fail "pkg-config saccadrix"
# shellcheck disable=SC2086
if cc -std=c11 -o "$work/follow_results_pc" "$source/examples/c/follow_results.c" $flags \
     -Wl,-rpath,"$prefix/$libdir" 2>"$work/client-pc.log"; then
  LD_PRELOAD="$preload" "$work/follow_results_pc" 1 >"$work/run2.log" 2>&1 ||
    { fail "follow_results (pkg-config) did not run"; cat "$work/run2.log"; }
  grep -q "results in 1.0 s" "$work/run2.log" || fail "follow_results (pkg-config) output"
else
  fail "follow_results does not build with pkg-config"; cat "$work/client-pc.log"
fi
if [ -e "$prefix/$libdir/pkgconfig/saccadrix-gs.pc" ]; then
  gs_libs=$(pkg-config --libs saccadrix-gs)
  gs_dir=$(printf '%s\n' "$gs_libs" | sed -n 's/^-L\([^ ]*\) -lSaccadrixGS *$/\1/p')
  [ -n "$gs_dir" ] && [ -e "$gs_dir/libSaccadrixGS.so" ] || fail "pkg-config saccadrix-gs: $gs_libs"
  gs_include=$(pkg-config --cflags saccadrix-gs | sed -n 's/^-I\([^ ]*\) *$/\1/p')
  [ -e "$gs_include/saccadrix/saccadrix_gs.h" ] || fail "pkg-config saccadrix-gs --cflags"
fi

# The Octave gateways, when they were built, are installed and load the installed library.
if [ -e "$build/mex/zelSaccadrix.mex" ]; then
  mexdir="$prefix/$libdir/saccadrix/mex"
  [ -e "$mexdir/zelSaccadrix.mex" ] || fail "not installed: $libdir/saccadrix/mex/zelSaccadrix.mex"
  if command -v octave-cli >/dev/null 2>&1; then
    version=$(octave-cli --norc --quiet --no-history --eval "addpath('$mexdir'); printf('%d\n', zelSaccadrix(8))" 2>&1)
    [ "$version" = "46" ] || fail "the installed gateway does not answer its library version: $version"
  fi
fi

# The installed command finds the installed libraries by itself.
LD_PRELOAD="$preload" "$prefix/bin/saccadrix" info >"$work/run3.log" 2>&1 ||
  { fail "installed saccadrix info"; cat "$work/run3.log"; }
grep -q "^model code: *4$" "$work/run3.log" || fail "installed saccadrix info output"

[ $status -eq 0 ] && echo "installed tree works: $prefix"
exit $status
