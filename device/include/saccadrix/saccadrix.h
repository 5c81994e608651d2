/*
 * Saccadrix device library: the flat C interface to a USB eye tracker.
 *
 * One tracker per process. Every function returns a signed 32-bit status (0 on success, a
 * negative SACCADRIX_E_... code on failure) unless it is documented as a plain query of a
 * count, a position, a flag or a version. Outputs go through caller-owned pointers; the
 * library never hands out memory to be freed and never throws.
 *
 * Threads: any number of client threads may call the functions below while the library's
 * poll thread runs, except zelSaccadrixInit and zelSaccadrixClose, which the caller must
 * not run at the same time as any other call.
 */
#ifndef SACCADRIX_SACCADRIX_H
#define SACCADRIX_SACCADRIX_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(SACCADRIX_BUILDING)
#    define ZEL_SACCADRIX_API __declspec(dllexport)
#  else
#    define ZEL_SACCADRIX_API __declspec(dllimport)
#  endif
#else
#  define ZEL_SACCADRIX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Status codes --------------------------------------------------------------------- */

#define SACCADRIX_OK 0
/* The tracker could not be opened; a command report was not written whole; a reply read
 * failed (for example the tracker was unplugged); no record in the ring. */
#define SACCADRIX_E_IO (-1)
/* No reply within the tries of the exchange. */
#define SACCADRIX_E_TIMEOUT (-2)
/* Argument out of range, or a text longer than the caller's buffer. */
#define SACCADRIX_E_ARG (-3)
/* Not supported by this model, or the tracker did not answer the firmware query. */
#define SACCADRIX_E_UNSUPPORTED (-4)
#define SACCADRIX_E_FILE_CREATE (-5)   /* calibration file could not be written */
#define SACCADRIX_E_FILE_OPEN (-6)     /* calibration file could not be opened */
#define SACCADRIX_E_FILE_VERSION (-7)  /* calibration file of an unsupported version */
#define SACCADRIX_E_FILE_CRC (-8)      /* calibration file checksum mismatch */
#define SACCADRIX_E_FILE_MAGIC (-9)    /* not a calibration file */
/* The lock or the poll thread could not be created or ended; the stored-results cursor ran
 * off the list. */
#define SACCADRIX_E_THREAD (-10)
/* No stored record at the cursor, a null destination, or a position out of range. */
#define SACCADRIX_E_NO_RECORD (-15)
/* The calibration read back from the tracker differs from what was written. */
#define SACCADRIX_E_VERIFY (-16)
/* No device-to-host clock mapping yet: no result has been read since the tracker's
 * timestamp last restarted (zelSaccadrixTimestampToHostClock, zelSaccadrixAddMarker). */
#define SACCADRIX_E_NO_MAPPING (-17)
/* No tracker found (Init), or no open connection (every other call that needs one). */
#define SACCADRIX_E_NO_DEVICE (-100)

/* ---- Shared types (packed, little-endian, sizes checked below) ------------------------- */

#pragma pack(push, 1)

/* Results of one eye within a record (69 bytes). */
typedef struct T_EYE_RESULTS {
  uint32_t triggerMask;     /* active trigger pins of this eye, one bit per trigger pin */
  float values[15];         /* measured values; which slots are filled depends on resultsType */
  uint8_t tracked;          /* 1 when the pupil and at least one reflection were found */
  uint8_t statusBit0;       /* bit 0 of the tracker's eye status, passed through */
  uint8_t calibrated;       /* the tracker held a gaze calibration for this eye at StartTracking */
  uint8_t reserved;         /* always 0 */
  uint8_t firstTriggerPin;  /* index of an active trigger pin of this eye, 0 when none */
} T_EYE_RESULTS;

/* One tracking result (155 bytes). */
typedef struct T_RESULTS_STRUCT {
  uint16_t size;            /* always 155 */
  uint64_t timestamp;       /* the tracker's timestamp, unchanged; restarts when armed */
  uint16_t resultsType;     /* 0 raw (pupil/reflection), 1 calibrated (gaze) */
  T_EYE_RESULTS eye[2];     /* eye[1] is all zero in records made from paired samples */
  uint32_t digitalInputs;   /* bit i = digital input i */
  uint8_t eventPin;         /* first active event pin, 0 when none */
} T_RESULTS_STRUCT;

/* One calibration target. */
typedef struct targ_struct {
  double targetX; /* target position in the target plane (unit of the viewing distance) */
  double targetY;
  double eyeX;    /* eye position measured while the target was shown (tracker units) */
  double eyeY;
} targ_struct;

/* Configuration of one digital pin, as the tracker defines it (passed through unchanged). */
typedef struct PinFunctionRecord {
  uint8_t bytes[46];
} PinFunctionRecord;

/* Configuration of one analogue channel, as the tracker defines it (passed through). */
typedef struct AnalogueFunctionRecord {
  uint8_t bytes[26];
} AnalogueFunctionRecord;

#pragma pack(pop)

#if defined(__cplusplus)
static_assert(sizeof(T_EYE_RESULTS) == 69, "eye block is 69 bytes");
static_assert(sizeof(T_RESULTS_STRUCT) == 155, "T_RESULTS_STRUCT is 155 bytes");
static_assert(sizeof(targ_struct) == 32, "targ_struct is 32 bytes");
static_assert(sizeof(PinFunctionRecord) == 46, "PinFunctionRecord is 46 bytes");
static_assert(sizeof(AnalogueFunctionRecord) == 26, "AnalogueFunctionRecord is 26 bytes");
#else
_Static_assert(sizeof(T_EYE_RESULTS) == 69, "eye block is 69 bytes");
_Static_assert(sizeof(T_RESULTS_STRUCT) == 155, "T_RESULTS_STRUCT is 155 bytes");
_Static_assert(sizeof(targ_struct) == 32, "targ_struct is 32 bytes");
_Static_assert(sizeof(PinFunctionRecord) == 46, "PinFunctionRecord is 46 bytes");
_Static_assert(sizeof(AnalogueFunctionRecord) == 26, "AnalogueFunctionRecord is 26 bytes");
#endif

/* ---- Connection and versions ------------------------------------------------------------ */

/*
 * Opens the first tracker (USB vendor 0x0861) that the system lists, after closing any open
 * connection. Takes a little over 2 seconds: the tracker needs time after enumeration.
 * Reads the firmware identity (and, on model code 4, the viewing distance and the pin
 * function table), arms the tracker's timestamp and starts the poll thread that carries
 * results into the ring (see zelSaccadrixGetResult).
 * Returns the model code 1..4 on success;
 *   SACCADRIX_E_NO_DEVICE (-100) when no tracker is attached;
 *   SACCADRIX_E_IO (-1) when the tracker could not be opened (on Linux: check the udev rule
 *     that gives your user access to its hidraw node);
 *   SACCADRIX_E_THREAD (-10) when the poll thread could not be started (a message is printed;
 *     call zelSaccadrixClose to release the tracker).
 */
ZEL_SACCADRIX_API int zelSaccadrixInit(void);

/*
 * Stops the poll thread and closes the tracker. Safe without a connection and when called
 * twice. The stored recording survives Close and can still be read back. The poll thread
 * ends within about 20 ms (the longest it waits for a report).
 * Returns 0, or SACCADRIX_E_THREAD (-10) when the poll thread could not be joined. The
 * device is never closed under a thread that may still read it: a thread that could not be
 * joined keeps its device open until the process ends. On Windows, Close waits at most 10 s
 * for the thread and returns 0 in every case (a thread still running then keeps its device).
 */
ZEL_SACCADRIX_API int zelSaccadrixClose(void);

/* The same as zelSaccadrixInit and zelSaccadrixClose, under second names. */
ZEL_SACCADRIX_API int zelSaccadrixHidInit(void);
ZEL_SACCADRIX_API int zelSaccadrixHidClose(void);

/* Version of this library: 46 on Linux and macOS (44 on Windows). */
ZEL_SACCADRIX_API int zelSaccadrixGetLibVersion(void);

/* Version of the binary interface: 2049 (0x0801). */
ZEL_SACCADRIX_API int zelSaccadrixGetAbiVersion(void);

/*
 * The text of a status this library returns: a static string, never null ("unknown
 * status" for a code the library does not return). The model codes 1 to 4 read as success.
 * What only the caller knows it adds itself: a -1 from zelSaccadrixInit means the tracker's
 * device node could not be opened (on Linux nearly always a missing udev rule); elsewhere
 * -1 is a failed transfer.
 */
ZEL_SACCADRIX_API const char* zelSaccadrixStatusText(int status);

/*
 * The scheduling priority the poll thread got. The thread asks for real-time priority
 * (SCHED_FIFO 20 on Linux and macOS, or as much as the user's RLIMIT_RTPRIO grants;
 * THREAD_PRIORITY_HIGHEST on Windows) and runs at the normal priority when the system
 * refuses, after printing "WARNING: pthread_setschedparam failed error: %d" (Windows:
 * "WARNING: SetThreadPriority failed error: %d"). On Linux a user gets it with a line such as
 *     @eyelab - rtprio 20
 * in /etc/security/limits.conf (or a file in /etc/security/limits.d/; "@eyelab" is a group
 * the tracker's users belong to, or give a user name; log in again).
 * *raised: 1 when the thread runs above the normal priority, else 0; *priority: the
 * real-time priority (1 to 99), the Windows priority level, or 0 when not raised.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer; SACCADRIX_E_NO_DEVICE (-100) when no
 * poll thread runs.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetPollThreadPriority(int* raised, int* priority);

/*
 * The firmware version number read when the tracker was opened (0 before any open, or when
 * the tracker did not answer). Returns 0, also without a connection; SACCADRIX_E_ARG (-3)
 * for a null pointer.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetFirmwareVersion(uint16_t* version);

/*
 * Copies the firmware build date text read at open ("Build date not supported" until a
 * tracker has reported one, "Not supported." when it did not answer) into text, cut to
 * size - 1 characters and always ending with a zero byte (nothing is written when size is
 * 0). Returns 0, also without a connection; SACCADRIX_E_ARG (-3) for a null text with size > 0.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetFirmwareBuildDateTime(char* text, size_t size);

/* ---- Open-time device queries -------------------------------------------------------- */

/*
 * Arms the tracker's timestamp (command 103): with value 1 the tracker restarts its
 * timestamp count. The low 16 bits of value are sent. Holds the device for 50 ms.
 * Returns 0 (also when the write failed), or SACCADRIX_E_NO_DEVICE (-100) without a
 * connection, in which case nothing is sent.
 */
ZEL_SACCADRIX_API int zelSaccadrixArmTimestamp(int value);

/*
 * Reads the tracker's digital pin function table (model code 4 only). Entry i belongs to
 * bit i of a record's digitalInputs; codes 5 and 6 are trigger pins of the first and second
 * eye, 7 and 8 event pins, others are the tracker's own.
 * table:  receives one function byte per pin; the whole table (length bytes) is cleared
 *         first, and at most length bytes (and never more than the reply holds) are filled.
 * count:  receives the number of pins the tracker reports (0..255), even when that is more
 *         than length; set to 0 first.
 * Returns 0; SACCADRIX_E_UNSUPPORTED (-4) on model codes 1..3 (table untouched, nothing
 * sent); SACCADRIX_E_NO_DEVICE (-100); SACCADRIX_E_IO (-1) or SACCADRIX_E_TIMEOUT (-2) from
 * the exchange; SACCADRIX_E_ARG (-3) when count is null, or table is null with length > 0.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetPinFunctions(uint8_t* table, size_t length, int* count);

/* ---- Results and recording ----------------------------------------------------------------
 *
 * Every record the tracker sends goes into a ring of the newest 5000 records (the oldest is
 * dropped when nobody reads it in time) and becomes the newest record. While a recording
 * runs (zelSaccadrixStartTracking .. zelSaccadrixStopTracking), records are also appended to
 * the stored list, which survives zelSaccadrixClose and is read back through a cursor.
 */

/*
 * Takes the oldest record from the ring. With a null destination, returns the number of
 * records waiting and removes nothing.
 * Returns the number of records left in the ring after the call (0 when this was the last);
 * SACCADRIX_E_IO (-1) when the ring was empty; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetResult(T_RESULTS_STRUCT* destination);

/*
 * Copies the newest record (all zero before the first one).
 * Returns 0; SACCADRIX_E_NO_RECORD (-15) for a null destination; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetLastResult(T_RESULTS_STRUCT* destination);

/* Empties the ring (not the newest record, not the stored list). Returns 0. */
ZEL_SACCADRIX_API int zelSaccadrixFlushResults(void);

/*
 * Reads the stored record at the cursor and moves the cursor to the next one; with remove
 * nonzero the record is also removed from the list (the cursor position then stays). Works
 * without a connection. After the last record has been read, the next record appended by a
 * running recording is the next one read: nothing is returned twice or skipped.
 * Returns 0; SACCADRIX_E_NO_RECORD (-15) for a null destination or when no record is left.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetBufferedResult(T_RESULTS_STRUCT* destination, uint8_t remove);

/*
 * Places the cursor on stored record number position (0 = oldest).
 * Returns 0; SACCADRIX_E_NO_RECORD (-15) when position is negative, not below the count, or
 * the list is empty (cursor unchanged). (SACCADRIX_E_THREAD (-10), "the walk ran off the
 * list", is kept in the documented codes but can no longer happen.)
 */
ZEL_SACCADRIX_API int zelSaccadrixSetBufferPosition(int position);

/* The cursor's position in the stored list (equal to the count once all have been read). */
ZEL_SACCADRIX_API int zelSaccadrixGetBufferPosition(void);

/* The number of stored records. */
ZEL_SACCADRIX_API int zelSaccadrixGetResultsCount(void);

/* Frees the stored list and its markers. Returns 0. */
ZEL_SACCADRIX_API int zelSaccadrixClearDataBuffer(void);

/*
 * Starts a recording: asks the tracker whether each eye holds a gaze calibration (the
 * answers go into every record's eye blocks), discards the previous recording, and arms the
 * tracker's timestamp. Records are stored from the first one whose timestamp has restarted
 * (is at or below the newest timestamp seen before the start). Takes about 350 ms.
 * Returns 0; the status of a failed calibration query (-1, -2) with nothing else changed;
 * SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixStartTracking(void);

/* Stops appending to the stored list; the records stay. Returns 0. */
ZEL_SACCADRIX_API int zelSaccadrixStopTracking(void);

/* 1 while a recording is started (also before its first record is stored), else 0. */
ZEL_SACCADRIX_API uint8_t zelSaccadrixGetTrackingStarted(void);

/* ---- Host clock, sample times and markers --------------------------------------------------
 *
 * The host clock is the computer's monotonic clock, the one experiment software uses for its
 * own events: CLOCK_MONOTONIC on Linux, mach_absolute_time on macOS, QueryPerformanceCounter
 * on Windows, in seconds as a double. The library reads it once for every report it reads
 * (the report's *host time*: when the record reached the host), and keeps that time with the
 * record in the ring, as the newest record, and in the stored list.
 *
 * From the pairs (device timestamp, host time) the library keeps a running estimate of the
 * tracker's clock against the host's: offset and rate, drift included. Reads are often late
 * and never early, so the estimate is the line under all pairs that lies closest to them
 * (the lower envelope: Moon, Skelly and Towsley 1999), not a mean. A record's *sample time*
 * is that line at its timestamp: the earliest moment its report could have been seen on the
 * host (the tracker's send time plus the USB transfer), free of the reading's own delay.
 * Each restart of the tracker's timestamp (zelSaccadrixStartTracking arms it) starts a new
 * epoch; the rate estimated before carries over, so the mapping holds from the first report
 * after a restart. After zelSaccadrixInit it carries over only from the same tracker (the
 * same product id and USB serial number): another tracker's clock drifts its own way. The estimate improves as a recording goes on: ask for sample times after
 * the recording to get the best one.
 */

/* The host clock now, in seconds. Returns 0; SACCADRIX_E_ARG (-3) for a null pointer. */
ZEL_SACCADRIX_API int zelSaccadrixGetHostClock(double* seconds);

/*
 * The host time (seconds) at which the report carrying this timestamp became readable, as
 * the mapping estimates it, for a timestamp of the current epoch (since the last restart).
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer; SACCADRIX_E_NO_MAPPING (-17) when no
 * result has been read since the library was loaded (or since Init).
 */
ZEL_SACCADRIX_API int zelSaccadrixTimestampToHostClock(uint64_t timestamp, double* seconds);

/*
 * Reads up to count stored records from the cursor, as zelSaccadrixGetBufferedResult does
 * one at a time (same cursor, same remove rule), with each record's host time into
 * hostTimes[i] and its sample time into sampleTimes[i] (either array may be null; NaN where
 * no mapping exists for the record's epoch). Each array holds at least count elements. The
 * way to drain a long recording in chunks: with remove nonzero, memory is freed as it goes.
 * Returns the number of records read (0 when none is left at the cursor);
 * SACCADRIX_E_ARG (-3) for a negative count; SACCADRIX_E_NO_RECORD (-15) for null records.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetBufferedResults(T_RESULTS_STRUCT* records, double* hostTimes,
                                                     double* sampleTimes, int count,
                                                     uint8_t remove);

/*
 * The newest record and its host time (0 before the first record), for gaze-contingent
 * displays; hostTime may be null.
 * Returns 0; SACCADRIX_E_NO_RECORD (-15) for a null destination; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetLastResultWithTime(T_RESULTS_STRUCT* destination,
                                                        double* hostTime);

/*
 * zelSaccadrixGetResult with the record's host time (hostTime may be null): takes the
 * oldest record from the ring. Returns as zelSaccadrixGetResult.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetResultWithTime(T_RESULTS_STRUCT* destination, double* hostTime);

/*
 * Stores a marker in the current recording: the host time of the call and the text (at most
 * 255 bytes before its terminating zero; "trial 3 start", "target on"). Markers are kept in
 * the order they were added, survive zelSaccadrixClose like the records, and are discarded
 * with the recording (zelSaccadrixStartTracking, zelSaccadrixClearDataBuffer). Any thread may
 * call it while the tracker streams; it takes well under a microsecond and never waits for
 * the device. A marker may be added before the recording's first record, or without any
 * connection (its host time is exact; its timestamp is mapped when read).
 * Returns 0; SACCADRIX_E_ARG (-3) for a null text or one longer than 255 bytes (nothing
 * stored).
 */
ZEL_SACCADRIX_API int zelSaccadrixAddMarker(const char* text);

/* The number of markers of the current recording. */
ZEL_SACCADRIX_API int zelSaccadrixGetMarkerCount(void);

/*
 * Marker number index (0 = first added): its host time, the device timestamp the mapping
 * gives for that moment in the recording's epoch (mapped now, so the best estimate; 0 when
 * no mapping exists, or for a moment before the timestamp's restart), and its text copied
 * into text, cut to size - 1 bytes and always zero-terminated (size 0: nothing copied). Any
 * output pointer but text may be null.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null text with a nonzero size;
 * SACCADRIX_E_NO_RECORD (-15) for an index out of range.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetMarker(int index, double* hostTime, uint64_t* timestamp,
                                            char* text, size_t size);

/*
 * Chooses raw (0: pupil and reflection positions) or calibrated (1: gaze vectors and angles)
 * results and empties the ring of records of the other type. Holds the device for 50 ms.
 * Returns 0; SACCADRIX_E_IO (-1) when the command was not written whole (the ring is
 * emptied all the same); SACCADRIX_E_ARG (-3) for any other type (nothing sent, ring kept);
 * SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixSetResultsType(int type);

/* ---- Gaze calibration -------------------------------------------------------------------- */

/*
 * Fits a gaze calibration from targets: the 4x4 matrix (row-major, 16 doubles) that maps the
 * eye position measured at each target onto the target's position in the target plane at
 * viewingDistance. Only the first 16 targets are used; with up to 8 the fit is affine
 * (bottom row 0 0 0 1), with 9 to 16 projective. eyeX and eyeY are divided by eyeScale first.
 * Runs on the calling thread for up to a few seconds; fits from several threads run one
 * after the other. Sets the library's viewing distance to viewingDistance (also without a
 * connection). Nothing is sent to the tracker.
 * Returns the residual (the summed target-plane distance between each target and its fitted
 * eye point, truncated to an integer, >= 0) with the matrix in coefficients;
 * SACCADRIX_E_NO_DEVICE (-100) without a connection (coefficients untouched);
 * SACCADRIX_E_ARG (-3) when coefficients is null or targets is null with count > 0.
 */
ZEL_SACCADRIX_API int zelSaccadrixCalibrate(uint32_t count, const targ_struct* targets,
                                            double* coefficients, double eyeScale,
                                            double viewingDistance);

/*
 * Fits a calibration (see zelSaccadrixCalibrate) and stores it for an eye (see
 * zelSaccadrixSetCalibration). *calibrationError receives the fit's residual or its status.
 * Returns the status of the store; SACCADRIX_E_ARG (-3) when calibrationError is null or
 * targets is null with count > 0 (nothing stored).
 */
ZEL_SACCADRIX_API int zelSaccadrixCalibrateDevice(int eye, uint32_t count,
                                                  const targ_struct* targets, double eyeScale,
                                                  double viewingDistance, double aux1,
                                                  double aux2, int* calibrationError);

/*
 * Stores a gaze calibration on the tracker for an eye (1 = second eye, any other value =
 * first eye) and verifies it by reading it back. The matrix and aux1/aux2 travel as 32-bit
 * floats; eyeScale is stored as its integer part (100.7 is stored as 100; NaN as 0, values
 * beyond the 32-bit range saturate). On model code 3, storing eye 0 also stores eye 1. On
 * model code 4 the viewing distance (integer part) is stored too. Sets the library's viewing
 * distance. Holds the device for at least 250 ms, then reads back (150 ms).
 * Returns 0; SACCADRIX_E_VERIFY (-16) when what was read back differs from what was
 * written; -1 or -2 from the read-back; SACCADRIX_E_ARG (-3) for null coefficients;
 * SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixSetCalibration(int eye, const double* coefficients,
                                                 double eyeScale, double viewingDistance,
                                                 double aux1, double aux2);

/*
 * Reads the gaze calibration stored on the tracker for an eye (1 = second eye, any other
 * value = first eye): the 4x4 matrix in row-major order, the eye scale, and the two auxiliary
 * values. viewingDistance receives the library's viewing distance as it was on entry; on
 * model code 4 the tracker's own distance is read too and is reported from the next call.
 * Three exchanges of 50 ms each are always made; outputs of a block that failed keep their
 * previous contents.
 * Returns 0; the status of the first exchange that failed (-1, -2); SACCADRIX_E_ARG (-3) for
 * a null output; SACCADRIX_E_NO_DEVICE (-100) with the outputs untouched.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetCalibration(int eye, double* coefficients, double* eyeScale,
                                                 double* viewingDistance, double* aux1,
                                                 double* aux2);

/*
 * Sets *calibrated to 1 when the tracker holds a gaze calibration for the eye (any of its
 * 16 coefficients nonzero), else 0.
 * Returns 0; the status of zelSaccadrixGetCalibration; SACCADRIX_E_ARG (-3) for null.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetCalibrated(int eye, uint8_t* calibrated);

/* ---- Pupil calibration and calibration files ------------------------------------------- */

/*
 * Stores the pupil calibration on the tracker: the scale value / reference, sent as a
 * fixed-point number with 10 fraction bits, that is (value * 1024) / reference truncated
 * toward zero (reference 2.0 and value 1.0 send 512). A quotient beyond the 32-bit range is
 * sent as the nearest 32-bit value, and a NaN quotient (for example a NaN reference, which
 * passes the range test) as 0. Holds the device for 50 ms.
 * reference: the pupil size the value was measured against; at least 0.1.
 * value:     the measured value; negative values send a negative scale.
 * Returns 0 (also when the write failed; the tracker does not acknowledge);
 *   SACCADRIX_E_ARG (-3) when reference is below 0.1 (nothing sent);
 *   SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixSetPupilCalibration(double reference, double value);

/*
 * Reads the pupil calibration scale from the tracker (its fixed-point value / 1024). Takes
 * about 50 ms after the reply.
 * pupilScale: receives the scale; untouched on failure.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer; SACCADRIX_E_IO (-1) when the request
 *   was not written whole or the reply read failed; SACCADRIX_E_TIMEOUT (-2) without a reply;
 *   SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetPupilCalibration(double* pupilScale);

/*
 * Tells whether the tracker holds a pupil calibration: *calibrated is 1 when its scale is
 * greater than 0, else 0 (also after any failure).
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer; otherwise the status of
 *   zelSaccadrixGetPupilCalibration (-1, -2, -100).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetPupilCalibrated(uint8_t* calibrated);

/*
 * Saves everything calibration-related that the tracker holds to a calibration file of 339
 * bytes: both eyes' calibrated flags and gaze matrices, the eye scale and viewing distance
 * (as read with the second eye), the pupil scale and both eyes' auxiliary values, protected
 * by a CRC-32. Everything is read from the tracker first (about a second); the file is
 * written only when every read succeeded. The bytes go to a new file in the same folder,
 * which replaces path only once it has been written, flushed and closed, so path never
 * holds a partial file: after any failure an existing file is unchanged. A symbolic link at
 * path is followed; an existing file keeps its permissions.
 * path: the file name (a byte string in the system's encoding).
 * Returns 0; SACCADRIX_E_FILE_CREATE (-5) for a null path (checked first, nothing read) or
 *   when the file could not be written whole (also when the folder does not allow creating
 *   the new file next to path); the status of the first failed tracker read (-1, -2);
 *   SACCADRIX_E_NO_DEVICE (-100), in which case no file is created or changed.
 */
ZEL_SACCADRIX_API int zelSaccadrixSaveCalibration(const char* path);

/*
 * Loads a calibration file onto the tracker: stores both eyes' gaze calibrations as
 * zelSaccadrixSetCalibration does (with its read-back verification, the viewing distance on
 * model code 4 and the library's viewing distance), then the pupil scale. Files of format
 * version 0 carry no auxiliary values and no CRC: both eyes get aux1 = aux2 = 0. Only the
 * first 339 bytes are read; a shorter file reads as if padded with zero bytes. Takes about
 * a second.
 * path: the file name (a byte string in the system's encoding).
 * Returns 0; SACCADRIX_E_FILE_OPEN (-6) for a null path, a file that cannot be opened, or a
 *   read error; SACCADRIX_E_FILE_MAGIC (-9) when the file is not a calibration file;
 *   SACCADRIX_E_FILE_VERSION (-7) for a format version other than 0 and 1;
 *   SACCADRIX_E_FILE_CRC (-8) when a version-1 file's checksum does not match (a truncated
 *   file); none of these touch the tracker. Otherwise the status of the first store that
 *   failed: SACCADRIX_E_VERIFY (-16), -1, -2, SACCADRIX_E_NO_DEVICE (-100); the tracker may
 *   then hold the first eye's new calibration but not the rest.
 */
ZEL_SACCADRIX_API int zelSaccadrixLoadCalibration(const char* path);

/* ---- Settings -------------------------------------------------------------------------------
 *
 * Set-commands hold the device for 50 ms and return 0 also when the write failed (the
 * tracker does not acknowledge them); without a connection they return
 * SACCADRIX_E_NO_DEVICE (-100) and send nothing. Queries return SACCADRIX_E_IO (-1) when the
 * request was not written whole or the reply read failed and SACCADRIX_E_TIMEOUT (-2) when no
 * reply came, leaving their outputs as described. Null output pointers are refused with
 * SACCADRIX_E_ARG (-3) before anything else is checked or sent.
 */

/*
 * Sets a numbered tracker parameter. Only the low 16 bits of id are sent; value is sent
 * whole. Parameter 0 holds the tracking flags (see zelSaccadrixSetTracking).
 * Returns 0; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixSetParam(int id, int value);

/*
 * Reads a numbered tracker parameter. The tracker answers only the low byte: a parameter
 * set to 300 reads as 44. Only the low 16 bits of id are sent, and the reply is matched
 * against those. Takes about 50 ms after the reply.
 * value: receives 0..255; untouched on failure.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null value; -1, -2; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetParam(int id, int* value);

/*
 * Sets the two tracking flags (bits 0 and 1 of parameter 0). On model code 3 the second
 * flag is always sent set.
 * Returns 0; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixSetTracking(bool first, bool second);

/*
 * Reads the two tracking flags (bits 0 and 1 of parameter 0) as 0 or 1. Outputs are
 * untouched on failure, except that on model code 3 second is always set to 0.
 * Takes about 50 ms after the reply.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer; -1, -2; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetTracking(uint8_t* first, uint8_t* second);

/*
 * Reads the tracking mode. *mode is set to 1 first. Model codes 1 and 2 report 1 and model
 * code 3 reports 0 without asking the tracker; model code 4 asks it (about 50 ms after the
 * reply; *mode stays 1 on failure).
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer; -1, -2; SACCADRIX_E_NO_DEVICE (-100)
 *   with *mode 1.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetTrackingMode(int* mode);

#if !defined(_WIN32)
/*
 * The tracking mode cannot be changed from the host: always returns
 * SACCADRIX_E_UNSUPPORTED (-4) and sends nothing. Not part of the Windows library.
 */
ZEL_SACCADRIX_API int zelSaccadrixSetTrackingMode(int mode);
#endif

/*
 * Reads the capture configuration: five values, of which the third is the capture rate in
 * frames per second; the meaning of the others is the tracker's. All five are set to 0
 * first. Model code 4 asks the tracker. Model codes 1 to 3 have no capture configuration:
 * after waiting 500 ms the capture rate is estimated from the rate at which results arrive
 * (below 20 per second: 0; below 40: 30; below 53: 50; else 60), the others stay 0. When no
 * results have arrived for a second, the estimate is 0, not the rate of results that have
 * since stopped.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer; -1, -2 (outputs 0);
 *   SACCADRIX_E_NO_DEVICE (-100) (outputs 0).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetCaptureConfig(int* value1, int* value2, int* captureRate,
                                                   int* value4, int* value5);

/*
 * Reads the configuration record of digital pin 1..32 (model code 4 only).
 * Checks, in this order: SACCADRIX_E_ARG (-3) for a null record;
 *   SACCADRIX_E_UNSUPPORTED (-4) below model code 4, also without a connection;
 *   SACCADRIX_E_NO_DEVICE (-100); SACCADRIX_E_ARG (-3) for a pin outside 1..32.
 * Returns 0, or -1, -2 from the exchange (record untouched).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetPinFunction(uint8_t pin, PinFunctionRecord* record);

/*
 * Stores the configuration record of digital pin 1..32 (model code 4 only). Checks as
 * zelSaccadrixGetPinFunction. Returns 0 (also when the write failed), or the status of a
 * failed check.
 */
ZEL_SACCADRIX_API int zelSaccadrixSetPinFunction(uint8_t pin, const PinFunctionRecord* record);

/*
 * Reads the configuration record of analogue channel 1..8 (model code 4 only).
 * Checks, in this order: SACCADRIX_E_ARG (-3) for a null record;
 *   SACCADRIX_E_UNSUPPORTED (-4) below model code 4, also without a connection;
 *   SACCADRIX_E_NO_DEVICE (-100); SACCADRIX_E_ARG (-3) for a channel outside 1..8.
 * Returns 0, or -1, -2 from the exchange (record untouched).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetAnalogueFunction(uint8_t channel,
                                                      AnalogueFunctionRecord* record);

/*
 * Stores the configuration record of analogue channel 1..8 (model code 4 only). Checks as
 * zelSaccadrixGetAnalogueFunction. Returns 0 (also when the write failed), or the status of
 * a failed check.
 */
ZEL_SACCADRIX_API int zelSaccadrixSetAnalogueFunction(uint8_t channel,
                                                      const AnalogueFunctionRecord* record);

/*
 * Sets the network (IPv4) configuration: a flag and five values whose meaning is the
 * tracker's. Sent on every model code (trackers without a network port ignore it).
 * Returns 0; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixSetIPV4Config(uint8_t flag, int value1, int value2,
                                                int value3, int value4, int value5);

/*
 * Reads the network (IPv4) configuration. All six outputs are set to 0 first. Waits up to
 * about 2 seconds for the reply.
 * Returns 0; SACCADRIX_E_ARG (-3) for a null pointer; SACCADRIX_E_NO_DEVICE (-100);
 *   SACCADRIX_E_UNSUPPORTED (-4) on model codes 1 to 3 (nothing sent); -1, -2.
 */
ZEL_SACCADRIX_API int zelSaccadrixGetIPV4Config(uint8_t* flag, int* value1, int* value2,
                                                int* value3, int* value4, int* value5);

/*
 * Reads the tracker's two Ethernet texts (its hardware address, then its network
 * information) into two buffers of size bytes each. Each text is cut to fit its buffer and
 * always ends with a zero byte when size is at least 1. Waits up to about 2 seconds for
 * the reply.
 * Returns 0; SACCADRIX_E_ARG (-3) when either pointer is null with size > 0 (nothing
 *   written), or when a text had to be cut (both buffers hold what fitted);
 *   SACCADRIX_E_NO_DEVICE (-100); SACCADRIX_E_UNSUPPORTED (-4) on model codes 1 to 3, both
 *   buffers then holding "Not supported." (cut to fit); -1, -2 (buffers untouched).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetEthMacAddress(char* macAddress, char* ethernetInfo,
                                                   size_t size);

/*
 * Asks the tracker to save the images it has captured (model code 4 only).
 * Returns 0 (also when the write failed); SACCADRIX_E_UNSUPPORTED (-4) on any other model
 *   code, also without a connection (nothing sent); SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixSaveCapturedImages(void);

/*
 * Copies the tracker's USB serial number into text as size bytes: the low byte of each
 * character, zero bytes after the text, and always a zero byte at text[size - 1] (a serial
 * number that does not fit is cut). With size 0 nothing is written.
 * Returns 0; -1 when the serial number cannot be read (text then all zero bytes);
 *   SACCADRIX_E_ARG (-3) for a null text with size > 0; SACCADRIX_E_NO_DEVICE (-100).
 */
ZEL_SACCADRIX_API int zelSaccadrixGetSerialNumber(char* text, size_t size);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* SACCADRIX_SACCADRIX_H */
