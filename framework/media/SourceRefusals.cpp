#include "SourceRefusals.h"

#include "MediaTexts.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zem::media {

namespace {

// Threads the opening and decoding of a file may start at once (the
// demuxer's, the queues', the decoders'). The discoverer crashes when one of
// them cannot be made, so that many are tried first.
constexpr int kThreadsNeeded = 24;
// The plug-ins most files are opened with, loaded before the threads are tried.
constexpr const char* kDecoderPlugins[] = {"coreelements", "typefindfunctions", "playback",
                                           "isomp4",       "matroska",          "libav"};

} // namespace

// kThreadsNeeded threads of the size GLib makes.
bool ThreadsCanStart(std::string& why) {
    // The decoders' libraries first: they take most of the room, and
    // without them the threads would be tried in room they then take.
    for (const char* plugin : kDecoderPlugins)
        if (GstPlugin* loaded = gst_plugin_load_by_name(plugin))
            gst_object_unref(loaded);
    // Each thread waits on the pipe until its writing end closes: all are
    // alive together, as the decoding's would be.
    int gate[2];
    if (::pipe2(gate, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        return false;
    }
    std::vector<pthread_t> threads;
    int error = 0;
    for (int i = 0; i < kThreadsNeeded && error == 0; ++i) {
        pthread_t thread;
        error = ::pthread_create(
            &thread, nullptr,
            [](void* fd) -> void* {
                char byte;
                while (::read(*static_cast<int*>(fd), &byte, 1) < 0 && errno == EINTR) {}
                return nullptr;
            },
            &gate[0]);
        if (error == 0)
            threads.push_back(thread);
    }
    ::close(gate[1]);
    for (pthread_t thread : threads)
        ::pthread_join(thread, nullptr);
    ::close(gate[0]);
    if (error != 0)
        why = std::strerror(error);
    return error == 0;
}

// What the user can mend before anything reads the file: its name, folder or
// permissions, or a file that is not a plain one with something in it.
std::optional<Refusal> PlainFileRefusal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        return Refusal{error == ENOENT ? HRESULT_FILE_NOT_FOUND : E_FAIL,
                       UserText(kTextOpenFailed).With("file", path).With("why", std::strerror(error)),
                       {}};
    }
    if (S_ISDIR(st.st_mode))
        return Refusal{HRESULT_FILE_NOT_FOUND, UserText(kTextIsFolder).With("file", path), {}};
    if (!S_ISREG(st.st_mode))
        return Refusal{HRESULT_FILE_NOT_FOUND, UserText(kTextNotAFile).With("file", path), {}};
    // Without waiting: a name swapped for a FIFO meanwhile must not hold the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Refusal{
            E_ACCESSDENIED, UserText(kTextOpenFailed).With("file", path).With("why", std::strerror(errno)), {}};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular)
        return Refusal{HRESULT_FILE_NOT_FOUND, UserText(kTextNotAFile).With("file", path), {}};
    if (st.st_size == 0)
        return Refusal{VFW_E_UNSUPPORTED_STREAM, UserText(kTextEmptyFile).With("file", path), {}};
    return std::nullopt;
}

// Why a file whose streams were chosen has nothing to play, if so. A file of
// sound alone renders (the preview plays it); the conversion refuses it for
// having no picture.
std::optional<Refusal> NoStreamsRefusal(const StreamChoice& choice, GstDiscovererResult result, const std::string& path,
                                        const std::string& why) {
    // An installed decoder that would not load for want of memory is no missing one.
    if (const PluginLoadFailure load = LastPluginLoadFailure(); choice.videos.empty() && load.outOfMemory)
        return Refusal{E_OUTOFMEMORY, UserText(kTextOutOfMemoryDecoding).With("file", path).With("why", load.text),
                       why};
    if (!choice.videos.empty() || !choice.audios.empty())
        return std::nullopt;
    if (!choice.undecodedVideo.empty())
        return Refusal{VFW_E_UNSUPPORTED_STREAM,
                       UserText(kTextNeedsDecoderFor).With("file", path).With("codec", choice.undecodedVideo.front()),
                       why};
    if (result == GST_DISCOVERER_TIMEOUT)
        return Refusal{
            VFW_E_TIMEOUT,
            UserText(kTextTookTooLong).With("file", path).With("seconds", std::to_string(kDiscoverTimeoutSeconds)),
            why};
    if (!choice.undecodedAudio.empty())
        return Refusal{VFW_E_UNSUPPORTED_STREAM,
                       UserText(kTextNeedsDecoderFor).With("file", path).With("codec", choice.undecodedAudio.front()),
                       why};
    if (result == GST_DISCOVERER_MISSING_PLUGINS)
        return Refusal{VFW_E_UNSUPPORTED_STREAM, UserText(kTextNeedsDecoder).With("file", path), why};
    return Refusal{VFW_E_UNSUPPORTED_STREAM,
                   why.empty() ? UserText(kTextNotVideo).With("file", path)
                               : UserText(kTextNotVideoBecause).With("file", path).With("why", why),
                   why};
}

} // namespace zem::media
