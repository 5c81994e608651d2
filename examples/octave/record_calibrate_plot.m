function record_calibrate_plot(png_file, seconds)
% RECORD_CALIBRATE_PLOT  Record a trial, calibrate the tracker, and plot gaze over time.
%
%   record_calibrate_plot('gaze.png')      two trials of 2 seconds each
%   record_calibrate_plot('gaze.png', 5)   trials of 5 seconds
%
% Needs the gateway zelSaccadrix on the path (addpath of the folder that holds
% zelSaccadrix.mex or zelSaccadrix.mexa64). Steps:
%   1. record a trial of raw results (pupil and corneal-reflection positions);
%   2. fit a gaze calibration from nine targets and store it on the tracker;
%   3. record a second trial of calibrated results;
%   4. plot the eye position of the first trial and the gaze of the second over time,
%      and save the figure as a PNG file.

  if nargin < 2
    seconds = 2;
  end
  viewing_distance = 600;   % mm from the eye to the target plane

  model = zelSaccadrix(0);                        % open (about 2 seconds)
  if model < 0
    error('saccadrix:open', 'cannot open the tracker (status %d)', model);
  end
  closer = onCleanup(@() zelSaccadrix(1));        % close however the function ends
  fprintf('tracker of model code %d, serial %s\n', model, zelSaccadrix(16));

  % 1. A trial of raw results.
  check(zelSaccadrix(2, 0), 'choosing raw results');
  raw = record_trial(seconds);
  eye_x = raw.pupil_x - raw.reflection_x;         % the eye position: pupil minus reflection
  eye_y = raw.pupil_y - raw.reflection_y;
  fprintf('trial 1: %d results, eye 0 tracked in %.0f%% of them\n', ...
                    numel(raw.t), 100 * mean(raw.tracked));

  % 2. Calibration. With a real tracker the script shows each of nine targets and takes the
  % eye position while the subject looks at it. The simulated subject looks around on its
  % own, so its fixations in the first trial stand in for the nine looks, and each gets the
  % target that a subject whose gaze moves 4 mm per unit of eye position would have looked
  % at. The fit is the same either way.
  good = find(raw.tracked);
  picks = good(round(linspace(0.1, 0.9, 9) * numel(good)));
  targets = zeros(4, 9);                          % one column per target:
  for k = 1:9                                     % [targetX; targetY; eyeX; eyeY]
    i = picks(k);
    targets(:, k) = [4 * eye_x(i); 4 * eye_y(i); eye_x(i); eye_y(i)];
  end
  for eye = 0:1
    result = zelSaccadrix(9, eye, 9, targets, viewing_distance, [0 0]);
    check(result(1), sprintf('storing the calibration of eye %d', eye));
    fprintf('eye %d calibrated: residual %d mm over 9 targets\n', eye, result(2));
  end

  % 3. A trial of calibrated results: gaze vectors, which meet the target plane at
  % (x / z, y / z) * viewing distance.
  check(zelSaccadrix(2, 1), 'choosing calibrated results');
  cal = record_trial(seconds);
  gaze_x = nan(size(cal.t));
  gaze_y = nan(size(cal.t));
  ok = cal.tracked & cal.gaze_z ~= 0;
  gaze_x(ok) = cal.gaze_x(ok) ./ cal.gaze_z(ok) * viewing_distance;
  gaze_y(ok) = cal.gaze_y(ok) ./ cal.gaze_z(ok) * viewing_distance;
  fprintf('trial 2: %d results, gaze within x %.0f..%.0f mm, y %.0f..%.0f mm\n', ...
                    numel(cal.t), min(gaze_x), max(gaze_x), min(gaze_y), max(gaze_y));

  % 4. The figure, drawn off screen.
  if exist('OCTAVE_VERSION', 'builtin')
    graphics_toolkit('qt');                       % needs a display; xvfb-run gives one
  end
  fig = figure('visible', 'off');
  subplot(2, 1, 1);
  plot(raw.t - raw.t(1), eye_x, raw.t - raw.t(1), eye_y);
  legend('x', 'y');
  xlabel('timestamp'); ylabel('eye position');
  title('Trial 1: raw eye position (pupil minus reflection), eye 0');
  subplot(2, 1, 2);
  plot(cal.t - cal.t(1), gaze_x, cal.t - cal.t(1), gaze_y);
  legend('x', 'y');
  xlabel('timestamp'); ylabel('gaze on the target plane (mm)');
  title('Trial 2: calibrated gaze, eye 0');
  print(fig, '-dpng', png_file);
  close(fig);
  fprintf('wrote %s\n', png_file);
end

function trial = record_trial(seconds)
  % Records for the given time and returns the columns this example uses (eye 0).
  check(zelSaccadrix(3), 'starting the recording');
  pause(seconds);
  zelSaccadrix(4);
  if zelSaccadrix(5) < 1
    error('saccadrix:empty', 'the tracker sent no results');
  end
  c = cell(1, 41);
  [c{:}] = zelSaccadrix(6, -1, 0, 1);             % every stored result, from the oldest
  trial = struct('t', c{1}, 'pupil_x', c{3}, 'pupil_y', c{4}, ...
                 'reflection_x', c{5}, 'reflection_y', c{6}, ...
                 'gaze_x', c{9}, 'gaze_y', c{10}, 'gaze_z', c{11}, ...
                 'tracked', c{16} == 1);
end

function check(status, what)
  if status < 0
    error('saccadrix:status', '%s failed with status %d', what, status);
  end
end
