#include "PictureConvert.h"

#include "MediaTypes.h"

#include <libyuv.h>

#include <cstring>

namespace zem::media {

// Pictures of more than 8 bits are taken as they are, so their colour work
// starts from all their bits, on the shrunk picture.
#define ZEM_GRABBER_FORMATS "format=(string){ I420, YV12, NV12, NV21, Y42B, Y444, BGRx, BGRA, BGR, RGB, " ZEM_WIDE_FORMATS " }"
// The second form carries subtitles as an attached composition (see OverlayBlend.h).
const char* const kGrabberInputCaps =
    "video/x-raw, " ZEM_GRABBER_FORMATS "; video/x-raw(" GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY
    ", " GST_CAPS_FEATURE_META_GST_VIDEO_OVERLAY_COMPOSITION "), " ZEM_GRABBER_FORMATS;
#undef ZEM_GRABBER_FORMATS

namespace {

const libyuv::YuvConstants* MatrixFor(const GstVideoInfo& info) {
    if (info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255)
        return &libyuv::kYuvJPEGConstants;
    if (info.colorimetry.matrix == GST_VIDEO_COLOR_MATRIX_BT709)
        return &libyuv::kYuvH709Constants;
    return &libyuv::kYuvI601Constants;
}

// Converts `rows` picture rows from `top` (counted from the top) into dst, the
// first of them at dst, each next one `dstStride` further; with `bottomUp` the
// band's order is turned over. libyuv starts a band's chroma at the chroma row
// of `top` and steps it with the band's own row count, so a band of more than
// one row must start on an even row for 4:2:0 formats.
bool ConvertBand(const GstVideoFrame& frame, int top, int rows, std::uint8_t* dst, int dstStride, bool bottomUp) {
    const GstVideoInfo& info = frame.info;
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    // A negative height makes libyuv write the rows bottom-up.
    const int height = bottomUp ? -rows : rows;
    const GstVideoFormatInfo* format = info.finfo;
    auto plane = [&](int i) {
        const int rowInPlane = i == 0 ? top : top >> GST_VIDEO_FORMAT_INFO_H_SUB(format, i);
        return static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, i)) +
               static_cast<std::ptrdiff_t>(rowInPlane) * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, i);
    };
    auto pstride = [&](int i) { return GST_VIDEO_FRAME_PLANE_STRIDE(&frame, i); };
    const libyuv::YuvConstants* matrix = MatrixFor(info);
    // libyuv's "RGB24" is B, G, R in memory; "RAW" is R, G, B.
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_I420:
        return libyuv::I420ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), plane(2), pstride(2), dst,
                                         dstStride, matrix, width, height) == 0;
    case GST_VIDEO_FORMAT_YV12:
        return libyuv::I420ToRGB24Matrix(plane(0), pstride(0), plane(2), pstride(2), plane(1), pstride(1), dst,
                                         dstStride, matrix, width, height) == 0;
    case GST_VIDEO_FORMAT_NV12:
        return libyuv::NV12ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), dst, dstStride, matrix, width,
                                         height) == 0;
    case GST_VIDEO_FORMAT_NV21:
        return libyuv::NV21ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), dst, dstStride, matrix, width,
                                         height) == 0;
    case GST_VIDEO_FORMAT_Y42B:
        return libyuv::I422ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), plane(2), pstride(2), dst,
                                         dstStride, matrix, width, height) == 0;
    case GST_VIDEO_FORMAT_Y444:
        return libyuv::I444ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), plane(2), pstride(2), dst,
                                         dstStride, matrix, width, height) == 0;
    case GST_VIDEO_FORMAT_BGRx:
    case GST_VIDEO_FORMAT_BGRA:
        return libyuv::ARGBToRGB24(plane(0), pstride(0), dst, dstStride, width, height) == 0;
    case GST_VIDEO_FORMAT_RGB:
        return libyuv::RAWToRGB24(plane(0), pstride(0), dst, dstStride, width, height) == 0;
    case GST_VIDEO_FORMAT_BGR:
        for (int row = 0; row < rows; ++row)
            std::memcpy(dst + static_cast<std::ptrdiff_t>(bottomUp ? rows - 1 - row : row) * dstStride,
                        plane(0) + static_cast<std::ptrdiff_t>(row) * pstride(0), static_cast<std::size_t>(width) * 3);
        return true;
    default:
        return false;
    }
}

} // namespace

bool ConvertToBgrBottomUp(const GstVideoFrame& frame, std::uint8_t* dst) {
    const int width = GST_VIDEO_INFO_WIDTH(&frame.info);
    const int height = GST_VIDEO_INFO_HEIGHT(&frame.info);
    return ConvertBand(frame, 0, height, dst, Rgb24Stride(width), true);
}

bool CanConvertToBgr(const GstVideoInfo& info) {
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12:
    case GST_VIDEO_FORMAT_NV12:
    case GST_VIDEO_FORMAT_NV21:
    case GST_VIDEO_FORMAT_Y42B:
    case GST_VIDEO_FORMAT_Y444:
    case GST_VIDEO_FORMAT_BGRx:
    case GST_VIDEO_FORMAT_BGRA:
    case GST_VIDEO_FORMAT_RGB:
    case GST_VIDEO_FORMAT_BGR:
        return true;
    default:
        return false;
    }
}

bool YuvPlanesOf(const GstVideoFrame& frame, zem::YuvPlanes& planes) {
    const GstVideoInfo& info = frame.info;
    auto data = [&](int i) { return static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, i)); };
    auto stride = [&](int i) { return static_cast<std::ptrdiff_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, i)); };
    const libyuv::YuvConstants* matrix = MatrixFor(info);
    planes.matrix = matrix == &libyuv::kYuvJPEGConstants  ? zem::YuvMatrix::FullRange
                    : matrix == &libyuv::kYuvH709Constants ? zem::YuvMatrix::Bt709
                                                           : zem::YuvMatrix::Bt601;
    planes.y = data(0);
    planes.yStride = stride(0);
    planes.chromaStep = 1;
    planes.chromaShiftX = 1;
    planes.chromaShiftY = 1;
    // The same planes in the same roles as ConvertBand hands libyuv.
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_Y42B:
    case GST_VIDEO_FORMAT_Y444:
        planes.u = data(1);
        planes.v = data(2);
        planes.uStride = stride(1);
        planes.vStride = stride(2);
        break;
    case GST_VIDEO_FORMAT_YV12:
        planes.u = data(2);
        planes.v = data(1);
        planes.uStride = stride(2);
        planes.vStride = stride(1);
        break;
    case GST_VIDEO_FORMAT_NV12:
    case GST_VIDEO_FORMAT_NV21: {
        const bool vFirst = GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_NV21;
        planes.u = data(1) + (vFirst ? 1 : 0);
        planes.v = data(1) + (vFirst ? 0 : 1);
        planes.uStride = planes.vStride = stride(1);
        planes.chromaStep = 2;
        break;
    }
    default:
        return false;
    }
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_Y42B)
        planes.chromaShiftY = 0;
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_Y444)
        planes.chromaShiftX = planes.chromaShiftY = 0;
    return true;
}

zem::colour::PictureColour PictureColourOf(const GstVideoInfo& info, const GstCaps* caps) {
    using namespace zem::colour;
    PictureColour colour;
    const GstVideoColorimetry& c = info.colorimetry;
    colour.matrix = c.matrix == GST_VIDEO_COLOR_MATRIX_BT709    ? Matrix::Bt709
                    : c.matrix == GST_VIDEO_COLOR_MATRIX_BT2020 ? Matrix::Bt2020
                                                                : Matrix::Bt601;
    colour.range = c.range == GST_VIDEO_COLOR_RANGE_0_255 ? Range::Full : Range::Limited;
    colour.primaries = c.primaries == GST_VIDEO_COLOR_PRIMARIES_BT2020 ? Primaries::Bt2020 : Primaries::Bt709;
    colour.transfer = c.transfer == GST_VIDEO_TRANSFER_SMPTE2084      ? Transfer::Pq
                      : c.transfer == GST_VIDEO_TRANSFER_ARIB_STD_B67 ? Transfer::Hlg
                                                                       : Transfer::Sdr;
    // Formats that keep their bits at the top of 16-bit words scale like 16 bits.
    const GstVideoFormatInfo* format = info.finfo;
    colour.bits = format ? int(GST_VIDEO_FORMAT_INFO_DEPTH(format, 0) + GST_VIDEO_FORMAT_INFO_SHIFT(format, 0)) : 8;
    if (caps) {
        GstVideoMasteringDisplayInfo mastering;
        if (gst_video_mastering_display_info_from_caps(&mastering, caps))
            colour.light.masteringPeak = mastering.max_display_mastering_luminance / 10000.0;
        GstVideoContentLightLevel level;
        if (gst_video_content_light_level_from_caps(&level, caps)) {
            colour.light.maxContent = level.max_content_light_level;
            colour.light.maxFrameAverage = level.max_frame_average_light_level;
        }
    }
    return colour;
}

namespace {

bool WideFormat(GstVideoFormat format) {
    switch (format) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12:
    case GST_VIDEO_FORMAT_NV12:
    case GST_VIDEO_FORMAT_NV21:
    case GST_VIDEO_FORMAT_Y42B:
    case GST_VIDEO_FORMAT_Y444:
    case GST_VIDEO_FORMAT_I420_10LE:
    case GST_VIDEO_FORMAT_I420_12LE:
    case GST_VIDEO_FORMAT_I422_10LE:
    case GST_VIDEO_FORMAT_I422_12LE:
    case GST_VIDEO_FORMAT_Y444_10LE:
    case GST_VIDEO_FORMAT_Y444_12LE:
    case GST_VIDEO_FORMAT_P010_10LE:
    case GST_VIDEO_FORMAT_P012_LE:
    case GST_VIDEO_FORMAT_P016_LE:
        return true;
    default:
        return false;
    }
}

} // namespace

bool NeedsWidePath(const GstVideoInfo& info, const zem::colour::PictureColour& colour) {
    return WideFormat(GST_VIDEO_INFO_FORMAT(&info)) && zem::colour::NeedsColourWork(colour);
}

bool WidePlanesOf(const GstVideoFrame& frame, const zem::colour::PictureColour& colour,
                  zem::colour::WidePlanes& planes) {
    const GstVideoInfo& info = frame.info;
    if (!WideFormat(GST_VIDEO_INFO_FORMAT(&info)))
        return false;
    const std::uint8_t bytes = GST_VIDEO_FORMAT_INFO_DEPTH(info.finfo, 0) > 8 ? 2 : 1;
    auto plane = [&](int component) {
        zem::colour::SamplePlane p;
        p.data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, component));
        p.stride = GST_VIDEO_FRAME_COMP_STRIDE(&frame, component);
        p.width = GST_VIDEO_FRAME_COMP_WIDTH(&frame, component);
        p.height = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, component);
        p.bytes = bytes;
        // Interleaved chroma (NV12, P010) steps over the other component.
        p.step = static_cast<std::uint8_t>(GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, component) / bytes);
        return p;
    };
    planes.y = plane(GST_VIDEO_COMP_Y);
    planes.u = plane(GST_VIDEO_COMP_U);
    planes.v = plane(GST_VIDEO_COMP_V);
    planes.colour = colour;
    return true;
}

bool ConvertRowToBgr(const GstVideoFrame& frame, int row, std::uint8_t* dst) {
    const int height = GST_VIDEO_INFO_HEIGHT(&frame.info);
    if (row < 0 || row >= height)
        return false;
    const int width = GST_VIDEO_INFO_WIDTH(&frame.info);
    return ConvertBand(frame, height - 1 - row, 1, dst, Rgb24Stride(width), false);
}

} // namespace zem::media
