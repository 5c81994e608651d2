function bench_export (records, repetitions)
  % Times options 6 and 31 of zelSaccadrix exporting `records` stored results as 41 columns
  % (option 31: 43, with the host and sample times), and measures the memory the export adds
  % to the process at its peak. The results are recorded
  % first from the virtual tracker (model code 3 at 8000 reports per second: two records per
  % report, so 16000 per second).
  if (nargin < 1) records = 1e6; endif
  if (nargin < 2) repetitions = 3; endif
  gw = @zelSaccadrix;
  unwind_protect
    assert (gw (0) == 3, "needs a simulated model code 3 tracker");
    assert (gw (2, 0) == 0, "raw results");
    assert (gw (3) == 0, "start tracking");
    started = time ();
    while (double (gw (5)) < records)
      assert (gw (23) == 1, "the recording stopped");
      pause (0.5);
      if (time () - started > 600)
        error ("bench:slow", "only %d results stored after 600 s", gw (5));
      endif
    endwhile
    gw (4);
    gw (1);  % the recording outlives the connection; nothing else runs while measuring
    stored = double (gw (5));
    printf ("recorded %d results in %.1f s\n", stored, time () - started);

    printf ("%-50s %9s %10s %10s %16s\n", "export", "time (s)", "ns/record", "CPU (s)", ...
            "peak added (MB)");
    N = sprintf ("N = %g", records);
    measure (gw, 6, ["option 6, 41 columns, " N ", keep"], 41, {records, 0, 1}, repetitions);
    measure (gw, 31, ["option 31, 43 columns, " N ", keep"], 43, {records, 0, 1}, repetitions);
    measure (gw, 6, "option 6, 41 columns, N = -1 (all), keep", 41, {-1, 0, 1}, repetitions);
    measure (gw, 31, "option 31, 43 columns, N = -1 (all), keep", 43, {-1, 0, 1}, repetitions);
    measure (gw, 6, ["option 6, 1 column (timestamps), " N ", keep"], 1, {records, 0, 1}, ...
             repetitions);
    measure (gw, 6, ["option 6, 41 columns, " N ", remove"], 41, {records, 1, 1}, 1);
    assert (double (gw (5)) == stored - records, "the removing export removed N results");
  unwind_protect_cleanup
    gw (1);
  end_unwind_protect
endfunction

function measure (gw, code, label, outputs, args, repetitions)
  % Wall time, and the time the calling thread spent on a CPU (user and system: the page
  % faults of new columns are system time). On a loaded machine the CPU time is the
  % steadier of the two; it leaves out the simulated tracker's own thread.
  times = zeros (1, repetitions);
  cpu = zeros (1, repetitions);
  peaks = zeros (1, repetitions);
  for r = 1:repetitions
    cols = cell (1, outputs);
    baseline = reset_peak ();
    cpu_before = thread_cpu_seconds ();
    tic;
    [cols{:}] = gw (code, args{:});
    times(r) = toc;
    cpu(r) = thread_cpu_seconds () - cpu_before;
    peaks(r) = (status_kb ("VmHWM") - baseline) / 1024;
    assert (rows (cols{1}) == args{1} || args{1} == -1);
    n = rows (cols{1});
    clear cols;
  endfor
  printf ("%-50s %9.3f %10.0f %10.3f %16.0f\n", label, median (times), ...
          median (times) / n * 1e9, median (cpu), median (peaks));
endfunction

function s = thread_cpu_seconds ()
  % Time on a CPU of the thread that runs the script (the process's main thread), in ns
  % resolution from the scheduler's statistics.
  text = fileread (sprintf ("/proc/self/task/%d/schedstat", getpid ()));
  s = sscanf (text, "%f", 1) / 1e9;
endfunction

function rss = reset_peak ()
  % Sets the process's peak resident size back to its current size; returns that size (kB).
  fid = fopen ("/proc/self/clear_refs", "w");
  fputs (fid, "5");
  fclose (fid);
  rss = status_kb ("VmRSS");
endfunction

function kb = status_kb (field)
  text = fileread ("/proc/self/status");
  kb = str2double (regexp (text, [field ":\\s*(\\d+)"], "tokens", "once"){1});
endfunction
