#include "CompressorApp.h"

#include "CloseSignals.h"
#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "InstanceChannel.h"
#include "Splash.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>

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
    const QStringList files = InputFiles(arguments());
    // A window already runs for this user: it takes the files, this start ends.
    if (zem::app::InstanceChannel::HandOver(files))
        return 0;
    zem::app::InstanceChannel channel;
    // Without the socket the window still works, only alone.
    if (!channel.Listen()) {
        const QString socket = zem::app::InstanceChannel::SocketPath();
        if (socket.isEmpty())
            std::fprintf(stderr,
                         "No folder of this user's alone for the window's socket: later starts open "
                         "windows of their own\n");
        else
            std::fprintf(stderr, "Cannot listen on %s: later starts open windows of their own\n",
                         QFile::encodeName(socket).constData());
    }
    EnableSplash(ShowSplashRequested(arguments()));
    CCompressorDlg dialog;
    QObject::connect(&channel, &zem::app::InstanceChannel::filesArrived, &dialog,
                     [&dialog](const QStringList& handed) { dialog.TakeHandedFiles(handed); });
    zem::app::CloseOnSignals(&dialog);
    // Taken as if dropped on the window: the same endings, no duplicates.
    dialog.AddDroppedFiles(files);
    dialog.exec();
    return 0;
}
