// The preview side of the one media graph: opening the selected row through
// the conversion run, and the labels, slider and buttons that describe the
// opened file.

#include "CompressorDlg.h"
#include "FileListModel.h"
#include "DlgConstants.h"
#include "DlgTexts.h"
#include "GraphState.h"
#include "NiceSliderCtrl.h"
#include "PictureFit.h"
#include "Subtitles.h"
#include "dshowutil.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QTableView>
#include <algorithm>

using namespace zem::app;

void CCompressorDlg::PlaceVideoWindow(QWidget* video) {
    auto* area = ControlAs<QFrame>(IDC_VIDEO_AREA);
    if (video == nullptr) {
        for (QObject* child : area->children()) {
            if (auto* widget = qobject_cast<QWidget*>(child))
                video = widget;
        }
    }
    if (video == nullptr)
        return;
    // The picture fills the area inside its frame; with kept proportions it
    // keeps its display shape, centred on the area's black, as in the output.
    const QRect inside = area->contentsRect();
    long shownWide = 0, shownHigh = 0;
    const auto& basic = m_session.Handles().pBV;
    if (m_keepProportions == 0 || !basic || FAILED(basic->GetPreferredAspectRatio(&shownWide, &shownHigh)) ||
        shownWide <= 0 || shownHigh <= 0) {
        video->setGeometry(inside);
        return;
    }
    // A one-pixel picture whose pixel has the display shape.
    const zem::PictureRect fit = zem::FitInside(1, 1, uint32_t(shownWide), uint32_t(shownHigh),
                                                uint16_t(inside.width()), uint16_t(inside.height()));
    video->setGeometry(inside.x() + fit.x, inside.y() + fit.y, fit.width, fit.height);
}

void CCompressorDlg::SelectJob(int row) {
    if (row < 0 || row >= RowCount())
        return;
    // The graph is replaced: whatever played stops with it.
    StopPositionTimer();
    StopGraph(m_session.Handles().pMC.get());
    m_inputFile = CellText(row, kColInput);
    m_outputFile = CellText(row, kColOutput);
    m_previewRow = QPersistentModelIndex(m_rows->index(row, kColInput));

    // The job as the settings stand now: a run reads the controls just before.
    zem::ConversionJob job = MakeJob(m_inputFile.toStdString(), m_outputFile.toStdString(),
                                     RowTimeCell(row, kColSelStart), RowTimeCell(row, kColSelEnd));
    const zem::media::SubtitleOptions subtitles = StoredSubtitleOptions();
    job.subtitles = subtitles.enabled;
    job.subtitleHeight = subtitles.fontHeight;
    m_run.SelectJob(job);

    if (!m_session.Handles().pGB) {
        // Nothing could be opened (the run has told the user why): the labels
        // must not go on describing the previous file, and the transport has
        // nothing to move.
        EnableTransport(false);
        m_positionSlider->setValue(0);
        m_videoSizeText.clear();
        m_fileSizeText.clear();
        m_duration = 0;
        m_sliderPos = 0;
        m_positionSlider->ClearSelection();
        ControlAs<QLabel>(IDC_DURATION)->setText(QString::fromLatin1(kEmptyTimeText));
        ControlAs<QLabel>(IDC_POSITION)->setText(QString::fromLatin1(kEmptyTimeText));
        UpdateData(false);
        return;
    }
    for (const int id : {IDC_PLAY, IDC_PAUSE, IDC_STOP, IDC_SELECTION_START, IDC_SELECTION_END, IDC_CLEAR_SELECTION})
        Control(id)->setEnabled(true);
    ShowFileSize(m_inputFile);
    ShowPictureSize();
    ShowDuration(row);
    ResetPositionSlider();
    Control(IDC_FRAME_STEP)->setEnabled(CanStepFrames());
    // The mute toggle holds for every file opened after it.
    if (g_muted == 1)
        SetMute(m_session.Handles().pGB.get(), true);
    m_selectionStart = RowTimeCell(row, kColSelStart);
    m_selectionEnd = RowTimeCell(row, kColSelEnd);
    if (m_selectionStart != 0 || m_selectionEnd != 0)
        ShowSelection(m_selectionStart, m_selectionEnd);
    else
        m_positionSlider->ClearSelection();
    m_sliderPos = 0;
    RewindAndStop();
    TellMissingSoundOutput();
    if (m_session.AudioOnly())
        TellSoundOnly(row);
}

void CCompressorDlg::TellSoundOnly(int row) {
    const QString cause = Translate(QString::fromLatin1(kTextNoPreviewPictures));
    // A row that converted or failed keeps what its run said.
    if (row >= 0 && row < RowCount() && m_rows->Row(row).state == RowState::Waiting)
        m_rows->Change(row, [&cause](FileRow& each) {
            each.state = RowState::SoundOnly;
            each.reason = cause;
        });
    SetMessageText(cause.toStdString());
}

void CCompressorDlg::TellMissingSoundOutput() {
    // Said once: every file after the first would play silent for the same reason.
    const auto audio = QueryInterface<IBasicAudio>(m_session.Handles().pGB);
    if (m_toldNoSoundOutput || !audio || audio->HasSoundOutput() != S_FALSE)
        return;
    m_toldNoSoundOutput = true;
    SetMessageText(Translate(QString::fromLatin1(kTextNoSoundOutput)).toStdString());
}

void CCompressorDlg::ShowFileSize(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return;
    const int64_t length = info.size();
    const int64_t mb = length / kBytesPerMb;
    if (mb > 0) {
        // One figure for the part below a whole megabyte: tenths, never more.
        const int tenths = int((length % kBytesPerMb) * 10 / kBytesPerMb);
        m_fileSizeText = QString::asprintf(kFileSizeMbFormat, int(mb), tenths);
    } else {
        m_fileSizeText = QString::asprintf(kFileSizeKbFormat, int(length / kBytesPerKb));
    }
    UpdateData(false);
}

void CCompressorDlg::ShowPictureSize() {
    const auto& video = m_session.Handles().pBV;
    if (!video || m_session.AudioOnly()) {
        m_videoSizeText.clear();
    } else {
        long width = 0;
        long height = 0;
        if (SUCCEEDED(video->GetVideoSize(&width, &height)))
            m_videoSizeText = QString::asprintf(kPictureSizeFormat, int(width), int(height));
    }
    UpdateData(false);
}

void CCompressorDlg::ShowDuration(int row) {
    const auto& seeking = m_session.Handles().pMS;
    if (!seeking)
        return;
    auto* label = ControlAs<QLabel>(IDC_DURATION);
    label->setText(QString::fromLatin1(kEmptyTimeText));
    if (seeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME) != S_OK)
        return;
    GUID previous{};
    if (FAILED(seeking->GetTimeFormat(&previous)))
        return;
    const bool switched = !(previous == TIME_FORMAT_MEDIA_TIME);
    if (switched && FAILED(seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME)))
        return;
    REFERENCE_TIME duration = 0;
    const HRESULT hr = seeking->GetDuration(&duration);
    if (switched)
        seeking->SetTimeFormat(&previous);
    if (FAILED(hr))
        return;
    label->setText(FormatTime(duration, false));
    if (row >= 0 && row < RowCount() && RowTimeCell(row, kColSelEnd) == 0)
        SetRowTimeCell(row, kColTime, duration, false);
}

void CCompressorDlg::ResetPositionSlider() {
    m_sliderPos = 0;
    m_positionSlider->setValue(0);
    ControlAs<QLabel>(IDC_POSITION)->setText(QString::fromLatin1(kEmptyTimeText));
    m_duration = 0;
    const auto& seeking = m_session.Handles().pMS;
    REFERENCE_TIME duration = 0;
    const bool known = seeking && SUCCEEDED(seeking->GetDuration(&duration));
    if (known)
        m_duration = duration;
    m_positionSlider->setEnabled(known);
}

bool CCompressorDlg::CanStepFrames() {
    const auto& graph = m_session.Handles().pGB;
    if (!graph)
        return false;
    const auto step = QueryInterface<IVideoFrameStep>(graph);
    return step && step->CanStep(0, nullptr) == S_OK;
}

void CCompressorDlg::RewindAndStop() {
    const auto& handles = m_session.Handles();
    if (!handles.pMC || !handles.pMS)
        return;
    StopPositionTimer();
    StopGraph(handles.pMC.get());
    OAFilterState state = State_Stopped;
    const HRESULT hr = handles.pMC->GetState(kGraphStateWaitMs, &state);
    if (FAILED(hr))
        ReportFailure(kStateReadFailedFormat, unsigned(hr));
    REFERENCE_TIME start = 0;
    handles.pMS->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    // Stopped, but with the first picture in the video area.
    handles.pMC->StopWhenReady();
    UpdatePosition();
}

int64_t CCompressorDlg::UpdatePosition() {
    const auto& seeking = m_session.Handles().pMS;
    if (!seeking)
        return 0;
    REFERENCE_TIME position = 0;
    if (m_run.converting())
        position = m_run.Position();
    else if (FAILED(seeking->GetCurrentPosition(&position)))
        return 0;
    m_sliderPos = m_duration != 0 ? int(std::clamp<int64_t>(position * kSliderMax / m_duration, 0, kSliderMax)) : 0;
    m_positionSlider->setValue(m_sliderPos);
    UpdatePositionText(position);
    return position;
}

void CCompressorDlg::UpdatePositionText(int64_t position) {
    const auto& seeking = m_session.Handles().pMS;
    if (!seeking)
        return;
    // 0 stands for "where the graph is now".
    if (position == 0 && FAILED(seeking->GetCurrentPosition(&position)))
        return;
    auto* label = ControlAs<QLabel>(IDC_POSITION);
    const QString text = FormatTime(position, false);
    if (label->text() != text)
        label->setText(text);
}
