// Module state of the video library and the internal routines shared by its source files.
// There is one pipeline per process; every exported function works on this state, from one
// caller thread at a time.
#ifndef SACCADRIX_GS_VIDEO_STATE_H
#define SACCADRIX_GS_VIDEO_STATE_H

#include <cstdint>

#include "gst_ref.h"

namespace saccadrix::gs {

// Status codes (the public header spells them SACCADRIX_GS_...).
constexpr int32_t kOk = 0;
constexpr int32_t kCreateFailed = -12;
constexpr int32_t kLinkFailed = -13;
constexpr int32_t kStartFailed = -14;
constexpr int32_t kNoCamera = -15;

// Every GStreamer object the module uses is held here by its own strong reference, also when
// a bin holds one too. Teardown therefore can stop, unlink and remove objects in any order
// without touching one that a bin has already released.
struct VideoState {
  // Native window for the preview; 0 lets a visible sink open its own window.
  uintptr_t globalWindowHandle = 0;
  // true: the pipeline ends in a visible sink; false: in "fakesink".
  bool displaySinkVideo = false;
  // true from a successful start until a stop, or until the end of the stream (or an error)
  // has been seen on the bus.
  bool playbackState = false;
  // Visible sink: OpenGL ("glimagesink") or the platform's native one; not used on macOS.
  bool useGlImageSink = true;

  GstRef<GstElement> pipeline;  // "main-pipeline"
  GstRef<GstBus> bus;           // the pipeline's bus, fetched when it starts

  // The preview chain, in stream order.
  GstRef<GstElement> source;
  GstRef<GstElement> queue1;
  GstRef<GstElement> convert;
  GstRef<GstElement> tee;  // "videotee"
  GstRef<GstElement> queue2;
  GstRef<GstElement> sink;

  // The recording branch, attached to the tee's pad "src_2".
  GstRef<GstElement> bin;
  GstRef<GstElement> queue_record;    // "queuerec"
  GstRef<GstElement> encoder_record;  // "encoder"
  GstRef<GstElement> muxer_record;    // "muxer"
  GstRef<GstElement> sink_record;     // "sink" (the file sink)
  GstRef<GstPad> srcpadvideo;         // the tee's request pad
  GstRef<GstPad> sinkpadvideo;        // the bin's ghost pad "videosink"
};

// The module state. Never destroyed: releasing GStreamer objects from a static destructor at
// process exit could run after GStreamer itself has gone.
VideoState& Video();

// The element named "convert" between the camera and the tee: a converter, or for a camera
// that sends Motion-JPEG a bin that decodes and converts (pipeline.cpp).
GstRef<GstElement> MakeConverter(bool jpegFrames);
// Builds the preview pipeline, left in the NULL state (pipeline.cpp).
int32_t gsVideoInit(uintptr_t windowHandle, bool display, bool useGl);
// Sets the pipeline playing and waits until it plays (pipeline.cpp).
int32_t gsVideoStart();
// Stops the pipeline (finishing a recording first), takes the recording branch down and
// forgets every object (pipeline.cpp).
void TearDownPipeline();
// Takes the recording branch off the stopped pipeline and forgets it (recording.cpp).
void TakeDownRecordingBranch(VideoState& video);

}  // namespace saccadrix::gs

#endif  // SACCADRIX_GS_VIDEO_STATE_H
