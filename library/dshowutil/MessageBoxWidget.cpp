// The message box as a QMessageBox (zem_dshowutil_widgets, linked whole into
// the programs that have a window).
#include "MessageBoxSeam.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace {

int ShowWithQt(const std::string& text, const std::string& caption, int flags, QWidget* parent) {
    const QString body = QString::fromUtf8(text.c_str());
    const QString title = QString::fromUtf8(caption.c_str());
    const int icon = flags & 0xF0;
    const QMessageBox::Icon qtIcon = icon == MB_ICONERROR         ? QMessageBox::Critical
                                     : icon == MB_ICONQUESTION    ? QMessageBox::Question
                                     : icon == MB_ICONWARNING     ? QMessageBox::Warning
                                     : icon == MB_ICONINFORMATION ? QMessageBox::Information
                                                                  : QMessageBox::NoIcon;
    const int buttons = flags & 0xF;
    QMessageBox box(qtIcon, title, body, QMessageBox::NoButton, parent);
    if (buttons == MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    } else if (buttons == MB_OKCANCEL) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        return IDOK;
    }
}

bool ShowWhenWindowed(const std::string& text, const std::string& caption, int flags, QWidget* parent, int* answer) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    *answer = ShowWithQt(text, caption, flags, parent);
    return true;
}

const bool kInstalled = [] {
    SetMessageBoxShower(&ShowWhenWindowed);
    return true;
}();

} // namespace
