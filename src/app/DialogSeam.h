#pragma once
// Every message box, file dialog and address handed to the desktop goes
// through these calls, so a test (or an automation) can answer them instead
// of a person.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace zem::app {

// Caption of every message box.
inline constexpr const char* kMessageBoxCaption = "ZemConverter";

struct MessageRequest {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};
using MessageHandler = std::function<QMessageBox::StandardButton(const MessageRequest&)>;

struct FileDialogRequest {
    enum class Kind { OpenFiles, SaveFile };
    Kind kind = Kind::OpenFiles;
    QString title;
    QStringList nameFilters; // Qt form: "Label (*.a *.b)"
    QString initialPath;
    QString defaultSuffix;
};
// The chosen paths; empty when the user cancelled.
using FileDialogHandler = std::function<QStringList(const FileDialogRequest&)>;
// Whether something (a browser) took the address.
using UrlOpener = std::function<bool(const QUrl&)>;

// An empty handler restores the real dialogs.
void SetMessageHandler(MessageHandler handler);
void SetFileDialogHandler(FileDialogHandler handler);
void SetUrlOpener(UrlOpener opener);

QMessageBox::StandardButton ShowMessage(QWidget* parent, const MessageRequest& request);
QStringList RunFileDialog(QWidget* parent, const FileDialogRequest& request);
// Hands the address to the desktop (QDesktopServices).
bool OpenUrl(const QUrl& url);

} // namespace zem::app
