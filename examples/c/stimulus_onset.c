/*
 * Lines gaze up with a stimulus: records a baseline, notes the moment a stimulus is shown on
 * the host clock (and as a marker in the recording), records on, then finds the results that
 * follow the onset by their sample times.
 *
 *   stimulus_onset [SECONDS]      baseline and stimulus period of SECONDS each (default 1)
 *
 * The host clock is the computer's monotonic clock (CLOCK_MONOTONIC on Linux), the clock an
 * experiment's display code uses for its own events, so an onset time taken there can be
 * compared with the results' sample times directly. A result's sample time is when its
 * report became readable on the host, as the library's clock mapping estimates it; unlike
 * its host time (when the library read it) it carries no delay of the reading itself.
 *
 * Exits with 0 when results followed the onset, 1 otherwise.
 */
#define _POSIX_C_SOURCE 200809L

#include <inttypes.h>
#include <math.h>
#include <saccadrix/saccadrix.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#define CHUNK 256 /* stored results read per call */

static void sleep_seconds(double seconds) {
  struct timespec t;
  t.tv_sec = (time_t)seconds;
  t.tv_nsec = (long)((seconds - (double)t.tv_sec) * 1e9);
  nanosleep(&t, NULL);
}

static int fail(const char* what, int status) {
  fprintf(stderr, "%s failed: %s (status %d)\n", what, zelSaccadrixStatusText(status), status);
  zelSaccadrixClose();
  return 1;
}

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? atof(argv[1]) : 1.0;

  const int model = zelSaccadrixInit(); /* about 2 seconds */
  if (model < 0) return fail("opening the tracker", model);
  int status = zelSaccadrixSetResultsType(0); /* raw pupil and reflection positions */
  if (status < 0) return fail("choosing raw results", status);
  status = zelSaccadrixStartTracking();
  if (status < 0) return fail("starting the recording", status);
  sleep_seconds(seconds); /* the baseline */

  /* The stimulus goes on screen. A display routine that reports when the frame was shown
   * on the host clock gives a better onset than reading the clock after it returns. */
  double onset = 0;
  zelSaccadrixGetHostClock(&onset);
  status = zelSaccadrixAddMarker("stimulus on");
  if (status < 0) return fail("adding the marker", status);

  sleep_seconds(seconds);
  zelSaccadrixStopTracking();

  /* Read the recording in chunks, removing as it goes, and split it at the onset. The
   * sample times are read after the recording: by then the mapping is at its best. */
  T_RESULTS_STRUCT records[CHUNK];
  double read_at[CHUNK], sampled_at[CHUNK];
  long before = 0, after = 0, tracked_after = 0;
  uint64_t first_timestamp = 0;
  double first_latency = 0;
  zelSaccadrixSetBufferPosition(0);
  int n;
  while ((n = zelSaccadrixGetBufferedResults(records, read_at, sampled_at, CHUNK, 1)) > 0) {
    for (int i = 0; i < n; ++i) {
      if (isnan(sampled_at[i]) || sampled_at[i] < onset) {
        ++before;
        continue;
      }
      if (after == 0) {
        first_timestamp = records[i].timestamp;
        first_latency = sampled_at[i] - onset;
      }
      ++after;
      if (records[i].eye[0].tracked) ++tracked_after;
    }
  }
  if (n < 0) return fail("reading the recording", n);

  /* The marker holds the same moment on the tracker's clock. */
  double marker_time = 0;
  uint64_t marker_timestamp = 0;
  char text[256];
  status = zelSaccadrixGetMarker(0, &marker_time, &marker_timestamp, text, sizeof text);
  if (status < 0) return fail("reading the marker", status);
  zelSaccadrixClose();

  printf("stimulus on at host time %.6f s\n", onset);
  printf("marker \"%s\" at host time %.6f s, timestamp %" PRIu64 "\n", text, marker_time,
         marker_timestamp);
  printf("%ld results before the onset, %ld after it (eye 0 tracked in %ld)\n", before, after,
         tracked_after);
  if (after == 0) {
    fprintf(stderr, "no result followed the onset\n");
    return 1;
  }
  printf("first result after the onset: timestamp %" PRIu64 ", sampled %.3f ms after it\n",
         first_timestamp, first_latency * 1e3);
  return 0;
}
