function test_dispatch ()
  % Dispatch of zelSaccadrix: option codes, exact input counts with their identifiers and
  % messages, the single-value options, what comes back without a tracker, and outputs that
  % the caller has no room for. Runs against one simulated model code 4 tracker.
  run_with_tracker_closed_after (@() checks (@zelSaccadrix));
endfunction

function checks (gw)

  % ---- No tracker is open yet --------------------------------------------------------------
  expect_error (@() gw (), "MyToolbox:arrayProduct:nrhs", "No option selected.");

  % Codes that are not 0..24 or 27..35 (or not numbers at all) do nothing: no output, no
  % error, and no library call. -1 in particular must not run option 0; 25 and 26 belong to
  % the video gateway.
  not_codes = {25, 26, 26.9, 36, 36.5, 40, -1, NaN, Inf, -Inf, 1e300, -1e300, 24.5 + 1, [], {}, ...
               {0}, struct("a", 0), "z", @sin};
  for k = 1:numel (not_codes)
    expect_no_output (gw, not_codes{k});
  endfor
  % Extra inputs do not matter when the code does nothing.
  expect_no_output (gw, 25, 1, 2, 3);
  expect_no_output (gw, 36, 1);

  % Without a connection the library's no-device status comes back as an int32 -100, and
  % outputs the library did not write read as zero.
  expect_value (gw (10, 0, zeros (18, 1), 600), int32 (-100), "option 10 without a tracker");
  [v, d] = gw (11, 0);
  expect_value (v, zeros (18, 1), "option 11 calibration without a tracker");
  expect_value (d, 0, "option 11 distance without a tracker");
  expect_value (gw (13), 0, "option 13 without a tracker");
  [f1, f2, s] = gw (15);
  expect_value ([f1 f2 s], int32 ([0 0 -100]), "option 15 without a tracker");
  serial = gw (16);
  assert (ischar (serial) && isempty (serial), "option 16 without a tracker: empty text");
  [c, s] = gw (21, 0);
  expect_value ([c s], int32 ([0 -100]), "option 21 without a tracker");
  [c, s] = gw (22);
  expect_value ([c s], int32 ([0 -100]), "option 22 without a tracker");
  [a, b, rate, d4, e5, s] = gw (24);
  expect_value ([a b rate d4 e5 s], int32 ([0 0 0 0 0 -100]), "option 24 without a tracker");

  % ---- Exact input counts ---------------------------------------------------------------
  % code, required inputs, handler part of the identifier, message
  table = {
     0, 1, "mexInit", "One input required."
     1, 1, "mexClose", "One input required."
     2, 2, "mexSetResultsType", "Two inputs required."
     3, 1, "mexStartTracking", "One input required."
     4, 1, "mexStopTracking", "One input required."
     5, 1, "mexGetResultsCount", "One input required."
     6, 4, "mexGetBufferedResults", "Four inputs required!"
     7, 1, "mexClearDataBuffer", "One input required."
     8, 1, "mexGetLibVersion", "One input required."
     9, 6, "mexCalibrateDevice", "Six inputs required."
    10, 4, "mexSetCalibration", "Four inputs required."
    11, 2, "mexGetCalibration", "Two inputs required."
    12, 3, "mexSetPupilCalibration", "Three inputs required."
    13, 1, "mexGetPupilCalibration", "One input required."
    14, 3, "mexSetTracking", "Three inputs required."
    15, 1, "mexGetTracking", "One input required."
    16, 1, "mexGetSerialNumber", "One input required."
    17, 1, "mexGetFirmwareVersion", "One input required."
    18, 1, "mexGetFirmwareBuildDateTime", "One input required."
    19, 2, "mexSaveCalibration", "Two inputs required."
    20, 2, "mexLoadCalibration", "Two inputs required."
    21, 2, "mexGetCalibrated", "Two inputs required."
    22, 1, "mexGetPupilCalibrated", "One input required."
    23, 1, "mexGetTrackingStarted", "One input required."
    24, 1, "mexGetCaptureConfig", "One input required."
    27, 1, "mexGetHostClock", "One input required."
    28, 2, "mexTimestampToHostClock", "Two inputs required."
    29, 2, "mexAddMarker", "Two inputs required."
    30, 1, "mexGetMarkers", "One input required."
    31, 4, "mexGetBufferedResultsWithTimes", "Four inputs required."
  };
  assert (rows (table) == 30);
  for r = 1:rows (table)
    [code, count, handler, message] = table{r, :};
    identifier = ["MATLAB:" handler ":invalidNumInputs"];
    for wrong = [count - 1, count + 1, count + 3]
      if (wrong < 1)
        continue;
      endif
      args = [{code}, num2cell(zeros (1, wrong - 1))];
      expect_error (@() gw (args{:}), identifier, message);
    endfor
  endfor
  % Options whose last inputs may be left out: counts they do not take.
  % code, wrong counts, handler part of the identifier, message
  optional = {
    32, [1 3 6 8 10], "mexValidate", "Four, five or seven inputs required."
    33, [1 2 5 7], "mexSetEventDetection", "Three or four inputs required."
    35, [1 3 6 8], "mexDetectEvents", "Four or five inputs required."
  };
  for r = 1:rows (optional)
    [code, counts, handler, message] = optional{r, :};
    for wrong = counts
      args = [{code}, num2cell(zeros (1, wrong - 1))];
      expect_error (@() gw (args{:}), ["MATLAB:" handler ":invalidNumInputs"], message);
    endfor
  endfor
  expect_error (@() gw (34, 0), "MATLAB:mexGetEvents:invalidNumInputs", "One input required.");
  % A wrong count is raised before anything runs: zelSaccadrix(0, 1) did not open the device.
  expect_value (gw (10, 0, zeros (18, 1), 600), int32 (-100), "option 10 after (0, 1)");

  % ---- Truncation of the option code ----------------------------------------------------
  % -0.5 truncates to 0 and opens the tracker (model code 4).
  expect_value (gw (-0.5), int32 (4), "option -0.5 runs option 0");
  expect_value (gw (17), uint16 (26122), "firmware after opening");
  expect_value (gw (23), int32 (0), "tracking started before option 3");
  % 3.9 truncates to 3: start tracking.
  expect_value (gw (3.9), int32 (0), "option 3.9 runs option 3");
  expect_value (gw (23), int32 (1), "tracking started after option 3.9");
  expect_value (gw (4), int32 (0), "option 4");
  expect_value (gw (23), int32 (0), "tracking started after option 4");
  % The code may come in any numeric class.
  expect_value (gw (int8 (8)), int32 (46), "option int8(8)");
  expect_value (gw (single (8.7)), int32 (46), "option single(8.7)");

  % ---- Single-value options -----------------------------------------------------------------
  expect_value (gw (8), int32 (46), "option 8 returns the library version, not a status");
  expect_value (gw (2, 1), int32 (0), "option 2 calibrated");
  expect_value (gw (2, 1.9), int32 (0), "option 2 with 1.9 (truncated to 1)");
  expect_value (gw (2, 2), int32 (-3), "option 2 with a type the library refuses");
  expect_value (gw (2, NaN), int32 (0), "option 2 with NaN (read as 0, raw)");
  expect_value (gw (2, -1e300), int32 (-3), "option 2 with -1e300 (saturated, refused)");
  expect_value (gw (7), int32 (0), "option 7");
  expect_value (gw (5), int32 (0), "option 5 after clearing");

  % ---- Outputs beyond the caller's room -------------------------------------------------
  % Options with several outputs make only as many as were asked for.
  [a, b] = gw (24);
  expect_value ([a b], int32 ([640 480]), "option 24 with two outputs");
  a = gw (24);
  expect_value (a, int32 (640), "option 24 with one output");
  gw (24);
  [f1, f2] = gw (15);
  assert (isa (f1, "int32") && isa (f2, "int32"));
  % Asking for more outputs than an option makes is Octave's error, not a crash.
  expect_error (@() call_with_outputs (gw, 2, {8}), "", "element number 2 undefined in return list");
  expect_error (@() call_with_outputs (gw, 7, {24}), "", "element number 7 undefined in return list");

  expect_value (gw (1), int32 (0), "option 1");
  expect_value (gw (10, 0, zeros (18, 1), 600), int32 (-100), "option 10 after closing");
endfunction
