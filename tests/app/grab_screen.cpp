// Saves a picture of the whole X screen after a delay: used to look at the
// window program running under Xvfb.
//   grab_screen OUTPUT.png [DELAY_MS]

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: grab_screen OUTPUT.png [DELAY_MS]\n");
        return 2;
    }
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 0;
    QThread::msleep(static_cast<unsigned long>(delayMs));
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not grab the screen\n");
        return 1;
    }
    return 0;
}
