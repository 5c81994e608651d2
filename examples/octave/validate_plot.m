function v = validate_plot(png_file, show_target, seconds)
% VALIDATE_PLOT  Validate the tracker's calibration on five targets and plot gaze against them.
%
%   v = validate_plot('validation.png')                 targets announced in the console
%   v = validate_plot('validation.png', @show, 1.5)     targets drawn by show(xDeg, yDeg)
%
% Needs the gateway zelSaccadrix on the path. show_target(xDeg, yDeg) puts a target on the
% screen in the direction (xDeg, yDeg) from the eye (default: print where to look). Steps:
%   1. if the tracker holds no calibration, calibrate on the same targets (raw results);
%   2. show each target for `seconds` (default 1.5) while recording calibrated results,
%      noting on the host clock (option 27) when each appeared;
%   3. validate the recording (option 32) and print accuracy, precision and data loss;
%   4. plot gaze on the target plane against the targets and save the figure as a PNG.
% Returns the validation struct of option 32.

  if nargin < 2 || isempty(show_target)
    show_target = @(x, y) fprintf('look at the target at (%.1f, %.1f) deg\n', x, y);
  end
  if nargin < 3
    seconds = 1.5;
  end
  distance = 600;                                  % mm from the eye to the target plane
  targets = [0 0; 150 100; -150 100; -150 -100; 150 -100];   % mm, one target per row
  skip = 0.5;                                      % s left out while the eye lands
  show = @(k) show_target(atand(targets(k, 1) / distance), atand(targets(k, 2) / distance));

  model = zelSaccadrix(0);
  if model < 0
    error('saccadrix:open', 'cannot open the tracker (status %d)', model);
  end
  closer = onCleanup(@() zelSaccadrix(1));

  % 1. Calibration, when the tracker has none.
  if zelSaccadrix(21, 0) ~= 1
    calibrate(targets, distance, show);
  end

  % 2. The validation recording.
  check(zelSaccadrix(2, 1), 'choosing calibrated results');
  check(zelSaccadrix(3), 'starting the recording');
  n = rows(targets);
  windows = zeros(n, 2);
  for k = 1:n
    windows(k, 1) = zelSaccadrix(27);              % shown now, on the host clock
    show(k);
    pause(seconds);
    windows(k, 2) = zelSaccadrix(27);
  end
  zelSaccadrix(4);

  % 3. The validation and its table.
  [v, status] = zelSaccadrix(32, targets, windows, distance, skip);
  check(status, 'validating');
  fprintf('validation at %g mm, first %.1f s of each target left out\n', distance, skip);
  fprintf('accuracy and precision in degrees, data loss in percent\n');
  fprintf('%-7s%7s%7s |%7s%7s%7s%7s |%7s%7s%7s%7s\n', 'target', 'x mm', 'y mm', ...
          'acc 0', 'rms 0', 'sd 0', 'loss 0', 'acc 1', 'rms 1', 'sd 1', 'loss 1');
  for k = 1:n
    fprintf('%-7d%7.0f%7.0f |%s |%s\n', k, targets(k, 1), targets(k, 2), ...
            figures(v, k, 1), figures(v, k, 2));
  end
  fprintf('%-7s%14s |%s |%s\n', 'all', '', figures(v.overall, 1, 1), figures(v.overall, 1, 2));

  % 4. Gaze of eye 0 on the target plane: the gaze vector meets it at (x, y) / z x distance.
  c = cell(1, 43);
  [c{:}] = zelSaccadrix(31, -1, 0, 1);
  ok = c{16} == 1 & c{11} ~= 0;
  gaze_x = c{9}(ok) ./ c{11}(ok) * distance;
  gaze_y = c{10}(ok) ./ c{11}(ok) * distance;
  t = c{43}(ok) - windows(1, 1);
  if exist('OCTAVE_VERSION', 'builtin')
    graphics_toolkit('qt');                        % needs a display; xvfb-run gives one
  end
  fig = figure('visible', 'off');
  subplot(1, 2, 1);
  plot(gaze_x, gaze_y, '.', 'markersize', 2, targets(:, 1), targets(:, 2), 'r+', ...
       'markersize', 12, 'linewidth', 2);
  axis equal;
  xlabel('x (mm)'); ylabel('y (mm)');
  title(sprintf('Gaze, eye 0: accuracy %.2f deg', v.overall.accuracy(1)));
  legend('gaze', 'targets');
  subplot(1, 2, 2);
  step_t = reshape(windows' - windows(1, 1), [], 1);
  step_x = reshape([targets(:, 1) targets(:, 1)]', [], 1);
  plot(t, gaze_x, step_t, step_x, 'r', 'linewidth', 2);
  xlabel('time (s)'); ylabel('x (mm)');
  title('Gaze and target, horizontal');
  print(fig, '-dpng', png_file);
  close(fig);
  fprintf('wrote %s\n', png_file);
end

function calibrate(targets, distance, show)
  % Shows each target, averages the eye position (pupil minus reflection) of each eye over
  % half a second once the eye has landed, and fits and stores each eye's calibration.
  check(zelSaccadrix(2, 0), 'choosing raw results');
  n = rows(targets);
  points = zeros(4, n, 2);                         % [targetX; targetY; eyeX; eyeY] per eye
  for k = 1:n
    show(k);
    pause(0.5);
    check(zelSaccadrix(3), 'starting the recording');
    pause(0.5);
    zelSaccadrix(4);
    c = cell(1, 41);
    [c{:}] = zelSaccadrix(6, -1, 1, 1);
    for eye = 0:1
      base = 18 * eye;                             % eye 1's columns follow eye 0's by 18
      tracked = c{16 + base} == 1;
      if ~any(tracked)
        error('saccadrix:calibration', 'eye %d not tracked at target %d', eye, k);
      end
      points(:, k, eye + 1) = [targets(k, 1); targets(k, 2); ...
                               mean(c{3 + base}(tracked) - c{5 + base}(tracked)); ...
                               mean(c{4 + base}(tracked) - c{6 + base}(tracked))];
    end
  end
  for eye = 0:1
    result = zelSaccadrix(9, eye, n, points(:, :, eye + 1), distance, [0 0]);
    check(result(1), sprintf('calibrating eye %d', eye));
    fprintf('eye %d calibrated: residual %d mm over %d targets\n', eye, result(2), n);
  end
end

function text = figures(v, k, eye)
  text = sprintf('%7.2f%7.3f%7.3f%7.1f', v.accuracy(k, eye), v.precisionRms(k, eye), ...
                 v.precisionSd(k, eye), v.dataLoss(k, eye));
end

function check(status, what)
  if status < 0
    error('saccadrix:status', '%s failed with status %d', what, status);
  end
end
