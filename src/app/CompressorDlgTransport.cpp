// The preview's transport row (Play, Pause, Stop, Frame Step, Mute), the
// position slider's seeking and the selection range each row keeps in its
// "|<" and ">|" cells.

#include "CompressorDlg.h"
#include "FileListModel.h"
#include "DlgConstants.h"
#include "GraphState.h"
#include "NiceSliderCtrl.h"

#include <QAbstractButton>
#include <QTableView>

using namespace zem::app;

namespace {
// What has nothing to act on without an open file (Mute is a setting: it stays).
constexpr int kNeedAFile[] = {IDC_POSITION_SLIDER, IDC_PLAY,          IDC_PAUSE,          IDC_STOP, IDC_FRAME_STEP,
                              IDC_SELECTION_START, IDC_SELECTION_END, IDC_CLEAR_SELECTION};
} // namespace

void CCompressorDlg::EnableTransport(bool fileOpen) {
    for (const int id : kNeedAFile)
        Control(id)->setEnabled(fileOpen);
}

void CCompressorDlg::OnPlay() {
    RunGraph(m_session.Handles().pMC.get());
    // Started even after a failed Run: the ticks then only find no position.
    StartPositionTimer();
}

void CCompressorDlg::OnPause() {
    if (g_playState == kPlayPaused) {
        RunGraph(m_session.Handles().pMC.get());
        StartPositionTimer();
        return;
    }
    StopPositionTimer();
    PauseGraph(m_session.Handles().pMC.get());
}

void CCompressorDlg::OnStop() {
    RewindAndStop();
}

void CCompressorDlg::OnFrameStep() {
    if (m_session.Handles().pGB)
        StepOneFrame();
}

HRESULT CCompressorDlg::StepOneFrame() {
    const auto step = QueryInterface<IVideoFrameStep>(m_session.Handles().pGB);
    if (!step)
        return E_NOINTERFACE;
    // A running graph is paused (and its timer stopped) before it steps.
    if (g_playState != kPlayPaused)
        OnPause();
    const HRESULT hr = step->Step(1, nullptr);
    // Stepping pauses even a stopped graph: Pause and Stop must act on it then.
    if (SUCCEEDED(hr))
        g_playState = kPlayPaused;
    UpdatePosition();
    return hr;
}

void CCompressorDlg::OnMute() {
    g_muted = 1 - g_muted;
    // The button shows the toggle, however it was reached.
    if (auto* button = ControlAs<QAbstractButton>(IDC_MUTE))
        button->setChecked(g_muted == 1);
    SetMute(m_session.Handles().pGB.get(), g_muted == 1);
}

void CCompressorDlg::OnPositionScroll(int code) {
    const auto& handles = m_session.Handles();
    if (!handles.pMS || !handles.pMC)
        return;
    const int percent = m_positionSlider->value();
    OAFilterState state = State_Stopped;
    handles.pMC->GetState(kScrollStateWaitMs, &state);
    REFERENCE_TIME target = m_duration * percent / kSliderMax;
    handles.pMS->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    // The end of a drag puts the graph back into the state it had; the play
    // state the buttons know stays as it is.
    if (code == CNiceSliderCtrl::kEndTrack) {
        if (state == State_Stopped)
            handles.pMC->Stop();
        else if (state == State_Running)
            handles.pMC->Run();
    }
    UpdatePositionText(target);
}

void CCompressorDlg::ShowSelection(int64_t start, int64_t end) {
    if (start < end && m_duration != 0) {
        m_positionSlider->ClearSelection();
        m_positionSlider->repaint();
        m_positionSlider->SetSelection(int(start * kSliderMax / m_duration), int(end * kSliderMax / m_duration));
        m_positionSlider->repaint();
        return;
    }
    m_positionSlider->ClearSelection();
}

void CCompressorDlg::OnStartSelection() {
    MarkSelectionEdge(SelectionEdge::Start);
}

void CCompressorDlg::OnEndSelection() {
    MarkSelectionEdge(SelectionEdge::End);
}

void CCompressorDlg::MarkSelectionEdge(SelectionEdge edge) {
    const auto& seeking = m_session.Handles().pMS;
    if (!seeking)
        return;
    REFERENCE_TIME position = 0;
    if (FAILED(seeking->GetCurrentPosition(&position)))
        return;
    if (edge == SelectionEdge::Start) {
        m_selectionStart = position;
        SetTimeCell(kColSelStart, m_selectionStart, true);
        m_selectionEnd = GetTimeCell(kColSelEnd);
        // An end at or before the new start (or none) becomes the file's end.
        if (m_selectionEnd <= m_selectionStart) {
            m_selectionEnd = m_duration;
            SetTimeCell(kColSelEnd, m_duration, true);
        }
    } else {
        m_selectionEnd = position;
        m_selectionStart = GetTimeCell(kColSelStart);
        SetTimeCell(kColSelEnd, m_selectionEnd, true);
        // A start at or after the new end (or none) becomes the file's start.
        if (m_selectionStart >= m_selectionEnd)
            m_selectionStart = 0;
        if (m_selectionStart == 0)
            SetTimeCell(kColSelStart, 0, true);
    }
    SetTimeCell(kColTime, GetTimeCell(kColSelEnd) - GetTimeCell(kColSelStart), false);
    ShowSelection(m_selectionStart, m_selectionEnd);
}

void CCompressorDlg::OnClearSelection() {
    const int row = GetSelectedRow();
    if (row < 0)
        return;
    m_rows->SetRange(row, {}, {});
    // With the end cell empty this puts the whole length back into "Time".
    ShowDuration(row);
    m_positionSlider->ClearSelection();
}
