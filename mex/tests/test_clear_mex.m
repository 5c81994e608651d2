function test_clear_mex ()
  % Clearing the gateway (clear mex, clear all, clear functions) while the tracker is open
  % and a recording runs: Octave unloads the gateway, but the device library and its poll
  % thread stay, the connection survives, and the next call finds the recording still
  % growing.
  unwind_protect
    checks ();
  unwind_protect_cleanup
    % Never leave Octave with the tracker open, whatever failed.
    zelSaccadrix (1);
  end_unwind_protect
endfunction

function checks ()
  expect_value (zelSaccadrix (0), int32 (4), "open");
  expect_value (zelSaccadrix (3), int32 (0), "start tracking");
  count = wait_for_more (0);

  % MATLAB's "clear mex"; Octave takes it for a name, but it must not do harm either way.
  clear mex;
  count = wait_for_more (count);
  % What unloads the gateway in Octave: clear all, clear functions, clear <name>. (Run in
  % the base workspace, so that this function keeps its variables.)
  for how = {"clear all", "clear functions", "clear zelSaccadrix", "clear -f"}
    assert (mapped ("zelSaccadrix.mex") && mapped ("libSaccadrix.so"));
    evalin ("base", how{1});
    assert (! mapped ("zelSaccadrix.mex"), "%s unloads the gateway", how{1});
    assert (mapped ("libSaccadrix.so"), "the device library stays loaded after %s", how{1});
    count = wait_for_more (count);
    expect_value (zelSaccadrix (23), int32 (1), ["the recording survives " how{1}]);
  endfor
  % Over and over, with calls that take the device's lock in between.
  for k = 1:20
    evalin ("base", "clear functions");
    zelSaccadrix (5);
    zelSaccadrix (24);
  endfor
  count = wait_for_more (count);

  % The connection still answers, and the recording reads back whole and in order.
  expect_value (zelSaccadrix (17), uint16 (26122), "firmware version after clearing");
  expect_value (zelSaccadrix (4), int32 (0), "stop tracking");
  n = double (zelSaccadrix (5));
  assert (n >= count);
  t = zelSaccadrix (6, -1, 0, 1);
  assert (isequal (size (t), [n 1]) && all (diff (t) == 1), "one unbroken recording");

  % Cleared while closed, then opened again.
  expect_value (zelSaccadrix (1), int32 (0), "close");
  evalin ("base", "clear all");
  expect_value (zelSaccadrix (0), int32 (4), "open after clearing");
  expect_value (zelSaccadrix (3), int32 (0), "start tracking again");
  evalin ("base", "clear all");
  wait_for_more (0);
endfunction

function count = wait_for_more (previous)
  % Waits (up to 5 s) until the stored count exceeds previous; returns it.
  deadline = time () + 5;
  do
    count = double (zelSaccadrix (5));
    if (count > previous)
      return;
    endif
    pause (0.01);
  until (time () > deadline)
  error ("test:noProgress", "the recording did not grow past %d", previous);
endfunction

function yes = mapped (name)
  % Whether a file of this name is mapped into the process.
  yes = ! isempty (strfind (fileread ("/proc/self/maps"), ["/" name]));
endfunction
