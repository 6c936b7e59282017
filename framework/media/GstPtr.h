#pragma once
#include <string>
// Owning handles for GStreamer and GLib objects used inside the media layer.
#include <gst/gst.h>

#include <memory>
#include <utility>

namespace zem::media {

struct GstObjectUnref {
    void operator()(gpointer p) const {
        if (p)
            gst_object_unref(p);
    }
};
struct GstMiniObjectUnref {
    void operator()(GstMiniObject* p) const {
        if (p)
            gst_mini_object_unref(p);
    }
};
struct GstCapsUnref {
    void operator()(GstCaps* p) const {
        if (p)
            gst_caps_unref(p);
    }
};
struct GstMessageUnref {
    void operator()(GstMessage* p) const {
        if (p)
            gst_message_unref(p);
    }
};
struct GErrorFree {
    void operator()(GError* p) const {
        if (p)
            g_error_free(p);
    }
};
struct GFree {
    void operator()(gpointer p) const { g_free(p); }
};

template <class T>
using GstRef = std::unique_ptr<T, GstObjectUnref>;
using CapsRef = std::unique_ptr<GstCaps, GstCapsUnref>;
using MessageRef = std::unique_ptr<GstMessage, GstMessageUnref>;
using ErrorRef = std::unique_ptr<GError, GErrorFree>;
using GCharRef = std::unique_ptr<gchar, GFree>;

// Takes a floating element and sinks it so the handle holds one real reference.
template <class T>
GstRef<T> AdoptFloating(T* object) {
    if (object)
        gst_object_ref_sink(object);
    return GstRef<T>(object);
}

// Starts GStreamer once per process.
void EnsureGstInitialised();

// Why the latest plugin GStreamer tried to load did not load, or nothing. A
// decoder that is installed but cannot be loaded (no memory for it, a library
// missing) looks like a missing one to everything else.
struct PluginLoadFailure {
    std::string text;         // GStreamer's own words; empty: none failed
    bool outOfMemory = false; // the system had no memory or address space for it
};
PluginLoadFailure LastPluginLoadFailure();

} // namespace zem::media
