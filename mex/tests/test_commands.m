function test_commands ()
  % Options 9 to 22 and 24: calibration, pupil calibration, tracking flags, identity,
  % calibration files and the capture configuration, against one simulated model code 4
  % tracker. Files are written into the test's working folder.
  run_with_tracker_closed_after (@() checks (@zelSaccadrix));
endfunction

function checks (gw)
  expect_value (gw (0), int32 (4), "open");

  % ---- Identity ---------------------------------------------------------------------------
  expect_value (gw (16), "VT0001", "option 16: the serial number as a character row");
  expect_value (gw (17), uint16 (26122), "option 17: uint16 firmware version");
  date = gw (18);
  assert (ischar (date) && rows (date) == 1 && columns (date) > 0 && columns (date) < 32, ...
          "option 18: a character row shorter than its 32-byte buffer");
  [a, b, rate, d, e, status] = gw (24);
  outputs = {a, b, rate, d, e, status};
  assert (all (cellfun (@(x) isa (x, "int32") && isscalar (x), outputs)), "option 24: int32");
  expect_value (rate, int32 (1000), "option 24: the capture rate is the third output");
  expect_value (status, int32 (0), "option 24: status last");

  % ---- Gaze calibration: option 11 gives what option 10 takes ------------------------------
  % Values a 32-bit float holds exactly, since the tracker stores floats.
  calibration = [(1:16)' / 8; 0.5; -2];
  expect_value (gw (10, 0, calibration, 650), int32 (0), "option 10 stores");
  [read, distance] = gw (11, 0);
  expect_value (read, calibration, "option 11 reads back coefficients, aux1, aux2");
  assert (isa (distance, "double") && isscalar (distance));
  [read, distance] = gw (11, 0);  % the tracker's own distance is reported from here on
  expect_value (distance, 650, "option 11 viewing distance");
  expect_value (gw (10, 0, read, distance), int32 (0), "option 11's outputs go back into 10");
  [again, again_distance] = gw (11, 0);
  expect_value ([again; again_distance], [calibration; 650], "round trip keeps every value");
  % Only the first 18 elements count, whatever the array's shape.
  expect_value (gw (10, 1, [reshape(calibration, 2, 9), [7; 7]], 500), int32 (0), "2-by-10");
  expect_value (gw (11, 1), calibration, "eye 1 from a 2-by-10 matrix");
  [c0, s0] = gw (21, 0);
  expect_value ([c0 s0], int32 ([1 0]), "option 21: eye 0 calibrated, then the status");
  expect_value (gw (10, 0, zeros (18, 1), 650), int32 (0), "clear eye 0");
  expect_value (gw (21, 0), int32 (0), "option 21: eye 0 no longer calibrated");

  % Arrays that do not hold 18 doubles are refused before anything is sent.
  bad_vectors = {zeros(17, 1), [], single(calibration), int32(calibration), ...
                 complex(calibration, 1), sparse(calibration), num2cell(calibration), ...
                 "abcdefghijklmnopqr"};
  for k = 1:numel (bad_vectors)
    expect_error (@() gw (10, 0, bad_vectors{k}, 650), ...
                  "MATLAB:mexSetCalibration:invalidCalibration", "at least 18 elements.");
  endfor
  expect_value (gw (11, 0), zeros (18, 1), "refused calibrations stored nothing");

  % ---- Gaze calibration fit (option 9) --------------------------------------------------
  % Nine targets on a grid, one per column: targetX, targetY, eyeX, eyeY.
  [tx, ty] = meshgrid ([-100 0 100], [-80 0 80]);
  targets = [tx(:)'; ty(:)'; 2 * tx(:)' + 5; 2 * ty(:)' - 3];
  result = gw (9, 0, 9, targets, 600, [0.25 0.75]);
  assert (isa (result, "double") && isequal (size (result), [2 1]), "option 9: 2-by-1 double");
  expect_value (result(1), 0, "option 9: the status first");
  assert (result(2) >= 0 && result(2) == fix (result(2)), "option 9: the residual second");
  [stored, ~] = gw (11, 0);
  expect_value (stored(17:18), [0.25; 0.75], "option 9 stores aux1 and aux2");
  expect_value (gw (21, 0), int32 (1), "option 9 calibrated eye 0");
  % Twenty targets are all passed on (the fit uses what its rule says).
  targets20 = [targets, targets(:, 1:9), targets(:, 1:2)];
  result = gw (9, 0, 20, targets20, 600, [0 0]);
  expect_value (result(1), 0, "option 9 with 20 targets");
  % Fewer targets than the array holds: the rest is not read.
  result = gw (9, 1, 9, [targets, NaN(4, 3)], 600, [0 0]);
  expect_value (result(1), 0, "option 9 with a longer array");

  % Counts that the target array does not hold, negative counts and aux arrays shorter
  % than two are refused: nothing is read past an input.
  expect_error (@() gw (9, 0, 10, targets, 600, [0 0]), ...
                "MATLAB:mexCalibrateDevice:invalidTargets", "at least 4 x count elements.");
  expect_error (@() gw (9, 0, 3, targets(1:11), 600, [0 0]), ...
                "MATLAB:mexCalibrateDevice:invalidTargets", "at least 4 x count elements.");
  expect_error (@() gw (9, 0, 2^31, targets, 600, [0 0]), ...
                "MATLAB:mexCalibrateDevice:invalidTargets", "at least 4 x count elements.");
  expect_error (@() gw (9, 0, 9, int32 (targets), 600, [0 0]), ...
                "MATLAB:mexCalibrateDevice:invalidTargets", "at least 4 x count elements.");
  expect_error (@() gw (9, 0, -1, targets, 600, [0 0]), ...
                "MATLAB:mexCalibrateDevice:invalidCount", "must not be negative.");
  expect_error (@() gw (9, 0, -Inf, targets, 600, [0 0]), ...
                "MATLAB:mexCalibrateDevice:invalidCount", "must not be negative.");
  expect_error (@() gw (9, 0, 9, targets, 600, 0.5), ...
                "MATLAB:mexCalibrateDevice:invalidAux", "at least 2 elements (aux1, aux2).");
  expect_error (@() gw (9, 0, 9, targets, 600, {0, 0}), ...
                "MATLAB:mexCalibrateDevice:invalidAux", "at least 2 elements (aux1, aux2).");
  % A count of 0 needs no target array; the library answers for itself.
  result = gw (9, 0, 0, [], 600, [0 0]);
  assert (isa (result, "double") && isequal (size (result), [2 1]), "option 9 with count 0");

  % ---- Pupil calibration --------------------------------------------------------------
  expect_value (gw (12, 2.0, 1.0), int32 (0), "option 12");
  expect_value (gw (13), 0.5, "option 13: value / reference");
  [c, s] = gw (22);
  expect_value ([c s], int32 ([1 0]), "option 22: calibrated, then the status");
  expect_value (gw (12, 0.05, 1.0), int32 (-3), "option 12: reference below 0.1 refused");
  expect_value (gw (13), 0.5, "a refused pupil calibration changes nothing");

  % ---- Tracking flags: the Linux build keeps the low 8 bits -----------------------------
  expect_value (gw (14, 2, 0.5), int32 (0), "option 14 (2, 0.5)");
  [f1, f2, s] = gw (15);
  if (ismac ())
    expect_value ([f1 f2 s], int32 ([1 1 0]), "macOS: 2 and 0.5 are both true");
  else
    expect_value ([f1 f2 s], int32 ([1 0 0]), "Linux: 2 is true, 0.5 truncates to 0");
    gw (14, 256, 257);
    [f1, f2] = gw (15);
    expect_value ([f1 f2], int32 ([0 1]), "Linux: 256 has low 8 bits 0, 257 has 1");
    gw (14, NaN, -Inf);
    [f1, f2] = gw (15);
    expect_value ([f1 f2], int32 ([0 0]), "Linux: NaN reads 0, -Inf saturates (low bits 0)");
  endif
  gw (14, 1, 1);
  [f1, f2, s] = gw (15);
  expect_value ([f1 f2 s], int32 ([1 1 0]), "option 15: both flags, then the status");

  % ---- Calibration files ------------------------------------------------------------
  expect_value (gw (10, 0, calibration, 650), int32 (0), "a calibration to save");
  file = fullfile (pwd (), "saved.cal");
  unlink_if_there (file);
  expect_value (gw (19, file), int32 (0), "option 19 saves");
  info = dir (file);
  expect_value (info.bytes, 339, "a calibration file of 339 bytes");
  expect_value (gw (10, 0, zeros (18, 1), 650), int32 (0), "clear eye 0");
  expect_value (gw (20, file), int32 (0), "option 20 loads");
  expect_value (gw (11, 0), calibration, "the loaded calibration is the saved one");
  expect_value (gw (20, fullfile (pwd (), "missing.cal")), int32 (-6), "no such file");
  junk = fullfile (pwd (), "junk.cal");
  fid = fopen (junk, "w"); fwrite (fid, uint8 (1:339)); fclose (fid);
  expect_value (gw (20, junk), int32 (-9), "not a calibration file");
  % Only as many characters as the name has columns: a two-row name passes two characters,
  % taken in storage order (down the columns).
  unlink_if_there ("ac");
  expect_value (gw (19, ["ab"; "cd"]), int32 (0), "two-row file name");
  assert (exist (fullfile (pwd (), "ac"), "file") == 2, "the two-row name became 'ac'");
  % A name that is not text reaches the library as an empty name.
  expect_value (gw (19, 42), int32 (-5), "numeric file name: nothing can be created");
  expect_value (gw (20, {file}), int32 (-6), "cell file name: nothing can be opened");
endfunction

function unlink_if_there (file)
  if (exist (file, "file"))
    delete (file);
  endif
endfunction
