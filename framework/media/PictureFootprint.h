#pragma once
// How large a film's decoded pictures are, read from its headers alone (no
// picture decoded): what a conversion of it holds in memory grows with it.
#include <optional>
#include <string>

namespace zem::media {

struct PictureFootprint {
    int width = 0;
    int height = 0;
    int bytesPerSample = 1; // 2 for pictures of more than 8 bits
    // Bytes of one decoded picture (4:2:0).
    double PictureBytes() const { return width * double(height) * 1.5 * bytesPerSample; }
};

// The largest picture stream of the regular file `path`; nothing when it is
// no regular file, cannot be read or holds no picture stream.
std::optional<PictureFootprint> PictureFootprintOf(const std::string& path);

} // namespace zem::media
