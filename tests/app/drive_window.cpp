// Drives the window program on a real display (Xvfb) the way a user would:
// Add (the open dialog answered with the given files), choose the options,
// Convert, and saves pictures of the screen after the open, while the job
// runs and after it (not a test); each text of the Messages line is written
// to standard error with its time.
// With --all-files every row of the list is converted, one after another.
// Message boxes are answered OK and written to standard error, with whether a
// conversion was running when the box came.
//   xvfb-run -a drive_window PREFIX [--monitoring] [--all-files] CLIP...

#include "CompressorDlg.h"
#include "DialogSeam.h"
#include "DlgConstants.h"
#include "MessageBoxSeam.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace zem::app;

namespace {

// The conversion's picture is taken this far in.
constexpr int kShownPercent = 10;

// The part of the screen the window covers: the pictures the video area
// shows are drawn there, not in the widgets.
bool SaveScreen(const QWidget& window, const QString& path) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect place = window.frameGeometry();
    const bool saved =
        screen != nullptr && screen->grabWindow(0, place.x(), place.y(), place.width(), place.height()).save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", path.toLocal8Bit().constData());
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.path().toUtf8());
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool monitoring = args.removeAll(QStringLiteral("--monitoring")) > 0;
    const bool allFiles = args.removeAll(QStringLiteral("--all-files")) > 0;
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: drive_window PREFIX [--monitoring] [--all-files] CLIP...\n");
        return 2;
    }
    const QString prefix = args.takeFirst();
    SetFileDialogHandler([args](const FileDialogRequest&) { return args; });

    CCompressorDlg::Environment environment = CCompressorDlg::DefaultEnvironment();
    environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
    environment.settingsFile = scratch.filePath(QStringLiteral("ZemConverter.ini"));
    environment.registryFolder = scratch.filePath(QStringLiteral("registry"));
    CCompressorDlg window(environment);
    SetMessageBoxHook([&window](const std::string& text, const std::string&, int) {
        std::fprintf(stderr, "message box%s: %s\n", window.Run().converting() ? " during the run" : "", text.c_str());
        return IDOK;
    });
    window.move(0, 0);
    window.show();

    const auto click = [&window](int id) { window.ControlAs<QAbstractButton>(id)->click(); };
    bool grabbedRunning = false;
    QTimer during;
    // Each new text of the Messages line, with the time since Convert: the
    // time left it gave can be set against when the job really ended.
    QElapsedTimer sinceConvert;
    QString lastMessage;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (window.m_messageText != lastMessage) {
            lastMessage = window.m_messageText;
            std::fprintf(stderr, "at %lld ms: %s\n", static_cast<long long>(sinceConvert.elapsed()),
                         lastMessage.toLocal8Bit().constData());
        }
        const QString status = window.CellText(window.GetSelectedRow(), kColStatus);
        // A few percent in, so the bar and the row show that the run is under way.
        if (!grabbedRunning && window.Run().converting() &&
            status.startsWith(window.Translate(QStringLiteral("Converting ..."))) &&
            window.ControlAs<QProgressBar>(IDC_PROGRESS)->value() >= kShownPercent) {
            grabbedRunning = SaveScreen(window, prefix + QStringLiteral("_converting.png"));
            std::fprintf(stderr, "status while converting: %s\n", status.toLocal8Bit().constData());
        }
    });

    int result = 1;
    QTimer::singleShot(2500, [&] { // the start-up picture closes after two seconds
        click(IDC_ADD);
        QApplication::processEvents();
        SaveScreen(window, prefix + QStringLiteral("_opened.png"));
        click(allFiles ? IDC_ALL_FILES : IDC_SELECTED_FILE);
        click(IDC_SIZE_160);
        if (monitoring != window.ControlAs<QAbstractButton>(IDC_MONITORING)->isChecked())
            click(IDC_MONITORING);
        during.start(50);
        sinceConvert.start();
        click(IDC_CONVERT); // returns when the job is written
        during.stop();
        std::fprintf(stderr, "at %lld ms: written\n", static_cast<long long>(sinceConvert.elapsed()));
        QApplication::processEvents();
        SaveScreen(window, prefix + QStringLiteral("_done.png"));
        const QString status = window.CellText(window.GetSelectedRow(), kColStatus);
        std::fprintf(stderr, "final status: %s, output: %s\n", status.toLocal8Bit().constData(),
                     window.CellText(window.GetSelectedRow(), kColOutput).toLocal8Bit().constData());
        result = status == window.Translate(QStringLiteral("Completed")) ? 0 : 1;
        window.close();
        app.quit();
    });
    app.exec();
    return result;
}
