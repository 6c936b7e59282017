#pragma once
// Start-up splash: a borderless picture in the middle of the screen that
// closes after two seconds or at the user's first key or mouse press. The
// press that closes it is used up and reaches no other window.

#include <QColor>
#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

class QEvent;

// A line of text drawn over the picture (its version, its purpose), so that
// it can be in the user's language.
struct SplashLine {
    QString text;
    QPointF baseline; // left end of the baseline, in the picture's pixels
    double pixelSize;
    QColor colour;
};

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDisplayMs = 2000;

    CSplashWnd(const QPixmap& picture, QWidget* owner, std::vector<SplashLine> lines = {});
    ~CSplashWnd() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QPixmap m_picture;
    std::vector<SplashLine> m_lines;
    QPointer<QWidget> m_owner;
    int m_timerId = 0;
    friend void HideSplash();
};

extern bool g_splashEnabled;
extern QPointer<CSplashWnd> g_splash;

void EnableSplash(bool enable);
// Shows the splash owned by `owner`, unless splashes are off or one is already
// up. A picture that cannot be loaded means no splash and no message.
void ShowSplash(QWidget* owner, const QString& picturePath, const std::vector<SplashLine>& lines = {});
// True when the event was a press that closed the splash (the caller drops it).
bool FilterAppMessage(const QEvent* event);
void HideSplash();
