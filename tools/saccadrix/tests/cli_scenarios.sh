#!/bin/sh
# Runs the saccadrix command against the virtual tracker and checks exit codes, messages
# and files. One scenario per CTest test:
#   cli_scenarios.sh SCENARIO
# Environment: SACCADRIX_CLI (the command), CLI_PRELOAD (LD_PRELOAD for the command only:
# the virtual tracker, behind a sanitizer runtime if any), RECORDING_CHECK (the file
# checker), OCTAVE (optional), WORK_DIR (a scratch folder of this test's own).
set -u
scenario=$1
status=0
mkdir -p "$WORK_DIR"
cd "$WORK_DIR" || exit 1
rm -rf ./*

fail() { echo "FAILED: $*"; status=1; }

# run EXPECTED_EXIT ARGS... : runs the command with the environment set by the caller.
run() {
  expected=$1; shift
  LD_PRELOAD="$CLI_PRELOAD" "$SACCADRIX_CLI" "$@" >out.txt 2>err.txt
  rc=$?
  cat out.txt err.txt >all.txt
  if [ "$rc" -ne "$expected" ]; then
    fail "saccadrix $* exited with $rc, expected $expected"; sed 's/^/  | /' all.txt | head -40
  fi
}
# expect TEXT_PATTERN [FILE]: an extended regular expression the last run printed.
expect() {
  if ! grep -Eq -- "$1" "${2:-all.txt}"; then
    fail "expected /$1/ in the output of the last run:"; sed 's/^/  | /' "${2:-all.txt}" | head -40
  fi
}
expect_file() { [ -s "$1" ] || fail "expected the file $1"; }
# wait_for PATTERN: waits (up to a generous minute) until the background command's standard
# error matches the extended regular expression.
wait_for() {
  i=0
  while ! grep -Eq -- "$1" err.txt 2>/dev/null && [ $i -lt 600 ]; do
    sleep 0.1; i=$((i + 1))
  done
  grep -Eq -- "$1" err.txt || fail "waited in vain for /$1/ from the command"
}
# The number of results in the newest progress line of the background command.
results_so_far() { tail -n 1 err.txt | sed -nE 's/.* ([0-9]+) results.*/\1/p'; }
# wait_for_results N: waits (up to five generous minutes) until the background command has
# recorded N results.
wait_for_results() {
  i=0
  while [ "$(results_so_far)" -lt "$1" ] 2>/dev/null || [ -z "$(results_so_far)" ]; do
    [ $i -lt 3000 ] || { fail "waited in vain for $1 results"; return; }
    sleep 0.1; i=$((i + 1))
  done
}
vmhwm_kb() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status"; }
expect_no_file() { [ ! -e "$1" ] || fail "expected no file $1"; }
# Nothing but the files named may be left in the folder (no temporary files).
expect_only_files() {
  left=$(ls -A | grep -v -x -e out.txt -e err.txt -e all.txt $(for f in "$@"; do printf -- '-e %s ' "$f"; done))
  [ -z "$left" ] || fail "unexpected files left behind: $left"
}

case "$scenario" in

usage)
  run 0 --help
  expect "Exit codes:"
  expect " 3  no tracker found"
  expect "11  the tracker sent no results"
  run 0 --version
  expect "saccadrix [0-9.]+ \(device library 46"
  run 2
  run 2 frobnicate
  run 2 stream --seconds -1
  run 2 stream --seconds abc
  run 2 record --seconds 1
  expect "say where to write the recording"
  run 2 calibration
  run 2 calibration save
  run 2 settings set
  run 2 settings get no-such-setting
  expect "no setting named 'no-such-setting'"
  run 2 settings set capture 1 2 3 4 5
  expect "'capture' cannot be changed"
  run 2 settings set tracking on
  expect "usage: saccadrix settings set tracking EYE0 EYE1"
  run 2 video record
  ;;

no-tracker)
  export SACCADRIX_VT_DEVICES=""
  run 3 info
  expect "no Saccadrix tracker found"
  run 3 stream --seconds 1
  run 3 record -o trial --seconds 1
  expect_only_files
  run 3 calibration save trial.cal
  expect_only_files
  run 3 settings get
  # Another HID device is not a tracker.
  export SACCADRIX_VT_DEVICES="vid=0x046d,pid=0xc52b,product=Mouse"
  run 3 info
  ;;

info)
  export SACCADRIX_VT_DEVICES="model=4,fw=26123,date=Jan 02 2027 08:00:00,serial=SN-42,pins=5:6:7:0,pupil=512"
  run 0 info
  expect "^model code: +4$"
  expect "^serial number: +SN-42$"
  expect "^firmware version: +26123$"
  expect "^firmware build date: +Jan 02 2027 08:00:00$"
  expect "^pins: +4: 0 trigger eye 0, 1 trigger eye 1, 2 event, 3 function 0$"
  expect "^gaze calibration: +eye 0 not calibrated, eye 1 not calibrated$"
  expect "^pupil calibration: +calibrated, scale 0.5$"
  expect "^device library: +46 \(ABI 2049\)$"
  export SACCADRIX_VT_DEVICES="model=2,rate=1000"
  run 0 info
  expect "^model code: +2$"
  expect "^pins: +none \(model code 2 has no pin functions\)$"
  expect "^capture rate: +60 Hz$"
  ;;

stream)
  export SACCADRIX_VT_DEVICES="model=4,rate=1000"
  run 0 stream --seconds 1.5 --interval 0.25
  expect "^ +0\.[0-9]+ s +[0-9]+/s +t +[0-9]+ +eye0 "
  # The rate readout and the summary agree with the tracker's 1000 results per second.
  expect "^1[0-9]{3} results in 1\.[0-9]+ s \((9[0-9]{2}|10[0-9]{2})/s\)$"
  run 0 stream --seconds 1 --csv
  head -n 1 out.txt | grep -q "^timestamp,results_type,eye0_pupil_x," || fail "CSV header first"
  rows=$(($(wc -l <out.txt) - 1))
  [ "$rows" -ge 900 ] || fail "stream --csv wrote $rows rows in a second at 1000/s"
  bad=$(awk -F, 'NR > 1 && NF != 41' out.txt | wc -l)
  [ "$bad" -eq 0 ] || fail "$bad CSV lines without 41 fields"
  expect "results in" err.txt
  # Timestamps of consecutive lines count up by one: nothing lost, nothing repeated.
  gaps=$(awk -F, 'NR > 2 && $1 != prev + 1 { n++ } { prev = $1 } END { print n + 0 }' out.txt)
  [ "$gaps" -eq 0 ] || fail "$gaps gaps in the streamed timestamps"
  run 0 stream --seconds 0.5 --calibrated
  export SACCADRIX_VT_DEVICES="model=4,rate=0"
  run 11 stream --seconds 0.5
  expect "no results yet"
  expect "the tracker sent no results"
  ;;

stream-events)
  # The simulated subject views freely (a saccade every 0.2 to 0.6 s) in front of a tracker
  # that holds its calibration: saccades, fixations and blinks arrive while streaming.
  export SACCADRIX_VT_DEVICES="model=4,rate=1000,blinks=30"
  "$SUBJECT_CALIBRATION" subject.cal || fail "cannot write the subject's calibration file"
  run 0 stream --events --load subject.cal --seconds 6
  # Events only on standard output: START and END lines, never a result.
  bad=$(grep -Ev '^eye [01] (fixation|saccade|pso|pursuit|blink|undefined) +(start|end) ' out.txt | wc -l)
  [ "$bad" -eq 0 ] || fail "$bad lines on standard output that are not events"
  ends=$(grep -Ec '^eye 0 saccade +end .* amplitude [0-9.]+ deg, peak [0-9]+ deg/s' out.txt)
  [ "$ends" -ge 5 ] || fail "only $ends saccades of eye 0 in 6 s of free viewing"
  grep -Eq '^eye 1 fixation +start ' out.txt || fail "no fixation of eye 1"
  expect "^events: [0-9]+ fixations?, [0-9]+ saccades?, [0-9]+ PSOs?, [0-9]+ pursuits?, [0-9]+ blinks?; 0 dropped from the full queue$" err.txt
  expect "results in" err.txt
  # CSV: a header, then rows of 19 fields; START rows leave the end empty; one eye only.
  run 0 stream --events --csv --eye 1 --load subject.cal --seconds 4
  head -n 1 out.txt | grep -q "^eye,phase,type,flags,start_s,end_s,duration_s," || fail "events CSV header first"
  bad=$(awk -F, 'NR > 1 && (NF != 19 || $1 != 1 || ($2 == "start") != ($6 == ""))' out.txt | wc -l)
  [ "$bad" -eq 0 ] || fail "$bad event rows with other fields than expected"
  [ "$(awk -F, '$2 == "end" && $3 == "saccade" && $12 > 1' out.txt | wc -l)" -ge 3 ] ||
    fail "too few saccades above a degree in the CSV"
  # Without a calibration there is no gaze: the command says why nothing but blinks come.
  run 0 stream --events --seconds 1
  expect "warning: the tracker holds no gaze calibration"
  run 2 stream --eye 0 --seconds 1
  run 2 stream --events --eye 2 --seconds 1
  ;;

record)
  export SACCADRIX_VT_DEVICES="model=4,rate=1000,serial=VT-REC-7"
  run 0 record -o trial.csv --seconds 2
  expect "^recording +[0-9.]+ s of 2.0 s, [0-9]+ results$"
  expect "^Recorded [0-9]+ results in 2\.[0-9]+ s"
  expect "^Wrote trial.csv$"
  expect "^Wrote trial.markers.csv$"
  expect "^Wrote trial.mat$"
  expect_only_files trial.csv trial.markers.csv trial.mat
  [ "$(cat trial.markers.csv)" = "host_time,timestamp,text" ] || fail "markers file of no markers"
  "$RECORDING_CHECK" trial.csv trial.mat 1800 0 VT-REC-7 || fail "recording_check"
  if [ -n "${OCTAVE:-}" ]; then
    "$OCTAVE" --no-gui --norc --quiet --no-history --eval "
      d = load('trial.mat');
      assert(numel(d.columns) == 43 && strcmp(d.columns{3}, 'eye0_pupil_x'));
      assert(strcmp(d.columns{42}, 'host_time') && strcmp(d.columns{43}, 'sample_time'));
      assert(isempty(d.marker_time) && isempty(d.marker_text) && isa(d.marker_timestamp, 'uint64'));
      m = cell2mat(cellfun(@(c) d.(c), d.columns, 'UniformOutput', false));
      c = dlmread('trial.csv', ',', 1, 0);
      assert(isequal(size(m), size(c)));
      assert(all(all(single(m(:, 1:41)) == single(c(:, 1:41)))));
      assert(all(all(abs(m(:, 42:43) - c(:, 42:43)) <= 1e-9)));
      assert(isequal(d.timestamp', 0:numel(d.timestamp) - 1));
      assert(strcmp(d.serial_number, 'VT-REC-7') && d.model_code == 4);
      printf('octave read %d rows\n', rows(m));" || fail "Octave could not read the files back"
  fi
  # Only the files asked for.
  run 0 record --csv only.csv --seconds 0.5 --calibrated
  expect "warning: the tracker holds no gaze calibration"
  expect_file only.csv
  expect_file only.markers.csv
  expect_no_file only.mat
  types=$(awk -F, 'NR > 1 { print $2 }' only.csv | sort -u)
  [ "$types" = "1" ] || fail "calibrated recording has results_type $types"
  ;;

record-interrupt)
  export SACCADRIX_VT_DEVICES="model=4,rate=500,serial=VT-INT"
  LD_PRELOAD="$CLI_PRELOAD" "$SACCADRIX_CLI" record -o trial >out.txt 2>err.txt &
  pid=$!
  # Wait for the recording to run (not a fixed sleep: the open takes its time).
  i=0
  while ! grep -Eq "^recording +[1-9]" err.txt 2>/dev/null && [ $i -lt 200 ]; do
    sleep 0.1; i=$((i + 1))
  done
  grep -Eq "^recording +[1-9].*Ctrl-C stops" err.txt || fail "no progress line before Ctrl-C"
  kill -INT $pid
  wait $pid
  rc=$?
  cat out.txt err.txt >all.txt
  [ "$rc" -eq 0 ] || { fail "record ended by Ctrl-C exited with $rc"; cat all.txt; }
  expect "^Wrote trial.mat$"
  "$RECORDING_CHECK" trial.csv trial.mat 400 0 VT-INT || fail "recording_check after Ctrl-C"
  expect_only_files trial.csv trial.markers.csv trial.mat
  ;;

record-markers)
  # Each line typed while recording becomes a marker; the last one may lack its line end.
  export SACCADRIX_VT_DEVICES="model=4,rate=1000,serial=VT-MRK"
  mkfifo typed
  LD_PRELOAD="$CLI_PRELOAD" "$SACCADRIX_CLI" record -o trial --markers-from-stdin <typed \
    >out.txt 2>err.txt &
  pid=$!
  exec 3>typed
  wait_for "^recording +[0-9.]+ s, [1-9][0-9]* results"
  printf 'trial 1, "start"\nplain\r\n\n' >&3
  wait_for " 3 markers"
  printf 'Zielreiz \303\244' >&3
  exec 3>&-
  wait_for " 4 markers"
  kill -INT $pid
  wait $pid || fail "record with markers exited with $?"
  cat out.txt err.txt >all.txt
  expect "^Recorded [0-9]+ results .*; 4 markers$"
  expect_only_files typed trial.csv trial.markers.csv trial.mat
  "$RECORDING_CHECK" trial.csv trial.mat 1 0 VT-MRK || fail "recording_check with markers"
  [ "$(wc -l <trial.markers.csv)" -eq 5 ] || fail "the markers file has not 4 markers"
  line=1
  for text in '"trial 1, ""start"""' '"plain"' '""' "\"Zielreiz $(printf '\303\244')\""; do
    line=$((line + 1))
    sed -n "${line}p" trial.markers.csv | grep -Eqx "[0-9]+\.[0-9]{9},[0-9]+,$text" ||
      fail "marker line $line is not $text: $(sed -n "${line}p" trial.markers.csv)"
  done
  if [ -n "${OCTAVE:-}" ]; then
    "$OCTAVE" --no-gui --norc --quiet --no-history --eval "
      d = load('trial.mat');
      assert(isequal(d.marker_text, {'trial 1, \"start\"'; 'plain'; ''; ['Zielreiz ' char([195 164])]}));
      assert(isa(d.marker_timestamp, 'uint64') && isequal(size(d.marker_time), [4 1]));
      assert(all(diff(d.marker_time) >= 0));
      % A marker's timestamp is the sample the tracker took when it was added.
      for k = 1:4
        i = find(d.sample_time >= d.marker_time(k), 1);
        assert(abs(double(d.marker_timestamp(k)) - d.timestamp(i)) <= 2);
      end
      m = dlmread('trial.markers.csv', ',', 1, 0);
      assert(all(abs(m(:, 1) - d.marker_time) <= 1e-9) && isequal(m(:, 2), double(d.marker_timestamp)));
      printf('octave read %d markers\n', numel(d.marker_text));" ||
      fail "Octave could not read the markers back"
  fi
  ;;

record-long)
  # 16 000 results a second: memory must not grow with the recording. Holding each record
  # (155 bytes and more) for 400 000 results would add over 60 MB.
  export SACCADRIX_VT_DEVICES="model=3,rate=8000"
  # AddressSanitizer would otherwise keep freed blocks of the stored list in quarantine.
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=8"
  LD_PRELOAD="$CLI_PRELOAD" "$SACCADRIX_CLI" record -o long >out.txt 2>err.txt &
  pid=$!
  wait_for_results 100000
  early=$(vmhwm_kb $pid)
  wait_for_results 500000
  late=$(vmhwm_kb $pid)
  kill -INT $pid
  wait $pid || fail "the long recording exited with $?"
  cat out.txt err.txt >all.txt
  recorded=$(sed -nE 's/^Recorded ([0-9]+) results.*/\1/p' out.txt)
  [ "${recorded:-0}" -ge 500000 ] || fail "only ${recorded:-no} results recorded"
  growth=$((late - early))
  echo "peak resident memory at 100 000 results: $early kB; at 500 000: $late kB"
  # ThreadSanitizer's allocator and shadow memory grow with every block the process used.
  if [ -z "${UNDER_TSAN:-}" ]; then
    [ "$growth" -lt 16384 ] || fail "memory grew by $growth kB from 100 000 to 500 000 results"
  fi
  rows=$(($(wc -l <long.csv) - 1))
  [ "$rows" -eq "$recorded" ] || fail "long.csv holds $rows rows of $recorded"
  bad=$(awk -F, 'NR > 1 && (NF != 43 || (NR > 2 && $1 <= prev)) { n++ } { prev = $1 }
                 END { print n + 0 }' long.csv)
  [ "$bad" -eq 0 ] || fail "$bad rows of long.csv without 43 fields or out of order"
  expect_only_files long.csv long.markers.csv long.mat
  ;;

record-failures)
  export SACCADRIX_VT_DEVICES="model=4,rate=1000"
  run 10 record -o missing-folder/trial --seconds 1
  expect "cannot create a file next to 'missing-folder/trial.csv'"
  export SACCADRIX_VT_DEVICES="model=4,rate=0"
  run 11 record -o trial --seconds 0.5
  expect "the tracker sent no results; nothing written"
  expect_only_files
  # A disk that fills while recording (here a file-size limit: EFBIG, as ENOSPC would be):
  # the CSV file is given up with a clear message while the recording goes on, the MAT file
  # is still written whole, and no partial file is left.
  export SACCADRIX_VT_DEVICES="model=4,rate=4000"
  (trap '' XFSZ; ulimit -f 1000; exec env LD_PRELOAD="$CLI_PRELOAD" "$SACCADRIX_CLI" record \
    -o trial --seconds 2 >out.txt 2>err.txt)
  rc=$?
  cat out.txt err.txt >all.txt
  [ "$rc" -eq 10 ] || { fail "record onto a full disk exited with $rc"; cat all.txt; }
  expect "cannot write 'trial.csv.[A-Za-z0-9]{6}': File too large"
  expect "the recording could not be written whole"
  expect "^Wrote trial.mat$"
  expect_only_files trial.mat
  if [ -n "${OCTAVE:-}" ]; then
    "$OCTAVE" --no-gui --norc --quiet --no-history --eval "
      d = load('trial.mat'); assert(numel(d.timestamp) > 4000);" ||
      fail "the MAT file beside the failed CSV is not whole"
  fi
  ;;

calibration)
  export SACCADRIX_VT_DEVICES="model=4,rate=100,distance=650"
  run 0 calibration save saved.cal
  [ "$(wc -c <saved.cal)" -eq 339 ] || fail "calibration file is not 339 bytes"
  [ "$(dd if=saved.cal bs=1 skip=4 count=12 2>/dev/null)" = "SaccadrixCAL" ] ||
    fail "calibration file without its magic"
  expect_only_files saved.cal
  run 0 calibration load saved.cal
  expect "^Loaded saved.cal onto the tracker$"
  run 0 calibration show
  expect "^eye 0: not calibrated$"
  expect "^viewing distance 650$"
  head -c 200 saved.cal >short.cal
  run 7 calibration load short.cal
  expect "damaged or cut short"
  echo "timestamp,results_type" >not-a-calibration.cal
  run 7 calibration load not-a-calibration.cal
  expect "not a Saccadrix calibration file"
  run 7 calibration load missing.cal
  expect "could not be opened"
  run 7 calibration save missing-folder/saved.cal
  expect "could not be written"
  ;;

calibration-validate)
  # The simulated subject looks at each target the command announces.
  export SACCADRIX_VT_DEVICES="model=4,rate=500,noise=0.05"
  run 2 calibration validate -s 0.7
  expect "the tracker holds no gaze calibration to validate"
  run 2 calibration validate -s 1 --skip 1
  expect "must be shorter than --seconds"
  run 0 calibration validate --calibrate --columns 3 --rows 2 -s 0.8 --skip 0.45
  expect "^target 6 of 6 at \(150, -100\) mm$"
  expect "^eye 1: calibration fitted and stored"
  expect "^6 +150 +-100 \| "
  # Over all targets: accuracy within half a degree, the noise's 0.05 degree sample to sample.
  awk '$1 == "all" { ok = $3 < 0.5 && $4 > 0.04 && $4 < 0.07 } END { exit !ok }' out.txt ||
    fail "validation figures out of range: $(grep '^all' out.txt)"
  run 0 calibration validate --calibrate --raw --columns 2 --rows 2 -s 0.8 --skip 0.45
  expect "raw results"
  expect "^all "
  expect_only_files
  ;;

settings)
  export SACCADRIX_VT_DEVICES="model=4,rate=100,mode=3,pupil=512"
  run 0 settings get
  expect "^tracking: +1 1$"
  expect "^mode: +3$"
  expect "^capture: +640 480 100 0 0$"
  expect "^pupil-calibration: +0.5$"
  expect "^ipv4: +1 -1062731420 -256 -1062731519 5000 0$"
  expect "^ethernet: +00:1B:C5:0A:21:7F 192.168.1.100$"
  run 0 settings get param 0
  expect "^3$"
  run 0 settings get pin 1
  expect "^[0-9a-f]{92}$"
  run 0 settings set param 5 -3
  expect "^sent: param 5 -3$"
  run 0 settings set tracking on off
  run 0 settings set pupil-calibration 2 1
  run 0 settings set analogue 8 000102030405060708090a0b0c0d0e0f10111213141516171819
  run 2 settings set analogue 9 000102030405060708090a0b0c0d0e0f10111213141516171819
  expect "bad analogue channel number '9'"
  run 2 settings set pin 1 00ff
  expect "expected 46 bytes, got 2"
  run 2 settings set param 70000 1
  run 2 settings set pupil-calibration two 1
  run 6 settings set mode 2
  expect "chosen on the tracker itself"
  ;;

settings-model2)
  export SACCADRIX_VT_DEVICES="model=2,rate=100"
  run 6 settings get ipv4
  expect "does not support it \(status -4\)"
  run 6 settings get pin 1
  run 0 settings get
  expect "^ipv4: +not supported by this model$"
  ;;

video)
  run 0 video record camera.avi --seconds 1.5
  expect "^Wrote camera.avi \(1\.[0-9] s, [0-9]+ bytes\)$"
  expect_file camera.avi
  [ "$(head -c 4 camera.avi)" = "RIFF" ] || fail "camera.avi is not a RIFF file"
  [ "$(dd if=camera.avi bs=1 skip=8 count=4 2>/dev/null)" = "AVI " ] || fail "not an AVI file"
  [ "$(wc -c <camera.avi)" -gt 20000 ] || fail "camera.avi is too small for 1.5 s of video"
  run 9 video record missing-folder/camera.avi --seconds 1
  expect "Could not open file"
  export SACCADRIX_TEST_CAMERAS="Office Webcam@other"
  run 8 video record none.avi --seconds 1
  expect "no camera of a Saccadrix tracker found"
  export SACCADRIX_TEST_CAMERAS=""
  run 8 video record none.avi --seconds 1
  expect_no_file none.avi
  ;;

events)
  # No tracker: plain CSVs and recordings from files (EVENT_FIXTURES), and standard input.
  f=$EVENT_FIXTURES
  run 0 events "$f/gaze.csv"
  expect "^eye,type,start_s,end_s,duration_s,start_x_deg,start_y_deg,end_x_deg,end_y_deg,amplitude_deg,peak_velocity_deg_s,mean_x_deg,mean_y_deg$"
  [ "$(grep -c '^-,saccade,' out.txt)" -eq 2 ] || fail "expected the 2 saccades of gaze.csv"
  [ "$(grep -c '^-,blink,' out.txt)" -eq 1 ] || fail "expected the blink of gaze.csv"
  expect "^-,saccade,3\.39[0-9]+,3\.4[0-9]+,[0-9.]+,-?0\.0[0-9]+,-?0\.0[0-9]+,7\.9[0-9]+,"
  # One label per data row, in order; most agree with the truth column of the fixture, and
  # every lost sample is a blink.
  run 0 events --per-sample "$f/gaze.csv"
  [ "$(wc -l <out.txt)" -eq "$(($(wc -l <"$f/gaze.csv") - 1))" ] || fail "one label per row"
  tail -n +2 "$f/gaze.csv" | cut -d, -f3,5 | paste -d, out.txt - >pairs.txt
  agree=$(awk -F, '$1 == $3 { a++ } END { print int(100 * a / NR) }' pairs.txt)
  [ "$agree" -ge 90 ] || fail "only $agree % of the labels agree with the truth"
  lost=$(awk -F, '$2 == "" && $1 != 5' pairs.txt | wc -l)
  [ "$lost" -eq 0 ] || fail "$lost lost samples not labelled 5"
  LD_PRELOAD="$CLI_PRELOAD" "$SACCADRIX_CLI" events --per-sample - <"$f/gaze.csv" >stdin.txt 2>/dev/null
  cmp -s out.txt stdin.txt || fail "standard input gives other labels than the file"
  # A calibrated recording: times from sample_time, directions from the gaze vector; its
  # eye 1 never had gaze.
  run 0 events "$f/recording.csv"
  expect "^0,saccade,1000\.2[0-9]+,1000\.3[0-9]+,[0-9.]+,-?0\.0[0-9]+,-?0\.0[0-9]+,-9\.9[0-9]+,1\.9[0-9]+,10\.[0-9]+,"
  expect "^note: eye 1 has no gaze: left out$"
  run 0 events --eye 1 "$f/recording.csv"
  expect "^1,blink,"
  run 2 events --per-sample --eye 0 --eye 1 "$f/recording.csv"
  # Without sample_time the timestamp stands in, and the command says so.
  cut -d, -f1-42 "$f/recording.csv" >no-sample-time.csv
  run 0 events --timestamp-rate 250 no-sample-time.csv
  expect "no sample_time column: times are its timestamp / 250 s"
  expect "^0,saccade,0\.28[0-9]+,"
  # Refused, with the reason.
  run 2 events "$f/raw-recording.csv"
  expect "line 2\): the recording holds raw results \(results_type 0\)"
  printf 'a,b\n1,2\n' >other.csv
  run 2 events other.csv
  expect "names neither time_s, x_deg and y_deg nor the columns of a recording"
  printf 'time_s,x_deg,y_deg\n0,1,1\n0.002,abc,1\n' >word.csv
  run 2 events word.csv
  expect "line 3\): 'abc' in column x_deg is not a number"
  printf 'time_s,x_deg,y_deg\n0,1\n' >short.csv
  run 2 events short.csv
  expect "line 2\): the row has 2 fields"
  : >empty.csv
  run 2 events empty.csv
  expect "the file is empty"
  run 2 events missing.csv
  expect "cannot open 'missing.csv'"
  run 2 events --eye 2 "$f/gaze.csv"
  ;;

*)
  fail "no scenario named $scenario"
  ;;
esac

[ $status -eq 0 ] && echo "scenario $scenario passed"
exit $status
