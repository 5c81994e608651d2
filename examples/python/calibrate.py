"""Calibrates both eyes from nine targets, stores the calibrations, reads them back, checks
calibrated gaze against the targets and prints the table, then validates in degrees.

    python3 calibrate.py [OUTPUT.cal]

With a subject, show_target() is where your display code draws each target. The simulated
tracker of the kit has no subject who follows targets: it holds one fixation. With it
(serial number VT...), the example invents the eye positions a subject would show (an eye
that moves GAIN per mm of target offset) and checks gaze at the one held fixation.
"""

import sys
import time

import numpy as np

import saccadrix

VIEWING_DISTANCE = 600.0  # mm from the eye to the target plane
EYE_SCALE = 1000.0
GAIN = 0.6
GRID = [(x, y) for y in (-150.0, 0.0, 150.0) for x in (-250.0, 0.0, 250.0)]


def show_target(x: float, y: float) -> None:
    """Draw the target at (x, y) mm on the target plane here (PsychoPy, pygame, ...)."""


def mean_over(tracker: saccadrix.Tracker, seconds: float, value):
    """Mean of value(rows) over the results of the next `seconds` in which eye 0 is tracked."""
    tracker.flush()
    time.sleep(seconds)
    rows = tracker.results()
    rows = rows[rows["eye0_tracked"] == 1]
    if len(rows) == 0:
        raise RuntimeError("eye 0 was not tracked while the target was shown")
    return value(rows).mean(axis=1)


def eye_positions(rows):
    return np.array([[rows[f"eye{e}_pupil_x"] - rows[f"eye{e}_reflection_x"],
                      rows[f"eye{e}_pupil_y"] - rows[f"eye{e}_reflection_y"]] for e in (0, 1)]
                    ).reshape(4, -1)


def gaze_on_plane(rows):
    z = rows["eye0_gaze_z"].astype(np.float64)
    return np.vstack([rows["eye0_gaze_x"] / z * VIEWING_DISTANCE,
                      rows["eye0_gaze_y"] / z * VIEWING_DISTANCE])


def main() -> None:
    output = sys.argv[1] if len(sys.argv) > 1 else "calibration.cal"
    with saccadrix.Tracker(results_type="raw") as tracker:
        simulated = tracker.serial_number.startswith("VT")
        targets = {0: [], 1: []}
        for x, y in GRID:
            show_target(x, y)
            e0x, e0y, e1x, e1y = mean_over(tracker, 0.3, eye_positions)
            if simulated:
                e0x, e0y, e1x, e1y = GAIN * x, GAIN * y, GAIN * x, GAIN * y
            targets[0].append((x, y, e0x, e0y))
            targets[1].append((x, y, e1x, e1y))

        print("eye  residual (mm)  stored = read back")
        for eye in (0, 1):
            residual = tracker.calibrate(eye, targets[eye], eye_scale=EYE_SCALE,
                                         viewing_distance=VIEWING_DISTANCE)
            fitted, _ = tracker.fit_calibration(targets[eye], eye_scale=EYE_SCALE,
                                                viewing_distance=VIEWING_DISTANCE)
            back = tracker.calibration(eye)
            same = np.array_equal(back.matrix, fitted.astype(np.float32).astype(np.float64))
            print(f"{eye:3d}  {residual:13d}  {same}")

        if simulated:  # the one fixation the simulated subject holds, and its target
            ex, ey = mean_over(tracker, 0.3, eye_positions)[:2]
            checks = [(ex / GAIN, ey / GAIN)]
        else:
            checks = GRID
        tracker.set_results_type("calibrated")
        print("\ntarget (mm)           gaze (mm)            error (mm)")
        errors = []
        for x, y in checks:
            show_target(x, y)
            gx, gy = mean_over(tracker, 0.3, gaze_on_plane)
            errors.append(np.hypot(gx - x, gy - y))
            print(f"({x:7.1f}, {y:7.1f})   ({gx:7.1f}, {gy:7.1f})   {errors[-1]:8.2f}")
        print(f"mean error {np.mean(errors):.2f} mm over {len(errors)} target(s)")

        # Validation in degrees: record while each target is shown, note each target's
        # window on the host clock, then validate the recording against the targets.
        tracker.start_recording()
        windows = []
        for x, y in checks:
            show_target(x, y)
            start = saccadrix.host_clock()
            time.sleep(0.6)
            windows.append((x, y, start, saccadrix.host_clock()))
        tracker.stop_recording()
        validation = tracker.validate(windows, viewing_distance=VIEWING_DISTANCE, skip=0.2)
        print("\nvalidation of eye 0 (degrees)")
        print(validation.table())
        tracker.set_results_type("raw")
        tracker.save_calibration(output)
        print(f"saved {output}")


if __name__ == "__main__":
    main()
