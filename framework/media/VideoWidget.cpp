#include "VideoWidget.h"

#include <QApplication>
#include <QMetaObject>
#include <QPainter>

namespace zem::media {

void PostFrame(FrameSlot& slot, QImage image) {
    std::lock_guard lock(slot.mutex);
    slot.image = std::move(image);
    if (QWidget* widget = slot.widget) {
        // Queued to the GUI thread; dropped by Qt if the widget is gone by then.
        QMetaObject::invokeMethod(
            widget, [widget] { widget->update(); }, Qt::QueuedConnection);
    }
}

VideoWidget::VideoWidget(std::shared_ptr<FrameSlot> slot) : m_slot(std::move(slot)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    std::lock_guard lock(m_slot->mutex);
    m_slot->widget = this;
}

VideoWidget::~VideoWidget() {
    std::lock_guard lock(m_slot->mutex);
    m_slot->widget = nullptr;
}

void VideoWidget::paintEvent(QPaintEvent*) {
    QImage image;
    {
        std::lock_guard lock(m_slot->mutex);
        image = m_slot->image;
    }
    QPainter painter(this);
    if (image.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), image); // the picture fills the window, as the player shows it
}

WidgetVideoView::~WidgetVideoView() {
    delete m_widget.data(); // the widget belongs to the renderer's view, whoever its parent is now
}

void WidgetVideoView::Show(const std::uint8_t* bgrx, int width, int height, int stride) {
    const QImage view(bgrx, width, height, stride, QImage::Format_RGB32);
    PostFrame(*m_slot, view.copy());
}

QWidget* WidgetVideoView::Widget() {
    if (!m_widget && qobject_cast<QApplication*>(QCoreApplication::instance()))
        m_widget = new VideoWidget(m_slot);
    return m_widget.data();
}

void WidgetVideoView::SetVisible(bool visible) {
    if (m_widget)
        m_widget->setVisible(visible);
}

void WidgetVideoView::SetOwner(QWidget* owner) {
    if (!m_widget)
        return;
    const bool visible = m_widget->isVisible();
    m_widget->setParent(owner);
    if (!owner)
        m_widget->hide();
    else if (visible)
        m_widget->show();
}

void WidgetVideoView::SetGeometry(int left, int top, int width, int height) {
    if (m_widget)
        m_widget->setGeometry(left, top, width, height);
}

void WidgetVideoView::Raise() {
    if (m_widget)
        m_widget->raise();
}

namespace {

// Programs that link zem_media_widgets (whole, see CMakeLists.txt) show their
// pictures in a VideoWidget.
const bool kInstalled = [] {
    SetVideoViewFactory([]() -> std::unique_ptr<VideoView> { return std::make_unique<WidgetVideoView>(); });
    return true;
}();

} // namespace

} // namespace zem::media
