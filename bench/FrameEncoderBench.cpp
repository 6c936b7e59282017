// Frame encoder throughput on one core: clamp, resample and JPEG-code one
// decoded picture per call, as the streaming thread does for every frame.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "FrameEncoder.h"
#include "Resample.h"

using namespace zem;

namespace {

// Something like a camera picture: soft gradients, edges and a little noise,
// so the JPEG coder works as hard as on real video (neither flat nor noise).
std::vector<uint8_t> NaturalPicture(uint32_t w, uint32_t h) {
    std::mt19937 rng(1);
    std::vector<uint8_t> pic(size_t(PictureStride(w)) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &pic[size_t(y) * PictureStride(w) + x * 3];
            const double fx = double(x) / w, fy = double(y) / h;
            const bool box = (x / (w / 8) + y / (h / 6)) % 2 == 0;
            const double wave = 30 * std::sin(fx * 40) * std::cos(fy * 25);
            p[0] = uint8_t(std::clamp(60 + 120 * fx + wave + (box ? 30 : 0) + int(rng() % 9), 0.0, 255.0));
            p[1] = uint8_t(std::clamp(90 + 100 * fy - wave + int(rng() % 9), 0.0, 255.0));
            p[2] = uint8_t(std::clamp(200 - 150 * fx * fy + (box ? -40 : 0) + int(rng() % 9), 0.0, 255.0));
        }
    return pic;
}

void EncodeFrames(benchmark::State& state, uint16_t sw, uint16_t sh, int rotate) {
    std::vector<uint8_t> picture = NaturalPicture(sw, sh);
    File sink;
    sink.Open("/dev/null", File::Mode::ReadWrite);
    std::atomic<int64_t> position{0};
    FrameCaptureContext ctx;
    ctx.sourceWidth = sw;
    ctx.sourceHeight = sh;
    ctx.targetWidth = 320;
    ctx.targetHeight = 240;
    ctx.jpegQuality = 80;
    ctx.rotate = rotate;
    ctx.framesFile = &sink;
    ctx.positionOut = &position;
    double t = 0.01;
    for (auto _ : state) {
        ctx.OnFrameSample(t, picture.data(), picture.size());
        t += ctx.frameInterval;
    }
    state.counters["frames/s"] = benchmark::Counter(double(ctx.framesWritten()), benchmark::Counter::kIsRate);
}

void ClampOnly(benchmark::State& state, uint16_t w, uint16_t h) {
    std::vector<uint8_t> picture = NaturalPicture(w, h);
    for (auto _ : state) {
        ClampPixelExtremes(picture.data(), picture.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(picture.size()));
}

// Letterboxed pictures and titles: black and white areas send every block
// through the slow path of the clamp.
void ClampExtremes(benchmark::State& state, uint16_t w, uint16_t h) {
    std::vector<uint8_t> picture = NaturalPicture(w, h);
    for (size_t i = 0; i < picture.size(); ++i)
        if ((i / 4096) % 2 == 0)
            picture[i] = (i / 8192) % 2 ? 0 : 255;
    std::vector<uint8_t> work(picture.size());
    for (auto _ : state) {
        state.PauseTiming();
        work = picture; // a clamped picture has no extremes left
        state.ResumeTiming();
        ClampPixelExtremes(work.data(), work.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(picture.size()));
}

void ShrinkOnly(benchmark::State& state, uint16_t w, uint16_t h) {
    std::vector<uint8_t> picture = NaturalPicture(w, h);
    std::vector<uint8_t> out(320 * 240 * 3);
    for (auto _ : state) {
        ShrinkPicture(picture.data(), w, h, out.data(), 320, 240);
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK_CAPTURE(EncodeFrames, 640x480_to_320x240, 640, 480, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EncodeFrames, 640x480_to_320x240_rotated, 640, 480, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EncodeFrames, 1920x1080_to_320x240, 1920, 1080, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EncodeFrames, 1920x1080_to_320x240_rotated, 1920, 1080, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ClampOnly, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ClampExtremes, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ShrinkOnly, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ShrinkOnly, 640x480, 640, 480)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
