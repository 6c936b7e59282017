#pragma once
// MP4 and QuickTime files as libavformat reads them. GStreamer's MP4 demuxer
// drops a picture track that covers less than a fifth of the film (it takes
// it for a preview image) and refuses a file whose sound track lost its sample
// description; libavformat reads both, and tells a Dolby Vision track's
// profile, which GStreamer does not.
#include "GstPtr.h"
#include "StreamChoice.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVStream;

namespace zem::media {

struct AvInputClose {
    void operator()(AVFormatContext* context) const;
};
using AvInputRef = std::unique_ptr<AVFormatContext, AvInputClose>;

// `path` opened by libavformat, whatever its format; else empty, with the
// reason in `why`. The caller makes sure it is a regular file.
AvInputRef OpenAnyAvInput(const std::string& path, std::string* why = nullptr);

// Whether the stream holds moving pictures (not a cover picture).
bool IsPicture(const AVStream* stream);

// `path` opened by libavformat when it is an MP4 or QuickTime file it reads;
// else empty, with its reason in `why`.
AvInputRef OpenAvInput(const std::string& path, std::string* why = nullptr);

// A stream the converter decodes: libavformat's index and the caps its
// packets reach GStreamer's decoders under.
struct AvStream {
    int index = -1;
    bool video = false;
    std::shared_ptr<GstCaps> caps;
};

struct AvFileStreams {
    // The formats of `streams`, pictures first, in the file's order; and what
    // does not decode.
    StreamChoice choice;
    std::vector<AvStream> streams;
    GstClockTime duration = GST_CLOCK_TIME_NONE;
};

// The streams of `path` libavformat reads, or nothing when it is no MP4 or
// QuickTime file libavformat opens.
std::optional<AvFileStreams> ReadAvStreams(const std::string& path);

// A Dolby Vision track's configuration (its dvcC, dvvC or dvwC box).
struct DolbyVision {
    int profile = 0;
    int compatibility = 0; // the base layer's signal compatibility id; 0: none
    // Whether the base layer is an ordinary HEVC, AVC or AV1 stream with its
    // own colour signalling (profiles 4, 7, 8.x, 9 and 10.x but 10.0); profile
    // 5 codes its colours for the Dolby Vision data alone.
    bool HasCompatibleBase() const;
};

// The Dolby Vision configuration of the first picture stream of `path`;
// nothing when it has none or is no file libavformat opens.
std::optional<DolbyVision> DolbyVisionOf(const std::string& path);

} // namespace zem::media
