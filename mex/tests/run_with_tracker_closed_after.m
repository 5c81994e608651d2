function run_with_tracker_closed_after (checks)
  % Runs checks () and then closes the tracker, whatever failed, so that Octave is never
  % left with it open.
  unwind_protect
    checks ();
  unwind_protect_cleanup
    zelSaccadrix (1);
  end_unwind_protect
endfunction
