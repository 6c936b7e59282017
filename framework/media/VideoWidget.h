#pragma once
// The widget the video renderer paints its pictures into. Pictures arrive on a
// streaming thread and are handed over through a FrameSlot; painting happens on
// the GUI thread.
#include <QImage>
#include <QWidget>

#include <memory>
#include <mutex>

namespace zem::media {

struct FrameSlot {
    std::mutex mutex;
    QImage image;
    QWidget* widget = nullptr;  // cleared by the widget's destructor
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

}  // namespace zem::media
