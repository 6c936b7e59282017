#pragma once
// Which streams of a file the source offers, decided stream by stream from
// what GStreamer's discoverer found. Files from phones and the web carry
// tracks no installed decoder takes (timed metadata, PCM in forms GStreamer
// does not know, WebVTT in Matroska): those are left out, and only a file
// whose pictures cannot be decoded at all is refused.
#include "GraphImpl.h"

#include <gst/pbutils/pbutils.h>

#include <string>
#include <vector>

namespace zem::media {

struct StreamChoice {
    std::vector<MediaFormat> videos; // decodable picture streams, in the file's order
    std::vector<MediaFormat> audios; // decodable sound streams
    // The first picture stream's orientation as the container gives it
    // (GStreamer's image-orientation tag: "rotate-90", "flip-rotate-270" ...);
    // empty when the stored picture is already the one to show.
    std::string orientation;
    bool hasText = false; // a text track the overlay can draw
    // A text track GStreamer has no parser for (WebVTT in Matroska): its cues
    // are plain text the source hands to the overlay itself.
    bool hasUnknownText = false;
    std::vector<std::string> undecodedVideo; // codec names of picture streams without a decoder
    std::vector<std::string> undecodedAudio; // the same for sound
};

// The streams of `info` that decode. The widths and heights of picture
// streams are those shown, turned as the orientation says.
StreamChoice ChooseStreams(GstDiscovererInfo* info);

// Whether the file is of the ISO media family (MP4, QuickTime, 3GP).
bool IsIsoMedia(GstDiscovererInfo* info);

// What a file gives when it is played, for a file the discoverer gave up on:
// some damage makes a demuxer report an error and go on with the streams it
// can read. Errors on the way are kept in `damage`; duration is 0 when unknown.
struct PlayedStreams {
    StreamChoice choice;
    gint64 durationNs = 0;
    std::string damage;
};
PlayedStreams ProbeByPlaying(const std::string& uri);

// Whether an installed decoder (of the ranks decodebin plugs) takes `caps`;
// raw pictures and sound need none.
bool HasDecoderFor(const GstCaps* caps);

// Whether showing a picture of this orientation swaps its width and height.
bool OrientationTurnsQuarter(const std::string& orientation);

// The caps under which Matroska hands on text tracks GStreamer does not know.
inline constexpr const char* kUnknownTextCaps = "application/x-subtitle-unknown";

// A name for the codec of `caps` a user can look up ("Opus", "H.265").
std::string CodecName(const GstCaps* caps);

} // namespace zem::media
