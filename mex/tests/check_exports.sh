#!/bin/sh
# Checks that each gateway exports mexFunction and nothing else, in the version node MEX.
# usage: check_exports.sh GATEWAY...
set -eu
status=0
for gateway in "$@"; do
  exports=$(nm -D --defined-only "$gateway" | awk '$2 ~ /^[TWDBVRi]$/ {print $3}')
  if [ "$exports" != "mexFunction@@MEX" ]; then
    echo "$gateway exports:" $exports "(expected mexFunction@@MEX alone)" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "$# gateway(s) export mexFunction alone"
exit $status
