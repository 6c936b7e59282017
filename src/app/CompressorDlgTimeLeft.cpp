// The time left in the Messages line while files convert: for the current
// file and, in an "All files" run, for the rest of the list as well. It looks
// at the run once a second from outside; the run itself knows nothing of it.

#include "CompressorDlg.h"
#include "FileListModel.h"
#include "DlgConstants.h"
#include "DlgTexts.h"
#include "MediaLengths.h"

#include <QProgressBar>
#include <QTableView>
#include <QTimer>

using namespace zem::app;

void CCompressorDlg::InitTimeLeft() {
    m_mediaLengths = std::make_unique<MediaLengths>(kLengthProbeTimeoutS);
    m_mediaLengths->SetOnRead([this](const QString& path) { OnProbed(path); });
    m_timeLeftClock.start();
    auto* timer = new QTimer(this);
    timer->setInterval(kTimeLeftTickMs);
    connect(timer, &QTimer::timeout, this, [this] { OnTimeLeftTick(); });
    timer->start();
    // Each step of the progress bar is a fresh look too: a short file may be
    // done before the timer's first tick.
    connect(ControlAs<QProgressBar>(IDC_PROGRESS), &QProgressBar::valueChanged, this, [this] { OnTimeLeftTick(); });
}

int64_t CCompressorDlg::RowLength(int row) {
    return m_rows->WorkLength(row);
}

void CCompressorDlg::OnTimeLeftTick() {
    // Writing the output is not converting: the next tick that sees a job
    // running again sees a new one.
    if (!m_run.converting() || m_run.writing()) {
        m_timeLeftJobSeen = false;
        return;
    }
    const int64_t now = m_timeLeftClock.elapsed();
    const size_t count = m_runRows.size();
    if (!m_timeLeftJobSeen) {
        m_timeLeftJobSeen = true;
        // The run's first file starts a new estimate; the later ones add to it.
        if (m_runIndex == 0)
            m_timeLeft.StartRun();
        m_timeLeftOrigin = m_run.JobStart();
        m_timeLeft.StartFile(m_run.JobLength(), now);
    }
    m_timeLeft.Update(m_run.Position() - m_timeLeftOrigin, now);
    if (!m_timeLeft.Ready()) {
        // Where the run is, from its first file on.
        if (count > 1)
            SetMessageText(RunPlaceText().toStdString());
        return;
    }

    const QString fileLeft = QString::fromStdString(TimeLeftEstimate::Format(m_timeLeft.FileSecondsLeft()));
    QString text = Translate(QString::fromLatin1(kTextTimeLeft)).replace(QLatin1String("{time}"), fileLeft);
    if (m_runIndex + 1 < count) {
        int64_t laterLength = 0;
        int laterFiles = 0;
        bool known = true;
        for (size_t later = m_runIndex + 1; later < count; ++later) {
            if (!m_runRows[later].isValid())
                continue;
            const int64_t length = RowLength(m_runRows[later].row());
            known = known && length >= 0;
            laterLength += std::max<int64_t>(0, length);
            ++laterFiles;
        }
        // Until every later file's length is read, only the current file's time shows.
        if (known) {
            text = Translate(QString::fromLatin1(kTextRunTimeLeft))
                       .replace(QLatin1String("{n}"), QString::number(m_runIndex + 1))
                       .replace(QLatin1String("{count}"), QString::number(count))
                       .replace(QLatin1String("{time}"), fileLeft)
                       .replace(QLatin1String("{total}"), QString::fromStdString(TimeLeftEstimate::Format(
                                                              m_timeLeft.RunSecondsLeft(laterLength, laterFiles))));
        }
    }
    SetMessageText(text.toStdString());
}
