function test_validation ()
  % Option 32 against a simulated subject whose tracker measures gaze 0.5 deg right of and
  % 0.3 deg below where it looks (offset=0.5:-0.3, noise 0.02 deg; no drift, microsaccades or
  % blinks, so that a fixation stays on its target): the tracker
  % holds the subject's exact calibration, the subject is shown targets, and the validation
  % of the recording must find the offset, in calibrated and in raw results. Then inputs of
  % the wrong shape raise their errors, values the library refuses come back as a status,
  % and neither touches the recording.
  run_with_tracker_closed_after (@() checks (@zelSaccadrix));
endfunction

function checks (gw)
  distance = 600;
  expect_value (gw (0), int32 (4), "open");
  % The subject's eye position is 150 x tan(angle) (its gain); with the eye scale 100 that
  % option 10 stores, gaze = (a u, a v, D) points where the subject looks.
  a = distance * 100 / 150;
  matrix = [a 0 0 0; 0 a 0 0; 0 0 0 distance; 0 0 0 1];
  calibration = [reshape(matrix', 16, 1); 0; 0];
  for eye = 0:1
    expect_value (gw (10, eye, calibration, distance), int32 (0), "the subject's calibration");
  endfor

  % Targets on the plane, in mm: x, y per row.
  targets = [0 0; 150 100; -150 100; -150 -100; 150 -100];
  for type = [1 0]
    [v, windows] = validate_round (gw, type, targets, distance);
    what = sprintf (" (results type %d)", type);
    n = rows (targets);
    expect_value (v.target, targets, ["targets come back" what]);
    expect_value (v.window, windows, ["windows come back" what]);
    for f = {"accuracy", "offsetX", "offsetY", "precisionRms", "precisionSd", "dataLoss", ...
             "samples", "tracked"}
      assert (isequal (size (v.(f{1})), [n 2]), "%s is N-by-2%s", f{1}, what);
      assert (isequal (size (v.overall.(f{1})), [1 2]), "overall %s is 1-by-2%s", f{1}, what);
    endfor
    assert (all (v.samples(:) > 100), "every window has its samples%s", what);
    expect_value (v.tracked, v.samples, ["every sample tracked" what]);
    expect_value (v.dataLoss, zeros (n, 2), ["no data loss" what]);
    % The estimates against the known offset and noise: tremor and noise move a mean over
    % hundreds of samples by far less than these margins.
    assert (all (abs (v.offsetX(:) - 0.5) < 0.05), "offsetX %s%s", mat2str (v.offsetX, 3), what);
    assert (all (abs (v.offsetY(:) + 0.3) < 0.05), "offsetY %s%s", mat2str (v.offsetY, 3), what);
    assert (all (abs (v.accuracy(:) - hypot (0.5, 0.3)) < 0.05), "accuracy %s%s", ...
            mat2str (v.accuracy, 3), what);
    assert (all (v.precisionRms(:) > 0.01 & v.precisionRms(:) < 0.04), "precision RMS %s%s", ...
            mat2str (v.precisionRms, 3), what);
    assert (all (v.precisionSd(:) > 0 & v.precisionSd(:) < 0.3), "precision SD%s", what);
    assert (all (abs (v.overall.accuracy - mean (v.accuracy)) < 1e-9), ...
            "overall accuracy: the mean over targets%s", what);
    expect_value (v.overall.samples, sum (v.samples), ["overall: all samples" what]);
  endfor

  % ---- Samples given instead of the recording ---------------------------------------------
  % Gaze straight at each target and then 1 degree to the right of it: accuracy 0 and 1.
  time = (0:399)' / 100;
  directions = [0 0; 0 0; 10 5; 11 5];               % degrees, one per second
  degrees = directions(floor (time) + 1, :);
  gaze = [tand(degrees), ones(400, 1)];
  gaze(250, :) = 0;                                   % one lost sample
  [v, status] = gw (32, [0 0; 10 5; 10 5; 0 0], [0 1; 2 3; 3 4; 5 6], 0, 0.2, time, gaze);
  expect_value (status, int32 (0), "samples given: status");
  assert (isequal (size (v.accuracy), [4 1]) && isequal (size (v.overall.accuracy), [1 1]), ...
          "samples given: one eye, N-by-1");
  assert (abs (v.accuracy(1)) < 1e-9 && abs (v.accuracy(2)) < 1e-9, "on target: accuracy 0");
  assert (abs (v.accuracy(3) - 1) < 0.01 && abs (v.offsetX(3) - 1) < 1e-9, "1 degree off");
  expect_value (v.samples', [80 80 80 0], "samples after the skip, none past the data");
  expect_value (v.tracked', [80 79 80 0], "the lost sample");
  assert (isnan (v.accuracy(4)) && v.dataLoss(2) > 0, "no sample: NaN; a lost one: loss");
  bad_samples = {
    {time, gaze(:, 1:2)}, {time(1:end - 1), gaze}, {single(time), gaze}, {time, int32(gaze)}, ...
    {time, complex(gaze, 1)}, {{time}, gaze}, {time, gaze'}};
  for k = 1:numel (bad_samples)
    expect_error (@() gw (32, [0 0], [0 1], 0, 0.2, bad_samples{k}{:}), ...
                  "MATLAB:mexValidate:invalidSamples", "M-by-3 gaze vectors.");
  endfor

  % ---- Wrong inputs ------------------------------------------------------------------------
  count = gw (5);
  windows = [0 1; 1 2];
  bad_targets = {zeros(2, 3), zeros(0, 2), [0 0 0 0], int32([0 0; 1 1]), single([0 0; 1 1]), ...
                 complex([0 0; 1 1], 1), sparse([0 0; 1 1]), {0, 0}, "ab", struct("x", 0), ...
                 zeros(2, 2, 2)};
  for k = 1:numel (bad_targets)
    expect_error (@() gw (32, bad_targets{k}, windows, distance), ...
                  "MATLAB:mexValidate:invalidTargets", "N at least 1.");
  endfor
  bad_windows = {[0 1], [0 1; 1 2; 2 3], [0 1 2; 1 2 3], int32(windows), {0, 1}, []};
  for k = 1:numel (bad_windows)
    expect_error (@() gw (32, [0 0; 1 1], bad_windows{k}, distance), ...
                  "MATLAB:mexValidate:invalidWindows", "a row per target.");
  endfor
  % Values the library refuses: status -3 and NaN figures.
  refused = {
    {[NaN 0; 1 1], windows, distance}, "a NaN target"
    {[0 0; 1 1], [0 1; 2 1], distance}, "a window that ends before it starts"
    {[0 0; 1 1], windows, -600}, "a negative viewing distance"
    {[0 0; 1 1], windows, NaN}, "a NaN viewing distance"
    {[0 0; 1 1], windows, {600}}, "a cell for the viewing distance"
    {[0 0; 1 1], windows, distance, -1}, "a negative skip"
    {[0 0; 1 1], windows, distance, Inf}, "an infinite skip"
    {[95 0; 1 1], windows, 0}, "an angle of 90 degrees or more"
  };
  for k = 1:rows (refused)
    [v, status] = gw (32, refused{k, 1}{:});
    expect_value (status, int32 (-3), refused{k, 2});
    assert (all (isnan (v.accuracy(:))) && all (isnan (v.overall.dataLoss)), ...
            "NaN figures for %s", refused{k, 2});
  endfor
  expect_value (gw (5), count, "the recording is untouched by option 32");
endfunction

function [v, windows] = validate_round (gw, type, targets, distance)
  % Records while each target is shown for 1.2 s and validates the recording, leaving out
  % the first 0.5 s of each window (the subject reacts after 0.2 s).
  expect_value (gw (2, type), int32 (0), "results type");
  expect_value (gw (7), int32 (0), "clear the recording");
  expect_value (gw (3), int32 (0), "start tracking");
  n = rows (targets);
  windows = zeros (n, 2);
  for k = 1:n
    windows(k, 1) = gw (27);
    if (k > 1)
      windows(k - 1, 2) = windows(k, 1);
    endif
    assert (vt_look_at (atand (targets(k, 1) / distance), atand (targets(k, 2) / distance)) == 1);
    wait_until (@() gw (27) > windows(k, 1) + 1.2, "the target's time");
  endfor
  windows(n, 2) = gw (27);
  wait_until (@() newest_sample_time (gw) > windows(n, 2), "the last window's records");
  expect_value (gw (4), int32 (0), "stop tracking");
  [v, status] = gw (32, targets, windows, distance, 0.5);
  expect_value (status, int32 (0), "validation status");
endfunction

function t = newest_sample_time (gw)
  c = cell (1, 43);
  [c{:}] = gw (31, 1, 0, 0);
  t = c{43};
endfunction
