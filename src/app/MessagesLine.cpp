#include "MessagesLine.h"

#include "DlgConstants.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>
#include <algorithm>

namespace zem::app {

namespace {

// Whether `text` fits inside `room` with its lines wrapped at spaces (or
// between CJK letters).
bool Fits(const QFontMetrics& metrics, const QRect& room, const QString& text) {
    const QRect needed = metrics.boundingRect(QRect(0, 0, room.width(), 1 << 20), Qt::TextWordWrap, text);
    return needed.width() <= room.width() && needed.height() <= room.height();
}

// The lines made to fit inside `room`: whole when they do; else each loses
// its middle, where paths are least telling, until together they fit.
QString Fitted(const QFontMetrics& metrics, const QRect& room, const QStringList& lines) {
    QString whole = lines.join(QLatin1Char('\n'));
    if (Fits(metrics, room, whole) || room.width() <= 0)
        return whole;
    const int rows = std::max(1, room.height() / std::max(1, metrics.lineSpacing()));
    int budget = room.width() * std::max(1, rows / int(lines.size()));
    QString shown;
    for (;;) {
        QStringList elided;
        for (const QString& line : lines)
            elided.append(metrics.elidedText(line, Qt::ElideMiddle, budget));
        shown = elided.join(QLatin1Char('\n'));
        if (Fits(metrics, room, shown) || budget <= room.width() / 4)
            return shown;
        budget = budget * 9 / 10;
    }
}

} // namespace

MessagesLine::MessagesLine(QLabel* label) : QObject(label), m_label(label) {
    m_label->setWordWrap(true);
    m_clock.start();
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, [this] {
        DropRead();
        Render();
    });
}

int MessagesLine::ReadingMs(const QString& text) {
    int weight = 0;
    for (const QChar letter : text)
        weight += letter.unicode() >= 0x2e80 ? kWideLetterWeight : 1;
    return std::min(kNoticeLongestMs, kNoticeGlanceMs + weight * kNoticeLetterMs);
}

void MessagesLine::Show(const QString& text, bool notice) {
    if (text == m_current) {
        Render();
        return;
    }
    const qint64 now = m_clock.elapsed();
    if (text.isEmpty()) {
        m_held.clear();
    } else if (m_currentNotice && !m_current.isEmpty()) {
        const qint64 until = m_currentSinceMs + ReadingMs(m_current);
        if (until > now)
            m_held.push_back({m_current, until});
    }
    m_current = text;
    m_currentNotice = notice;
    m_currentSinceMs = now;
    DropRead();
    Render();
}

void MessagesLine::Refit() {
    Render();
}

void MessagesLine::DropRead() {
    const qint64 now = m_clock.elapsed();
    std::erase_if(m_held, [&](const Held& held) { return held.untilMs <= now || held.text == m_current; });
    m_expiry.stop();
    if (m_held.empty())
        return;
    const auto next = std::min_element(m_held.begin(), m_held.end(),
                                       [](const Held& a, const Held& b) { return a.untilMs < b.untilMs; });
    m_expiry.start(int(next->untilMs - now));
}

void MessagesLine::Render() {
    QStringList lines;
    for (const Held& held : m_held)
        lines.append(held.text);
    if (!m_current.isEmpty())
        lines.append(m_current);
    m_label->setText(lines.isEmpty() ? QString() : Fitted(m_label->fontMetrics(), m_label->contentsRect(), lines));
    m_label->setToolTip(lines.join(QLatin1Char('\n')));
}

} // namespace zem::app
