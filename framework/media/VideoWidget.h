#pragma once
// The widget the video renderer paints its pictures into (zem_media_widgets,
// the media layer's only Qt Widgets code). Pictures arrive on a streaming
// thread and are handed over through a FrameSlot; painting happens on the GUI
// thread.
#include "VideoView.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <mutex>

namespace zem::media {

// Streaming thread (PostFrame) and GUI thread (the widget) meet here: the
// mutex protects the fields below.
struct FrameSlot {
    std::mutex mutex;
    QImage image;
    QWidget* widget = nullptr; // cleared by the widget's destructor
};

// Stores the picture and asks the widget (if it still exists) to repaint.
void PostFrame(FrameSlot& slot, QImage image);

class VideoWidget : public QWidget {
public:
    explicit VideoWidget(std::shared_ptr<FrameSlot> slot);
    ~VideoWidget() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<FrameSlot> m_slot;
};

// The renderer's view: keeps the last picture until the widget is made.
// Threads: Show on a streaming thread (through the slot only); the rest on the GUI thread.
class WidgetVideoView : public VideoView {
public:
    ~WidgetVideoView() override;
    void Show(const std::uint8_t* bgrx, int width, int height, int stride) override;
    QWidget* Widget() override;
    void SetVisible(bool visible) override;
    void SetOwner(QWidget* owner) override;
    void SetGeometry(int left, int top, int width, int height) override;
    void Raise() override;

private:
    const std::shared_ptr<FrameSlot> m_slot = std::make_shared<FrameSlot>();
    QPointer<QWidget> m_widget; // GUI thread only
};

} // namespace zem::media
