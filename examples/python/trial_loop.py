"""A sketch of a PsychoPy-style experiment: trials of a fixation cross and a stimulus, each
stimulus onset marked in the recording at the moment the display flips, then the results
of each stimulus window cut out of the recording by host time.

    python3 trial_loop.py [TRIALS]          (default: 3)

With PsychoPy installed it opens a window and flips it; without, a plain timing loop stands
in for the display (frames of 1/60 s), so the sketch runs anywhere.
"""

import sys
import time

import numpy as np

import saccadrix

FRAME = 1 / 60
FIXATION_FRAMES = 30
STIMULUS_FRAMES = 60


class PlainDisplay:
    """Stands in for a psychopy.visual.Window: flip() waits for the next frame and returns
    the time of the flip on the host clock, as PsychoPy's flip does on its own clock."""

    def __init__(self):
        self.next_frame = saccadrix.host_clock()

    def draw(self, what: str) -> None:
        pass

    def flip(self) -> float:
        self.next_frame += FRAME
        delay = self.next_frame - saccadrix.host_clock()
        if delay > 0:
            time.sleep(delay)
        return saccadrix.host_clock()

    def close(self) -> None:
        pass


def open_display():
    try:
        from psychopy import visual  # noqa: F401
    except ImportError:
        return PlainDisplay()
    # With PsychoPy: draw real stimuli and return win.flip()'s time. PsychoPy's clock is not
    # the host clock; marking right after the flip keeps both on the library's clock.
    from psychopy import visual

    class PsychoPyDisplay:
        def __init__(self):
            self.win = visual.Window(size=(800, 600), units="pix")
            self.items = {"fixation": visual.TextStim(self.win, "+"),
                          "stimulus": visual.Circle(self.win, radius=40)}

        def draw(self, what):
            self.items[what].draw()

        def flip(self):
            self.win.flip()
            return saccadrix.host_clock()

        def close(self):
            self.win.close()

    return PsychoPyDisplay()


def main() -> None:
    trials = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    display = open_display()
    with saccadrix.Tracker() as tracker:
        tracker.start_recording()
        for trial in range(1, trials + 1):
            for frame in range(FIXATION_FRAMES):
                display.draw("fixation")
                display.flip()
            for frame in range(STIMULUS_FRAMES):
                display.draw("stimulus")
                display.flip()
                if frame == 0:
                    tracker.add_marker(f"trial {trial} stimulus on")
            display.flip()  # a blank frame takes the stimulus away
            tracker.add_marker(f"trial {trial} stimulus off")
        tracker.stop_recording()
    display.close()

    rec = tracker.recording()
    markers = tracker.markers()
    onsets = [m for m in markers if m.text.endswith("on")]
    offsets = [m for m in markers if m.text.endswith("off")]
    print(f"{len(rec)} results, {len(markers)} markers")
    for on, off in zip(onsets, offsets):
        # sample_time: when each result's report could first be seen on the host, free of
        # the reading's own delay; the markers are on the same clock.
        window = rec[(rec["sample_time"] >= on.host_time) & (rec["sample_time"] < off.host_time)]
        tracked = window["eye0_tracked"] == 1
        x = (window["eye0_pupil_x"] - window["eye0_reflection_x"])[tracked]
        print(f"{on.text}: {len(window)} results in {off.host_time - on.host_time:.3f} s, "
              f"eye 0 tracked in {len(x)}, mean x {np.mean(x) if len(x) else float('nan'):.2f}")


if __name__ == "__main__":
    main()
