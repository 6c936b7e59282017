#pragma once
// The Messages line: whole sentences, wrapped over the lines the label has;
// only a text too long for all of them loses its middle. A notice (a text
// given while no conversion runs) that the next text replaces before it could
// be read stays in view above it until its reading time is over.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>

class QLabel;

namespace zem::app {

class MessagesLine : public QObject {
public:
    explicit MessagesLine(QLabel* label);

    // Shows `text` as the newest line; an empty text clears the line, held
    // notices too. `notice`: `text` is to be read before it may go.
    void Show(const QString& text, bool notice);
    // Shows the same texts again, fitted to the label's size now.
    void Refit();

    // How long a text takes to read, in milliseconds.
    static int ReadingMs(const QString& text);

private:
    struct Held {
        QString text;
        qint64 untilMs;
    };
    void DropRead();
    void Render();

    QLabel* m_label;
    QElapsedTimer m_clock;
    QString m_current;
    bool m_currentNotice = false;
    qint64 m_currentSinceMs = 0;
    std::deque<Held> m_held;
    QTimer m_expiry;
};

} // namespace zem::app
