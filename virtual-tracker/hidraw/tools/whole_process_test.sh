#!/bin/sh
# The saccadrix command run through run-emulated: it finds the emulated trackers with the
# real hidapi, reads them, and says what to do when a node may not be opened.
# usage: whole_process_test.sh RUN_EMULATED SACCADRIX
set -u
run=$1
cli=$2
status=0

check() {  # name, expected text, output
  if printf '%s\n' "$3" | grep -q -- "$2"; then
    echo "ok: $1"
  else
    echo "FAILED: $1: expected \"$2\" in:"; printf '%s\n' "$3"; status=1
  fi
}

out=$(env -u SACCADRIX_VT_DEVICES "$run" "$cli" info 2>&1)
check "default tracker: its serial number through udev" "VT0001" "$out"
check "default tracker: firmware through the node" "26122" "$out"

out=$(SACCADRIX_VT_DEVICES="vid=0x1209,pid=0x0001,product=Keypad;model=2,serial=EMU-2" \
      "$run" "$cli" info 2>&1)
check "foreign device skipped, tracker found" "EMU-2" "$out"

out=$(SACCADRIX_VT_DEVICES="model=4,rate=2000" "$run" "$cli" stream -s 1 --csv 2>/dev/null)
lines=$(printf '%s\n' "$out" | wc -l)
if [ "$lines" -gt 500 ]; then echo "ok: stream through the node ($lines lines)"; else
  echo "FAILED: stream through the node: $lines lines"; status=1; fi

out=$("$run" --no-access "$cli" info 2>&1)
code=$?
check "node that may not be opened: the udev advice" "udev rule" "$out"
if [ "$code" -eq 4 ]; then echo "ok: exit status 4"; else echo "FAILED: exit status $code, not 4"; status=1; fi

out=$(SACCADRIX_VT_DEVICES="" "$run" "$cli" info 2>&1)
code=$?
if [ "$code" -eq 3 ]; then echo "ok: no tracker, exit status 3"; else echo "FAILED: no tracker: exit status $code"; status=1; fi

exit $status
