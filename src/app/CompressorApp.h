#pragma once
// The application object: shows the main window modally and ends the process
// when it closes.

#include <QApplication>

class CCompressorApp : public QApplication {
    Q_OBJECT
public:
    CCompressorApp(int& argc, char** argv);

    // Runs the window; returns when it has closed.
    int InitInstance();

    // The one switch the command line knows: "-nosplash" (or "/nosplash")
    // starts without the splash picture.
    static bool ShowSplashRequested(const QStringList& arguments);

    // The files named on the command line (a file manager's "Open with", or
    // "zemconverter a.mkv b.vob"), as absolute paths; "file://" addresses are
    // taken as their local paths and switches are skipped.
    static QStringList InputFiles(const QStringList& arguments);
};
