#!/bin/sh
# Runs bench_link of two builds one after the other (before and after a change), idle and
# with two busy-looping processes, the latter with and without the poll thread's real-time
# priority (dropping CAP_SYS_NICE takes it away from root).
# usage: compare_link.sh BEFORE_BINARY AFTER_BINARY [SECONDS]
set -eu
before=$1; after=$2; seconds=${3:-20}
export SACCADRIX_INIT_SETTLE_MS=0
for pass in idle busy; do
  busy=0; [ "$pass" = busy ] && busy=2
  for which in before after; do
    bin=$before; [ "$which" = after ] && bin=$after
    echo "### $which, $pass (load average at start: $(cut -d' ' -f1 /proc/loadavg))"
    "$bin" --seconds "$seconds" --busy "$busy"
    if [ "$pass" = busy ] && [ "$which" = after ] && command -v capsh >/dev/null; then
      echo "### after, busy, without real-time priority"
      capsh --drop=cap_sys_nice -- -c "ulimit -r 0; '$bin' --seconds $seconds --busy $busy"
    fi
    echo
  done
done
