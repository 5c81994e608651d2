// Owning references to GStreamer objects, and the few casts between GStreamer's C "classes"
// written once as functions instead of GLib's cast macros.
#ifndef SACCADRIX_GS_GST_REF_H
#define SACCADRIX_GS_GST_REF_H

#include <gst/gst.h>

#include <memory>

namespace saccadrix::gs {

struct GstObjectUnref {
  void operator()(gpointer object) const { gst_object_unref(object); }
};

// One strong reference to a GstObject (element, pad, bus, device, monitor), released with
// gst_object_unref when the holder goes away or is reset.
template <class T>
using GstRef = std::unique_ptr<T, GstObjectUnref>;

// Takes ownership of a newly created element: a floating reference becomes the holder's own,
// so the object stays alive for the holder however bins add and remove it.
inline GstRef<GstElement> AdoptElement(GstElement* element) {
  if (element != nullptr) {
    gst_object_ref_sink(element);
  }
  return GstRef<GstElement>(element);
}

// gst_element_factory_make, owned.
inline GstRef<GstElement> MakeElement(const char* factory, const char* name) {
  return AdoptElement(gst_element_factory_make(factory, name));
}

// GStreamer's object structs begin with their parent struct, so a pointer to an element that
// is a bin is also a pointer to its GstBin (what GST_BIN() does after a type check).
inline GstBin* AsBin(GstElement* element) { return reinterpret_cast<GstBin*>(element); }

inline GstElementClass* ClassOf(GstElement* element) {
  return reinterpret_cast<GstElementClass*>(reinterpret_cast<GTypeInstance*>(element)->g_class);
}

inline GstObject* AsObject(gpointer object) { return static_cast<GstObject*>(object); }

inline bool IsA(gpointer instance, GType type) {
  return instance != nullptr &&
         g_type_check_instance_is_a(static_cast<GTypeInstance*>(instance), type) != FALSE;
}

struct GstMessageUnref {
  void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessageRef = std::unique_ptr<GstMessage, GstMessageUnref>;

// Nanoseconds, for GStreamer's clock-time arguments.
constexpr GstClockTime kMillisecond = 1000000;
constexpr GstClockTime kSecond = 1000 * kMillisecond;

}  // namespace saccadrix::gs

#endif  // SACCADRIX_GS_GST_REF_H
