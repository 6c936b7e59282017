#pragma once
// Start-up splash: a borderless picture in the middle of the screen that
// closes after two seconds or at the user's first key or mouse press. The
// press that closes it is used up and reaches no other window.

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QEvent;

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDisplayMs = 2000;

    CSplashWnd(const QPixmap& picture, QWidget* owner);
    ~CSplashWnd() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QPixmap m_picture;
    QPointer<QWidget> m_owner;
    int m_timerId = 0;
    friend void HideSplash();
};

extern bool g_splashEnabled;
extern QPointer<CSplashWnd> g_splash;

void EnableSplash(bool enable);
// Shows the splash owned by `owner`, unless splashes are off or one is already
// up. A picture that cannot be loaded means no splash and no message.
void ShowSplash(QWidget* owner, const QString& picturePath);
// True when the event was a press that closed the splash (the caller drops it).
bool FilterAppMessage(const QEvent* event);
void HideSplash();
