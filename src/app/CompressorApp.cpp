#include "CompressorApp.h"

#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "Splash.h"

namespace {
constexpr const char* kNoSplashSwitches[] = {"-nosplash", "--nosplash", "/nosplash"};
}

CCompressorApp::CCompressorApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(zem::app::kAppName));
    setOrganizationName(QString::fromLatin1(zem::app::kAppName));
}

bool CCompressorApp::ShowSplashRequested(const QStringList& arguments) {
    for (const QString& argument : arguments.mid(1)) {
        for (const char* noSplash : kNoSplashSwitches) {
            if (argument.compare(QLatin1String(noSplash), Qt::CaseInsensitive) == 0)
                return false;
        }
    }
    return true;
}

int CCompressorApp::InitInstance() {
    EnableSplash(ShowSplashRequested(arguments()));
    CCompressorDlg dialog;
    dialog.exec();
    return 0;
}
