#!/bin/sh
# Installs the gateways into a scratch prefix and checks that they find the libraries there
# through their RUNPATH alone: no path of the build tree is left in them, and Octave loads
# them from the prefix and calls into both libraries.
# usage: check_install.sh BUILD_DIR PREFIX MEX_DIR LIB_DIR OCTAVE PRELOAD LIBRARY...
#   MEX_DIR and LIB_DIR are relative to PREFIX; LIBRARY... are the built libraries, copied
#   into PREFIX/LIB_DIR when the project's own install rules did not put them there.
set -eu
build=$1; prefix=$2; mex_dir=$3; lib_dir=$4; octave=$5; preload=$6
shift 6
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" --component saccadrix_mex > /dev/null
mkdir -p "$prefix/$lib_dir"
for library in "$@"; do
  soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ -e "$prefix/$lib_dir/$soname" ] || cp "$library" "$prefix/$lib_dir/$soname"
done

status=0
for gateway in "$prefix/$mex_dir"/*.mex; do
  runpath=$(readelf -d "$gateway" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  case "$runpath" in
    *"$build"*|"") echo "$gateway: RUNPATH '$runpath' is not relative to the install" >&2
                   status=1 ;;
  esac
done
[ $status -eq 0 ] || exit $status

cd "$prefix"
LD_PRELOAD=$preload SACCADRIX_VT_DEVICES= "$octave" --no-window-system --norc --silent --no-history --eval "
  addpath('$prefix/$mex_dir');
  assert (strncmp (which ('zelSaccadrix'), '$prefix', numel ('$prefix')));
  assert (zelSaccadrix (8) == 46, 'the installed device gateway calls the device library');
  if (exist ('zelSaccadrixGS') == 3)
    assert (zelSaccadrixGS (26) == 0, 'the installed video gateway calls the video library');
  end
  maps = fileread ('/proc/self/maps');
  assert (isempty (strfind (maps, '$build/device')), 'a library came from the build tree');
  disp ('installed gateways load their libraries from the prefix');"
