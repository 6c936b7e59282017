#include "CompressorApp.h"

#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "Splash.h"

#include <QFileInfo>
#include <QUrl>

namespace {
constexpr const char* kNoSplashSwitches[] = {"-nosplash", "--nosplash", "/nosplash"};

bool IsNoSplashSwitch(const QString& argument) {
    for (const char* noSplash : kNoSplashSwitches) {
        if (argument.compare(QLatin1String(noSplash), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
} // namespace

CCompressorApp::CCompressorApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(zem::app::kAppName));
    setOrganizationName(QString::fromLatin1(zem::app::kAppName));
}

bool CCompressorApp::ShowSplashRequested(const QStringList& arguments) {
    for (const QString& argument : arguments.mid(1)) {
        if (IsNoSplashSwitch(argument))
            return false;
    }
    return true;
}

QStringList CCompressorApp::InputFiles(const QStringList& arguments) {
    QStringList files;
    for (const QString& argument : arguments.mid(1)) {
        if (argument.startsWith(QLatin1Char('-')) || IsNoSplashSwitch(argument))
            continue;
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        if (!path.isEmpty())
            files.append(QFileInfo(path).absoluteFilePath());
    }
    return files;
}

int CCompressorApp::InitInstance() {
    EnableSplash(ShowSplashRequested(arguments()));
    CCompressorDlg dialog;
    // Taken as if dropped on the window: the same endings, no duplicates.
    dialog.AddDroppedFiles(InputFiles(arguments()));
    dialog.exec();
    return 0;
}
