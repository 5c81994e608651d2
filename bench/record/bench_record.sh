#!/bin/sh
# "saccadrix record" at 16 000 results a second (model code 3 at 8 kHz: two samples a report)
# with a marker a second on standard input. Samples the process's resident memory (VmRSS)
# and its peak so far (VmHWM) every second, then checks the files.
#   bench/record/bench_record.sh BUILD_DIR [SECONDS [WORK_DIR]]
# SECONDS defaults to 600; WORK_DIR (default: a new temporary folder) keeps the files,
# memory.tsv and the command's output.
set -eu
build=$(cd "$1" && pwd)
seconds=${2:-600}
work=${3:-$(mktemp -d)}
cli=$build/tools/saccadrix/saccadrix
tracker=$build/virtual-tracker/libSaccadrixVirtualTracker.so
drops=$build/bench/record/libbench_record_queue_drops.so
check=$build/bench/record/bench_record_check
mkdir -p "$work"
cd "$work"
rm -f trial.csv trial.markers.csv trial.mat memory.tsv out.txt err.txt

ticks=$(getconf CLK_TCK)
uptime_now() { cut -d' ' -f1 /proc/uptime; }
since() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a - b }'; }
started=$(uptime_now)

# One marker a second, with the characters CSV has to quote.
(
  i=0
  while [ "$i" -le "$((seconds + 60))" ]; do
    printf 'tick %d, "quoted"\n' "$i" || exit 0
    i=$((i + 1))
    sleep 1
  done
) | SACCADRIX_VT_DEVICES='model=3,rate=8000' LD_PRELOAD="$tracker:$drops" \
    "$cli" record -o trial --seconds "$seconds" --markers-from-stdin >out.txt 2>err.txt &
pid=$!

echo "seconds vmrss_kb vmhwm_kb cpu_seconds" >memory.tsv
while [ -r "/proc/$pid/status" ]; do
  now=$(uptime_now)
  line=$(awk -v t="$(since "$now" "$started")" \
    '/^VmRSS/ { rss = $2 } /^VmHWM/ { hwm = $2 } END { if (rss != "") print t, rss, hwm }' \
    "/proc/$pid/status" 2>/dev/null || true)
  cpu=$(awk -v hz="$ticks" '{ print ($14 + $15) / hz }' "/proc/$pid/stat" 2>/dev/null || true)
  [ -n "$line" ] && [ -n "$cpu" ] && echo "$line $cpu" >>memory.tsv
  sleep 1
done
status=0
wait "$pid" || status=$?
elapsed=$(since "$(uptime_now)" "$started")
[ "$status" -eq 0 ] || { echo "saccadrix record exited with $status"; cat err.txt; exit 1; }

echo "saccadrix record, $seconds s at 16 000 results/s; the process ran $elapsed s"
grep -E "^Recorded|^virtual tracker" out.txt err.txt | sed 's/^[^:]*://'
# The newest sample at or after each mark; "end" is the last one taken.
for mark in 60 300 600; do
  awk -v m="$mark" 'NR > 1 && $1 >= m && !done {
      printf "at %4d s: VmRSS %6.1f MB, peak so far (VmHWM) %6.1f MB\n", m, $2 / 1024, $3 / 1024
      done = 1 }' memory.tsv
done
tail -n 1 memory.tsv | awk '{ printf "at the end (%.0f s): VmRSS %6.1f MB, VmHWM %6.1f MB, CPU %.1f s\n", $1, $2 / 1024, $3 / 1024, $4 }'
rows=$(($(wc -l <trial.csv) - 1))
markers=$(($(grep -c '^[0-9]' trial.markers.csv)))
echo "$rows rows, $markers markers"
awk -v r="$rows" -v c="$(stat -c %s trial.csv)" -v m="$(stat -c %s trial.mat)" 'BEGIN {
  printf "bytes per record: CSV %.1f, MAT %.1f\n", c / r, m / r }'
"$check" trial.csv trial.mat
