/*
 * Follows a tracker's results live: opens the first tracker, takes every result as it
 * arrives and prints the newest one ten times a second, then the number of results taken.
 *
 *   follow_results [SECONDS]      (default 5)
 *
 * Exits with 0 when results arrived, 1 when the tracker could not be opened or sent none.
 */
#define _POSIX_C_SOURCE 200809L

#include <saccadrix/saccadrix.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double now_seconds(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void print_result(double elapsed, const T_RESULTS_STRUCT* r) {
  /* Results are packed records: read the fields by value. */
  const T_EYE_RESULTS eye = r->eye[0];
  if (!eye.tracked) {
    printf("%6.2f s  t=%llu  eye 0 not tracked\n", elapsed, (unsigned long long)r->timestamp);
  } else if (r->resultsType == 1) {
    printf("%6.2f s  t=%llu  eye 0 gaze %.3f %.3f %.3f\n", elapsed,
           (unsigned long long)r->timestamp, (double)eye.values[8], (double)eye.values[9],
           (double)eye.values[10]);
  } else {
    printf("%6.2f s  t=%llu  eye 0 pupil %.2f %.2f  reflection %.2f %.2f\n", elapsed,
           (unsigned long long)r->timestamp, (double)eye.values[2], (double)eye.values[3],
           (double)eye.values[0], (double)eye.values[1]);
  }
}

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? atof(argv[1]) : 5.0;
  const struct timespec pause = {0, 5 * 1000 * 1000}; /* 5 ms */

  const int model = zelSaccadrixInit(); /* about 2 seconds */
  if (model < 0) {
    fprintf(stderr, "cannot open the tracker (status %d)\n", model);
    zelSaccadrixClose();
    return 1;
  }
  printf("tracker of model code %d\n", model);
  if (zelSaccadrixSetResultsType(0) != 0) { /* raw pupil and reflection positions */
    fprintf(stderr, "cannot choose raw results\n");
    zelSaccadrixClose();
    return 1;
  }

  long taken = 0;
  T_RESULTS_STRUCT newest;
  const double start = now_seconds();
  double next_print = start;
  for (;;) {
    const double now = now_seconds();
    if (now - start >= seconds) break;
    /* Take everything waiting in the ring; GetResult says how many are left. */
    T_RESULTS_STRUCT r;
    int left;
    while ((left = zelSaccadrixGetResult(&r)) >= 0) {
      newest = r;
      ++taken;
      if (left == 0) break;
    }
    if (taken > 0 && now >= next_print) {
      print_result(now - start, &newest);
      next_print += 0.1;
    }
    nanosleep(&pause, NULL);
  }
  zelSaccadrixClose();
  printf("%ld results in %.1f s\n", taken, seconds);
  return taken > 0 ? 0 : 1;
}
