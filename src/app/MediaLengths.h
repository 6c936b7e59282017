#pragma once
// The play length of files that are not open yet, and whether they open at
// all, read in the background by GStreamer's discoverer: the window never
// waits for a slow or broken file. Threads: the discoverer's answers come on a
// main context of its own, which a timer of the window's thread drives; the
// results are that thread's alone.

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "UserText.h"

typedef struct _GstDiscoverer GstDiscoverer;
typedef struct _GstDiscovererInfo GstDiscovererInfo;
typedef struct _GError GError;
typedef struct _GMainContext GMainContext;
class QTimer;

namespace zem::app {

class MediaLengths {
public:
    explicit MediaLengths(int timeoutSeconds);
    ~MediaLengths();
    MediaLengths(const MediaLengths&) = delete;
    MediaLengths& operator=(const MediaLengths&) = delete;

    // What reading a file found: its length in 100 ns units, and for a file
    // that cannot be opened the cause in words.
    struct Probe {
        int64_t length = 0;
        bool readable = true;
        zem::UserText cause;
    };
    // The probe of `path`; nothing while it is still being read (the first
    // call starts reading it).
    std::optional<Probe> Result(const QString& path);
    // The probe if one has ended, without starting one.
    std::optional<Probe> Known(const QString& path) const;
    bool Pending(const QString& path) const { return m_pending.count(path) != 0; }
    // The length in 100 ns units, 0 for a file that cannot be read; nothing
    // while it is still being read (the first call starts reading it).
    std::optional<int64_t> Length(const QString& path);
    // Called on the window's thread each time a file's reading ends.
    void SetOnRead(std::function<void(const QString& path)> onRead) { m_onRead = std::move(onRead); }

private:
    static void OnDiscovered(GstDiscoverer* discoverer, GstDiscovererInfo* info, GError* error, void* self);

    // Runs the answers that have come.
    void Drain();

    struct Unref {
        void operator()(GstDiscoverer* discoverer) const;
    };
    struct UnrefContext {
        void operator()(GMainContext* context) const;
    };
    int m_timeoutSeconds;
    std::unique_ptr<GMainContext, UnrefContext> m_context;
    std::unique_ptr<QTimer> m_poll;
    std::unique_ptr<GstDiscoverer, Unref> m_discoverer;
    std::map<QString, Probe> m_probes;
    std::set<QString> m_pending;
    std::function<void(const QString&)> m_onRead;
};

} // namespace zem::app
