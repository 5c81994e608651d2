/*
 * Saccadrix video library: preview of the tracker's camera and Motion-JPEG recording.
 *
 * The library opens the tracker's camera as an ordinary video capture device and drives it
 * with a GStreamer pipeline; it never talks to the tracker over USB HID and does not need the
 * device library. There is one pipeline per process, held in module state: no handles cross
 * this interface. Every function returns a signed 32-bit value, a status (0 on success, a
 * negative SACCADRIX_GS_E_... code on failure) unless documented otherwise. Nothing throws.
 *
 * Threads: the library has no threads or locks of its own (GStreamer runs its streaming
 * threads inside the pipeline). Call the functions from one thread at a time.
 *
 * Typical use:
 *   zelSaccadrixVideoInit(window, 0)          choose where the preview is drawn
 *   zelSaccadrixVideoStart()                  show the preview
 *   zelSaccadrixVideoStartRecord("a.avi")     record (the preview goes on while recording)
 *   zelSaccadrixVideoStopRecord()             finish the file; the preview comes back
 *   zelSaccadrixVideoStop()                   end
 * Recording without a preview: zelSaccadrixVideoInit(0, 0), then StartRecord / StopRecord.
 *
 * Camera selection on Linux: among the video capture devices the system lists, a camera with
 * USB vendor id 0x0861 is preferred; otherwise a camera whose name contains "Saccadrix R1",
 * "Saccadrix R2", "Saccadrix R3" or "Saccadrix Mirel" (blank or hyphen between the words),
 * tried in that order. Cameras that report another vendor id are never used. The chosen
 * camera's name is printed on standard output as "Saccadrix Device: <name>".
 *
 * Diagnostics go to standard error through GLib's error printer (and, on macOS, also to the
 * system log).
 */
#ifndef SACCADRIX_SACCADRIX_GS_H
#define SACCADRIX_SACCADRIX_GS_H

#include <stdint.h>
#if !defined(__cplusplus)
#include <stdbool.h>
#endif

#if defined(_WIN32)
#  if defined(SACCADRIX_GS_BUILDING)
#    define ZEL_SACCADRIX_GS_API __declspec(dllexport)
#  else
#    define ZEL_SACCADRIX_GS_API __declspec(dllimport)
#  endif
#else
#  define ZEL_SACCADRIX_GS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Status codes --------------------------------------------------------------------- */

#define SACCADRIX_GS_OK 0
/* A GStreamer element, the pipeline, a recording element or one of the recording pads could
 * not be created (a plug-in is missing, or GStreamer could not be initialised). */
#define SACCADRIX_GS_E_CREATE (-12)
/* Two elements of the pipeline could not be linked. */
#define SACCADRIX_GS_E_LINK (-13)
/* The pipeline did not reach the playing state (the camera is busy or failed, the visible
 * sink has no display, the recording file could not be opened, ...). On Windows also: the
 * installed GStreamer is older than 1.12.4 or not of the 1.x series, or no camera answered
 * to one of the tracker's camera names. */
#define SACCADRIX_GS_E_START (-14)
/* No camera of the tracker was found ("No Saccadrix device found." is printed). */
#define SACCADRIX_GS_E_NO_CAMERA (-15)

/* The text of a status this library returns: a static string, never null ("unknown status"
 * for other codes). The codes overlap the device library's: ask each library for its own. */
ZEL_SACCADRIX_GS_API const char* zelSaccadrixVideoStatusText(int32_t status);

/* ---- Version ------------------------------------------------------------------------- */

/* Version number of this library: 43 on Linux and macOS, 45 on Windows. */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixGetLibGSVersion(void);

/* ---- Preview ------------------------------------------------------------------------- */

#if defined(__APPLE__)
/*
 * Stops whatever runs (as zelSaccadrixVideoStop) and chooses the window for the preview.
 * Nothing is built or started; the next zelSaccadrixVideoStart shows the preview, and a
 * recording started before any zelSaccadrixVideoStart runs without one.
 * windowHandle: the native view the preview is drawn into; 0 lets the sink open its own
 *               window when a preview is started.
 * Returns 0.
 */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoInit(unsigned long windowHandle);

/*
 * Runs the calling thread's run loop in its default mode for the given number of seconds,
 * so that the preview window is drawn and receives events.
 * Returns the run loop's result code (kCFRunLoopRunFinished 1, Stopped 2, TimedOut 3,
 * HandledSource 4).
 */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoProcessEvents(uint32_t seconds);
#else
/*
 * Stops whatever runs (as zelSaccadrixVideoStop) and chooses the window and the kind of
 * visible sink for the preview. Nothing is built or started; the next zelSaccadrixVideoStart
 * shows the preview, and a recording started before any zelSaccadrixVideoStart runs without
 * one (its frames go to a hidden sink).
 * windowHandle:     the native window the preview is drawn into (an X11 window id on Linux,
 *                   an HWND on Windows); 0 lets the sink open its own window when a preview
 *                   is started.
 * useAlternateSink: false (the default before any call) draws the preview with OpenGL
 *                   ("glimagesink"). true uses the platform's native video sink instead:
 *                   on Linux the X video extension ("xvimagesink", for displays without
 *                   OpenGL; needs an X server that offers XVideo), on Windows Direct3D
 *                   ("d3dvideosink"). Only the preview is affected, never the recording.
 * Returns 0.
 */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoInit(uintptr_t windowHandle, bool useAlternateSink);
#endif

/*
 * Stops whatever runs, then builds the preview pipeline (camera, converter, a visible sink
 * in the window chosen by zelSaccadrixVideoInit) and starts it. Takes about half a second:
 * the camera is given time to be released and reopened.
 * Returns 0 when the preview plays;
 *   SACCADRIX_GS_E_NO_CAMERA (-15) when no camera of the tracker is attached;
 *   SACCADRIX_GS_E_CREATE (-12) or SACCADRIX_GS_E_LINK (-13) when the pipeline could not be
 *     built (a message says which elements);
 *   SACCADRIX_GS_E_START (-14) when it did not start (for example no display for the visible
 *     sink, or the camera is in use); the pipeline stays built until the next stop or start.
 */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStart(void);

/*
 * Stops the preview or recording and releases the pipeline. A running recording is given up
 * to 5 seconds to finish its file before the pipeline is stopped. Safe when nothing runs.
 * Unlike zelSaccadrixVideoStopRecord it never brings a preview back.
 * Returns 0.
 */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStop(void);

/*
 * Polls whether the pipeline has ended: by a stop, by the camera's stream ending, or by an
 * error in the pipeline (for example the camera was unplugged or the preview window was
 * closed; the error is printed once).
 * Returns 1 when nothing runs (any more), 0 while the preview or recording runs.
 */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStopped(void);

/* ---- Recording ----------------------------------------------------------------------- */

/*
 * Stops whatever runs, rebuilds the pipeline with a recording branch and starts it: the
 * camera's frames are encoded as JPEG (quality 75) and written to path, in an AVI container
 * on Linux and Windows and a QuickTime container on macOS, whatever the file's extension.
 * The preview goes on in the window while recording if zelSaccadrixVideoStart was called
 * after the last zelSaccadrixVideoInit; otherwise the frames also go to a hidden sink. A
 * second StartRecord during a recording finishes the first file and starts the new one.
 * path: the file to write (created or replaced), a zero-terminated string; on Windows at
 *       most 1023 bytes, and a path on a mapped network drive is written through its UNC
 *       form.
 * Returns 0 when recording;
 *   SACCADRIX_GS_E_NO_CAMERA (-15), SACCADRIX_GS_E_CREATE (-12), SACCADRIX_GS_E_LINK (-13)
 *     as zelSaccadrixVideoStart; -12 also when a recording element is missing or (Windows)
 *     the path is 1024 bytes or longer;
 *   SACCADRIX_GS_E_START (-14) when the pipeline did not start, for example because the
 *     file could not be created or the path is null or empty (the message says why). The
 *     pipeline stays built until the next stop or start.
 */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStartRecord(const char* path);

/*
 * Finishes the recording: the end of the stream is sent through the pipeline and awaited
 * (up to 5 seconds) so that the file is complete and indexed when this returns, then the
 * pipeline is released. If the preview was on display (zelSaccadrixVideoStart since the
 * last zelSaccadrixVideoInit), it is started again; its result is not reported. Safe
 * without a recording: whatever runs is stopped and the preview restarted as above.
 * Returns 0.
 */
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStopRecord(void);

#ifdef __cplusplus
}
#endif

#endif /* SACCADRIX_SACCADRIX_GS_H */
