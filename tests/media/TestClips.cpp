#include "TestClips.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace zem::testclips {

namespace {

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Recipe {
    const char* kind;
    const char* extension;
    const char* codecs; // ffmpeg output options
    bool video;
    bool audio;
};

const Recipe kRecipes[] = {
    {"mp4", "mp4", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 96k", true, true},
    {"mpg", "mpg", "-c:v mpeg2video -q:v 4 -c:a mp2 -b:a 128k -f mpeg", true, true},
    {"vob", "vob", "-c:v mpeg2video -q:v 4 -c:a mp2 -b:a 128k -f vob", true, true},
    {"dat", "dat", "-target pal-vcd", true, true},
    {"wmv", "wmv", "-c:v wmv2 -q:v 4 -c:a wmav2 -b:a 96k -f asf", true, true},
    {"asf", "asf", "-c:v msmpeg4v3 -q:v 4 -c:a wmav2 -b:a 96k -f asf", true, true},
    {"rm", "rm", "-c:v rv10 -q:v 4 -c:a ac3 -b:a 96k -f rm", true, true},
    {"mkv", "mkv", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a libvorbis", true, true},
    {"avi", "avi", "-c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 128k", true, true},
    {"video-only", "mp4", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p", true, false},
    {"audio-only", "mp3", "-c:a libmp3lame -b:a 128k", false, true},
    {"audio-only-mp4", "mp4", "-c:a aac -b:a 96k", false, true},
};

} // namespace

namespace {

// The number's blocks: side by side across the second quarter of the height.
constexpr int kCounterBits = 6;
constexpr double kBlocksRow = 3.0 / 8.0;
constexpr int kHalfLevel = 128;

} // namespace

std::string CounterSource(int width, int height, int fps) {
    const std::string n = "mod(N," + std::to_string(kCounterCycle) + ")";
    const std::string bit = "mod(floor(" + n + "/pow(2," + std::to_string(kCounterBits - 1) + "-floor(" +
                            std::to_string(kCounterBits) + "*X/W))),2)";
    return "color=c=gray:size=" + std::to_string(width) + "x" + std::to_string(height) +
           ":rate=" + std::to_string(fps) + ",format=yuv420p,geq=lum='if(lt(Y,H/4),41,if(lt(Y,H/2),16+219*" + bit +
           ",16+4*" + n + "))':cb='if(lt(Y,H/4),240,128)':cr='if(lt(Y,H/4),110,128)'";
}

int PictureNumber(const std::function<int(double x, double y)>& green) {
    int n = 0;
    for (int i = 0; i < kCounterBits; ++i)
        n = 2 * n + (green((i + 0.5) / kCounterBits, kBlocksRow) >= kHalfLevel ? 1 : 0);
    return n;
}

int PictureNumber(const std::uint8_t* rgb, int width, int height, std::size_t stride, int bytesPerPixel) {
    return PictureNumber([&](double x, double y) {
        const auto column = static_cast<std::size_t>(x * width);
        const auto row = static_cast<std::size_t>(y * height);
        return int(rgb[row * stride + column * bytesPerPixel + 1]);
    });
}

std::filesystem::path MakeClip(const std::filesystem::path& dir, const std::string& kind, double seconds, int width,
                               int height, int fps, Pattern pattern) {
    if (kind == "asx") {
        const auto media = MakeClip(dir, "mp4", seconds, width, height, fps);
        if (media.empty())
            return {};
        const auto list = dir / "clip_asx.asx";
        std::ofstream out(list);
        out << "<ASX version=\"3.0\">\n  <Entry>\n    <Ref href=\"http://example.invalid/remote.wmv\"/>\n"
            << "    <Ref href=\"" << media.filename().string() << "\"/>\n  </Entry>\n</ASX>\n";
        return out ? list : std::filesystem::path();
    }
    for (const Recipe& r : kRecipes) {
        if (kind != r.kind)
            continue;
        std::string name = kind;
        for (char& c : name)
            if (c == '-')
                c = '_';
        const auto target =
            dir / ("clip_" + name + "_" + std::to_string(width) + "x" + std::to_string(height) + "_" +
                   std::to_string(fps) + (pattern == Pattern::Moving ? "_moving" : "") + "." + r.extension);
        std::ostringstream cmd;
        cmd << "ffmpeg -nostdin -v error -y";
        if (r.video && pattern == Pattern::Moving)
            cmd << " -f lavfi -i testsrc2=size=" << width << "x" << height << ":rate=" << fps;
        else if (r.video)
            cmd << " -f lavfi -i \"" << CounterSource(width, height, fps) << "\"";
        if (r.audio)
            cmd << " -f lavfi -i sine=frequency=440:sample_rate=44100,aformat=channel_layouts=stereo";
        cmd << " -t " << seconds << " " << r.codecs << " " << Quote(target.string());
        if (std::system(cmd.str().c_str()) != 0 || !std::filesystem::exists(target))
            return {};
        return target;
    }
    return {};
}

double ClipTimes::Origin() const {
    if (videoStart < 0)
        return audioStart;
    if (audioStart < 0)
        return videoStart;
    return videoStart < audioStart ? videoStart : audioStart;
}

ClipTimes ProbeClip(const std::filesystem::path& clip) {
    ClipTimes times;
    const std::string cmd =
        "ffprobe -v error -show_entries stream=codec_type,start_time,duration:format=duration "
        "-of default=noprint_wrappers=1 " +
        Quote(clip.string());
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), &pclose);
    if (!pipe)
        return times;
    // Streams come first (type, start, duration each), then the container's duration.
    std::vector<std::string> types;
    int durations = 0;
    double formatDuration = -1, audioDuration = -1;
    char line[256];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const auto eq = text.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = text.substr(0, eq);
        const std::string value = text.substr(eq + 1);
        const bool known = value != "N/A";
        const double number = std::atof(value.c_str());
        const std::string type = types.empty() ? std::string() : types.back();
        if (key == "codec_type") {
            types.push_back(value);
        } else if (key == "start_time" && known) {
            if (type == "video" && times.videoStart < 0)
                times.videoStart = number;
            if (type == "audio" && times.audioStart < 0)
                times.audioStart = number;
        } else if (key == "duration") {
            if (durations++ >= static_cast<int>(types.size())) {
                if (known)
                    formatDuration = number;
            } else if (type == "audio" && known && audioDuration < 0) {
                audioDuration = number;
            }
        }
    }
    // An AVI that ffmpeg muxes with MP3 sound leaves the second picture's time
    // empty: each picture's own time comes from the packets.
    const std::string packets =
        "ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 " + Quote(clip.string());
    std::unique_ptr<FILE, int (*)(FILE*)> list(popen(packets.c_str(), "r"), &pclose);
    bool timed = static_cast<bool>(list);
    while (list && std::fgets(line, sizeof line, list.get())) {
        char* end = nullptr;
        const double time = std::strtod(line, &end);
        if (end == line) {
            timed = false;
            break;
        }
        times.pictureTimes.push_back(time);
    }
    std::sort(times.pictureTimes.begin(), times.pictureTimes.end());
    if (!timed)
        times.pictureTimes.clear();
    if (times.audioStart < 0)
        return times;
    times.audioEnd = times.audioStart + (audioDuration > 0 ? audioDuration : formatDuration);
    // Container durations of program streams are unreliable; the decoded sound tells its length too.
    constexpr int kProbeRate = 48000;
    const std::string decode = "ffmpeg -nostdin -v error -i " + Quote(clip.string()) + " -vn -f s16le -ac 1 -ar " +
                               std::to_string(kProbeRate) + " -";
    std::unique_ptr<FILE, int (*)(FILE*)> pcm(popen(decode.c_str(), "r"), &pclose);
    if (!pcm)
        return times;
    std::size_t bytes = 0;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pcm.get())) > 0;)
        bytes += n;
    // Decoders differ in whether they play an encoder's lead-in and padding; the later end counts.
    const double decodedEnd = times.audioStart + static_cast<double>(bytes) / 2 / kProbeRate;
    if (decodedEnd > times.audioEnd)
        times.audioEnd = decodedEnd;
    return times;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zemclips.XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (char* made = mkdtemp(buffer.data()))
        m_path = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ec);
}

} // namespace zem::testclips
