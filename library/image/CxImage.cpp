#include "CxImage.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace zem {

namespace {

constexpr uint32_t RowBytes(uint32_t width) {
    return (width * 3u + 3u) & ~3u;
}

constexpr UINT16 kJfifDensityDpi = 96;
constexpr UINT8 kDensityUnitDpi = 1;
constexpr size_t kOutputGrowth = 64 * 1024;

// libjpeg reports fatal errors through error_exit, which must not return:
// jump back to the encoder and fail the call instead of ending the process.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(manager->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}

// Destination that appends into a std::vector, growing it as needed.
struct VectorDestination {
    jpeg_destination_mgr base;
    std::vector<uint8_t>* out;
};

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    if (dest->out->size() < kOutputGrowth)
        dest->out->resize(kOutputGrowth);
    dest->base.next_output_byte = dest->out->data();
    dest->base.free_in_buffer = dest->out->size();
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const size_t used = dest->out->size();
    dest->out->resize(used * 2);
    dest->base.next_output_byte = dest->out->data() + used;
    dest->base.free_in_buffer = dest->out->size() - used;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->out->resize(dest->out->size() - dest->base.free_in_buffer);
}

} // namespace

bool CxImage::CreateFromArray(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t rowBytes) {
    if (pixels == nullptr || width == 0 || height == 0 || rowBytes < width * 3)
        return false;
    m_width = width;
    m_height = height;
    m_rowBytes = RowBytes(width);
    m_bits.resize(size_t(m_rowBytes) * height);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(&m_bits[size_t(y) * m_rowBytes], pixels + size_t(y) * rowBytes, size_t(width) * 3);
    return true;
}

// Rows are stored bottom first, so storage row r is picture row (H - 1 - r).
// With (x, y) counted from the top left of the upright picture:
//   left turn:  new(x', y') = old(W - 1 - y', x')
//   right turn: new(x', y') = old(y', H - 1 - x')
// Either way new column x' walks one old row per step: upwards in storage for
// a left turn (old row x' from the top), downwards for a right turn.
void CxImage::QuarterTurn(bool left) {
    if (!IsValid())
        return;
    const uint32_t newWidth = m_height;
    const uint32_t newHeight = m_width;
    const uint32_t newRowBytes = RowBytes(newWidth);
    m_scratch.resize(size_t(newRowBytes) * newHeight);
    const ptrdiff_t step = left ? -ptrdiff_t(m_rowBytes) : ptrdiff_t(m_rowBytes);
    for (uint32_t r = 0; r < newHeight; ++r) {   // storage row of the new picture
        const uint32_t yNew = newHeight - 1 - r; // its row from the top
        const uint32_t xOld = left ? m_width - 1 - yNew : yNew;
        const size_t firstRow = left ? size_t(m_height - 1) : 0;
        const uint8_t* src = &m_bits[firstRow * m_rowBytes + size_t(xOld) * 3];
        uint8_t* dst = &m_scratch[size_t(r) * newRowBytes];
        for (uint32_t xNew = 0; xNew < newWidth; ++xNew, dst += 3, src += step) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
    m_width = newWidth;
    m_height = newHeight;
    m_rowBytes = newRowBytes;
    m_bits.swap(m_scratch);
}

bool CxImage::Encode(int quality, std::vector<uint8_t>& out) const {
    if (!IsValid())
        return false;

    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnJpegError;
    errors.base.output_message = OnJpegMessage;
    VectorDestination dest{};
    dest.out = &out;

    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        out.clear();
        return false;
    }

    jpeg_create_compress(&cinfo);
    dest.base.init_destination = InitDestination;
    dest.base.empty_output_buffer = EmptyOutputBuffer;
    dest.base.term_destination = TermDestination;
    cinfo.dest = &dest.base;

    cinfo.image_width = m_width;
    cinfo.image_height = m_height;
    cinfo.input_components = 3;
    // The stored bytes are blue, green, red; the coder reads them as such and
    // sees the same red, green, blue pixels a converted copy would give it.
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, FALSE);
    // Colour halved horizontally only: luminance 2x1, both chrominances 1x1.
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 1;
    cinfo.comp_info[1].h_samp_factor = 1;
    cinfo.comp_info[1].v_samp_factor = 1;
    cinfo.comp_info[2].h_samp_factor = 1;
    cinfo.comp_info[2].v_samp_factor = 1;
    cinfo.optimize_coding = FALSE;
    cinfo.smoothing_factor = 0;
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = kDensityUnitDpi;
    cinfo.X_density = kJfifDensityDpi;
    cinfo.Y_density = kJfifDensityDpi;

    jpeg_start_compress(&cinfo, TRUE);
    // Top row of the picture first: it is the last row in storage.
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint32_t storageRow = m_height - 1 - cinfo.next_scanline;
        JSAMPROW row = const_cast<JSAMPROW>(&m_bits[size_t(storageRow) * m_rowBytes]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace zem
