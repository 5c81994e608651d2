"""Follows a tracker's results live: a line every half second with the rate of results and
the newest result (eye 0's eye position, pupil minus reflection; with --calibrated, where
its gaze meets a target plane 600 mm away).

    python3 follow_gaze.py [SECONDS] [--calibrated]
"""

import argparse
import time

import saccadrix

VIEWING_DISTANCE = 600.0  # mm


def describe(r: saccadrix.Result, calibrated: bool) -> str:
    if not r.eye0_tracked:
        return "eye 0 not tracked"
    if calibrated:
        if r.eye0_gaze_z == 0:
            return "eye 0 not calibrated"
        x = r.eye0_gaze_x / r.eye0_gaze_z * VIEWING_DISTANCE
        y = r.eye0_gaze_y / r.eye0_gaze_z * VIEWING_DISTANCE
        return f"eye 0 gaze at ({x:7.1f}, {y:7.1f}) mm"
    return (f"eye 0 at ({r.eye0_pupil_x - r.eye0_reflection_x:7.2f}, "
            f"{r.eye0_pupil_y - r.eye0_reflection_y:7.2f})")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("seconds", nargs="?", type=float, default=3.0)
    parser.add_argument("--calibrated", action="store_true")
    args = parser.parse_args()

    with saccadrix.Tracker(results_type="calibrated" if args.calibrated else "raw") as tracker:
        print(f"model {tracker.model}, serial number {tracker.serial_number}")
        tracker.flush()
        end = saccadrix.host_clock() + args.seconds
        total = 0
        while saccadrix.host_clock() < end:
            time.sleep(0.5)
            batch = tracker.results()  # everything that arrived since the last line
            total += len(batch)
            r = tracker.latest()
            age_ms = (saccadrix.host_clock() - r.host_time) * 1000
            print(f"{len(batch) * 2:5d} results/s  {describe(r, args.calibrated)}  "
                  f"(newest {age_ms:.1f} ms old)", flush=True)
        print(f"{total} results in {args.seconds:g} s")


if __name__ == "__main__":
    main()
