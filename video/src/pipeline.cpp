// The preview pipeline: building it, starting it, stopping it, and polling its end.
//
//   source -> queue1 -> convert -> [I420] -> videotee -> queue2 -> sink
//
// The recording branch (recording.cpp) joins the tee on a second pad.
#include <gst/video/videooverlay.h>

#include <chrono>
#include <cstdarg>
#include <thread>

#include "platform.h"
#include "saccadrix/saccadrix_gs.h"
#include "video_state.h"

namespace saccadrix::gs {

namespace {

// Pause around rebuilding the preview, so that the camera driver has released the device
// before it is opened again.
constexpr auto kCameraReleasePause = std::chrono::milliseconds(200);
// The start polls the pipeline's state every 10 ms with a query that does not block.
constexpr auto kStartPollStep = std::chrono::milliseconds(10);
constexpr GstClockTime kStateQueryTimeout = 1000;  // 1 µs
// A camera that opens but never delivers a frame (or a sink that never prerolls) keeps the
// pipeline changing state forever; give up after this long and report the start as failed.
constexpr auto kStartDeadline = std::chrono::seconds(10);

// The raw format is fixed before the tee. Left open, the camera's format is negotiated for
// the preview branch alone, and a recording branch joining later may ask for a format the
// running stream cannot change to: the encoder then never gets a frame and the file stays
// empty. I420 is what the JPEG encoder takes without conversion.
constexpr const char* kTeeCaps = "video/x-raw,format=I420";

// How long a stop waits for the end of the stream: long enough for the muxer to write its
// index after the last frame, even for long files on slow disks (an AVI or QuickTime file
// without it is cut short). A stop normally returns within a frame's time.
constexpr GstClockTime kEndOfStreamWait = 5 * kSecond;

// The visible sink, never synchronised to the clock: the camera's frames are shown as they
// come. Null when its plug-in is missing.
GstRef<GstElement> MakeVisibleSink(bool useGlImageSink) {
  GstRef<GstElement> sink = MakeElement(VisibleSinkFactory(useGlImageSink), "sink");
  if (sink) {
    g_object_set(sink.get(), "sync", FALSE, nullptr);
  }
  return sink;
}

constexpr GstMessageType kEndOrError =
    static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);

bool InitialiseGStreamer() {
  if (gst_is_initialized() != FALSE) {
    return true;
  }
  GError* error = nullptr;
  if (gst_init_check(nullptr, nullptr, &error) == FALSE) {
    PrintError("GStreamer could not be initialised: %s\n",
               error != nullptr ? error->message : "unknown reason");
    g_clear_error(&error);
    return false;
  }
  return true;
}

// Prints the text of an error message taken from the bus.
void PrintBusError(GstMessage* message) {
  GError* error = nullptr;
  gchar* details = nullptr;
  gst_message_parse_error(message, &error, &details);
  PrintError("Video pipeline error from %s: %s\n",
             message->src != nullptr ? message->src->name : "pipeline",
             error != nullptr ? error->message : "unknown error");
  g_clear_error(&error);
  g_free(details);
}

bool LinkOrReport(GstElement* from, GstElement* to, const char* message) {
  if (gst_element_link(from, to) != FALSE) {
    return true;
  }
  PrintError("%s", message);
  return false;
}

bool LinkFilteredOrReport(GstElement* from, GstElement* to, const char* capsText,
                          const char* message) {
  GstCaps* caps = gst_caps_from_string(capsText);
  const bool linked = caps != nullptr && gst_element_link_filtered(from, to, caps) != FALSE;
  if (caps != nullptr) {
    gst_caps_unref(caps);
  }
  if (!linked) {
    PrintError("%s", message);
  }
  return linked;
}

void SetToNull(GstElement* element) {
  if (element != nullptr) {
    gst_element_set_state(element, GST_STATE_NULL);
  }
}

// Ends the stream of a playing pipeline and waits until every sink has seen the end, so that
// a recording's muxer has written its index and the file sink has flushed the file.
void FinishStream(VideoState& v) {
  if (gst_element_send_event(v.pipeline.get(), gst_event_new_eos()) == FALSE) {
    return;
  }
  GstRef<GstBus> bus(v.bus ? static_cast<GstBus*>(gst_object_ref(v.bus.get()))
                           : gst_element_get_bus(v.pipeline.get()));
  if (!bus) {
    return;
  }
  MessageRef message(gst_bus_timed_pop_filtered(bus.get(), kEndOfStreamWait, kEndOrError));
  if (!message) {
    PrintError("The video stream did not end within the wait; a recording may be incomplete.\n");
  } else if (message->type == GST_MESSAGE_ERROR) {
    PrintBusError(message.get());
  }
}

}  // namespace

GstRef<GstElement> MakeConverter(bool jpegFrames) {
  if (!jpegFrames) {
    return MakeElement("videoconvert", "convert");
  }
  // JPEG cameras deliver 4:2:2 as often as 4:2:0; the decoder's output is converted to the
  // pinned format like any raw camera's.
  GError* error = nullptr;
  GstRef<GstElement> converter =
      AdoptElement(gst_parse_bin_from_description("jpegdec ! videoconvert", TRUE, &error));
  if (error != nullptr) {
    PrintError("The camera's JPEG decoder could not be created: %s\n", error->message);
    g_clear_error(&error);
    converter.reset();
  }
  if (converter) {
    gst_object_set_name(AsObject(converter.get()), "convert");
  }
  return converter;
}

VideoState& Video() {
  static VideoState* const state = new VideoState();
  return *state;
}

int32_t gsVideoInit(uintptr_t windowHandle, bool display, bool useGl) {
  VideoState& v = Video();

  int32_t status = CheckGStreamerRuntime();
  if (status != kOk) {
    return status;
  }
  if (!InitialiseGStreamer()) {
    return kCreateFailed;
  }

  CameraChoice camera;
  status = SelectCamera(camera);
  if (status != kOk) {
    return status;
  }
  v.source = std::move(camera.source);

  v.convert = MakeConverter(camera.jpegFrames);
  v.tee = MakeElement("tee", "videotee");
  v.queue1 = MakeElement("queue", "queue1");
  v.queue2 = MakeElement("queue", "queue2");
  v.sink = display ? MakeVisibleSink(useGl) : MakeElement("fakesink", "sink");
  v.pipeline = AdoptElement(gst_pipeline_new("main-pipeline"));

  if (!v.pipeline || !v.source || !v.sink || !v.convert || !v.tee || !v.queue1 || !v.queue2) {
    // The elements that were made stay with the module until the next stop or start.
    PrintError("Not all elements could be created.\n");
    return kCreateFailed;
  }

  GstBin* pipeline = AsBin(v.pipeline.get());
  gst_bin_add_many(pipeline, v.source.get(), v.queue1.get(), v.convert.get(), v.tee.get(),
                   v.queue2.get(), v.sink.get(), nullptr);

  const bool linked =
      LinkOrReport(v.source.get(), v.queue1.get(), "Elements could not be linked source-queue.\n") &&
      LinkOrReport(v.queue1.get(), v.convert.get(), "Elements could not be linked queue-convert.\n") &&
      LinkFilteredOrReport(v.convert.get(), v.tee.get(), kTeeCaps,
                           "Elements could not be linked convert-tee.\n") &&
      LinkOrReport(v.tee.get(), v.queue2.get(), "Elements could not be linked tee-queue.\n") &&
      LinkOrReport(v.queue2.get(), v.sink.get(), "Elements could not be linked tee-sink.\n");
  if (!linked) {
    TearDownPipeline();
    return kLinkFailed;
  }

  if (windowHandle != 0 && display &&
      IsA(v.sink.get(), gst_video_overlay_get_type())) {
    gst_video_overlay_set_window_handle(reinterpret_cast<GstVideoOverlay*>(v.sink.get()),
                                        windowHandle);
  }
  return kOk;
}

int32_t gsVideoStart() {
  VideoState& v = Video();
  if (!v.pipeline) {
    return kStartFailed;
  }
  GstElement* pipeline = v.pipeline.get();
  GstRef<GstBus> bus(gst_element_get_bus(pipeline));

  GstStateChangeReturn answer = gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstState state = GST_STATE_VOID_PENDING;
  const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
  MessageRef error;
  do {
    std::this_thread::sleep_for(kStartPollStep);
    answer = gst_element_get_state(pipeline, &state, nullptr, kStateQueryTimeout);
    // An element that failed (camera busy, file not writable, no display) posts an error but
    // may leave the pipeline waiting for a frame that never comes.
    if (answer == GST_STATE_CHANGE_ASYNC && bus) {
      error.reset(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    }
  } while (answer == GST_STATE_CHANGE_ASYNC && !error &&
           std::chrono::steady_clock::now() < deadline);

  const bool playing = answer == GST_STATE_CHANGE_SUCCESS && state == GST_STATE_PLAYING;
  if (!playing) {
    if (!error && bus) {
      error.reset(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    }
    if (error) {
      PrintBusError(error.get());
    } else if (answer == GST_STATE_CHANGE_ASYNC) {
      PrintError("The video pipeline did not start within %lld s.\n",
                 static_cast<long long>(kStartDeadline.count()));
    }
  }

  // Messages posted while starting are of no interest to the stop poll.
  v.bus = std::move(bus);
  if (v.bus) {
    gst_bus_set_flushing(v.bus.get(), TRUE);
    gst_bus_set_flushing(v.bus.get(), FALSE);
  }
  return playing ? kOk : kStartFailed;
}

void TearDownPipeline() {
  VideoState& v = Video();
  if (v.pipeline) {
    GstState state = GST_STATE_VOID_PENDING;
    const GstStateChangeReturn answer =
        gst_element_get_state(v.pipeline.get(), &state, nullptr, kStateQueryTimeout);
    // Only a stream that is still running is ended and waited for; one that ended by itself
    // or failed would never answer.
    if (answer == GST_STATE_CHANGE_SUCCESS && state == GST_STATE_PLAYING && v.playbackState) {
      FinishStream(v);
    }
    // The whole pipeline goes down first, sinks before sources. Stopping single elements of
    // a playing pipeline first and the pipeline after would make the pipeline's own state
    // change bring those elements back up, reopening (and truncating) the recording file.
    gst_element_set_state(v.pipeline.get(), GST_STATE_NULL);
    gst_element_get_state(v.pipeline.get(), nullptr, nullptr, kStateQueryTimeout);
  }
  v.playbackState = false;

  // Elements that never made it into the pipeline (after a failed build), or a source left
  // READY by its selection, are stopped one by one.
  GstRef<GstElement>* const elements[] = {&v.convert,      &v.sink,           &v.tee,
                                          &v.queue1,       &v.queue2,         &v.sink_record,
                                          &v.queue_record, &v.encoder_record, &v.muxer_record,
                                          &v.source};
  for (GstRef<GstElement>* element : elements) {
    SetToNull(element->get());
  }

  // The branch is unlinked and removed while the tee and the pipeline are still held.
  TakeDownRecordingBranch(v);

  for (GstRef<GstElement>* element : elements) {
    element->reset();
  }
  v.pipeline.reset();
  v.bus.reset();
}

void PrintError(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  gchar* text = g_strdup_vprintf(format, arguments);
  va_end(arguments);
  g_printerr("%s", text);
  SystemLog(text);
  g_free(text);
}

}  // namespace saccadrix::gs

using saccadrix::gs::kOk;
using saccadrix::gs::Video;
using saccadrix::gs::VideoState;

extern "C" {

ZEL_SACCADRIX_GS_API int32_t zelSaccadrixGetLibGSVersion(void) {
  return saccadrix::gs::LibGSVersion();
}

#if defined(__APPLE__)
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoInit(unsigned long windowHandle) {
  zelSaccadrixVideoStop();
  Video().globalWindowHandle = windowHandle;
  Video().displaySinkVideo = false;
  return kOk;
}
#else
ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoInit(uintptr_t windowHandle, bool useAlternateSink) {
  Video().useGlImageSink = !useAlternateSink;
  zelSaccadrixVideoStop();
  Video().globalWindowHandle = windowHandle;
  Video().displaySinkVideo = false;
  return kOk;
}
#endif

ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStart(void) {
  VideoState& v = Video();
  v.displaySinkVideo = true;
  zelSaccadrixVideoStop();
  std::this_thread::sleep_for(saccadrix::gs::kCameraReleasePause);

  int32_t status = saccadrix::gs::gsVideoInit(v.globalWindowHandle, true, v.useGlImageSink);
  if (status != kOk) {
    return status;
  }
  std::this_thread::sleep_for(saccadrix::gs::kCameraReleasePause);
  status = saccadrix::gs::gsVideoStart();
  if (status != kOk) {
    return status;
  }
  v.playbackState = true;
  return kOk;
}

ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStop(void) {
  saccadrix::gs::TearDownPipeline();
  return kOk;
}

ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStopped(void) {
  VideoState& v = Video();
  if (v.bus) {
    saccadrix::gs::MessageRef message(
        gst_bus_pop_filtered(v.bus.get(), saccadrix::gs::kEndOrError));
    if (message) {
      // An error ends the stream as surely as its end does: the camera was unplugged, the
      // preview window closed, the disk filled up. Report it once and say "stopped".
      if (message->type == GST_MESSAGE_ERROR) {
        saccadrix::gs::PrintBusError(message.get());
      }
      v.playbackState = false;
      return 1;
    }
  }
  return v.playbackState ? 0 : 1;
}

}  // extern "C"
