#!/bin/sh
# Streams through the hidapi stand-in and through the real hidapi with an emulated hidraw
# node, one after the other, and prints one table.
# usage: bench/hidraw/compare.sh [BUILD_DIR] [SECONDS]
set -eu
build=${1:-build}
seconds=${2:-20}
dir=$build/bench/hidraw
export SACCADRIX_INIT_SETTLE_MS=0
"$dir/bench_hidraw_standin" --seconds "$seconds"
LD_PRELOAD="$(cat "$dir/preload.txt")" "$dir/bench_hidraw" --seconds "$seconds" --no-header
