#pragma once
// The keys the window answers, each written once: the window acts on them
// from this table, and the user's guides may name no other.

#include "DlgConstants.h"

#include <Qt>

namespace zem::app {

enum class KeyPlace {
    Window, // anywhere in the window but the file list
    List,   // the file list has the focus
};

enum class KeyAction {
    Help,       // opens the user's guide
    Close,      // closes the window; never while files convert
    PressFocus, // presses the focused push button; elsewhere closes the window, never while files convert
    PlayRow,    // plays the selected row in the preview
    DeleteRow,  // removes the selected row
    NextControl,
};

struct KeyRow {
    Qt::Key key;
    const char* name; // as the guides write it
    KeyPlace place;
    KeyAction action;
};

inline constexpr KeyRow kKeys[] = {
    {Qt::Key_F1, "F1", KeyPlace::Window, KeyAction::Help},
    {Qt::Key_Escape, "Esc", KeyPlace::Window, KeyAction::Close},
    {Qt::Key_Return, "Enter", KeyPlace::Window, KeyAction::PressFocus},
    {Qt::Key_Enter, "Enter", KeyPlace::Window, KeyAction::PressFocus},
    {Qt::Key_Return, "Enter", KeyPlace::List, KeyAction::PlayRow},
    {Qt::Key_Enter, "Enter", KeyPlace::List, KeyAction::PlayRow},
    {Qt::Key_Delete, "Delete", KeyPlace::List, KeyAction::DeleteRow},
    {Qt::Key_Tab, "Tab", KeyPlace::Window, KeyAction::NextControl},
};

// The action of `key` in `place`; nullptr when the window leaves it to Qt.
constexpr const KeyRow* FindKey(int key, KeyPlace place) {
    for (const KeyRow& row : kKeys) {
        if (row.key == key && row.place == place)
            return &row;
    }
    return nullptr;
}

// The letter each push button answers to with Alt, in every language.
struct Mnemonic {
    int id;
    char letter;
};
inline constexpr Mnemonic kMnemonics[] = {
    {IDC_ADD, 'A'},  {IDC_CHANGE_OUTPUT, 'O'}, {IDC_DELETE, 'D'},          {IDC_DELETE_ALL, 'L'},
    {IDC_HELP, 'H'}, {IDC_CONVERT, 'C'},       {IDC_STOP_CONVERSION, 'S'},
};

} // namespace zem::app
