function test_results_export ()
  % Option 6: reading stored results as 41 columns. The simulated tracker holds a steady
  % fixation, and its timestamp restarts at 2^53 + 1, so that timestamps above 2^53 (which
  % a double cannot all hold) are exported.
  run_with_tracker_closed_after (@() checks (@zelSaccadrix));
endfunction

function checks (gw)
  eye_x = 120; eye_y = -40;
  arm_ts = uint64 (9007199254740993);  % 2^53 + 1, as set in the test's environment

  % ---- Nothing stored yet -----------------------------------------------------------------
  expect_value (gw (0), int32 (4), "open");
  expect_value (gw (5), int32 (0), "nothing stored before the first recording");
  expect_error (@() gw (6, -1, 0, 1), "", ...
                "Error in zelSaccadrix: Cannot create a matrix smaller than 1-by-1 in size");
  expect_error (@() gw (6, 0, 0, 0), "", ...
                "Error in zelSaccadrix: Cannot create a matrix smaller than 1-by-1 in size");

  n = record (gw, 0, 101);
  assert (n > 100, "a recording at 1 kHz stores results");

  % ---- All results, both ways: N = -1 reads from the oldest whatever fromStart says --------
  all_cols = export (gw, 41, -1, 0, 1);
  check_columns (all_cols, n);
  expect_value (export (gw, 41, -1, 0, 0), all_cols, "N = -1 with fromStart 0");
  expect_value (gw (5), int32 (n), "reading without removing leaves the count");

  % Timestamps: the recording starts at the restart and counts samples; above 2^53 each one
  % comes back as the nearest double (2^53 + 1 as 2^53, 2^53 + 3 as 2^53 + 4, ...).
  expected_ts = double (arm_ts + uint64 (0:n-1)');
  expect_value (all_cols{1}, expected_ts, "timestamps rounded to the nearest double");
  assert (all_cols{1}(1) == 2^53 && all_cols{1}(3) == 2^53 + 4);

  % Column order: pupil centre before reflection centre, per eye; their difference is the
  % eye position the tracker was told to hold. Results type 0 (raw).
  expect_value (all_cols{2}, zeros (n, 1), "results type column (raw)");
  for e = 0:1
    base = 18 * e;  % eye 0 in columns 3..20, eye 1 in columns 21..38
    tracked = all_cols{base + 16} == 1;
    assert (any (tracked), "eye %d is tracked in some results", e);
    dx = all_cols{base + 3}(tracked) - all_cols{base + 5}(tracked);
    dy = all_cols{base + 4}(tracked) - all_cols{base + 6}(tracked);
    assert (max (abs (dx - eye_x)) < 1e-3 && max (abs (dy - eye_y)) < 1e-3, ...
            "eye %d: pupil minus reflection is the eye position", e);
    expect_value (all_cols{base + 19}, zeros (n, 1), sprintf ("reserved column of eye %d", e));
    for c = base + [16 17 18]
      assert (all (all_cols{c} == 0 | all_cols{c} == 1), "column %d holds flags", c);
    endfor
  endfor
  assert (all (all_cols{39} == fix (all_cols{39}) & all_cols{39} >= 0 & all_cols{39} < 2^32));
  assert (all (all_cols{40} == fix (all_cols{40}) & all_cols{40} >= 0 & all_cols{40} < 256));

  % ---- How many, and from where ---------------------------------------------------------
  cols = export (gw, 41, 2.7, 0, 1);
  check_columns (cols, 2);
  expect_value (cols{1}, all_cols{1}(1:2), "N = 2.7 reads the 2 oldest");
  cols = export (gw, 41, 5, 0, 0);
  expect_value (cols{1}, all_cols{1}(end-4:end), "fromStart 0 reads the newest 5");
  cols = export (gw, 41, 5, 0, 0.5);
  expect_value (cols{1}, all_cols{1}(end-4:end), "fromStart 0.5 truncates to 0");

  % N = 0 with fromStart set moves the cursor to the oldest result, then raises. A following
  % read whose placement is refused (N beyond the count, fromStart 0) starts at that cursor;
  % rows for which no record is left stay zero in every column.
  export (gw, 41, 3, 0, 1);  % cursor now at 3
  expect_error (@() gw (6, 0, 0, 1), "", "Cannot create a matrix smaller than 1-by-1 in size");
  cols = export (gw, 41, n + 2, 0, 0);
  check_columns (cols, n + 2);
  expect_value (cols{1}(1:n), all_cols{1}, "refused placement reads from the cursor at 0");
  for c = 1:41
    expect_value (cols{c}(n+1:end), zeros (2, 1), sprintf ("missing rows of column %d", c));
  endfor
  % With the cursor elsewhere the refused placement reads from there.
  export (gw, 41, 3, 0, 1);  % cursor now at 3
  cols = export (gw, 41, n + 2, 0, 0);
  expect_value (cols{1}(1:n-3), all_cols{1}(4:end), "refused placement reads from cursor 3");
  expect_value (cols{1}(n-2:end), zeros (5, 1), "rows past the last record");

  % ---- Fewer outputs than columns: only those are made, the records are read all the same --
  [t, type] = gw (6, 4, 0, 1);
  expect_value ([t type], [all_cols{1}(1:4) zeros(4, 1)], "two outputs");
  t = gw (6, -1, 0, 1);
  expect_value (t, all_cols{1}, "one output");
  expect_error (@() call_with_outputs (gw, 42, {6, 1, 0, 1}), "", ...
                "element number 42 undefined in return list");

  % ---- Removing (tracking stopped) -------------------------------------------------------
  % On Linux the remove flag is the low 8 bits of the truncated value: 256 and 0.5 keep.
  if (! ismac ())
    for keep = {0, 256, 0.5, NaN, 512}
      export (gw, 41, 3, keep{1}, 1);
      expect_value (gw (5), int32 (n), sprintf ("remove flag %g keeps the results", keep{1}));
    endfor
    removed = export (gw, 41, 3, 257, 1);  % low 8 bits: 1
    expect_value (removed{1}, all_cols{1}(1:3), "the removed rows are the oldest three");
    expect_value (gw (5), int32 (n - 3), "remove flag 257 removes");
  else
    export (gw, 41, 3, 256, 1);
    expect_value (gw (5), int32 (n - 3), "macOS: remove flag 256 removes");
  endif
  m = n - 3;
  % Only rows that were read remove a result: asking for more than are left removes those.
  export (gw, 41, m - 2, 1, 1);
  expect_value (gw (5), int32 (2), "removing m - 2 leaves 2");
  cols = export (gw, 41, 4, 1, 0);  % placement -2 refused; the cursor stays at 0
  expect_value (cols{1}, [all_cols{1}(end-1:end); 0; 0], "two read, two zero rows");
  expect_value (gw (5), int32 (0), "all removed");

  % ---- Counts that cannot be allocated are refused before anything is read or removed ------
  n = record (gw, 0, 0.2);
  for huge = {2^31 - 1, 1e300, Inf}
    expect_error (@() call_with_outputs (gw, 41, {6, huge{1}, 1, 1}), ...
                  "MATLAB:mexGetBufferedResults:tooManyResults", "No result was read.");
    expect_value (gw (5), int32 (n), "a refused count removes nothing");
  endfor
  cols = export (gw, 41, -1, 0, 1);
  check_columns (cols, n);
  % Counts below -1 are like 0: an error, nothing read.
  expect_error (@() gw (6, -5, 1, 1), "", "Cannot create a matrix smaller than 1-by-1 in size");
  expect_error (@() gw (6, -Inf, 1, 1), "", "Cannot create a matrix smaller than 1-by-1 in size");
  expect_value (gw (5), int32 (n), "negative counts remove nothing");

  % ---- Calibrated results carry results type 1 ------------------------------------------
  expect_value (gw (2, 1), int32 (0), "calibrated results");
  n = record (gw, 0, 0.2);
  cols = export (gw, 41, -1, 0, 1);
  check_columns (cols, n);
  expect_value (cols{2}, ones (n, 1), "results type column (calibrated)");

  expect_value (gw (1), int32 (0), "close");
  % The recording outlives the connection.
  cols = export (gw, 41, -1, 0, 1);
  check_columns (cols, n);
endfunction

function n = record (gw, type, at_least)
  % Records until at least this many results are stored, then stops; returns the count.
  expect_value (gw (3), int32 (0), "start tracking");
  wait_until (@() double (gw (5)) >= at_least, sprintf ("%d stored results", at_least));
  expect_value (gw (4), int32 (0), "stop tracking");
  n = double (gw (5));
endfunction

function cols = export (gw, outputs, varargin)
  cols = cell (1, outputs);
  [cols{:}] = gw (6, varargin{:});
endfunction

function check_columns (cols, n)
  % 41 real double n-by-1 columns, the last all zero.
  assert (numel (cols) == 41);
  for c = 1:41
    assert (isa (cols{c}, "double") && isreal (cols{c}) && isequal (size (cols{c}), [n 1]), ...
            "column %d is a real %d-by-1 double", c, n);
  endfor
  expect_value (cols{41}, zeros (n, 1), "column 41");
endfunction
