#pragma once
// Every message box of the program (the window's questions and warnings as
// well as the media layer's failure reports) goes through ShowMessageBox, so
// tests (and a command-line build) can see and answer them without a person.
#include <functional>
#include <string>

class QWidget;

// Button sets and answers, with the values the program's texts were written for.
constexpr int MB_OK = 0x0;
constexpr int MB_OKCANCEL = 0x1;
constexpr int MB_YESNO = 0x4;
constexpr int MB_ICONERROR = 0x10;
constexpr int MB_ICONQUESTION = 0x20;
constexpr int MB_ICONWARNING = 0x30;
constexpr int MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr const char* kMessageBoxCaption = "ZemConverter";

// (text, caption, flags) -> answer.
using MessageBoxHook = std::function<int(const std::string&, const std::string&, int)>;

// Shows a modal box over `parent` (QMessageBox when a QApplication exists;
// otherwise the text goes to standard error and the answer is IDOK / IDYES)
// and returns the answer. `text` is UTF-8.
int ShowMessageBox(const std::string& text, const std::string& caption = kMessageBoxCaption, int flags = MB_OK,
                   QWidget* parent = nullptr);

// The real box: shows it and sets the answer, or returns false (no QApplication).
// Installed at start-up by zem_dshowutil_widgets (MessageBoxWidget.cpp), so that
// programs without Qt Widgets (zemconvert) print the text instead.
using MessageBoxShower = bool (*)(const std::string& text, const std::string& caption, int flags, QWidget* parent,
                                  int* answer);
void SetMessageBoxShower(MessageBoxShower shower);

// Replaces the box with a hook (empty: the real box again); returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
