function test_bad_inputs (codes)
  % Every option of zelSaccadrix in codes with every kind of wrong input in every place, and
  % with more outputs than it makes: each call returns or raises an error, and Octave and the
  % connection survive them all. Options 0 and 1 are swept (with wrong option codes) when
  % codes includes them.
  run_with_tracker_closed_after (@() checks (@zelSaccadrix, codes));
endfunction

function checks (gw, codes)
  bad = {NaN, Inf, -Inf, -1, 1e300, -1e300, 2^31, -2^31 - 1, 0.5, [], zeros(0, 3), "", ...
         "abc", ["ab"; "cd"], {}, {1}, struct("a", 1), struct("a", {}), @sin, int8(-5), ...
         intmax("uint64"), true, 1 + 2i, single(NaN), sparse(1), int32([1 2 3]), 1:100};
  file = fullfile (pwd (), "sweep.cal");
  [tx, ty] = meshgrid ([-100 0 100], [-80 0 80]);
  targets = [tx(:)'; ty(:)'; 2 * tx(:)'; 2 * ty(:)'];

  % Sound inputs after the option code, and how many outputs each option makes. Option 0
  % (2 s) and option 1 (which would end the connection) are swept separately below.
  sane = {
     2, {0}, 1
     3, {}, 1
     4, {}, 1
     5, {}, 1
     6, {5, 0, 1}, 41
     7, {}, 1
     8, {}, 1
     9, {0, 9, targets, 600, [0 0]}, 1
    10, {1, [(1:16)' / 8; 0; 0], 600}, 1
    11, {0}, 2
    12, {2, 1}, 1
    13, {}, 1
    14, {1, 1}, 1
    15, {}, 3
    16, {}, 1
    17, {}, 1
    18, {}, 1
    19, {file}, 1
    20, {file}, 1
    21, {0}, 2
    22, {}, 2
    23, {}, 1
    24, {}, 6
    27, {}, 1
    28, {uint64([1 2 3])}, 1
    29, {"sweep"}, 1
    30, {}, 3
    31, {5, 0, 1}, 43
    32, {[0 0; 10 10], [0 1; 1 2], 600, 0.1}, 2
    32, {[0 0], [0 1], 0, 0.1, (0:9)' / 10, [zeros(10, 2), ones(10, 1)]}, 2
    33, {0, 1, struct("peakSigmas", 5)}, 1
    34, {}, 3
    35, {(1:50)' / 500, zeros(50, 1), zeros(50, 1), struct("detectPso", 0)}, 3
  };
  sane = sane(ismember ([sane{:, 1}], codes), :);

  expect_value (gw (0), int32 (4), "open");
  calls = 0;
  for r = 1:rows (sane)
    [code, inputs, outputs] = sane{r, :};
    % The sound call, with every number of outputs from none to one too many.
    for n = 0:outputs
      survive (gw, n, [{code}, inputs]);
    endfor
    expect_error (@() call_with_outputs (gw, outputs + 1, [{code}, inputs]), "", ...
                  sprintf ("element number %d undefined in return list", outputs + 1));
    % Each input in turn replaced by each wrong value. Options 6 and 31 ask for all their
    % columns, so that an absurd count is refused for its size on any computer.
    values = bad;
    if (any (code == [9 10 19 20]))
      % Each of these calls the tracker for up to a second: one value of each kind.
      values = bad([1 3 5 10 13 16 17 19 23 26]);
    endif
    for p = 1:numel (inputs)
      for b = 1:numel (values)
        args = inputs;
        args{p} = values{b};
        survive (gw, outputs, [{code}, args]);
        calls++;
      endfor
    endfor
    % The wrong number of inputs, made of wrong values.
    survive (gw, 1, [{code}, inputs, bad(1)]);
    survive (gw, 1, [{code}, bad(1:numel (inputs) + 2)]);
  endfor
  assert (calls > 0, "the sweep made no call");

  % The connection still works: a recording comes back whole.
  expect_value (gw (17), uint16 (26122), "firmware version after the sweep");
  expect_value (gw (2, 0), int32 (0), "raw results");
  expect_value (gw (3), int32 (0), "start tracking");
  wait_until (@() double (gw (5)) > 50, "results stored after the sweep");
  expect_value (gw (4), int32 (0), "stop tracking");
  n = double (gw (5));
  assert (n > 50, "a recording after the sweep");
  cols = cell (1, 41);
  [cols{:}] = gw (6, -1, 1, 1);
  assert (isequal (size (cols{1}), [n 1]) && all (diff (cols{1}) == 1), ...
          "the recording is complete and in order");
  expect_value (gw (5), int32 (0), "all read and removed");

  if (any (codes == 0) || any (codes == 1))
    % Options 0 and 1 with wrong input counts do nothing but raise.
    for b = 1:numel (bad)
      survive (gw, 1, {0, bad{b}});
      survive (gw, 1, {1, bad{b}});
    endfor
    expect_value (gw (17), uint16 (26122), "still open");
    % Option codes that are wrong values themselves, with and without further inputs. Some
    % of them are codes after all (true and sparse(1) close, 0.5 opens).
    for b = 1:numel (bad)
      survive (gw, 0, bad(b));
      survive (gw, 1, [bad(b), {1, 2}]);
    endfor
  endif

  expect_value (gw (1), int32 (0), "close");
  % Without a connection the sweep's options answer from the library alone.
  for r = 1:rows (sane)
    [code, inputs, outputs] = sane{r, :};
    survive (gw, outputs, [{code}, inputs]);
  endfor
endfunction

function survive (gw, nargs_out, args)
  % Makes the call; an error raised by it is an answer, not a failure.
  try
    if (nargs_out == 0)
      gw (args{:});
    else
      call_with_outputs (gw, nargs_out, args);
    endif
  catch
  end_try_catch
endfunction
