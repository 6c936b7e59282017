#pragma once
// Small media clips for tests, made with the ffmpeg command-line tool.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zem::testclips {

// Kinds: "mp4" (H.264 + AAC), "mpg" (MPEG-2 + MP2), "vob", "dat" (VCD: MPEG-1 +
// MP2), "wmv", "asf", "rm", "mkv", "avi", "asx" (a play list naming an mp4 beside
// it), "video-only" (mp4 without sound), "audio-only" (mp3 without picture).
// Pictures are 160x128 at 25 frames per second (VCD: 352x288); sound is a 440 Hz
// tone at 44.1 kHz stereo.
//
// The counter pattern (the default) makes each picture tell its own number n:
// the top quarter is blue, so a test can see the row order and the colour
// order; the second quarter holds n mod 50 in six black or white blocks side
// by side (the highest bit left), which PictureNumber() reads back exactly
// whatever colour conversion and coding did to the levels; the lower half is
// flat grey with luma 16 + 4 * (n mod 50).
// Returns the path of the clip in dir, or an empty path when ffmpeg failed.
enum class Pattern { Counter, Moving };
std::filesystem::path MakeClip(const std::filesystem::path& dir, const std::string& kind, double seconds,
                               int width = 160, int height = 128, int fps = 25, Pattern pattern = Pattern::Counter);

// Number of pictures the counter pattern cycles through.
constexpr int kCounterCycle = 50;
// ffmpeg's filter source of the counter pattern (for clips made in other ways).
std::string CounterSource(int width, int height, int fps);
// The picture number (mod kCounterCycle) of a counter picture; `green(x, y)` gives
// the green level (0..255) at x, y as fractions of the picture's width and
// height from its top left corner.
int PictureNumber(const std::function<int(double x, double y)>& green);
// The same from 8-bit RGB pixels, top row first, `stride` bytes a row.
int PictureNumber(const std::uint8_t* rgb, int width, int height, std::size_t stride, int bytesPerPixel = 3);

// Start times (seconds, the container's own clock) as ffprobe reads them and the
// end of the sound (the later of the container's end and its start plus its
// decoded length); -1 for a missing stream.
struct ClipTimes {
    double videoStart = -1;
    double audioStart = -1;
    double audioEnd = -1;
    // Start times of the pictures in order (seconds, the container's clock);
    // empty when the container does not time every picture (MPEG program streams).
    std::vector<double> pictureTimes;
    // The earlier of the two starts: the clip's position 0.
    double Origin() const;
};
ClipTimes ProbeClip(const std::filesystem::path& clip);

// A fresh folder under the system's temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace zem::testclips
