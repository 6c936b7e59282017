// Drives the preview's transport row on a real display (Xvfb) with mouse
// clicks: Play, a click on the slider, the selection buttons, Pause, Frame
// Step, Mute and Stop, and saves pictures of the screen on the way (not a test).
//   xvfb-run -a drive_transport PREFIX CLIP

#include "CompressorDlg.h"
#include "DialogSeam.h"
#include "DlgConstants.h"
#include "GraphState.h"
#include "NiceSliderCtrl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdio>

using namespace zem::app;

namespace {

bool SaveScreen(const QString& path) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const bool saved = screen != nullptr && screen->grabWindow(0).save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", path.toLocal8Bit().constData());
    return saved;
}

void Spin(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.path().toUtf8());
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: drive_transport PREFIX CLIP\n");
        return 2;
    }
    const QString prefix = args[0];
    SetFileDialogHandler([clip = args[1]](const FileDialogRequest&) { return QStringList{clip}; });

    CCompressorDlg::Environment environment = CCompressorDlg::DefaultEnvironment();
    environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
    environment.settingsFile = scratch.filePath(QStringLiteral("ZemConverter.ini"));
    environment.registryFolder = scratch.filePath(QStringLiteral("registry"));
    CCompressorDlg window(environment);
    window.move(0, 0);
    window.show();

    const auto press = [&window](int id) {
        QWidget* button = window.Control(id);
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        QApplication::processEvents();
    };
    auto* slider = window.ControlAs<CNiceSliderCtrl>(IDC_POSITION_SLIDER);
    const auto clickSlider = [slider](double fraction) {
        QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier,
                          QPoint(int(slider->width() * fraction), slider->height() / 2));
        QApplication::processEvents();
    };
    const auto report = [&window, slider](const char* step) {
        std::fprintf(stderr, "%s: state %d, position %s, slider %d, |< %s, >| %s, Time %s, muted %d\n", step,
                     g_playState, window.ControlAs<QLabel>(IDC_POSITION)->text().toLocal8Bit().constData(),
                     slider->value(), window.CellText(0, kColSelStart).toLocal8Bit().constData(),
                     window.CellText(0, kColSelEnd).toLocal8Bit().constData(),
                     window.CellText(0, kColTime).toLocal8Bit().constData(), g_muted);
    };

    int result = 1;
    QTimer::singleShot(2500, [&] { // the start-up picture closes after two seconds
        window.ControlAs<QAbstractButton>(IDC_ADD)->click();
        Spin(300);
        report("opened");
        press(IDC_PLAY);
        Spin(1500);
        report("playing");
        SaveScreen(prefix + QStringLiteral("_playing.png"));
        clickSlider(0.3);
        press(IDC_SELECTION_START);
        Spin(600);
        clickSlider(0.7);
        press(IDC_SELECTION_END);
        Spin(300);
        press(IDC_PAUSE);
        press(IDC_FRAME_STEP);
        press(IDC_MUTE);
        Spin(300);
        report("paused with a range, muted");
        SaveScreen(prefix + QStringLiteral("_selection.png"));
        press(IDC_STOP);
        Spin(300);
        report("stopped");
        SaveScreen(prefix + QStringLiteral("_stopped.png"));
        result = g_playState == kPlayStopped && !window.CellText(0, kColSelEnd).isEmpty() ? 0 : 1;
        window.close();
        app.quit();
    });
    app.exec();
    return result;
}
