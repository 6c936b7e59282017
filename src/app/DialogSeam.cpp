#include "DialogSeam.h"

#include <QDesktopServices>
#include <QFileDialog>

namespace zem::app {

namespace {
FileDialogHandler g_fileDialogHandler;
UrlOpener g_urlOpener;
} // namespace

void SetFileDialogHandler(FileDialogHandler handler) {
    g_fileDialogHandler = std::move(handler);
}

void SetUrlOpener(UrlOpener opener) {
    g_urlOpener = std::move(opener);
}

bool OpenUrl(const QUrl& url) {
    if (g_urlOpener)
        return g_urlOpener(url);
    return QDesktopServices::openUrl(url);
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
        if (!request.initialPath.isEmpty())
            dialog.selectFile(request.initialPath);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(request.defaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog.selectFile(request.initialPath);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

} // namespace zem::app
