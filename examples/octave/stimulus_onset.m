function after = stimulus_onset(seconds)
% STIMULUS_ONSET  Note when a stimulus appears on the host clock, then find the gaze after it.
%
%   stimulus_onset        a 1-second baseline, then 1 second with the stimulus shown
%   stimulus_onset(2)     2 seconds each
%   after = stimulus_onset(...)   also returns the results that follow the onset (a struct)
%
% Needs the gateway zelSaccadrix on the path. The experiment's clock and the tracker's meet
% on the host clock, the computer's monotonic clock (CLOCK_MONOTONIC on Linux):
%   zelSaccadrix(27)          the host clock now, in seconds
%   zelSaccadrix(29, text)    a marker in the recording, stamped with the host clock
%   zelSaccadrix(30)          the markers: host times, device timestamps, texts
%   zelSaccadrix(31, ...)     option 6's 41 result columns, then each result's host time
%                             (when the library read it) and sample time (when its report
%                             became readable on the host, as the clock mapping estimates it)
% The results that follow the onset are those whose sample time is at or after it.

  if nargin < 1
    seconds = 1;
  end

  model = zelSaccadrix(0);                        % open (about 2 seconds)
  if model < 0
    error('saccadrix:open', 'cannot open the tracker (status %d)', model);
  end
  closer = onCleanup(@() zelSaccadrix(1));        % close however the function ends
  check(zelSaccadrix(2, 0), 'choosing raw results');
  check(zelSaccadrix(3), 'starting the recording');
  pause(seconds);                                 % the baseline

  % The stimulus goes on screen. If the display routine reports when the frame was shown
  % on the same clock, use that time as the onset instead of reading the clock afterwards.
  onset = zelSaccadrix(27);
  check(zelSaccadrix(29, 'stimulus on'), 'adding the marker');

  pause(seconds);
  check(zelSaccadrix(4), 'stopping the recording');

  % Every result with its times, read after the recording (the mapping is then at its best).
  c = cell(1, 43);
  [c{:}] = zelSaccadrix(31, -1, 0, 1);
  t = c{1};
  sample_time = c{43};
  eye_x = c{3} - c{5};                            % eye 0: pupil minus reflection
  eye_y = c{4} - c{6};
  tracked = c{16} == 1;

  k = sample_time >= onset;                       % NaN (no mapping) counts as before
  after = struct('timestamp', t(k), 'sample_time', sample_time(k), 'since_onset', ...
                 sample_time(k) - onset, 'eye_x', eye_x(k), 'eye_y', eye_y(k), ...
                 'tracked', tracked(k));
  [marker_time, marker_timestamp, texts] = zelSaccadrix(30);

  fprintf('stimulus on at host time %.6f s\n', onset);
  fprintf('marker "%s" at host time %.6f s, timestamp %d\n', texts{1}, marker_time(1), ...
          marker_timestamp(1));
  fprintf('%d results before the onset, %d after it (eye 0 tracked in %d)\n', ...
          sum(~k), sum(k), sum(after.tracked));
  if ~any(k)
    error('saccadrix:empty', 'no result followed the onset');
  end
  fprintf('first result after the onset: timestamp %d, sampled %.3f ms after it\n', ...
          after.timestamp(1), after.since_onset(1) * 1e3);
  % For example, the eye position over the first 500 ms after the onset.
  window = after.tracked & after.since_onset < 0.5;
  fprintf('eye 0 in the first 500 ms: mean position %.1f, %.1f over %d tracked results\n', ...
          mean(after.eye_x(window)), mean(after.eye_y(window)), sum(window));
end

function check(status, what)
  if status < 0
    error('saccadrix:status', '%s failed with status %d', what, status);
  end
end
