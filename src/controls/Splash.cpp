#include "Splash.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

bool g_splashEnabled = false;
QPointer<CSplashWnd> g_splash;

namespace {

// Sees every event of the application first, so the closing press can be
// taken away before any window gets it.
class SplashFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return FilterAppMessage(event); }
};

QPointer<SplashFilter> g_splashFilter;

bool IsClosingPress(const QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick: {
        const auto button = static_cast<const QMouseEvent*>(event)->button();
        return button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton;
    }
    default:
        return false;
    }
}

} // namespace

CSplashWnd::CSplashWnd(const QPixmap& picture, QWidget* owner, std::vector<SplashLine> lines)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(picture),
      m_lines(std::move(lines)),
      m_owner(owner) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Splash"));
    setCursor(Qt::ArrowCursor);
    setFixedSize(m_picture.deviceIndependentSize().toSize());
    // Over the owner when it is on screen, else over the screen's work area.
    QRect area;
    if (m_owner && m_owner->isVisible())
        area = m_owner->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());
    m_timerId = startTimer(kDisplayMs);
}

CSplashWnd::~CSplashWnd() {
    if (m_timerId != 0)
        killTimer(m_timerId);
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (const SplashLine& line : m_lines) {
        QFont font = painter.font();
        font.setPixelSize(qRound(line.pixelSize));
        painter.setFont(font);
        painter.setPen(line.colour);
        painter.drawText(line.baseline, line.text);
    }
}

void CSplashWnd::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timerId)
        HideSplash();
}

void EnableSplash(bool enable) {
    g_splashEnabled = enable;
}

void ShowSplash(QWidget* owner, const QString& picturePath, const std::vector<SplashLine>& lines) {
    if (!g_splashEnabled || g_splash)
        return;
    const QPixmap picture(picturePath);
    if (picture.isNull())
        return;
    g_splash = new CSplashWnd(picture, owner, lines);
    if (!g_splashFilter && qApp) {
        g_splashFilter = new SplashFilter(qApp);
        qApp->installEventFilter(g_splashFilter);
    }
    g_splash->show();
    g_splash->repaint();
}

bool FilterAppMessage(const QEvent* event) {
    if (!g_splash || !IsClosingPress(event))
        return false;
    HideSplash();
    return true;
}

void HideSplash() {
    if (g_splashFilter) {
        qApp->removeEventFilter(g_splashFilter);
        delete g_splashFilter.data();
    }
    if (!g_splash)
        return;
    QPointer<QWidget> owner = g_splash->m_owner;
    g_splash->close(); // deletes itself
    g_splash = nullptr;
    if (owner)
        owner->repaint();
}
