#include "DialogSeam.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>

namespace zem::app {

namespace {
FileDialogHandler g_fileDialogHandler;
UrlOpener g_urlOpener;

// The desktop's program that opens an address with what the user chose for it.
constexpr const char* kDesktopOpener = "xdg-open";

// The dialog's own name for its line of typed names.
constexpr const char* kFileNameEditName = "fileNameEdit";

// Names typed as `"a.mp4" "b.mkv"` (or one name without quotes).
QStringList TypedNames(const QString& text) {
    if (!text.contains(QLatin1Char('"')))
        return {text.trimmed()};
    QStringList names;
    const QStringList parts = text.split(QLatin1Char('"'));
    for (qsizetype i = 1; i < parts.size(); i += 2) {
        if (!parts[i].isEmpty())
            names.append(parts[i]);
    }
    return names;
}

} // namespace

QStringList WithTypedFiles(const QStringList& selected, const QString& typed, const QString& folder) {
    // The dialog keeps only the typed names its filter shows; the others are
    // files the user asked for all the same.
    QStringList files = selected;
    for (const QString& name : TypedNames(typed)) {
        if (name.isEmpty())
            continue;
        const QString path = QDir::cleanPath(QDir(folder).absoluteFilePath(name));
        if (QFileInfo(path).isFile() && !files.contains(path))
            files.append(path);
    }
    return files;
}

void SetFileDialogHandler(FileDialogHandler handler) {
    g_fileDialogHandler = std::move(handler);
}

void SetUrlOpener(UrlOpener opener) {
    g_urlOpener = std::move(opener);
}

void OpenUrl(const QUrl& url, QObject* owner, std::function<void()> failed) {
    if (g_urlOpener) {
        if (!g_urlOpener(url))
            failed();
        return;
    }
    // Qt's own hand-over reports only that the opener started; the opener
    // itself says by its exit code whether anything took the address.
    auto* opener = new QProcess(owner);
    const auto done = [opener, failed](bool opened) {
        opener->disconnect();
        opener->deleteLater();
        if (!opened)
            failed();
    };
    QObject::connect(opener, &QProcess::finished, owner, [done](int code, QProcess::ExitStatus status) {
        done(status == QProcess::NormalExit && code == 0);
    });
    QObject::connect(opener, &QProcess::errorOccurred, owner, [done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(false);
    });
    opener->start(QString::fromLatin1(kDesktopOpener), {url.toString()});
}

QStringList RunFileDialog(QWidget* parent, const FileDialogRequest& request) {
    if (g_fileDialogHandler)
        return g_fileDialogHandler(request);
    QFileDialog dialog(parent, request.title);
    // The filter list shows its labels only, the patterns stay behind them.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(request.nameFilters);
    if (request.kind == FileDialogRequest::Kind::OpenFiles) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        if (!request.initialFolder.isEmpty() && QFileInfo(request.initialFolder).isDir())
            dialog.setDirectory(request.initialFolder);
        if (!request.initialPath.isEmpty())
            dialog.selectFile(request.initialPath);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(request.defaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.selectFile(request.initialPath);
    }
    // Large enough that the columns of names, sizes and dates show whole.
    dialog.resize(dialog.sizeHint().expandedTo(request.minimumSize));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    if (request.kind == FileDialogRequest::Kind::OpenFiles) {
        if (const auto* typed = dialog.findChild<QLineEdit*>(QString::fromLatin1(kFileNameEditName)))
            return WithTypedFiles(dialog.selectedFiles(), typed->text(), dialog.directory().absolutePath());
    }
    return dialog.selectedFiles();
}

} // namespace zem::app
