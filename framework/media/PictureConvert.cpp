#include "PictureConvert.h"

#include "MediaTypes.h"

#include <libyuv.h>

#include <cstring>

namespace zem::media {

const char* const kGrabberInputCaps =
    "video/x-raw, format=(string){ I420, YV12, NV12, NV21, Y42B, Y444, BGRx, BGRA, BGR, RGB }";

namespace {

const libyuv::YuvConstants* MatrixFor(const GstVideoInfo& info)
{
    if (info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255)
        return &libyuv::kYuvJPEGConstants;
    if (info.colorimetry.matrix == GST_VIDEO_COLOR_MATRIX_BT709)
        return &libyuv::kYuvH709Constants;
    return &libyuv::kYuvI601Constants;
}

}  // namespace

bool ConvertToBgrBottomUp(const GstVideoFrame& frame, std::uint8_t* dst)
{
    const GstVideoInfo& info = frame.info;
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    const int stride = Rgb24Stride(width);
    // A negative height makes libyuv write the rows bottom-up.
    const int flipped = -height;
    auto plane = [&](int i) { return static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, i)); };
    auto pstride = [&](int i) { return GST_VIDEO_FRAME_PLANE_STRIDE(&frame, i); };
    const libyuv::YuvConstants* matrix = MatrixFor(info);
    // libyuv's "RGB24" is B, G, R in memory; "RAW" is R, G, B.
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_I420:
        return libyuv::I420ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), plane(2), pstride(2), dst,
                                         stride, matrix, width, flipped) == 0;
    case GST_VIDEO_FORMAT_YV12:
        return libyuv::I420ToRGB24Matrix(plane(0), pstride(0), plane(2), pstride(2), plane(1), pstride(1), dst,
                                         stride, matrix, width, flipped) == 0;
    case GST_VIDEO_FORMAT_NV12:
        return libyuv::NV12ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), dst, stride, matrix, width,
                                         flipped) == 0;
    case GST_VIDEO_FORMAT_NV21:
        return libyuv::NV21ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), dst, stride, matrix, width,
                                         flipped) == 0;
    case GST_VIDEO_FORMAT_Y42B:
        return libyuv::I422ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), plane(2), pstride(2), dst,
                                         stride, matrix, width, flipped) == 0;
    case GST_VIDEO_FORMAT_Y444:
        return libyuv::I444ToRGB24Matrix(plane(0), pstride(0), plane(1), pstride(1), plane(2), pstride(2), dst,
                                         stride, matrix, width, flipped) == 0;
    case GST_VIDEO_FORMAT_BGRx:
    case GST_VIDEO_FORMAT_BGRA:
        return libyuv::ARGBToRGB24(plane(0), pstride(0), dst, stride, width, flipped) == 0;
    case GST_VIDEO_FORMAT_RGB:
        return libyuv::RAWToRGB24(plane(0), pstride(0), dst, stride, width, flipped) == 0;
    case GST_VIDEO_FORMAT_BGR:
        for (int row = 0; row < height; ++row)
            std::memcpy(dst + static_cast<std::size_t>(height - 1 - row) * stride, plane(0) + row * pstride(0),
                        static_cast<std::size_t>(width) * 3);
        return true;
    default:
        return false;
    }
}

}  // namespace zem::media
