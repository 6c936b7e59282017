#pragma once
// Small media clips for tests, made with the ffmpeg command-line tool.
#include <filesystem>
#include <string>

namespace zem::testclips {

// Kinds: "mp4" (H.264 + AAC), "mpg" (MPEG-2 + MP2), "vob", "dat" (VCD: MPEG-1 +
// MP2), "wmv", "asf", "rm", "mkv", "avi", "asx" (a play list naming an mp4 beside
// it), "video-only" (mp4 without sound), "audio-only" (mp3 without picture).
// Pictures are 160x128 at 25 frames per second (VCD: 352x288); sound is a 440 Hz
// tone at 44.1 kHz stereo.
//
// The counter pattern (the default) makes each picture tell its own number:
// below the top quarter the picture is flat grey with luma 16 + 4 * (n mod 50),
// so PictureNumber() reads n back from a decoded picture; the top quarter is
// blue, so a test can see the row order and the colour order.
// Returns the path of the clip in dir, or an empty path when ffmpeg failed.
enum class Pattern { Counter, Moving };
std::filesystem::path MakeClip(const std::filesystem::path& dir, const std::string& kind, double seconds,
                               int width = 160, int height = 128, int fps = 25, Pattern pattern = Pattern::Counter);

// Number of pictures the counter pattern cycles through.
constexpr int kCounterCycle = 50;
// The picture number (mod kCounterCycle) from a grey level (0..255, full-range RGB).
int PictureNumber(int grey);

// Start times (seconds, the container's own clock) as ffprobe reads them and the
// end of the sound (the later of the container's end and its start plus its
// decoded length); -1 for a missing stream.
struct ClipTimes {
    double videoStart = -1;
    double audioStart = -1;
    double audioEnd = -1;
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
