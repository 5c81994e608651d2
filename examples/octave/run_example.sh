#!/bin/sh
# Runs record_calibrate_plot.m (or the given Octave call) in Octave against the virtual
# tracker, with a display of its own for the plot, and checks that a PNG file came out.
#   run_example.sh XVFB_RUN OCTAVE PRELOAD GATEWAY_DIR PNG_FILE [CALL]
set -u
xvfb_run=$1 octave=$2 preload=$3 gateway_dir=$4 png=$5
call=${6:-"record_calibrate_plot('$png', 1.5)"}
here=$(cd "$(dirname "$0")" && pwd)
rm -f "$png"
# Only Octave gets the virtual tracker, not the X server.
"$xvfb_run" -a -s "-screen 0 1024x768x24" env LD_PRELOAD="$preload" \
  "$octave" --no-gui --norc --quiet --no-history --eval \
  "addpath('$gateway_dir'); addpath('$here'); $call;"
rc=$?
[ $rc -eq 0 ] || { echo "FAILED: Octave exited with $rc"; exit 1; }
# A PNG file starts with the bytes 0x89 'P' 'N' 'G'.
if [ "$(dd if="$png" bs=1 skip=1 count=3 2>/dev/null)" != "PNG" ]; then
  echo "FAILED: $png is not a PNG file"; exit 1
fi
echo "wrote $png ($(wc -c <"$png") bytes)"
