#include "VideoView.h"

#include <atomic>

namespace zem::media {

namespace {

std::atomic<VideoViewFactory> g_factory{nullptr};

} // namespace

void SetVideoViewFactory(VideoViewFactory factory) {
    g_factory.store(factory);
}

std::unique_ptr<VideoView> MakeVideoView() {
    const VideoViewFactory factory = g_factory.load();
    return factory ? factory() : nullptr;
}

} // namespace zem::media
