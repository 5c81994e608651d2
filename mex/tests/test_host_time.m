function test_host_time ()
  % Options 27 to 31: the host clock, device timestamps mapped onto it, markers, and the
  % export with each record's host time and sample time. Runs against one simulated model
  % code 4 tracker at 1000 reports per second, whose timestamp counts samples (1 ms each).
  run_with_tracker_closed_after (@() checks (@zelSaccadrix));
endfunction

function checks (gw)
  % ---- Before the first result: a clock, but no mapping ---------------------------------
  t0 = gw (27);
  assert (isa (t0, "double") && isreal (t0) && isscalar (t0) && t0 > 0, "option 27: a double");
  expect_value (gw (28, uint64 ([0 1; 2 3])), NaN (2, 2), "no mapping before the first result");
  expect_value (gw (28, zeros (1, 0)), zeros (1, 0), "an empty array maps to an empty array");
  for bad = {"123", {1}, struct("a", 1), true, 1 + 2i, sparse(1), @sin}
    expect_error (@() gw (28, bad{1}), "MATLAB:mexTimestampToHostClock:invalidTimestamps", ...
                  "Input 2 must be a real numeric array of device timestamps.");
  endfor

  % ---- A recording with markers ----------------------------------------------------------
  expect_value (gw (0), int32 (4), "open");
  expect_value (gw (2, 0), int32 (0), "raw results");
  expect_value (gw (3), int32 (0), "start tracking");
  wait_until (@() double (gw (5)) >= 100, "100 stored results");
  texts = {"trial 1 start"; ""; "target on, \"left\""; "caf\xc3\xa9 \xe2\x9c\x93"; ...
           repmat("x", 1, 255)};
  % Refused texts store nothing: not a character row, or longer than 255 bytes.
  refused = {5, [], {"a"}, ["ab"; "cd"], struct("a", "b"), true, repmat("x", 1, 256)};
  brackets = zeros (numel (texts), 2);
  for k = 1:numel (texts)
    brackets(k, 1) = gw (27);
    expect_value (gw (29, texts{k}), int32 (0), sprintf ("marker %d", k));
    brackets(k, 2) = gw (27);
    expect_value (gw (29, refused{k}), int32 (-3), sprintf ("refused marker text %d", k));
    pause (0.02);
  endfor
  expect_value (gw (29, refused{end}), int32 (-3), "a text of 256 bytes");
  wait_until (@() double (gw (5)) >= 300, "300 stored results");
  expect_value (gw (4), int32 (0), "stop tracking");
  % Closed, the mapping stands still: options 28 and 31 then map with the same line.
  expect_value (gw (1), int32 (0), "close");
  n = double (gw (5));

  [host, ts, got] = gw (30);
  expect_value (got, texts, "marker texts round trip");
  assert (isa (host, "double") && isequal (size (host), [5 1]), "marker host times");
  assert (all (host >= brackets(:, 1) & host <= brackets(:, 2)), ...
          "each marker's host time lies between the host clock read before and after it");
  assert (isa (ts, "uint64") && isequal (size (ts), [5 1]), "marker timestamps: uint64");
  assert (all (abs (gw (28, ts) - host) <= 1.5e-3), ...
          "a marker's timestamp maps back to its host time within a sample");

  % ---- Option 31: option 6's columns, then host time and sample time -------------------
  cols = export (gw, 31, 43, -1, 0, 1);
  expect_value (cols(1:41), export (gw, 6, 41, -1, 0, 1), "the 41 columns are option 6's");
  for c = 42:43
    assert (isa (cols{c}, "double") && isequal (size (cols{c}), [n 1]), "column %d", c);
  endfor
  [t, host_time, sample_time] = deal (cols{1}, cols{42}, cols{43});
  assert (all (diff (host_time) >= 0) && host_time(1) > t0, "host times never go back");
  assert (! any (isnan (sample_time)), "every sample time is mapped");
  assert (all (sample_time <= host_time + 1e-6), "no record was read before it was readable");
  expect_value (gw (28, t), sample_time, "option 28 gives the sample time of a timestamp");
  % The common case: the first sample at or after a marker carries the marker's timestamp.
  for k = 1:numel (texts)
    first_after = t(find (sample_time >= host(k), 1));
    assert (abs (first_after - double (ts(k))) <= 1, "samples after marker %d", k);
  endfor

  % Option 28 keeps the input's shape and reads every numeric class; elements that are not
  % timestamps (negative, NaN, infinite, 2^64 and beyond) map to NaN, fractions truncate.
  few = t(1:6);
  mapped = gw (28, few);
  expect_value (gw (28, reshape (uint64 (few), 2, 1, 3)), reshape (mapped, 2, 1, 3), "3-D uint64");
  for cls = {"single", "int16", "uint32", "int64"}
    expect_value (gw (28, cast (few', cls{1})), mapped', sprintf ("timestamps as %s", cls{1}));
  endfor
  expect_value (gw (28, few + 0.75), mapped, "fractions truncate");
  expect_value (gw (28, [-1 NaN Inf -Inf 2^64 1e300]), NaN (1, 6), "not timestamps");
  expect_value (gw (28, int8 (-5)), NaN, "a negative integer");
  assert (isfinite (gw (28, intmax ("uint64"))), "the largest timestamp maps");

  % Rows past the last record stay 0 in the time columns too; removing removes.
  cols = export (gw, 31, 43, n + 2, 1, 1);
  expect_value ([cols{42}(1:n) cols{43}(1:n)], [host_time sample_time], "times as read");
  expect_value ([cols{42}(n+1:end) cols{43}(n+1:end)], zeros (2, 2), "rows past the last record");
  expect_value (gw (5), int32 (0), "option 31 removed what it read");

  % Counts that cannot be made are refused under option 31's own identifier.
  expect_error (@() call_with_outputs (gw, 43, {31, 2^31 - 1, 1, 1}), ...
                "MATLAB:mexGetBufferedResultsWithTimes:tooManyResults", "No result was read.");
  expect_error (@() gw (31, 0, 0, 1), "", "Cannot create a matrix smaller than 1-by-1 in size");

  % Markers survive closing and go with the recording.
  expect_value (numel (gw (30)), 5, "markers after closing");
  expect_value (gw (7), int32 (0), "discard the recording");
  [host, ts, got] = gw (30);
  expect_value (host, zeros (0, 1), "no marker host times");
  expect_value (ts, zeros (0, 1, "uint64"), "no marker timestamps");
  expect_value (got, cell (0, 1), "no marker texts");
endfunction

function cols = export (gw, code, outputs, varargin)
  % [c1, ..., c<outputs>] = gw (code, varargin{:})
  cols = cell (1, outputs);
  [cols{:}] = gw (code, varargin{:});
endfunction
