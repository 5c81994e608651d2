function test_events ()
  % Options 33 to 35: offline detection on synthetic signals with a known saccade, and live
  % detection against a simulated subject (no blinks) that is shown targets 10 deg apart
  % while calibrated results stream. Wrong inputs raise their errors or return a status and
  % change nothing.
  offline_checks (@zelSaccadrix);
  run_with_tracker_closed_after (@() live_checks (@zelSaccadrix));
endfunction

function [t, x, y] = saccade_signal (rate, onset, amplitude)
  % One second of fixation noise (0.01 deg) with a raised-cosine saccade of `amplitude` deg
  % to the right at `onset`, on the main sequence (2.2 ms/deg + 21 ms).
  t = (0:rate - 1)' / rate;
  duration = 0.0022 * amplitude + 0.021;
  x = amplitude * (t >= onset + duration);
  moving = t >= onset & t < onset + duration;
  x(moving) = amplitude * (1 - cos (pi * (t(moving) - onset) / duration)) / 2;
  randn ("seed", 7);
  x += 0.01 * randn (size (t));
  y = 0.01 * randn (size (t));
endfunction

function offline_checks (gw)
  % ---- A known saccade, at the rates trackers run at ------------------------------------
  for rate = [250 1000 8000]
    what = sprintf (" at %d Hz", rate);
    [t, x, y] = saccade_signal (rate, 0.5, 10);
    [labels, events, status] = gw (35, t, x, y);
    expect_value (status, int32 (0), ["status" what]);
    assert (isa (labels, "int8") && isequal (size (labels), [rate 1]), "int8 column%s", what);
    saccades = events(strcmp ({events.typeName}, "saccade"));
    assert (numel (saccades) == 1, "one saccade%s, found %d", what, numel (saccades));
    s = saccades(1);
    % Onset and offset within the velocity window (10 ms) of the truth.
    assert (abs (s.startTime - 0.5) < 0.012 && abs (s.endTime - 0.543) < 0.015, ...
            "saccade from %.4f to %.4f s%s", s.startTime, s.endTime, what);
    assert (abs (s.amplitude - 10) < 0.5, "amplitude %.2f%s", s.amplitude, what);
    % Peak speed of the raised cosine: pi / 2 x amplitude / duration, 365 deg/s.
    assert (abs (s.peakVelocity - 365) < 60, "peak velocity %.0f%s", s.peakVelocity, what);
    % Indices count from 1 and agree with the labels and times.
    assert (all (labels(s.startIndex:s.endIndex) == 2), "labels of the saccade%s", what);
    assert (t(s.startIndex) == s.startTime && t(s.endIndex) == s.endTime, "indices%s", what);
    expect_value (s.eye, -1, ["offline events have no eye" what]);
    expect_value (s.startTimestamp, uint64 (0), ["offline events have no timestamp" what]);
    assert (all (labels(1:round (0.45 * rate)) == 1), "fixation before the saccade%s", what);
  endfor

  % ---- Lost samples, parameters ------------------------------------------------------------
  [t, x, y] = saccade_signal (1000, 0.5, 10);
  x(201:300) = NaN;
  [labels, events] = gw (35, t, x, y);
  assert (all (labels(201:300) == 5), "lost samples are blink or lost");
  assert (any (strcmp ({events.typeName}, "blink")), "a blink event");
  [labels, ~, status] = gw (35, t, x, y, struct ("detectPso", 0, "detectPursuit", false));
  expect_value (status, int32 (0), "parameters from a struct");
  assert (! any (labels == 3 | labels == 4), "no PSO or pursuit when not asked for");
  % A higher minimum saccade duration than the saccade lasts: no saccade.
  [labels, events, status] = gw (35, t, x, y, struct ("minSaccadeDuration", 0.08));
  expect_value (status, int32 (0), "long minimum saccade");
  assert (! any (strcmp ({events.typeName}, "saccade")), "no saccade shorter than the minimum");
  % Row vectors work as columns; no samples at all is no event.
  [labels, events, status] = gw (35, t', x', y');
  assert (isequal (size (labels), [1000 1]) && status == 0, "row vectors");
  [labels, events, status] = gw (35, zeros (0, 1), zeros (0, 1), zeros (0, 1));
  expect_value (labels, zeros (0, 1, "int8"), "no samples: no labels");
  assert (isstruct (events) && isequal (size (events), [0 1]), "no samples: 0-by-1 events");
  expect_value (status, int32 (0), "no samples: status 0");

  % ---- Wrong inputs ------------------------------------------------------------------------
  bad_samples = {
    {t, x(1:end - 1), y}, {t, x, [y; 0]}, {single(t), x, y}, {t, int32(x), y}, ...
    {t, x, complex(y, 1)}, {sparse(t), x, y}, {num2cell(t), x, y}, {t, x, "y"}, {[], x, y}};
  for k = 1:numel (bad_samples)
    expect_error (@() gw (35, bad_samples{k}{:}), "MATLAB:mexDetectEvents:invalidSamples", ...
                  "as many elements (time, x, y).");
  endfor
  bad_params = {
    struct("peakSigma", 6), "has a field 'peakSigma' that is no event parameter."
    struct("size", 192), "has a field 'size' that is no event parameter."
    struct("peakSigmas", {5, 6}), "must be a scalar struct of event parameters."
    {1}, "must be a scalar struct of event parameters."
    6, "must be a scalar struct of event parameters."
    struct("peakSigmas", "6"), "Field 'peakSigmas' of input 5 must be a real number."
    struct("peakSigmas", [5 6]), "Field 'peakSigmas' of input 5 must be a real number."
    struct("peakSigmas", 5i), "Field 'peakSigmas' of input 5 must be a real number."
  };
  for k = 1:rows (bad_params)
    expect_error (@() gw (35, t, x, y, bad_params{k, 1}), ...
                  "MATLAB:mexDetectEvents:invalidParams", bad_params{k, 2});
  endfor
  % Values the library refuses come back as its status, with nothing labelled.
  refused = {
    {[t(2); t(1); t(3:end)], x, y}, "times that go back"
    {[NaN; t(2:end)], x, y}, "a NaN time"
    {t, x, y, struct("peakSigmas", 50)}, "a parameter out of range"
    {t, x, y, struct("minSaccadeDuration", NaN)}, "a NaN parameter"
    {t, x, y, struct("detectPso", 2)}, "a flag other than 0 or 1"
  };
  for k = 1:rows (refused)
    [labels, events, status] = gw (35, refused{k, 1}{:});
    expect_value (status, int32 (-3), refused{k, 2});
    assert (all (labels == 0) && numel (events) == 0, "nothing labelled for %s", refused{k, 2});
  endfor
endfunction

function live_checks (gw)
  distance = 600;
  expect_value (gw (0), int32 (4), "open");
  % The subject's exact calibration (gain 150, eye scale 100): calibrated gaze points where
  % it looks.
  a = distance * 100 / 150;
  calibration = [reshape([a 0 0 0; 0 a 0 0; 0 0 0 distance; 0 0 0 1]', 16, 1); 0; 0];
  for eye = 0:1
    expect_value (gw (10, eye, calibration, distance), int32 (0), "the subject's calibration");
  endfor
  expect_value (gw (2, 1), int32 (0), "calibrated results");

  % ---- Wrong inputs of option 33 change nothing ----------------------------------------------
  bad_params = {struct("peakSigma", 6), struct("a", {1, 2}), {}, "x", ...
                struct("liveVelocityWindow", {})};
  for k = 1:numel (bad_params)
    expect_error (@() gw (33, 0, 1, bad_params{k}), ...
                  "MATLAB:mexSetEventDetection:invalidParams", ".");
  endfor
  expect_value (gw (33, 2, 1), int32 (-3), "eye 2");
  expect_value (gw (33, 0, 1, struct ("peakSigmas", 0.5)), int32 (-3), "parameter out of range");
  expect_value (gw (33, -1, 1, struct ("detectPso", -1)), int32 (-3), "flag out of range");

  % Nothing was turned on: a recording gives no events.
  [events, dropped, status] = gw (34);
  assert (isstruct (events) && isequal (size (events), [0 1]), "no events: 0-by-1");
  assert (isfield (events, "typeName") && isfield (events, "startTimestamp"), "fields of none");
  expect_value ([dropped double(status)], [0 0], "nothing dropped, status 0");
  expect_value (gw (3), int32 (0), "start tracking");
  wait_until (@() gw (5) > 300, "records while detection is off");
  expect_value (numel (gw (34)), 0, "no events while detection is off");

  % ---- Detection on: saccades to targets 10 degrees apart --------------------------------
  expect_value (gw (33, -1, 1, struct ("peakSigmas", 6, "detectPursuit", 0)), int32 (0), "on");
  targets = [0 0; 10 0; 0 0; -10 0; 0 0];
  collected = gw (34);
  for k = 1:rows (targets)
    assert (vt_look_at (targets(k, 1), targets(k, 2)) == 1);
    shown = gw (27);
    wait_until (@() gw (27) > shown + 0.8, "the target's time");
    [events, dropped, status] = gw (34);
    expect_value ([dropped double(status)], [0 0], "nothing dropped, status 0");
    collected = [collected; events];
  endfor
  % The last saccade's END may still be on its way: take events until each eye has four.
  started = tic ();
  while (min (arrayfun (@(eye) numel (long_saccades (collected, eye)), [0 1])) < 4)
    assert (toc (started) < 20, "timed out waiting for four saccades of each eye");
    pause (0.01);
    collected = [collected; gw(34)];
  endwhile
  % Every saccade to a target is a START and an END event of each eye.
  for eye = 0:1
    mine = collected([collected.eye] == eye);
    ends = long_saccades (collected, eye);
    starts = mine(strcmp ({mine.typeName}, "saccade") & strcmp ({mine.phaseName}, "start"));
    % The first target is where the subject may already look; the other four are jumps.
    assert (numel (ends) >= 4, "eye %d: %d saccades of 10 deg", eye, numel (ends));
    assert (numel (starts) >= numel (ends), "eye %d: each saccade started first", eye);
    for s = ends'
      assert (abs (s.amplitude - 10) < 1.5, "eye %d: amplitude %.2f", eye, s.amplitude);
      assert (isa (s.startTimestamp, "uint64") && s.endTimestamp > s.startTimestamp, ...
              "eye %d: device timestamps", eye);
      assert (s.startTime < s.endTime && s.endTime <= s.detectedTime, "eye %d: times", eye);
      assert (isnan (s.startIndex) && isnan (s.endIndex), "live events have no index");
      assert (s.peakVelocity > 100, "eye %d: peak velocity %.0f", eye, s.peakVelocity);
    endfor
    assert (any (strcmp ({mine.typeName}, "fixation")), "eye %d: fixations", eye);
  endfor

  % ---- Detection off: events in progress are discarded, no new ones come ---------------
  expect_value (gw (33, -1, 0), int32 (0), "off");
  gw (34);
  count = gw (5);
  assert (vt_look_at (10, 5) == 1);
  wait_until (@() gw (5) > count + 600, "records after turning detection off");
  expect_value (numel (gw (34)), 0, "no events after turning detection off");
  expect_value (gw (4), int32 (0), "stop tracking");
endfunction

function ends = long_saccades (events, eye)
  % The whole (END) saccades of an eye longer than 8 degrees.
  if (isempty (events))
    ends = events;
    return;
  endif
  ends = events([events.eye] == eye & strcmp ({events.typeName}, "saccade") ...
                & [events.phase] == 2 & [events.amplitude] > 8);
endfunction
