/*
 * Saccadrix calibration validation: how far gaze lands from targets the subject looked at,
 * in degrees of visual angle. Part of libSaccadrix; statuses are the device library's
 * (saccadrix.h).
 *
 * A validation shows targets one after the other, records while each is shown, and asks of
 * the samples in each target's window:
 *  - accuracy: the mean angle between each sample's gaze direction and the target's
 *    direction (degrees), with the mean horizontal and vertical offsets (signed);
 *  - precision: the RMS of the angles between successive samples (sample-to-sample, the
 *    figure for noise) and the standard deviation of the samples' angles from their mean
 *    direction (the figure for spread, drift included);
 *  - data loss: the percentage of samples without a tracked eye.
 * The first part of each window (skipSeconds) is left out: the eye is still on its way.
 *
 * Directions. A gaze sample is a vector (x, y, z) in the tracker's frame, z pointing from
 * the eye towards the target plane: the calibrated gaze vector of a record, a point (X, Y)
 * on the target plane as (X, Y, viewingDistance), or a raw eye position taken through a
 * fitted calibration (zelSaccadrixApplyCalibration). A target is a point (X, Y) on the
 * target plane at viewingDistance (direction (X, Y, viewingDistance)) or, with a viewing
 * distance of 0, a pair of angles (x, y) in degrees meaning the direction (tan x, tan y, 1):
 * the angles atan(X/Z) and atan(Y/Z) that the tracker reports with calibrated gaze. Only
 * angles between directions are computed, so the unit of the vectors does not matter.
 *
 * Overall figures are the means over the targets that have them (each target counts the
 * same, however many samples it had); the overall data loss and counts are over all
 * samples of all windows.
 *
 * Threads: the functions hold no state; any number may run at once.
 */
#ifndef SACCADRIX_SACCADRIX_VALIDATION_H
#define SACCADRIX_SACCADRIX_VALIDATION_H

#include <stdint.h>

#include "saccadrix/saccadrix.h"

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

/* One target and the samples recorded while it was shown. */
typedef struct T_VALIDATION_TARGET {
  double x;      /* target position: on the target plane (unit of viewingDistance), or */
  double y;      /* degrees when viewingDistance is 0 (|x|, |y| below 90) */
  double start;  /* the target's window, start included and end excluded: seconds on the */
  double end;    /* clock of the time array, or sample indices (windowsInSamples) */
} T_VALIDATION_TARGET;

typedef struct T_VALIDATION_PARAMS {
  double viewingDistance;   /* > 0: targets are points on the target plane at this distance;
                               0: targets are angles in degrees */
  double skipSeconds;       /* left out at the start of each window (>= 0; 0.3 is usual); needs
                               the time array when > 0 */
  int32_t windowsInSamples; /* 0: windows are times in seconds (needs the time array);
                               1: windows are sample indices */
  int32_t reserved;         /* 0 */
} T_VALIDATION_PARAMS;

/* The figures of one target (or of all targets) for one eye. NaN where there is no sample
 * to compute a figure from (accuracy and SD need tracked samples, two for the SD;
 * sample-to-sample RMS needs two successive tracked samples; data loss needs a sample). */
typedef struct T_VALIDATION_RESULT {
  double accuracy;      /* degrees: mean angle between gaze and target direction */
  double offsetX;       /* degrees: mean of atan(gx/gz) - atan(tx/tz), gaze minus target */
  double offsetY;       /* degrees: mean of atan(gy/gz) - atan(ty/tz) */
  double precisionRms;  /* degrees: RMS of the angles between successive tracked samples */
  double precisionSd;   /* degrees: SD of the samples' angles from their mean direction */
  double dataLoss;      /* percent of the window's samples without a tracked eye */
  int32_t samples;      /* samples in the window (after the skip) */
  int32_t tracked;      /* of which with a tracked eye and a usable direction */
} T_VALIDATION_RESULT;

/* A fitted gaze calibration of one eye, for raw results: the 16 coefficients of
 * zelSaccadrixCalibrate (row-major) and the eye scale the fit used. */
typedef struct T_GAZE_CALIBRATION {
  double coefficients[16];
  double eyeScale;
} T_GAZE_CALIBRATION;

#pragma pack(pop)

#if defined(__cplusplus)
static_assert(sizeof(T_VALIDATION_TARGET) == 32, "T_VALIDATION_TARGET is 32 bytes");
static_assert(sizeof(T_VALIDATION_PARAMS) == 24, "T_VALIDATION_PARAMS is 24 bytes");
static_assert(sizeof(T_VALIDATION_RESULT) == 56, "T_VALIDATION_RESULT is 56 bytes");
static_assert(sizeof(T_GAZE_CALIBRATION) == 136, "T_GAZE_CALIBRATION is 136 bytes");
#else
_Static_assert(sizeof(T_VALIDATION_TARGET) == 32, "T_VALIDATION_TARGET is 32 bytes");
_Static_assert(sizeof(T_VALIDATION_PARAMS) == 24, "T_VALIDATION_PARAMS is 24 bytes");
_Static_assert(sizeof(T_VALIDATION_RESULT) == 56, "T_VALIDATION_RESULT is 56 bytes");
_Static_assert(sizeof(T_GAZE_CALIBRATION) == 136, "T_GAZE_CALIBRATION is 136 bytes");
#endif

/*
 * Validates one eye's samples against targets.
 *   time     count sample times in seconds (any clock: host times, sample times); may be null
 *            when the windows are sample indices and skipSeconds is 0. A sample whose time is
 *            NaN belongs to no time window.
 *   gaze     count x 3 doubles: the gaze vector (x, y, z) of each sample.
 *   tracked  count flags, nonzero where the eye was tracked; null: every sample is. A sample
 *            whose vector is zero or not finite counts as lost whatever its flag.
 *   targets  targetCount targets with their windows (windows may overlap and be empty).
 *   perTarget  targetCount results, or null; overall  one result, or null.
 * Returns 0; SACCADRIX_E_ARG (-3), with nothing written, for a negative count, null gaze
 * (count > 0), null targets or params, targetCount < 1, a target that is not finite (or an
 * angle of 90 degrees or more), a window that ends before it starts, a negative or non-finite
 * viewing distance or skip, windowsInSamples other than 0 or 1, or a null time array that the
 * windows or the skip need.
 */
ZEL_SACCADRIX_API int zelSaccadrixValidate(const double* time, const double* gaze,
                                           const uint8_t* tracked, int count,
                                           const T_VALIDATION_TARGET* targets, int targetCount,
                                           const T_VALIDATION_PARAMS* params,
                                           T_VALIDATION_RESULT* perTarget,
                                           T_VALIDATION_RESULT* overall);

/*
 * Validates both eyes of a recording. Calibrated records (resultsType 1) give their gaze
 * vectors; raw records (resultsType 0) give their eye positions (pupil minus reflection,
 * values 6 and 7) taken through their eye's fitted calibration, calibration[eye] (two
 * entries; may be null when every record is calibrated). An eye is lost in a record where it
 * is not tracked. Records made from paired samples (model code 3) carry eye 0 only; eye 1
 * then has no tracked sample.
 *   perTarget  targetCount x 2 results, [2 * k + eye], or null; overall  2 results, or null.
 * Returns 0; SACCADRIX_E_ARG (-3), with nothing written, as zelSaccadrixValidate (records
 * in place of gaze), and when a raw record is among them but calibration is null or an eye
 * scale is 0 or not finite.
 */
ZEL_SACCADRIX_API int zelSaccadrixValidateRecords(const T_RESULTS_STRUCT* records,
                                                  const double* time, int count,
                                                  const T_GAZE_CALIBRATION* calibration,
                                                  const T_VALIDATION_TARGET* targets,
                                                  int targetCount,
                                                  const T_VALIDATION_PARAMS* params,
                                                  T_VALIDATION_RESULT* perTarget,
                                                  T_VALIDATION_RESULT* overall);

/*
 * The gaze vector that a fitted calibration gives an eye position, as the tracker computes
 * calibrated results: u = eyeX / eyeScale, v = eyeY / eyeScale, q = M (u, v, 1 - sqrt(u^2 +
 * v^2), 1) with M the 16 coefficients (row-major), gaze = (q0, q1, q2) / q3.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer, an eyeScale of 0, or a result that is
 * not finite (gaze untouched).
 */
ZEL_SACCADRIX_API int zelSaccadrixApplyCalibration(const double* coefficients, double eyeScale,
                                                   double eyeX, double eyeY, double* gaze);

#ifdef __cplusplus
}
#endif

#endif /* SACCADRIX_SACCADRIX_VALIDATION_H */
