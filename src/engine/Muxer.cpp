#include "Muxer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "EngineTexts.h"
#include "FileIo.h"
#include "OutputFormat.h"

namespace zem {

namespace {

using namespace avi;

constexpr size_t kMovieWriteBuffer = 1 << 20;
constexpr size_t kIndexWriteBuffer = 64 << 10;
constexpr size_t kFramesReadBuffer = 256 << 10;
constexpr size_t kAudioReadBuffer = 64 << 10;
constexpr size_t kCopyPiece = 1000000;
// Our frame encoder never writes a picture anywhere near this; a larger length
// field can only come from a damaged frames file and ends the video.
constexpr uint32_t kMaxFrameRecordBytes = 16u << 20;

constexpr double kAudioFrameSeconds = double(kAudioBlockSize) / kAudioBytesPerSecond; // 24 ms

class Mux {
public:
    Mux(const ConversionPaths& paths, const MuxSettings& settings, const MuxCycleCallback& onCycle)
        : m_paths(paths), m_settings(settings), m_onCycle(onCycle) {}

    MuxResult Run() {
        const bool produced = OpenFiles() && Interleave() && AssembleOutputFile();
        CloseAndRemove();
        if (!produced)
            m_result.ok = false;
        return m_result;
    }

private:
    bool Fail(const UserText& said) {
        if (m_result.message.empty()) {
            m_result.said = said;
            m_result.message = said.English();
        }
        return false;
    }

    bool OpenFiles() {
        if (!PathsFitLimit(m_paths))
            return Fail(UserText(kTextPathTooLong).With("file", m_paths.outputPath));
        if (!m_header.Open(m_paths.headerPath, File::Mode::CreateExclusive))
            return Fail(m_header.ErrorText());
        const Header header = BuildHeaderTemplate();
        if (!m_header.Write(header.data(), header.size()))
            return Fail(m_header.ErrorText());
        if (!m_index.Open(m_paths.indexPath, File::Mode::CreateExclusive))
            return Fail(m_index.ErrorText());
        if (!m_zem.Open(m_paths.zemPath, File::Mode::CreateExclusive))
            return Fail(m_zem.ErrorText());
        if (!m_frames.Open(m_paths.tmpPath, File::Mode::Read))
            return Fail(m_frames.ErrorText());
        if (!m_audio.Open(m_paths.mp3Path, File::Mode::ReadWrite))
            return Fail(m_audio.ErrorText());
        const int64_t framesSize = m_frames.Size();
        const int64_t audioSize = m_audio.Size();
        if (framesSize < 0)
            return Fail(m_frames.ErrorText());
        if (audioSize < 0)
            return Fail(m_audio.ErrorText());
        // Without even its head the audio file was never written: the sound
        // was lost upstream, and an output without it would be no use.
        if (audioSize < int64_t(kMp3HeadSize))
            return Fail(UserText(kTextAudioFileEmpty).With("file", m_paths.mp3Path));
        m_progress.writeTotal = uint64_t(framesSize) + uint64_t(audioSize);
        m_framesSize = uint64_t(framesSize);
        m_audioSize = uint64_t(audioSize);
        return true;
    }

    // What one pass of the interleaving loop reads: the sound block (or the
    // silence in its place) and the picture, and where each stream stands.
    struct Cycle {
        Cycle(File& audioFile, File& framesFile, uint64_t skipped)
            : audio(audioFile, kAudioReadBuffer, kMp3HeadSize + skipped), frames(framesFile, kFramesReadBuffer, 0) {}
        BufferedReader audio;
        BufferedReader frames;
        int64_t silentFrames = 0;
        // Sound that ends before the pictures (phones often record it so) goes
        // on as silence, so no picture is lost; sound at least as long as the
        // pictures never reaches this.
        bool soundEnded = false;
        // Set once the pictures ran out with much of the sound still to come:
        // the last picture is written again at each step until it ends.
        bool holding = false;
        int64_t ra = 0;
        int64_t rv = 0;
        uint8_t audioBlock[kAudioBlockSize];
        std::vector<uint8_t> picture;
    };

    // The cycle's sound block: silence before late sound and after sound that
    // ended early, else the next block of the sound file. False on a read error.
    bool ReadSoundBlock(Cycle& c, bool& silent) {
        const bool leadIn = c.silentFrames > 0;
        if (leadIn) {
            --c.silentFrames;
        } else if (!c.soundEnded) {
            c.ra = c.audio.Read(c.audioBlock, kAudioBlockSize);
            if (c.ra < 0)
                return Fail(m_audio.ErrorText());
            c.soundEnded = c.ra == 0 && c.frames.Position() < m_framesSize;
        }
        silent = leadIn || c.soundEnded;
        if (silent) {
            std::memcpy(c.audioBlock, SilentAudioFrame(), kAudioBlockSize);
            c.ra = kAudioBlockSize;
        }
        return true;
    }

    // The cycle's picture: the next frame record, or the last one held while
    // the sound goes on. `pictureBytes` is 0 when the cycle takes none.
    bool ReadPicture(Cycle& c, uint32_t& pictureBytes) {
        pictureBytes = 0;
        if (!c.holding) {
            bool ended = false;
            if (!ReadFrameRecord(c.frames, c.picture, pictureBytes, c.rv, ended))
                return false;
            const uint64_t holdMinBytes = uint64_t(kHoldPictureMinSeconds * kAudioBytesPerSecond);
            if (ended && m_settings.holdLastPicture && m_result.videoChunks > 0 && c.ra > 0 &&
                m_audioSize > c.audio.Position() && m_audioSize - c.audio.Position() > holdMinBytes)
                c.holding = true;
        }
        if (c.holding) {
            // The audio block of this cycle is the last one: no picture after the sound.
            pictureBytes = c.ra > 0 ? uint32_t(c.picture.size()) : 0;
            c.rv = int64_t(pictureBytes);
        }
        return true;
    }

    bool Interleave() {
        // The movie data goes after a gap that the header fills at the end.
        if (!m_zem.Seek(kHeaderSize))
            return Fail(m_zem.ErrorText());
        BufferedWriter movie(m_zem, kMovieWriteBuffer);
        BufferedWriter index(m_index, kIndexWriteBuffer);
        const uint64_t skipped =
            m_settings.audioLeadInFrames < 0 ? uint64_t(-m_settings.audioLeadInFrames) * kAudioBlockSize : 0;
        Cycle c(m_audio, m_frames, skipped);
        c.silentFrames = std::max<int64_t>(m_settings.audioLeadInFrames, 0);

        uint8_t indexHead[kIndexHeadSize];
        std::memcpy(indexHead, kIndexCode.data(), 4);
        PutLe32(indexHead + 4, kIndexLengthPlaceholder);
        if (!index.Write(indexHead, sizeof indexHead))
            return Fail(m_index.ErrorText());

        const double step = double(kAudioBytesPerSecond) / m_settings.frameRate;
        double audioClock = 0.0;
        double videoClock = 0.0;
        WriteCursor at;
        // Set once the output reached maxSeconds.
        bool soundCut = false;
        do {
            if (m_settings.maxSeconds > 0 && audioClock >= m_settings.maxSeconds * kAudioBytesPerSecond) {
                soundCut = true;
                break;
            }
            bool silent = false;
            if (!ReadSoundBlock(c, silent))
                return false;
            const uint64_t audioCutBefore = c.audio.Position() - (silent ? 0 : uint64_t(c.ra));

            // The video step reads one frame record while the audio is ahead.
            bool takeVideo = false;
            uint32_t pictureBytes = 0;
            if (audioClock + kAudioBlockSize > videoClock) {
                if (!ReadPicture(c, pictureBytes))
                    return false;
                takeVideo = c.rv > 0;
            }

            const uint64_t cycleMovie =
                (c.ra > 0 ? kSectorSize : 0) + (takeVideo ? VideoChunkLength(pictureBytes) : 0);
            const uint64_t cycleIndex = kIndexRecordSize * ((c.ra > 0 ? 1 : 0) + (takeVideo ? 1 : 0));
            if (kHeaderSize + at.movieBytes + cycleMovie + at.indexBytes + cycleIndex > m_settings.maxFileBytes) {
                m_result.truncated = true;
                m_result.said = UserText(kTextCutAtLargestSize).With("frames", std::to_string(m_result.videoChunks));
                m_result.message = m_result.said.English();
                m_audioCut = audioCutBefore;
                break;
            }

            audioClock += kAudioBlockSize;
            if (c.ra > 0 && !WriteAudioChunk(movie, index, c.audioBlock, uint32_t(c.ra), at))
                return false;
            if (takeVideo) {
                if (!WriteVideoChunk(movie, index, c.picture.data(), pictureBytes, at))
                    return false;
                videoClock += step;
            }

            m_progress.bytesRead = (c.audio.Position() - kMp3HeadSize - skipped) + c.frames.Position();
            if (m_onCycle && !m_onCycle(m_progress)) {
                m_result.abandoned = true;
                return Fail(kTextAbandoned);
            }
            m_audioCut = c.audio.Position();
        } while (c.ra > 0 && c.rv > 0);

        if (!movie.Flush())
            return Fail(m_zem.ErrorText());
        if (!index.Flush())
            return Fail(m_index.ErrorText());

        // When the frames ran out (or the file was cut) the audio file is
        // shortened to the last block that went into the output, so a kept
        // ".mp3" matches the movie.
        if ((c.rv == 0 || soundCut || m_result.truncated) && !m_audio.Truncate(m_audioCut))
            return Fail(m_audio.ErrorText());

        m_result.movieBytes = at.movieBytes;
        m_indexBytes = at.indexBytes;
        return true;
    }

    // Where the next chunk goes and how much has been written.
    struct WriteCursor {
        uint32_t sequence = 0;
        uint64_t position = kFirstChunkPosition;
        uint64_t movieBytes = 0;
        uint64_t indexBytes = kIndexHeadSize;
    };

    // One frame record: its length field, then as many bytes as it announces.
    // `read` is 0 at the end of the frames (or at a length no record has).
    // `ended`: the frames file ended where a record would start.
    bool ReadFrameRecord(BufferedReader& frames, std::vector<uint8_t>& picture, uint32_t& pictureBytes, int64_t& read,
                         bool& ended) {
        uint8_t lengthField[kFrameLengthSize];
        const int64_t got = frames.Read(lengthField, sizeof lengthField);
        if (got < 0)
            return Fail(m_frames.ErrorText());
        read = 0;
        ended = got == 0;
        if (got != int64_t(sizeof lengthField))
            return true;
        pictureBytes = GetLe32(lengthField);
        if (pictureBytes == 0 || pictureBytes > kMaxFrameRecordBytes)
            return true;
        // A record cut short keeps its announced length; the missing bytes are zeros.
        picture.resize(pictureBytes);
        read = frames.Read(picture.data(), pictureBytes);
        if (read < 0)
            return Fail(m_frames.ErrorText());
        std::fill(picture.begin() + read, picture.end(), 0);
        return true;
    }

    // A sound block in a sector of its own, and its index record.
    bool WriteAudioChunk(BufferedWriter& movie, BufferedWriter& index, const uint8_t* block, uint32_t bytes,
                         WriteCursor& at) {
        uint8_t sector[kSectorSize];
        uint8_t record[kIndexRecordSize];
        ++at.sequence;
        BuildAudioChunk(sector, block, bytes, at.sequence);
        BuildIndexRecord(record, kAudioChunkCode, uint32_t(at.position), kAudioBlockSize);
        if (!movie.Write(sector, kSectorSize))
            return Fail(m_zem.ErrorText());
        if (!index.Write(record, kIndexRecordSize))
            return Fail(m_index.ErrorText());
        at.position += kSectorSize;
        at.movieBytes += kSectorSize;
        at.indexBytes += kIndexRecordSize;
        ++m_result.audioChunks;
        return true;
    }

    // A picture padded to the sector boundary, and its index record.
    bool WriteVideoChunk(BufferedWriter& movie, BufferedWriter& index, const uint8_t* picture, uint32_t pictureBytes,
                         WriteCursor& at) {
        static const uint8_t zeros[kSectorSize] = {};
        uint8_t chunkHead[kChunkHeadSize];
        uint8_t record[kIndexRecordSize];
        const uint32_t padding = VideoChunkPadding(pictureBytes);
        BuildVideoChunkHead(chunkHead, pictureBytes);
        BuildIndexRecord(record, kVideoChunkCode, uint32_t(at.position), pictureBytes);
        if (!movie.Write(chunkHead, kChunkHeadSize) || !movie.Write(picture, pictureBytes) ||
            !movie.Write(zeros, padding))
            return Fail(m_zem.ErrorText());
        if (!index.Write(record, kIndexRecordSize))
            return Fail(m_index.ErrorText());
        const uint64_t chunk = uint64_t(kChunkHeadSize) + pictureBytes + padding;
        at.position += chunk;
        at.movieBytes += chunk;
        at.indexBytes += kIndexRecordSize;
        ++m_result.videoChunks;
        return true;
    }

    bool AssembleOutputFile() {
        const bool turned = m_settings.rotate != 0;
        m_result.storedWidth = uint32_t(turned ? m_settings.videoHeight : m_settings.videoWidth);
        m_result.storedHeight = uint32_t(turned ? m_settings.videoWidth : m_settings.videoHeight);

        Header header{};
        if (m_header.ReadAt(0, header.data(), header.size()) != int64_t(header.size()))
            return Fail(m_header.Error().empty() ? UserText(kTextCannotOpen).With("file", m_paths.headerPath)
                                                 : m_header.ErrorText());
        HeaderEndFields fields;
        fields.movieBytes = uint32_t(m_result.movieBytes);
        fields.indexBytes = uint32_t(m_indexBytes);
        fields.videoChunks = m_result.videoChunks;
        fields.audioChunks = m_result.audioChunks;
        fields.frameRate = uint32_t(m_settings.frameRate);
        fields.width = m_result.storedWidth;
        fields.height = m_result.storedHeight;
        FinishHeader(header.data(), fields);
        if (!m_header.WriteAt(0, header.data(), header.size()))
            return Fail(m_header.ErrorText());
        uint8_t indexLength[4];
        PutLe32(indexLength, uint32_t(m_indexBytes - kIndexHeadSize));
        if (!m_index.WriteAt(4, indexLength, sizeof indexLength))
            return Fail(m_index.ErrorText());

        // The movie-data file already holds the movie after a gap for the
        // header: append the index, put the header in front and give it the
        // output's name. The output thus appears complete or not at all.
        if (!m_zem.Seek(kHeaderSize + m_result.movieBytes))
            return Fail(m_zem.ErrorText());
        if (!CopyInto(m_zem, m_index, m_indexBytes))
            return false;
        if (!m_zem.WriteAt(0, header.data(), header.size()))
            return Fail(m_zem.ErrorText());
        // On disk before it takes the output's name: a power cut then finds
        // the old output or the whole new one, never a cut one.
        if (!m_zem.Sync() || !m_zem.Close())
            return Fail(m_zem.ErrorText());
        m_result.fileBytes = kHeaderSize + m_result.movieBytes + m_indexBytes;
        // The scratch folder lies in the output's folder: both names appear
        // whole by a rename, and a link at either name is replaced, not
        // written through. The output goes first: an earlier ".mp3" is
        // replaced only once the movie is in place.
        UserText error;
        if (!Place(m_paths.zemPath, m_paths.outputPath, error))
            return Fail(error);
        m_result.ok = true;
        if (m_settings.saveMp3) {
            const bool flushed = m_audio.Sync();
            m_audio.Close();
            if (!flushed)
                m_result.warning =
                    UserText(kTextSoundNotKeptAs).With("file", m_paths.keptMp3Path).With("why", m_audio.ErrorText());
            else if (!Place(m_paths.mp3Path, m_paths.keptMp3Path, error))
                m_result.warning = UserText(kTextSoundNotKept).With("why", error);
        }
        return true;
    }

    bool Place(const std::string& from, const std::string& to, UserText& error) {
        return m_settings.place ? m_settings.place(from, to, error) : RenameFile(from, to, error);
    }

    // Appends `length` bytes from the start of `from` at the position of `to`.
    bool CopyInto(File& to, File& from, uint64_t length) {
        // The kernel copies between the files without a trip through our
        // memory where it can; otherwise pieces go through one buffer.
        uint64_t copied = 0;
        if (to.CopyFrom(from, 0, length, copied))
            return true;
        if (!to.Error().empty())
            return Fail(to.ErrorText());
        return CopyInPieces(to, from, copied, length);
    }

    bool CopyInPieces(File& to, File& from, uint64_t offset, uint64_t length) {
        std::vector<uint8_t> piece(std::min<uint64_t>(kCopyPiece, std::max<uint64_t>(length - offset, 1)));
        while (offset < length) {
            const size_t want = size_t(std::min<uint64_t>(piece.size(), length - offset));
            const int64_t got = from.ReadAt(offset, piece.data(), want);
            if (got < 0)
                return Fail(from.ErrorText());
            if (got != int64_t(want))
                return Fail(UserText(kTextUnexpectedEnd).With("file", from.Path()));
            if (!to.Write(piece.data(), want))
                return Fail(to.ErrorText());
            offset += want;
        }
        return true;
    }

    void CloseAndRemove() {
        m_header.Close();
        m_frames.Close();
        m_audio.Close();
        m_zem.Close();
        m_index.Close();
        RemoveFile(m_paths.headerPath);
        RemoveFile(m_paths.indexPath);
        RemoveFile(m_paths.zemPath);
        RemoveFile(m_paths.tmpPath);
        RemoveFile(m_paths.mp3Path); // a kept one has its own name by now
    }

    const ConversionPaths& m_paths;
    const MuxSettings& m_settings;
    const MuxCycleCallback& m_onCycle;
    File m_header, m_index, m_zem, m_frames, m_audio;
    uint64_t m_indexBytes = kIndexHeadSize;
    uint64_t m_audioCut = kMp3HeadSize;
    uint64_t m_framesSize = 0;
    uint64_t m_audioSize = 0;
    MuxProgress m_progress;
    MuxResult m_result;
};

} // namespace

int64_t AudioLeadInFrames(double pictureStart, double soundStart) {
    return int64_t(std::llround((soundStart - pictureStart) / kAudioFrameSeconds));
}

const uint8_t* SilentAudioFrame() {
    // The frame header; the 32 bytes of side information that follow are
    // zero (no reservoir, no coded samples) and so is the rest.
    static const std::array<uint8_t, kAudioBlockSize> frame = [] {
        std::array<uint8_t, kAudioBlockSize> f{};
        std::copy(media::kMp3FrameHeader.begin(), media::kMp3FrameHeader.end(), f.begin());
        return f;
    }();
    return frame.data();
}

MuxResult MuxOutputFile(const ConversionPaths& paths, const MuxSettings& settings, const MuxCycleCallback& onCycle) {
    return Mux(paths, settings, onCycle).Run();
}

} // namespace zem
