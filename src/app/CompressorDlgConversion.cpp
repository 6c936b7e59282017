// The Convert and Stop buttons, the position timer, the graph's event
// messages and the window's side of the conversion engine: the engine runs
// each job, the window waits for it while it keeps handling its messages.

#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "DlgTexts.h"
#include "FileListModel.h"
#include "GraphEventNames.h"
#include "GraphState.h"
#include "MessageBoxSeam.h"
#include "NiceSliderCtrl.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTableView>
#include <QTimer>
#include <QTimerEvent>

using namespace zem::app;

void CCompressorDlg::OnConvertClicked() {
    // The button is disabled while a run goes on; a click queued before that
    // must not start a run inside the running one.
    if (m_runActive || m_run.converting())
        return;
    UpdateData(true);
    // The rows are fixed now: files added meanwhile wait for the next run.
    std::vector<QPersistentModelIndex> rows;
    if (m_convertAll == 1) {
        for (int row = 0; row < RowCount(); ++row)
            rows.emplace_back(m_rows->index(row, kColInput));
    } else if (const int selected = GetSelectedRow(); selected >= 0) {
        rows.emplace_back(m_rows->index(selected, kColInput));
    }
    if (rows.empty())
        return;
    m_runActive = true;
    // The last run's count or failure is not this run's.
    m_failureShown = false;
    SetMessageText(std::string());
    m_runRows = std::move(rows);
    struct EndOfRun {
        CCompressorDlg& window;
        ~EndOfRun() {
            window.m_runActive = false;
            window.m_failureShown = false;
            window.m_runRow = QPersistentModelIndex();
            window.m_runRows.clear();
            window.m_runIndex = 0;
        }
    } endOfRun{*this};
    // Off from the first file to the end of the last, not only while each converts.
    EnableControls(false);
    RunTally tally;
    for (m_runIndex = 0; m_runIndex < m_runRows.size() && !m_closing; ++m_runIndex) {
        m_runRow = m_runRows[m_runIndex];
        if (m_runRow.isValid())
            ConvertRunRow(tally);
    }
    m_runRow = QPersistentModelIndex();
    if (m_closing)
        return;
    // The run is over before the list is the user's again.
    m_runActive = false;
    EnableControls(true);
    const int selected = GetSelectedRow();
    if (selected >= 0)
        SelectJob(selected);
    ShowRunSummary(tally);
    UpdateData(false);
}

void CCompressorDlg::ConvertRunRow(RunTally& tally) {
    QCoreApplication::processEvents();
    int row = RunRow();
    if (row < 0)
        return;
    m_selectingForRun = true;
    SelectRow(row);
    m_selectingForRun = false;
    // The job is made from the settings as they are at the start of its file.
    UpdateData(true);
    SelectJob(row);
    // Opening the file gave the transport its buttons back: not during a run.
    EnableControls(false);
    m_fileList->scrollTo(m_rows->index(row, kColInput), QAbstractItemView::EnsureVisible);

    // No output may replace another file of the list.
    std::vector<std::string> others;
    for (int other = 0; other < RowCount(); ++other) {
        if (other != row)
            others.push_back(CellText(other, kColInput).toStdString());
    }
    m_run.SetOtherInputs(std::move(others));

    // Looked at again here: names may have changed since they were chosen,
    // and files may have appeared.
    QString conflict;
    const OutputClash clash = OutputConflict(row, CellText(row, kColOutput), true, conflict);
    if (clash != OutputClash::None) {
        ShowRowFailure(row,
                       clash == OutputClash::IsInput ? zem::FailureCode::OutputIsInput : zem::FailureCode::OutputBusy,
                       conflict);
        ++tally.failed;
        return;
    }

    // The window's timer moves the progress while the job runs.
    StartPositionTimer();
    if (m_run.OnConvert() != zem::FailureCode::None) {
        StopPositionTimer();
        ++tally.failed;
        return;
    }
    // Where the run is, from the start of its first file.
    if (m_runRows.size() > 1)
        SetMessageText(RunPlaceText().toStdString());
    WaitForJob();
    StopPositionTimer();
    if (m_run.result() == zem::JobResult::Failed)
        ++tally.failed;
    else
        ++tally.converted;
}

void CCompressorDlg::WaitForJob() {
    while (m_run.converting()) {
        if (m_closing) {
            EndConversionForClose();
            break;
        }
        QEventLoop wait;
        QTimer::singleShot(kConversionWaitMs, &wait, &QEventLoop::quit);
        wait.exec();
    }
}

QString CCompressorDlg::RunPlaceText() const {
    return Translate(QString::fromLatin1(kTextRunAt))
        .replace(QLatin1String("{n}"), QString::number(m_runIndex + 1))
        .replace(QLatin1String("{count}"), QString::number(m_runRows.size()));
}

void CCompressorDlg::ShowRunSummary(const RunTally& tally) {
    // The run's end says how it went; a lone failure's cause stays in view.
    m_failureShown = false;
    const int count = tally.converted + tally.failed;
    if (tally.failed > 0 && count > 1)
        SetMessageText(Translate(QString::fromLatin1(kTextRunFailed))
                           .replace(QLatin1String("{failed}"), QString::number(tally.failed))
                           .replace(QLatin1String("{count}"), QString::number(count))
                           .toStdString());
    else if (tally.failed == 0 && tally.converted > 1)
        SetMessageText(Translate(QString::fromLatin1(kTextRunConverted))
                           .replace(QLatin1String("{count}"), QString::number(tally.converted))
                           .toStdString());
}

void CCompressorDlg::OnStopClicked() {
    m_run.OnStopClicked();
}

void CCompressorDlg::EndConversionForClose() {
    m_closing = true;
    // A finishing job does not load its file again for a window that is closing.
    m_run.SetReloadsPreview(false);
    if (!m_run.converting())
        return;
    if (m_run.finishing())
        // The mux is under way further up this thread's stack: it gives up at
        // its next cycle, closes its files and removes what it wrote.
        m_run.Abandon();
    else
        // What was captured until now is still written, as for Stop; the
        // file is not loaded again for a window that is closing.
        m_run.OnStopClicked();
}

void CCompressorDlg::OnPositionTimer() {
    UpdatePosition();
    m_run.UpdateProgress();
}

void CCompressorDlg::timerEvent(QTimerEvent* event) {
    if (m_timerId != 0 && event->timerId() == m_timerId) {
        OnPositionTimer();
        return;
    }
    QDialog::timerEvent(event);
}

bool CCompressorDlg::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(zem::WM_GRAPH_EVENT)) {
        OnGraphNotify();
        return true;
    }
    return QDialog::event(event);
}

void CCompressorDlg::OnGraphNotify() {
    m_previewEnded = false;
    m_run.OnGraphNotify();
    // The end of a previewed file returns the player to its first picture;
    // a slider press that led there ends with it, so its release cannot
    // move the position back to the end.
    if (m_previewEnded && !m_run.converting()) {
        m_positionSlider->CancelGesture();
        RewindAndStop();
    }
    m_previewEnded = false;
}

void CCompressorDlg::LogGraphEvent(long code) {
    if (code == EC_COMPLETE && !m_run.converting())
        m_previewEnded = true;
    // The graph's log names every event; only a code it does not know is told.
    if (!zem::media::EventName(code))
        ShowMessage(QString::asprintf(kUnknownEventFormat, unsigned(code)).toStdString());
}

// ---- the engine's view of the window

void CCompressorDlg::OnJobEvent(const zem::JobEvent& event) {
    // The run's own row, wherever it is now; never whichever is selected.
    const int row = RunRow();
    const bool changed = event.state != m_jobState;
    m_jobState = event.state;
    switch (event.state) {
    case zem::JobState::Converting:
        SetProgress(std::max(0, event.percent));
        m_rows->ApplyJobEvent(row, event);
        if (changed)
            SetMessageText(zem::kTextConverting);
        break;
    case zem::JobState::Writing:
        SetProgress(100);
        m_rows->ApplyJobEvent(row, event);
        SetMessageText(zem::kTextWriting);
        break;
    case zem::JobState::Completed:
    case zem::JobState::Stopped: {
        // The graph is the preview's again, opened and stopped.
        g_playState = kPlayStopped;
        SetProgress(0);
        // A stop that kept an earlier output says where its part went; an
        // input that ended early is written, but said where a failure's reason goes.
        QString note;
        if (!m_run.stoppedBeside().empty())
            note = Shown(m_run.stoppedBeside());
        else if (!m_run.inputEndedEarly().empty())
            note = Shown(m_run.inputEndedEarly());
        const bool stopped = event.state == zem::JobState::Stopped;
        m_rows->ApplyJobEvent(row, event, note);
        SetMessageText(note.isEmpty() ? std::string(stopped ? zem::kTextStopped : zem::kTextCompleted)
                                      : note.toStdString());
        QApplication::beep();
        break;
    }
    case zem::JobState::Failed:
        g_playState = kPlayStopped;
        SetProgress(0);
        ShowRowFailure(row, event.failure.code, Shown(event.failure.Said()));
        QApplication::beep();
        break;
    }
}

void CCompressorDlg::ShowMessage(const zem::UserText& text, const zem::UserText& cause) {
    // A run goes on unattended: its failures are told in the rows and the
    // Messages line, not by boxes that wait for someone to click.
    if (m_runActive) {
        LogFailure(cause.empty() ? text.English() : text.English() + "\n\n" + cause.English());
        return;
    }
    QString shown = Shown(text);
    if (!cause.empty())
        shown += QStringLiteral("\n\n") + Shown(cause);
    ShowMessageBox(shown.toStdString(), kMessageBoxCaption, MB_OK, this);
}

void CCompressorDlg::ShowRowFailure(int row, zem::FailureCode code, const QString& reason) {
    // The row shows "ERROR(n)"; the reason in words goes to its tooltip and
    // the Messages line, where it stays until the next failure or the run's end.
    m_rows->SetFailed(row, code, reason);
    m_failureShown = false;
    SetMessageText(reason.toStdString());
    m_failureShown = m_runActive;
}

void CCompressorDlg::SetMessageText(const std::string& text) {
    if (m_failureShown)
        return;
    // The engine's texts are English keys; the window's own are translated already.
    m_messageText = Translate(QString::fromStdString(text));
    ShowMessageLine();
}

void CCompressorDlg::ShowMessageLine() {
    // A notice given while nothing converts stays until it has been read.
    if (m_messagesLine != nullptr)
        m_messagesLine->Show(m_messageText, !m_runActive && !m_run.converting());
}

void CCompressorDlg::SetProgress(int percent) {
    ControlAs<QProgressBar>(IDC_PROGRESS)->setValue(percent);
}

void CCompressorDlg::PumpMessages() {
    QCoreApplication::processEvents();
}

void CCompressorDlg::StartPositionTimer() {
    StopPositionTimer();
    m_timerId = startTimer(kPositionTimerMs);
}

void CCompressorDlg::StopPositionTimer() {
    if (m_timerId != 0)
        killTimer(m_timerId);
    m_timerId = 0;
}

QObject* CCompressorDlg::EventTarget() {
    return this;
}

QWidget* CCompressorDlg::VideoOwner() {
    return Control(IDC_VIDEO_AREA);
}
