// The recording branch: a bin on the tee's second pad that encodes the camera's frames as
// JPEG and writes them to a file through a container muxer.
//
//   videotee:src_2 -> bin[ videosink -> queuerec -> encoder -> muxer -> sink (file) ]
#include <string>

#include "platform.h"
#include "saccadrix/saccadrix_gs.h"
#include "video_state.h"

namespace saccadrix::gs {

namespace {

constexpr int kJpegQuality = 75;

// The recording bin's elements, made, configured and added to the bin.
// Returns false (with the message printed) when one of them could not be made.
bool BuildRecordingBin(VideoState& v, const std::string& location) {
  v.bin = AdoptElement(gst_bin_new(nullptr));
  v.queue_record = MakeElement("queue", "queuerec");
  v.encoder_record = MakeElement("jpegenc", "encoder");
  if (v.encoder_record) {
    g_object_set(v.encoder_record.get(), "quality", kJpegQuality, nullptr);
  }
  v.muxer_record = MakeElement(RecordingMuxerFactory(), "muxer");
  v.sink_record = MakeElement("filesink", "sink");
  if (v.sink_record) {
    g_object_set(v.sink_record.get(), "location", location.c_str(), "sync", FALSE, nullptr);
  }
  if (!v.bin || !v.sink_record || !v.encoder_record || !v.queue_record || !v.muxer_record) {
    PrintError("Not all recording elements could be created.\n");
    return false;
  }
  gst_bin_add_many(AsBin(v.bin.get()), v.queue_record.get(), v.encoder_record.get(),
                   v.muxer_record.get(), v.sink_record.get(), nullptr);
  return true;
}

bool LinkRecordingBin(VideoState& v) {
  struct Link {
    GstElement* from;
    GstElement* to;
    const char* message;
  };
  const Link links[] = {
      {v.queue_record.get(), v.encoder_record.get(),
       "Elements could not be linked  record queue-enc.\n"},
      {v.encoder_record.get(), v.muxer_record.get(),
       "Elements could not be linked record enc-mux.\n"},
      {v.muxer_record.get(), v.sink_record.get(),
       "Elements could not be linked record mux-sink.\n"},
  };
  for (const Link& link : links) {
    if (gst_element_link(link.from, link.to) == FALSE) {
      PrintError("%s", link.message);
      return false;
    }
  }
  return true;
}

// The bin's ghost sink pad "videosink" in front of the queue, the tee's request pad, and the
// module's references to both. Returns false when either pad could not be had.
bool MakeBranchPads(VideoState& v) {
  GstRef<GstPad> queuePad(gst_element_get_static_pad(v.queue_record.get(), "sink"));
  GstPad* ghost = queuePad ? gst_ghost_pad_new("videosink", queuePad.get()) : nullptr;
  if (ghost != nullptr) {
    gst_element_add_pad(v.bin.get(), ghost);
  }

  // The module's tee reference is replaced by the one the lookup returns (the same tee).
  v.tee.reset(gst_bin_get_by_name(AsBin(v.pipeline.get()), "videotee"));
  if (v.tee) {
    GstPadTemplate* templ = gst_element_class_get_pad_template(ClassOf(v.tee.get()), "src_%u");
    if (templ != nullptr) {
      v.srcpadvideo.reset(gst_element_request_pad(v.tee.get(), templ, "src_2", nullptr));
    }
  }
  v.sinkpadvideo.reset(gst_element_get_static_pad(v.bin.get(), "videosink"));
  return v.srcpadvideo && v.sinkpadvideo;
}

}  // namespace

void TakeDownRecordingBranch(VideoState& v) {
  if (v.bin) {
    gst_element_set_state(v.bin.get(), GST_STATE_NULL);
  }
  if (v.srcpadvideo && v.sinkpadvideo) {
    gst_pad_unlink(v.srcpadvideo.get(), v.sinkpadvideo.get());
  }
  if (v.srcpadvideo && v.tee) {
    gst_element_release_request_pad(v.tee.get(), v.srcpadvideo.get());
  }
  if (v.bin && v.pipeline) {
    // The bin joins the pipeline only once both pads exist; a failed start leaves it out.
    GstObject* parent = gst_object_get_parent(AsObject(v.bin.get()));
    if (parent == AsObject(v.pipeline.get())) {
      gst_bin_remove(AsBin(v.pipeline.get()), v.bin.get());
    }
    if (parent != nullptr) {
      gst_object_unref(parent);
    }
  }
  v.srcpadvideo.reset();
  v.sinkpadvideo.reset();
  v.bin.reset();
}

}  // namespace saccadrix::gs

using saccadrix::gs::kOk;
using saccadrix::gs::Video;
using saccadrix::gs::VideoState;

extern "C" {

ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStartRecord(const char* path) {
  using namespace saccadrix::gs;
  VideoState& v = Video();

  zelSaccadrixVideoStop();
  int32_t status = gsVideoInit(v.globalWindowHandle, v.displaySinkVideo, v.useGlImageSink);
  if (status != kOk) {
    return status;
  }

  // A null path is handed on as an empty one: the file sink refuses it when starting.
  std::string location;
  if (!RecordLocation(path != nullptr ? path : "", location)) {
    return kCreateFailed;
  }
  if (!BuildRecordingBin(v, location)) {
    // The preview pipeline stays built, unstarted, until the next stop or start.
    return kCreateFailed;
  }
  if (!LinkRecordingBin(v)) {
    TearDownPipeline();
    return kLinkFailed;
  }
  if (!MakeBranchPads(v)) {
    PrintError("Not all recording elements could be created: srcpadvideo || sinkpadvideo.\n");
    return kCreateFailed;
  }

  gst_bin_add(AsBin(v.pipeline.get()), v.bin.get());
  // Both pads accept any format, so this link cannot fail for want of a common one; should
  // it fail all the same, the recording would run and write nothing, so it is reported.
  if (gst_pad_link(v.srcpadvideo.get(), v.sinkpadvideo.get()) != GST_PAD_LINK_OK) {
    PrintError("Elements could not be linked tee-record.\n");
    TearDownPipeline();
    return kLinkFailed;
  }

  status = gsVideoStart();
  if (status != kOk) {
    return status;
  }
  v.playbackState = true;
  return kOk;
}

ZEL_SACCADRIX_GS_API int32_t zelSaccadrixVideoStopRecord(void) {
  // The stop ends the stream, waits for the muxer to finish the file, and takes the
  // recording branch down with the rest of the pipeline.
  zelSaccadrixVideoStop();
  if (Video().displaySinkVideo) {
    zelSaccadrixVideoStart();
  }
  return kOk;
}

}  // extern "C"
