#pragma once
// What the codec check at start-up looks for and asks to install
// (CompressorDlgCodec.cpp).

#include <array>
#include <cstddef>
#include <cstdint>

namespace zem::app {

// Codec environment: the decoders the accepted formats need besides their
// demuxers (which kInputKinds names), and the Debian package of each.
struct MediaElement {
    const char* element;
    const char* package;
};
inline constexpr std::array<MediaElement, 8> kRequiredDecoders{{
    {"a52dec", "gstreamer1.0-plugins-ugly"},
    {"avdec_h264", "gstreamer1.0-libav"},
    {"avdec_mpeg4", "gstreamer1.0-libav"},
    {"avdec_mpeg2video", "gstreamer1.0-libav"},
    {"avdec_wmv3", "gstreamer1.0-libav"},
    {"avdec_wmav2", "gstreamer1.0-libav"},
    {"avdec_rv40", "gstreamer1.0-libav"},
    {"avdec_cook", "gstreamer1.0-libav"},
}};
// Packages named in the message, in this order. gstreamer1.0-plugins-base is
// not among them: the program itself cannot start without it.
inline constexpr std::array<const char*, 4> kCodecPackages{"gstreamer1.0-plugins-good", "gstreamer1.0-plugins-bad",
                                                           "gstreamer1.0-libav", "gstreamer1.0-plugins-ugly"};

} // namespace zem::app
