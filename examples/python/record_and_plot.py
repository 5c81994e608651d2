"""Records a trial with markers, reads it back as a NumPy array and plots eye 0's horizontal
eye position against time, with the markers, to a PNG file (matplotlib, no display needed).

    python3 record_and_plot.py [SECONDS] [OUTPUT.png]       (defaults: 3, trial.png)
"""

import sys
import time

import matplotlib

matplotlib.use("Agg")  # files only: no display needed
import matplotlib.pyplot as plt
import numpy as np

import saccadrix


def main() -> None:
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 3.0
    output = sys.argv[2] if len(sys.argv) > 2 else "trial.png"

    with saccadrix.Tracker() as tracker:
        tracker.start_recording()
        tracker.add_marker("trial start")
        for k in range(1, 4):
            time.sleep(seconds / 4)
            tracker.add_marker(f"event {k}")
        time.sleep(seconds / 4)
        tracker.add_marker("trial end")
        tracker.stop_recording()
    rec = tracker.recording()  # the recording outlives the connection
    markers = tracker.markers()

    tracked = rec["eye0_tracked"] == 1
    t0 = rec["sample_time"][0]
    t = rec["sample_time"] - t0
    x = rec["eye0_pupil_x"].astype(np.float64) - rec["eye0_reflection_x"]
    print(f"{len(rec)} results, timestamps {rec['timestamp'][0]} to {rec['timestamp'][-1]}, "
          f"eye 0 tracked in {100 * tracked.mean():.0f}% of them")

    fig, ax = plt.subplots(figsize=(9, 4))
    ax.plot(t[tracked], x[tracked], ".", markersize=1)
    for m in markers:
        ax.axvline(m.host_time - t0, color="grey", linewidth=0.8)
        ax.annotate(m.text, (m.host_time - t0, 1), xycoords=("data", "axes fraction"),
                    rotation=90, va="top", fontsize=8)
    ax.set_xlabel("time since the first result (s)")
    ax.set_ylabel("eye 0 horizontal position (pupil - reflection)")
    fig.tight_layout()
    fig.savefig(output, dpi=100)
    print(f"{len(markers)} markers; wrote {output}")


if __name__ == "__main__":
    main()
