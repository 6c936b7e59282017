#pragma once
// Where the video renderer shows its pictures. The media layer links no Qt
// Widgets: the widget comes from zem_media_widgets (VideoWidget.h), which
// installs its factory when a program that links it starts. Without it (the
// command-line converter) the renderer shows nothing and the graph answers
// IVideoWindow with E_NOINTERFACE, as it does without a QApplication.
#include <cstdint>
#include <memory>

class QWidget;

namespace zem::media {

// Threads: Show runs on a streaming thread; everything else on the GUI thread.
class VideoView {
public:
    virtual ~VideoView() = default;
    // A picture in 32-bit BGRx rows; copied before the call returns.
    virtual void Show(const std::uint8_t* bgrx, int width, int height, int stride) = 0;
    // The widget, made on first use; nullptr without a QApplication.
    virtual QWidget* Widget() = 0;
    // These act on the widget Widget() made.
    virtual void SetVisible(bool visible) = 0;
    // The widget becomes a child of the owner (keeping its visibility); nullptr detaches and hides it.
    virtual void SetOwner(QWidget* owner) = 0;
    virtual void SetGeometry(int left, int top, int width, int height) = 0;
    virtual void Raise() = 0;
};

using VideoViewFactory = std::unique_ptr<VideoView> (*)();
// Installed once at start-up by zem_media_widgets.
void SetVideoViewFactory(VideoViewFactory factory);
// A new view from the installed factory; nullptr when none is installed.
std::unique_ptr<VideoView> MakeVideoView();

} // namespace zem::media
