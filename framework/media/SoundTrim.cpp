#include "SoundTrim.h"

#include <gst/audio/audio.h>

namespace zem::media {

GstBuffer* TrimSoundBefore(GstBuffer* buffer, GstClockTime pts, gint64 streamTime, gint64 until, int rate,
                           int bytesPerFrame) {
    if (streamTime >= until || rate <= 0 || bytesPerFrame <= 0)
        return nullptr;
    const auto trim =
        static_cast<gsize>(gst_util_uint64_scale(static_cast<guint64>(until - streamTime), rate, GST_SECOND));
    const gsize frames = gst_buffer_get_size(buffer) / bytesPerFrame;
    if (trim == 0 || trim >= frames)
        return nullptr;
    GstBuffer* cut = gst_audio_buffer_truncate(buffer, bytesPerFrame, trim, -1);
    GST_BUFFER_PTS(cut) = pts + gst_util_uint64_scale(trim, GST_SECOND, rate);
    GST_BUFFER_DURATION(cut) = gst_util_uint64_scale(frames - trim, GST_SECOND, rate);
    return cut;
}

} // namespace zem::media
