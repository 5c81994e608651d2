/*
 * Saccadrix eye-movement events: fixations, saccades, post-saccadic oscillations (PSO),
 * smooth pursuit and blinks, found in any array of gaze samples (zelSaccadrixDetectEvents)
 * or live while calibrated results stream (zelSaccadrixSetEventDetection,
 * zelSaccadrixGetEvent). Part of libSaccadrix; statuses are the device library's
 * (saccadrix.h).
 *
 * The method (analysis/README.md has the full account):
 *  - Velocity: the least-squares slope of position against time over a window of twice the
 *    minimum saccade duration (about 20 ms) centred on each sample: for evenly spaced samples
 *    this is the first derivative of a second-order Savitzky-Golay filter, the filter of
 *    Nystrom & Holmqvist (2010); it also holds for uneven sampling and skips lost samples.
 *    The window is set in time, so the method is the same from 250 Hz to 8 kHz.
 *  - Saccades: the data-driven thresholds of Nystrom & Holmqvist (2010), "An adaptive
 *    algorithm for fixation, saccade, and glissade detection in eyetracking data", Behavior
 *    Research Methods 42(1):188-204. Starting from 100 deg/s, the peak threshold becomes
 *    mean + 6 SD of the speeds below it until it changes by less than 1 deg/s; the onset
 *    threshold is mean + 3 SD. A saccade is a run above the peak threshold, widened back to
 *    where the speed falls below the onset threshold at a local minimum, and forward to where
 *    it falls below the offset threshold 0.7 * onset + 0.3 * local noise (mean + 3 SD of the
 *    40 ms before the onset). Shorter than 10 ms: no saccade. Faster than 1000 deg/s: noise.
 *  - PSO (glissades, after the same paper): speed back above the saccade's offset threshold
 *    within 40 ms of its offset; the PSO ends where the speed falls below it again.
 *  - Smooth pursuit (a simpler criterion after Larsson, Nystrom, Andersson & Stridh 2015,
 *    "Detection of fixations and smooth pursuit movements in high-speed eye-tracking data",
 *    Biomedical Signal Processing and Control 18:145-152, which separates the two by how
 *    consistently the gaze moves over ~100 ms windows between saccades): between saccades,
 *    PSOs and blinks, a sample is moving when the least-squares slope over a 100 ms window is
 *    at least 2 deg/s; runs of moving samples of at least 40 ms are pursuit, the others
 *    fixation.
 *  - Lost samples (NaN) are "blink or lost", widened by a margin (10 ms) and further while
 *    the speed stays above the onset threshold (the eyelid drags the pupil's image).
 *  - Fixations and pursuits shorter than 40 ms are left undefined (label 0).
 *
 * Units: time in seconds, positions in degrees of visual angle, speeds in degrees/second.
 * Threads: zelSaccadrixDetectEvents holds no state and may run on any number of threads at
 * once; the live functions may be called from any thread.
 */
#ifndef SACCADRIX_SACCADRIX_EVENTS_H
#define SACCADRIX_SACCADRIX_EVENTS_H

#include <stdint.h>

#include "saccadrix/saccadrix.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Sample labels and event types ------------------------------------------------------ */

#define SACCADRIX_EVENT_UNDEFINED 0
#define SACCADRIX_EVENT_FIXATION 1
#define SACCADRIX_EVENT_SACCADE 2
#define SACCADRIX_EVENT_PSO 3     /* post-saccadic oscillation (glissade) */
#define SACCADRIX_EVENT_PURSUIT 4 /* smooth pursuit */
#define SACCADRIX_EVENT_BLINK 5   /* blink or lost samples */

/* Phase of an event (T_EVENT_STRUCT.phase). */
#define SACCADRIX_EVENT_START 1 /* live only: the event has begun; only start fields are set */
#define SACCADRIX_EVENT_END 2   /* the whole event: every field is set */

/* Flags of an event (T_EVENT_STRUCT.flags). */
#define SACCADRIX_EVENT_FLAG_CUT 1u   /* the data ended inside the event (array end, a gap in
                                         time, the eye lost during a saccade or PSO) */
#define SACCADRIX_EVENT_FLAG_REJECTED 2u /* live: not a saccade after all (shorter than
                                            minSaccadeDuration, or still fast after 0.15 s:
                                            pursuit); its START was a false alarm */

#pragma pack(push, 1)

/*
 * Parameters of the detection. Fill one with zelSaccadrixGetDefaultEventParams and change
 * what you need; pass null for the defaults. Every field is used as given and checked
 * (SACCADRIX_E_ARG for a value outside its range).
 */
typedef struct T_EVENT_PARAMS {
  uint32_t size;                /* sizeof(T_EVENT_PARAMS) (192): checked */
  uint32_t detectPso;           /* 1: look for PSOs after saccades (default); 0: never */
  uint32_t detectPursuit;       /* 1: tell pursuit from fixation (default); 0: all fixation */
  uint32_t reserved;            /* 0 */
  double minSaccadeDuration;    /* s, 0.010; the velocity window is twice this; 0.001..0.1 */
  double initialPeakThreshold;  /* deg/s, 100: where the adaptive peak threshold starts;
                                   10..1000 */
  double peakSigmas;            /* 6: peak threshold = mean + peakSigmas * SD; 1..20 */
  double onsetSigmas;           /* 3: onset threshold = mean + onsetSigmas * SD; 0..peakSigmas */
  double localNoiseWeight;      /* 0.3: offset threshold = (1 - w) * onset + w * local noise;
                                   0..1 */
  double localNoiseWindow;      /* s, 0.040: the time before a saccade that gives the local
                                   noise; 0.005..0.5 */
  double maxSpeed;              /* deg/s, 1000: faster is noise, not an eye movement; > peak */
  double maxPsoDuration;        /* s, 0.040: a PSO starts within and lasts at most this;
                                   0.005..0.2 */
  double minFixationDuration;   /* s, 0.040: shorter fixations are undefined; 0..1 */
  double minPursuitDuration;    /* s, 0.040: shorter moving runs are not pursuit; 0..1 */
  double pursuitWindow;         /* s, 0.100: window of the pursuit speed; 0.01..1 */
  double pursuitMinSpeed;       /* deg/s, 2: slower is fixation; 0.1..100 */
  double blinkMargin;           /* s, 0.010: lost samples widen by this on each side; 0..0.5 */
  double liveVelocityWindow;    /* s, 0.004: the live detector's trailing velocity window
                                   (shorter than offline, for an early saccade start);
                                   0.001..0.1 */
  double liveThresholdTime;     /* s, 2: the live thresholds come from the speeds of about
                                   the last this many seconds; 0.1..600 */
  double reserved2[7];          /* 0 */
} T_EVENT_PARAMS;

/*
 * One event. From zelSaccadrixDetectEvents every event is whole (phase END) and indexes the
 * caller's arrays; from zelSaccadrixGetEvent an event comes twice, at its start (phase START)
 * and whole at its end (phase END), with device timestamps and host-clock times.
 * Positions are in degrees, means over the event's samples that are not lost; a blink's
 * first and last samples are usually the margin's, so it has positions, but NaN where
 * they are lost.
 */
typedef struct T_EVENT_STRUCT {
  uint16_t size;           /* sizeof(T_EVENT_STRUCT) (128) */
  int8_t type;             /* SACCADRIX_EVENT_FIXATION .. SACCADRIX_EVENT_BLINK */
  int8_t eye;              /* 0 or 1 (live); -1 from zelSaccadrixDetectEvents */
  uint8_t phase;           /* SACCADRIX_EVENT_START or SACCADRIX_EVENT_END */
  uint8_t flags;           /* SACCADRIX_EVENT_FLAG_... */
  uint16_t reserved;       /* 0 */
  uint32_t dropped;        /* live: events lost from the full queue just before this one */
  int32_t startIndex;      /* offline: index of the event's first sample; live: -1 */
  int32_t endIndex;        /* offline: index of its last sample (inclusive); live: -1 */
  uint32_t sampleCount;    /* samples in the event (live: records of this eye) */
  uint64_t startTimestamp; /* live: the tracker's timestamp of the first sample; offline 0 */
  uint64_t endTimestamp;   /* live: ... of the last sample (END only); offline 0 */
  double startTime;        /* s: offline the caller's time; live the first sample's time on
                              the host clock (sample time, see saccadrix.h) */
  double endTime;          /* s: of the last sample (END only) */
  double detectedTime;     /* live: host time at which the record that started or ended the
                              event was read; offline: endTime */
  double startX, startY;   /* deg: the first sample's position */
  double endX, endY;       /* deg: the last sample's position (END only) */
  double meanX, meanY;     /* deg: mean over the event's samples (END only) */
  double amplitude;        /* deg: distance from the start to the end position (END only) */
  double peakVelocity;     /* deg/s: highest speed inside the event (END only) */
} T_EVENT_STRUCT;

#pragma pack(pop)

#if defined(__cplusplus)
static_assert(sizeof(T_EVENT_PARAMS) == 192, "T_EVENT_PARAMS is 192 bytes");
static_assert(sizeof(T_EVENT_STRUCT) == 128, "T_EVENT_STRUCT is 128 bytes");
#else
_Static_assert(sizeof(T_EVENT_PARAMS) == 192, "T_EVENT_PARAMS is 192 bytes");
_Static_assert(sizeof(T_EVENT_STRUCT) == 128, "T_EVENT_STRUCT is 128 bytes");
#endif

/* ---- Offline -------------------------------------------------------------------------------- */

/*
 * Fills params with the defaults documented in T_EVENT_PARAMS.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetDefaultEventParams(T_EVENT_PARAMS* params);

/*
 * Labels count samples and lists their events.
 * time:      sample times in seconds, finite and strictly increasing (any origin; sampling
 *            may be uneven; a gap longer than 5 median sample intervals breaks the data as a
 *            lost stretch would)
 * x, y:      gaze direction in degrees; NaN or infinite in either = lost sample
 * labels:    receives count labels (SACCADRIX_EVENT_...; 0 undefined); may be null
 * params:    null for the defaults
 * events:    receives the first maxEvents events in time order (phase END, eye -1); may be
 *            null when maxEvents is 0
 * eventCount: receives the number of events found, also when more than maxEvents (call
 *            again with a larger array); may be null
 * Returns 0; SACCADRIX_E_ARG (-3) for a negative count or maxEvents, a null time, x or y
 * with count > 0, null events with maxEvents > 0, times that are not finite and strictly
 * increasing, invalid params, or data too large for the memory (outputs then untouched).
 */
ZEL_SACCADRIX_API int zelSaccadrixDetectEvents(const double* time, const double* x,
                                               const double* y, int count, int8_t* labels,
                                               const T_EVENT_PARAMS* params,
                                               T_EVENT_STRUCT* events, int maxEvents,
                                               int* eventCount);

/*
 * The direction of a calibrated gaze vector (values[8..10] of an eye block, see
 * saccadrix.h) in degrees: horizontal xDeg = atan2(gx, |gz|), vertical
 * yDeg = atan2(gy, sqrt(gx^2 + gz^2)) (azimuth and elevation). The sign of gz does not
 * matter, so the result does not depend on which way the tracker's z axis points. Computed
 * in single precision, the precision of the gaze vector in a record (about 1e-5 degree); the
 * live detection and 'saccadrix events' convert gaze vectors with this function.
 * Returns 0; SACCADRIX_E_ARG (-3) for null outputs, and for a zero or non-finite vector (no
 * gaze: both outputs NaN).
 */
ZEL_SACCADRIX_API int zelSaccadrixGazeDirection(double gx, double gy, double gz, double* xDeg,
                                                double* yDeg);

/* ---- Live ----------------------------------------------------------------------------------
 *
 * While calibrated results (results type 1) stream, the library runs the detection on each
 * enabled eye as records are decoded and queues the events: a START event when a fixation,
 * saccade, PSO, pursuit or blink begins, and the whole event (END) when it is over. The
 * client takes them with zelSaccadrixGetEvent; nothing calls back. The live detector applies
 * the criteria above causally (analysis/README.md lists the differences): the speed comes
 * from a short trailing window (liveVelocityWindow), the thresholds adapt continuously over
 * the last liveThresholdTime seconds, and a saccade's START is queued as soon as its speed
 * passes the peak threshold, back-dated to its onset. A fixation's START waits for the end
 * of the PSO window (maxPsoDuration) after a saccade. Raw records (results type 0) are not
 * detected on: detection needs calibrated results, and a change of results type restarts it.
 * A sample is lost when its eye is not tracked or its gaze vector is zero.
 *
 * The queue holds 1024 events; when it is full the oldest event is dropped, and the next
 * event taken says how many were dropped before it (T_EVENT_STRUCT.dropped).
 */

/*
 * Turns live detection of an eye (0, 1, or -1 for both) on or off. Turning it on (also when
 * it already was) starts the eye's detector afresh with params (null: the defaults): its
 * thresholds are learnt again from the records that follow. Turning it off discards the
 * event in progress; events already queued stay. Works with or without a connection.
 * Returns 0; SACCADRIX_E_ARG (-3) for another eye or invalid params (nothing changed).
 */
ZEL_SACCADRIX_API int zelSaccadrixSetEventDetection(int eye, int on, const T_EVENT_PARAMS* params);

/*
 * Takes the oldest queued event.
 * Returns 1 with the event in *event; 0 when none is queued (event untouched);
 * SACCADRIX_E_ARG (-3) for a null pointer.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetEvent(T_EVENT_STRUCT* event);

#ifdef __cplusplus
}
#endif

#endif /* SACCADRIX_SACCADRIX_EVENTS_H */
