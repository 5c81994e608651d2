#!/bin/sh
# Runs the probe with the virtual tracker preloaded, as the CLI, the demo and Octave run.
# usage: preload_test.sh PROBE VIRTUAL_TRACKER_LIBRARY [SANITIZER_RUNTIME]
set -u
probe=$1
preload=$2
# A sanitizer runtime has to come first in the list of preloaded libraries.
if [ -n "${3:-}" ]; then preload="$3:$preload"; fi
status=0

check() {  # name, expected text, output
  if printf '%s\n' "$3" | grep -q -- "$2"; then
    echo "ok: $1"
  else
    echo "FAILED: $1: expected \"$2\" in:"; printf '%s\n' "$3"; status=1
  fi
}

out=$(env -u SACCADRIX_VT_DEVICES -u SACCADRIX_VT_RATE LD_PRELOAD="$preload" "$probe" 2>&1)
check "default device when preloaded" "device 0861:3433 serial=VT0001 path=vt:1" "$out"
check "default device streams and answers" "results flowing firmware 26122" "$out"

out=$(env SACCADRIX_VT_DEVICES="vid=0x046d,pid=0xc52b,product=Mouse;model=2,fw=300,rate=2000" \
      LD_PRELOAD="$preload" "$probe" 2>&1)
check "listed devices in order" "device 046d:c52b" "$out"
check "second listed device" "device 0861:3411 serial=VT0002 path=vt:2" "$out"
check "listed tracker streams and answers" "results flowing firmware 300" "$out"

out=$(env SACCADRIX_VT_DEVICES="" LD_PRELOAD="$preload" "$probe" 2>&1)
check "empty list attaches nothing" "no tracker" "$out"

out=$(env SACCADRIX_VT_DEVICES="model=9" LD_PRELOAD="$preload" "$probe" 2>&1)
check "bad list is reported" "SACCADRIX_VT_DEVICES: device 1: bad value \"9\" for model" "$out"
check "bad list attaches nothing" "no tracker" "$out"

exit $status
