#include "MessageBoxSeam.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_hookMutex;
MessageBoxHook g_hook;

int ShowWithQt(const std::string& text, const std::string& caption, int flags, QWidget* parent)
{
    const QString body = QString::fromUtf8(text.c_str());
    const QString title = QString::fromUtf8(caption.c_str());
    const int icon = flags & 0xF0;
    const QMessageBox::Icon qtIcon = icon == MB_ICONERROR      ? QMessageBox::Critical
                                     : icon == MB_ICONQUESTION ? QMessageBox::Question
                                     : icon == MB_ICONWARNING  ? QMessageBox::Warning
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
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return IDOK;
    }
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, int flags, QWidget* parent)
{
    MessageBoxHook hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_hook;
    }
    if (hook) return hook(text, caption, flags);
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) return ShowWithQt(text, caption, flags, parent);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard lock(g_hookMutex);
    MessageBoxHook previous = std::move(g_hook);
    g_hook = std::move(hook);
    return previous;
}
