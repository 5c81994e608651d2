#!/bin/sh
# The clock mapping against the simulated tracker's true readable times: each load, rate and
# drift in a process of its own (the library carries its rate estimate over from one tracker
# to the next within a process), then the marker runs. One table each.
# usage: bench/record/bench_mapping.sh [BUILD_DIR] [SECONDS]
set -eu
build=${1:-build}
seconds=${2:-20}
bin=$build/bench/record/bench_record_mapping
export SACCADRIX_INIT_SETTLE_MS=0
header=
for load in --idle-only --busy-only; do
  for rate in 1000 8000; do
    for ppm in 100 -100; do
      "$bin" --only mapping $load --only-rate $rate --only-ppm $ppm --seconds "$seconds" $header
      header=--no-header
    done
  done
done
"$bin" --only markers --seconds "$seconds"
