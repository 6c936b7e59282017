#include "JpegProbe.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace zem::test {

JpegInfo ProbeJpeg(const std::vector<uint8_t>& j) {
    JpegInfo info;
    if (j.size() < 4) {
        info.error = "too short";
        return info;
    }
    info.startsWithSoi = j[0] == 0xFF && j[1] == 0xD8;
    info.endsWithEoi = j[j.size() - 2] == 0xFF && j[j.size() - 1] == 0xD9;
    size_t at = 2;
    while (at + 4 <= j.size()) {
        if (j[at] != 0xFF) {
            info.error = "marker expected at " + std::to_string(at);
            return info;
        }
        const uint8_t marker = j[at + 1];
        const size_t length = size_t(j[at + 2]) << 8 | j[at + 3];
        const size_t body = at + 4;
        if (body + length - 2 > j.size()) {
            info.error = "segment runs past the end";
            return info;
        }
        if (marker == 0xE0 && length >= 16 &&
            std::string(reinterpret_cast<const char*>(&j[body]), 5) == std::string("JFIF\0", 5)) {
            info.jfif = true;
            info.densityUnit = j[body + 7];
            info.xDensity = uint16_t(j[body + 8] << 8 | j[body + 9]);
            info.yDensity = uint16_t(j[body + 10] << 8 | j[body + 11]);
        } else if (marker == 0xDB) {
            size_t p = body;
            while (p < body + length - 2) {
                const bool sixteen = (j[p] >> 4) != 0;
                ++p;
                std::vector<uint16_t> table(64);
                for (int k = 0; k < 64; ++k) {
                    table[k] = sixteen ? uint16_t(j[p] << 8 | j[p + 1]) : j[p];
                    p += sixteen ? 2 : 1;
                }
                info.quantTables.push_back(table);
            }
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            info.baseline = marker == 0xC0;
            info.progressiveOrOther = marker != 0xC0;
            info.height = uint32_t(j[body + 1] << 8 | j[body + 2]);
            info.width = uint32_t(j[body + 3] << 8 | j[body + 4]);
            const int components = j[body + 5];
            for (int c = 0; c < components; ++c)
                info.sampling.push_back(j[body + 6 + 3 * c + 1]);
        } else if (marker == 0xDA) {
            break; // entropy-coded data follows
        }
        at = body + length - 2;
    }
    info.valid = info.startsWithSoi && info.endsWithEoi && info.width > 0;
    if (!info.valid && info.error.empty())
        info.error = "no SOI/EOI or no frame header";
    return info;
}

namespace {
struct DecodeError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};
void OnError(j_common_ptr c) {
    std::longjmp(reinterpret_cast<DecodeError*>(c->err)->jump, 1);
}
} // namespace

std::vector<std::vector<uint16_t>> ReferenceQuantTables(int quality) {
    // One grey 8 x 8 picture coded at `quality`; its tables are read back.
    constexpr int kSide = 8;
    std::vector<uint8_t> picture(kSide * kSide * 3, 128);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kSide;
    cinfo.image_height = kSide;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &picture[cinfo.next_scanline * kSide * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const std::vector<uint8_t> jpeg(buffer, buffer + size);
    std::free(buffer);
    return ProbeJpeg(jpeg).quantTables;
}

std::vector<uint8_t> DecodeJpegRgb(const std::vector<uint8_t>& jpeg) {
    jpeg_decompress_struct cinfo{};
    DecodeError err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    std::vector<uint8_t> pixels;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * 3;
    pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &pixels[cinfo.output_scanline * stride];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return pixels;
}

} // namespace zem::test
