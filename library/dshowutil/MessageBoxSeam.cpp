#include "MessageBoxSeam.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_hookMutex;
MessageBoxHook g_hook;
MessageBoxShower g_shower; // the real box, when the program links zem_dshowutil_widgets

} // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, int flags, QWidget* parent) {
    MessageBoxHook hook;
    MessageBoxShower shower = nullptr;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_hook;
        shower = g_shower;
    }
    if (hook)
        return hook(text, caption, flags);
    int answer = 0;
    if (shower && shower(text, caption, flags, parent, &answer))
        return answer;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard lock(g_hookMutex);
    MessageBoxHook previous = std::move(g_hook);
    g_hook = std::move(hook);
    return previous;
}

void SetMessageBoxShower(MessageBoxShower shower) {
    std::lock_guard lock(g_hookMutex);
    g_shower = shower;
}
