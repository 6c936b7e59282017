#pragma once
// What the source checks before and after it opens a file: the file itself,
// room for the threads decoding needs, and whether any stream was found.
#include "GraphImpl.h"
#include "StreamChoice.h"

#include <gst/pbutils/pbutils.h>

#include <optional>
#include <string>

namespace zem::media {

// Opening a file that long is taken as a failure. Generous: on a busy machine
// a healthy file must never be refused for being slow.
inline constexpr int kDiscoverTimeoutSeconds = 20;

// Why a file is not loaded: the code, the text the user reads, the log's detail.
struct Refusal {
    HRESULT hr;
    UserText text;
    std::string debug;
};

// Whether the threads opening and decoding a file may start can run together
// (not when an address-space limit such as `ulimit -v` leaves no room for
// their stacks); else false with the system's reason in `why`.
bool ThreadsCanStart(std::string& why);

// What the user can mend before anything reads the file: its name, folder or
// permissions, or a file that is not a plain one with something in it.
std::optional<Refusal> PlainFileRefusal(const std::string& path);

// Why a file whose streams were chosen has nothing to play, if so. A file of
// sound alone renders (the preview plays it); the conversion refuses it for
// having no picture.
std::optional<Refusal> NoStreamsRefusal(const StreamChoice& choice, GstDiscovererResult result, const std::string& path,
                                        const std::string& why);

} // namespace zem::media
