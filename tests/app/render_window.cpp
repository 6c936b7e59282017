// Renders the window with a few rows in its list into a PNG, in the language
// of the locale variables: pictures of the window for the user's guides.
//   LC_ALL=ko_KR.UTF-8 render_window OUTPUT.png

#include "CompressorDlg.h"
#include "MessageBoxSeam.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.path().toUtf8());
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_window OUTPUT.png\n");
        return 2;
    }
    SetMessageBoxHook([](const std::string&, const std::string&, int) { return IDOK; });
    CCompressorDlg::Environment environment = CCompressorDlg::DefaultEnvironment();
    environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
    environment.settingsFile = scratch.filePath(QStringLiteral("ZemConverter.ini"));
    environment.registryFolder = scratch.filePath(QStringLiteral("registry"));
    CCompressorDlg window(environment);
    window.AddFile(QStringLiteral("/home/user/Videos/holiday.mp4"));
    window.AddFile(QStringLiteral("/home/user/Videos/concert.avi"));
    window.AddFile(QStringLiteral("/home/user/Videos/lecture.wmv"));
    window.SelectRow(1);
    window.SetTimeCell(2, 125'000'000, true);
    window.SetTimeCell(3, 905'000'000, true);
    window.SetTimeCell(4, 780'000'000, false);
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
