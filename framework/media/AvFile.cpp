#include "AvFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dovi_meta.h>
}

#include <cstring>

namespace zem::media {

namespace {

// libavformat's demuxer of the ISO media family (MP4, QuickTime, 3GP).
constexpr const char* kMovFamily = "mov,mp4,m4a,3gp,3g2,mj2";
// libavformat reads a name with a colon as a protocol; this one means a file.
constexpr const char* kFileProtocol = "file:";
// An avcC or hvcC record starts with version 1; anything else is Annex B.
constexpr uint8_t kConfigurationVersion = 1;
// Dolby Vision profiles told apart by their base layer.
constexpr int kDolbyVisionNoBaseProfile = 5;
constexpr int kDolbyVisionAv1Profile = 10;

GstBuffer* ExtraData(const AVCodecParameters* codec) {
    if (!codec->extradata || codec->extradata_size <= 0)
        return nullptr;
    return gst_buffer_new_memdup(codec->extradata, static_cast<gsize>(codec->extradata_size));
}

bool HasConfigurationRecord(const AVCodecParameters* codec) {
    return codec->extradata && codec->extradata_size > 0 && codec->extradata[0] == kConfigurationVersion;
}

// The caps GStreamer's parsers and decoders take the packets of `codec` under;
// nothing for codecs handed on no other way.
CapsRef PictureCaps(const AVCodecParameters* codec) {
    const bool record = HasConfigurationRecord(codec);
    switch (codec->codec_id) {
    case AV_CODEC_ID_H264:
        return CapsRef(gst_caps_new_simple("video/x-h264", "stream-format", G_TYPE_STRING,
                                           record ? "avc" : "byte-stream", "alignment", G_TYPE_STRING, "au", nullptr));
    case AV_CODEC_ID_HEVC:
        return CapsRef(gst_caps_new_simple("video/x-h265", "stream-format", G_TYPE_STRING,
                                           record ? "hvc1" : "byte-stream", "alignment", G_TYPE_STRING, "au", nullptr));
    case AV_CODEC_ID_AV1:
        return CapsRef(gst_caps_new_simple("video/x-av1", "stream-format", G_TYPE_STRING, "obu-stream", "alignment",
                                           G_TYPE_STRING, "tu", nullptr));
    case AV_CODEC_ID_VP9:
        return CapsRef(gst_caps_new_empty_simple("video/x-vp9"));
    case AV_CODEC_ID_MPEG4:
        return CapsRef(gst_caps_new_simple("video/mpeg", "mpegversion", G_TYPE_INT, 4, "systemstream", G_TYPE_BOOLEAN,
                                           FALSE, nullptr));
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_MPEG1VIDEO:
        return CapsRef(gst_caps_new_simple("video/mpeg", "mpegversion", G_TYPE_INT,
                                           codec->codec_id == AV_CODEC_ID_MPEG1VIDEO ? 1 : 2, "systemstream",
                                           G_TYPE_BOOLEAN, FALSE, nullptr));
    case AV_CODEC_ID_MJPEG:
        return CapsRef(gst_caps_new_empty_simple("image/jpeg"));
    default:
        return nullptr;
    }
}

CapsRef SoundCaps(const AVCodecParameters* codec) {
    switch (codec->codec_id) {
    case AV_CODEC_ID_AAC:
        // Raw AAC needs its AudioSpecificConfig.
        if (!codec->extradata || codec->extradata_size <= 0)
            return nullptr;
        return CapsRef(gst_caps_new_simple("audio/mpeg", "mpegversion", G_TYPE_INT, 4, "stream-format", G_TYPE_STRING,
                                           "raw", "framed", G_TYPE_BOOLEAN, TRUE, nullptr));
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP1:
        return CapsRef(gst_caps_new_simple("audio/mpeg", "mpegversion", G_TYPE_INT, 1, "layer", G_TYPE_INT,
                                           codec->codec_id == AV_CODEC_ID_MP3   ? 3
                                           : codec->codec_id == AV_CODEC_ID_MP2 ? 2
                                                                                : 1,
                                           nullptr));
    case AV_CODEC_ID_AC3:
        return CapsRef(gst_caps_new_empty_simple("audio/x-ac3"));
    case AV_CODEC_ID_EAC3:
        return CapsRef(gst_caps_new_empty_simple("audio/x-eac3"));
    case AV_CODEC_ID_ALAC:
        return CapsRef(gst_caps_new_empty_simple("audio/x-alac"));
    default:
        return nullptr;
    }
}

// The caps with what the container says of the stream: the decoder's
// configuration, sizes, rates.
void AddStreamFields(GstCaps* caps, const AVCodecParameters* codec) {
    GstStructure* s = gst_caps_get_structure(caps, 0);
    if (GstBuffer* data = ExtraData(codec)) {
        gst_structure_set(s, "codec_data", GST_TYPE_BUFFER, data, nullptr);
        gst_buffer_unref(data);
    }
    if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
        gst_structure_set(s, "width", G_TYPE_INT, codec->width, "height", G_TYPE_INT, codec->height, nullptr);
        return;
    }
    if (codec->sample_rate > 0)
        gst_structure_set(s, "rate", G_TYPE_INT, codec->sample_rate, nullptr);
    if (codec->ch_layout.nb_channels > 0)
        gst_structure_set(s, "channels", G_TYPE_INT, codec->ch_layout.nb_channels, nullptr);
}

std::string CodecNameOf(const AVCodecParameters* codec) {
    return codec->codec_id == AV_CODEC_ID_NONE ? "an unknown codec" : avcodec_get_name(codec->codec_id);
}

MediaFormat PictureFormat(const AVStream* stream) {
    const AVCodecParameters* codec = stream->codecpar;
    MediaFormat format;
    format.major = MEDIATYPE_Video;
    format.subtype = MEDIASUBTYPE_RAW;
    format.width = codec->width;
    format.height = codec->height;
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        format.fps = av_q2d(rate);
    const AVRational aspect =
        codec->sample_aspect_ratio.num > 0 ? codec->sample_aspect_ratio : stream->sample_aspect_ratio;
    if (aspect.num > 0 && aspect.den > 0) {
        format.pixelAspectN = aspect.num;
        format.pixelAspectD = aspect.den;
    }
    return format;
}

MediaFormat SoundFormat(const AVCodecParameters* codec) {
    MediaFormat format;
    format.major = MEDIATYPE_Audio;
    format.subtype = MEDIASUBTYPE_PCM;
    format.sampleRate = codec->sample_rate;
    format.channels = codec->ch_layout.nb_channels;
    return format;
}

} // namespace

void AvInputClose::operator()(AVFormatContext* context) const {
    avformat_close_input(&context);
}

bool IsPicture(const AVStream* stream) {
    // Cover art is stored as a picture stream of one picture.
    return stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 && stream->codecpar->width > 0;
}

AvInputRef OpenAnyAvInput(const std::string& path, std::string* why) {
    const std::string url = kFileProtocol + path;
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, url.c_str(), nullptr, nullptr);
    if (opened < 0) {
        if (why) {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(opened, text, sizeof text);
            *why = text;
        }
        return nullptr;
    }
    return AvInputRef(raw);
}

AvInputRef OpenAvInput(const std::string& path, std::string* why) {
    AvInputRef input = OpenAnyAvInput(path, why);
    if (!input || std::strcmp(input->iformat->name, kMovFamily) != 0)
        return nullptr;
    return input;
}

std::optional<AvFileStreams> ReadAvStreams(const std::string& path) {
    AvInputRef input = OpenAvInput(path);
    if (!input)
        return std::nullopt;
    AvFileStreams found;
    for (int pass = 0; pass < 2; ++pass) {
        const bool pictures = pass == 0;
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            const AVStream* stream = input->streams[i];
            const AVCodecParameters* codec = stream->codecpar;
            if (pictures ? !IsPicture(stream) : codec->codec_type != AVMEDIA_TYPE_AUDIO)
                continue;
            CapsRef caps = pictures ? PictureCaps(codec) : SoundCaps(codec);
            if (caps)
                AddStreamFields(caps.get(), codec);
            if (!caps || !HasDecoderFor(caps.get()) || (!pictures && codec->sample_rate <= 0)) {
                (pictures ? found.choice.undecodedVideo : found.choice.undecodedAudio).push_back(CodecNameOf(codec));
                continue;
            }
            (pictures ? found.choice.videos : found.choice.audios)
                .push_back(pictures ? PictureFormat(stream) : SoundFormat(codec));
            found.streams.push_back(
                AvStream{int(i), pictures, std::shared_ptr<GstCaps>(caps.release(), gst_caps_unref)});
        }
    }
    if (input->duration > 0)
        found.duration = gst_util_uint64_scale(static_cast<guint64>(input->duration), GST_SECOND, AV_TIME_BASE);
    return found;
}

bool DolbyVision::HasCompatibleBase() const {
    return profile != kDolbyVisionNoBaseProfile && (profile != kDolbyVisionAv1Profile || compatibility != 0);
}

std::optional<DolbyVision> DolbyVisionOf(const std::string& path) {
    AvInputRef input = OpenAvInput(path);
    if (!input)
        return std::nullopt;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* stream = input->streams[i];
        if (!IsPicture(stream))
            continue;
        size_t size = 0;
        const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DOVI_CONF, &size);
        if (!data || size < sizeof(AVDOVIDecoderConfigurationRecord))
            return std::nullopt;
        const auto* record = reinterpret_cast<const AVDOVIDecoderConfigurationRecord*>(data);
        return DolbyVision{record->dv_profile, record->dv_bl_signal_compatibility_id};
    }
    return std::nullopt;
}

} // namespace zem::media
