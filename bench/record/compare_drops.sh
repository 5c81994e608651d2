#!/bin/sh
# Two builds of "saccadrix record" back to back at 16 000 results a second (model code 3 at
# 8 kHz), in alternating rounds: results recorded, gaps in the timestamps, reports the
# simulated operating-system queue dropped, and peak resident memory. On a busy machine the
# queue drops vary with the load; alternating rounds lets both builds meet the same load.
#   bench/record/compare_drops.sh BEFORE_BUILD AFTER_BUILD [SECONDS [ROUNDS]]
# The drop counter comes from AFTER_BUILD's bench/record helper.
set -eu
before=$(cd "$1" && pwd)
after=$(cd "$2" && pwd)
seconds=${3:-60}
rounds=${4:-2}
drops=$after/bench/record/libbench_record_queue_drops.so
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-7s %-6s %9s %9s %11s %9s\n' build round recorded gaps queue-drops VmHWM
round=1
while [ "$round" -le "$rounds" ]; do
  for name in before after; do
    if [ "$name" = before ]; then build=$before; else build=$after; fi
    rm -f "$work"/trial.*
    SACCADRIX_VT_DEVICES='model=3,rate=8000' \
      LD_PRELOAD="$build/virtual-tracker/libSaccadrixVirtualTracker.so:$drops" \
      "$build/tools/saccadrix/saccadrix" record --csv "$work/trial.csv" --seconds "$seconds" \
      >"$work/out.txt" 2>"$work/err.txt" </dev/null &
    pid=$!
    hwm=0
    while [ -r "/proc/$pid/status" ]; do
      h=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$h" ] && hwm=$h
      sleep 1
    done
    wait "$pid"
    recorded=$(sed -nE 's/^Recorded ([0-9]+) results.*/\1/p' "$work/out.txt")
    dropped=$(sed -nE 's/.* ([0-9]+) dropped by the input queue/\1/p' "$work/err.txt")
    gaps=$(awk -F, 'NR > 2 && $1 > prev + 1 { n += $1 - prev - 1 } { prev = $1 }
                    END { print n + 0 }' "$work/trial.csv")
    printf '%-7s %-6s %9s %9s %11s %7.1f MB\n' "$name" "$round" "$recorded" "$gaps" \
      "$dropped" "$(echo "$hwm" | awk '{ print $1 / 1024 }')"
  done
  round=$((round + 1))
done
