#pragma once
// A decoded GStreamer picture read row by row, as the frame encoder's picture
// path reads it: for tests and benchmarks of the row-by-row path. Header only,
// since it needs the media layer (ConvertRowToBgr) and the engine
// (PictureRowReader), which the support library does not link; a user links
// zem_conversion.

#include <gst/video/video.h>

#include <cstdint>

#include "PictureConvert.h"
#include "PicturePath.h"

namespace zem::test {

class FrameRows : public PictureRowReader {
public:
    explicit FrameRows(const GstVideoFrame& frame) : m_frame(frame) {}
    bool ReadRow(uint32_t row, uint8_t* bgr) override {
        ++m_rowsRead;
        return media::ConvertRowToBgr(m_frame, int(row), bgr);
    }
    bool Planes(YuvPlanes& planes) override { return m_planes && media::YuvPlanesOf(m_frame, planes); }
    // Off: the rows are read one by one even where the planes could be read.
    void UsePlanes(bool use) { m_planes = use; }
    uint32_t rowsRead() const { return m_rowsRead; }

private:
    const GstVideoFrame& m_frame;
    bool m_planes = true;
    uint32_t m_rowsRead = 0;
};

} // namespace zem::test
