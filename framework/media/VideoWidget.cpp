#include "VideoWidget.h"

#include <QMetaObject>
#include <QPainter>

namespace zem::media {

void PostFrame(FrameSlot& slot, QImage image)
{
    std::lock_guard lock(slot.mutex);
    slot.image = std::move(image);
    if (QWidget* widget = slot.widget) {
        // Queued to the GUI thread; dropped by Qt if the widget is gone by then.
        QMetaObject::invokeMethod(widget, [widget] { widget->update(); }, Qt::QueuedConnection);
    }
}

VideoWidget::VideoWidget(std::shared_ptr<FrameSlot> slot) : m_slot(std::move(slot))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    std::lock_guard lock(m_slot->mutex);
    m_slot->widget = this;
}

VideoWidget::~VideoWidget()
{
    std::lock_guard lock(m_slot->mutex);
    m_slot->widget = nullptr;
}

void VideoWidget::paintEvent(QPaintEvent*)
{
    QImage image;
    {
        std::lock_guard lock(m_slot->mutex);
        image = m_slot->image;
    }
    QPainter painter(this);
    if (image.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), image);  // the picture fills the window, as the player shows it
}

}  // namespace zem::media
