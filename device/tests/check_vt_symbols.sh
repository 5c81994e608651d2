#!/bin/sh
# Checks that the virtual tracker defines every hid_* function the device library imports,
# so that it can take hidapi's place completely.
# usage: check_vt_symbols.sh LIBSACCADRIX VIRTUAL_TRACKER
set -eu
missing=0
for sym in $(nm -D --undefined-only "$1" | awk '{print $2}' | sed 's/@.*//' | grep '^hid_'); do
  if ! nm -D --defined-only "$2" | awk '{print $3}' | grep -qx "$sym"; then
    echo "virtual tracker lacks $sym" >&2
    missing=1
  fi
done
[ "$missing" -eq 0 ] && echo "virtual tracker defines every hid_* symbol the library imports"
exit "$missing"
