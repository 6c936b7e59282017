#pragma once
// Every file dialog and address handed to the desktop goes through these
// calls, so a test (or an automation) can answer them instead of a person.
// Message boxes have their own seam, shared with the media layer's failure
// reports: ShowMessageBox in MessageBoxSeam.h.

#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QObject;
class QWidget;

namespace zem::app {

struct FileDialogRequest {
    enum class Kind { OpenFiles, SaveFile };
    Kind kind = Kind::OpenFiles;
    QString title;
    QStringList nameFilters; // Qt form: "Label (*.a *.b)"
    QString initialPath;     // the file the dialog starts on (saving)
    QString initialFolder;   // the folder it starts in (opening); empty: the working folder
    QString defaultSuffix;
    QSize minimumSize; // the dialog opens at least this large
};
// The chosen paths; empty when the user cancelled.
using FileDialogHandler = std::function<QStringList(const FileDialogRequest&)>;
// Whether something (a browser) took the address.
using UrlOpener = std::function<bool(const QUrl&)>;

// An empty handler restores the real dialogs.
void SetFileDialogHandler(FileDialogHandler handler);
void SetUrlOpener(UrlOpener opener);

QStringList RunFileDialog(QWidget* parent, const FileDialogRequest& request);
// The open dialog's choice with every typed name added that names a file in
// `folder` (`"a.mp4" "b.mkv"`, whichever filter was chosen).
QStringList WithTypedFiles(const QStringList& selected, const QString& typed, const QString& folder);
// Hands the address to the desktop's opener (xdg-open); `failed` runs later,
// on the thread of `owner`, when no opener is installed or it could not open
// the address.
void OpenUrl(const QUrl& url, QObject* owner, std::function<void()> failed);

} // namespace zem::app
