#include "PictureFootprint.h"

#include "AvFile.h"

#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

namespace zem::media {

namespace {

// Codecs whose films are often 10-bit when their headers do not say.
bool OftenWide(AVCodecID codec) {
    return codec == AV_CODEC_ID_HEVC || codec == AV_CODEC_ID_AV1 || codec == AV_CODEC_ID_VP9;
}

int BytesPerSample(const AVCodecParameters& p) {
    if (p.format >= 0)
        if (const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(p.format)))
            return desc->comp[0].depth > 8 ? 2 : 1;
    if (p.bits_per_raw_sample > 8)
        return 2;
    return OftenWide(p.codec_id) ? 2 : 1;
}

} // namespace

std::optional<PictureFootprint> PictureFootprintOf(const std::string& path) {
    // A FIFO or a device would block the open, or be read away.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const AvInputRef input = OpenAnyAvInput(path);
    if (!input)
        return std::nullopt;
    std::optional<PictureFootprint> largest;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (!IsPicture(stream) || stream->codecpar->height <= 0)
            continue;
        const AVCodecParameters& p = *stream->codecpar;
        const PictureFootprint footprint{p.width, p.height, BytesPerSample(p)};
        if (!largest || footprint.PictureBytes() > largest->PictureBytes())
            largest = footprint;
    }
    return largest;
}

} // namespace zem::media
