#!/bin/sh
# Checks that a library exports exactly the names listed as SACCADRIX_GS_EXPORT(name) lines.
# usage: check_exports.sh LIBRARY NAMES_FILE
set -eu
lib=$1; names=$2
expected=$(mktemp); actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
sed -n 's/^SACCADRIX_GS_EXPORT(\(.*\))$/\1/p' "$names" | sort > "$expected"
nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBVRi]$/ {print $3}' | sort > "$actual"
if ! diff -u "$expected" "$actual"; then
  echo "exported symbols of $lib differ from $names (- expected, + actual)" >&2
  exit 1
fi
echo "$(wc -l < "$actual") exported names match"
