#pragma once
// The play length of files that are not open yet, read in the background by
// GStreamer's discoverer on the window thread's main loop: the window never
// waits for a slow or broken file. Threads: the lengths are the window
// thread's alone, as the discoverer answers on that thread's main loop.

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>

typedef struct _GstDiscoverer GstDiscoverer;
typedef struct _GstDiscovererInfo GstDiscovererInfo;
typedef struct _GError GError;

namespace zem::app {

class MediaLengths {
public:
    explicit MediaLengths(int timeoutSeconds);
    ~MediaLengths();
    MediaLengths(const MediaLengths&) = delete;
    MediaLengths& operator=(const MediaLengths&) = delete;

    // The length in 100 ns units, 0 for a file that cannot be read; nothing
    // while it is still being read (the first call starts reading it).
    std::optional<int64_t> Length(const QString& path);

private:
    static void OnDiscovered(GstDiscoverer* discoverer, GstDiscovererInfo* info, GError* error, void* self);

    struct Unref {
        void operator()(GstDiscoverer* discoverer) const;
    };
    std::unique_ptr<GstDiscoverer, Unref> m_discoverer;
    std::map<QString, int64_t> m_lengths;
    std::set<QString> m_pending;
};

} // namespace zem::app
