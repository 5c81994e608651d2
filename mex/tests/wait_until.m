function wait_until (condition, what, seconds)
  % Waits for condition() to hold, checking every 10 ms, and fails after a generous deadline
  % (20 s unless given): tests wait for what they need instead of pausing a fixed time.
  if (nargin < 3)
    seconds = 20;
  endif
  started = tic ();
  while (! condition ())
    assert (toc (started) < seconds, "timed out waiting for %s", what);
    pause (0.01);
  endwhile
endfunction
