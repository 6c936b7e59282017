// The window without a mouse: Tab goes from control to control in reading
// order (the list is one stop, the arrows move within it), Enter previews the
// list's row, Delete removes it, and every push button has an Alt+letter.

#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "KeyTable.h"
#include "NiceSliderCtrl.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QTableView>

using namespace zem::app;

namespace {

// Tab's order: the list's buttons, the list, the preview and its transport,
// then the options from left to right, and Convert and Stop last.
constexpr int kTabOrder[] = {
    IDC_ADD,
    IDC_CHANGE_OUTPUT,
    IDC_DELETE,
    IDC_DELETE_ALL,
    IDC_HELP,
    IDC_FILE_LIST,
    IDC_POSITION_SLIDER,
    IDC_PLAY,
    IDC_PAUSE,
    IDC_STOP,
    IDC_FRAME_STEP,
    IDC_MUTE,
    IDC_SELECTION_START,
    IDC_SELECTION_END,
    IDC_CLEAR_SELECTION,
    IDC_QUALITY_HD,
    IDC_QUALITY_HIGH_FRAME,
    IDC_QUALITY_STANDARD,
    IDC_QUALITY_MIDDLE,
    IDC_QUALITY_LOW,
    IDC_SELECTED_FILE,
    IDC_ALL_FILES,
    IDC_MONITORING,
    IDC_SIZE_96,
    IDC_SIZE_176,
    IDC_SIZE_128,
    IDC_SIZE_208,
    IDC_SIZE_160,
    IDC_SIZE_320,
    IDC_KEEP_PROPORTIONS,
    IDC_ROTATE_NONE,
    IDC_ROTATE_LEFT,
    IDC_ROTATE_RIGHT,
    IDC_SUBTITLE,
    IDC_SUBTITLE_BIG,
    IDC_SUBTITLE_MIDDLE,
    IDC_SUBTITLE_SMALL,
    IDC_CONVERT,
    IDC_STOP_CONVERSION,
};

constexpr const char* kEllipsis = " ...";

} // namespace

QString CCompressorDlg::WithMnemonic(const QString& text, char letter) {
    if (text.contains(QLatin1Char('&')))
        return text;
    // A text that has the letter marks it; any other (Korean, Chinese) gets
    // it in brackets, before a closing ellipsis.
    const qsizetype at = text.indexOf(QLatin1Char(letter), 0, Qt::CaseInsensitive);
    if (at >= 0)
        return text.left(at) + QLatin1Char('&') + text.mid(at);
    const QString mark = QStringLiteral("(&%1)").arg(QLatin1Char(letter));
    if (text.endsWith(QLatin1String(kEllipsis)))
        return text.left(text.size() - qsizetype(qstrlen(kEllipsis))) + mark + QLatin1String(kEllipsis);
    return text + mark;
}

void CCompressorDlg::ApplyMnemonics() {
    for (const Mnemonic& mnemonic : kMnemonics) {
        if (auto* button = ControlAs<QAbstractButton>(mnemonic.id))
            button->setText(WithMnemonic(button->text(), mnemonic.letter));
    }
}

void CCompressorDlg::SetTabOrder() {
    // Cells are not tab stops: Tab leaves the list, the arrows walk it.
    m_fileList->setTabKeyNavigation(false);
    QWidget* previous = nullptr;
    for (const int id : kTabOrder) {
        QWidget* control = Control(id);
        if (control == nullptr)
            continue;
        if (previous != nullptr)
            setTabOrder(previous, control);
        previous = control;
    }
}

bool CCompressorDlg::OnListKey(QKeyEvent* event) {
    const KeyRow* row = FindKey(event->key(), KeyPlace::List);
    if (row == nullptr)
        return false;
    switch (row->action) {
    case KeyAction::DeleteRow:
        OnDelete();
        return true;
    case KeyAction::PlayRow: {
        // The row plays in the preview (opened first if it is not yet).
        const int selected = GetSelectedRow();
        if (selected < 0 || m_runActive)
            return true;
        if (m_inputFile != CellText(selected, kColInput) || !m_session.Handles().pGB)
            OpenSelectedRow(selected);
        if (m_session.Handles().pGB)
            OnPlay();
        return true;
    }
    default:
        return false;
    }
}
