#pragma once
// The streams of an MP4 that GStreamer's demuxer drops or refuses, read by
// libavformat and handed to GStreamer's own parsers and decoders: an appsrc a
// stream, each followed by a decodebin. Their decoded pads are what
// uridecodebin gives for any other file, with the film's time 0 at running
// time 0, so everything after them works the same.
//
// The appsrcs do not seek: a seek on them fails, and the graph then builds the
// pipeline again with the position to start at, which the feed seeks to in the
// file (to the key picture before it) before it hands on the first packet.
#include "AvFile.h"
#include "GraphImpl.h"

#include <gst/app/gstappsrc.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct AVPacket;

namespace zem::media {

// Threads: made, built and destroyed on the graph's thread, destroyed only
// once the pipeline holding its elements is down. The appsrcs ask for data on
// their own streaming threads, which meet under m_mutex.
class AvDemuxFeed {
public:
    AvDemuxFeed(std::string path, std::vector<AvStream> streams, std::shared_ptr<StreamGate> gate);
    ~AvDemuxFeed();
    AvDemuxFeed(const AvDemuxFeed&) = delete;
    AvDemuxFeed& operator=(const AvDemuxFeed&) = delete;

    // Adds appsrc ! decodebin for each stream to `bin` and returns the
    // decodebins in the streams' order; empty when an element is missing.
    std::vector<GstElement*> Build(GstBin* bin);

private:
    static void OnNeedData(GstAppSrc* source, guint, gpointer self);
    static GstPadProbeReturn OnSegment(GstPad*, GstPadProbeInfo* info, gpointer);
    // These run with m_mutex held.
    void Feed(GstAppSrc* wanted);
    bool Start(GstAppSrc* asking);
    void Push(std::size_t at, AVPacket* packet);
    void EndAll();

    const std::string m_path;
    const std::vector<AvStream> m_streams;
    const std::shared_ptr<StreamGate> m_gate;
    std::vector<GstRef<GstElement>> m_sources; // one a stream, in m_streams' order
    std::vector<int> m_sourceOf;               // libavformat's stream index -> m_sources, -1 when unused

    // The streaming threads' state: the lock protects the fields below.
    std::mutex m_mutex;
    AvInputRef m_input; // opened at the first request for data
    bool m_started = false;
    bool m_ended = false;
};

} // namespace zem::media
