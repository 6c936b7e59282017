// Start-up, shutdown and the data exchange between controls and members.

#include "CompressorDlg.h"
#include "FileListModel.h"
#include "SettingsFile.h"

#include "DlgConstants.h"
#include "DlgTexts.h"
#include "FileIo.h"
#include "GraphState.h"
#include "KeyTable.h"
#include "MediaLengths.h"
#include "MessageBoxSeam.h"
#include "NiceSliderCtrl.h"
#include "Splash.h"
#include "SubtitleRegistryKeys.h"
#include "WindowPlace.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QStyle>
#include <QTableView>

using namespace zem::app;

CCompressorDlg::Environment CCompressorDlg::DefaultEnvironment() {
    return {QString(), zem::app::DefaultSettingsFilePath(), zem::os::DefaultRegistryFolder()};
}

CCompressorDlg::CCompressorDlg(Environment environment, QWidget* parent)
    : QDialog(parent), m_environment(std::move(environment)), m_registry(m_environment.registryFolder) {
    m_hIcon = LoadIconResource(kWindowIcon);
    for (const char* smaller : kWindowIconSizes)
        m_hIcon.addFile(QString::fromLatin1(smaller));
    m_rows = new FileListModel([this](const char* key) { return Translate(QString::fromLatin1(key)); }, this);
    CreateControls();
    ConnectRoutes();
    // The start-up picture's lines are in the user's language.
    LocateLanguageFile();
    const QString version = Translate(QString::fromLatin1(kTextSplashVersion))
                                .replace(QLatin1String("{version}"), QLatin1String(kVersionNumber));
    ShowSplash(this, QString::fromLatin1(kSplashPath),
               {{version, {kSplashVersionX, kSplashVersionY}, kSplashVersionSize, QColor(QRgb(kSplashVersionColour))},
                {Translate(QString::fromLatin1(kTextSplashPurpose)),
                 {kSplashPurposeX, kSplashPurposeY},
                 kSplashPurposeSize,
                 QColor(QRgb(kSplashPurposeColour))}});
    OnInitDialog();
}

CCompressorDlg::~CCompressorDlg() {
    // The window can also go away without a close request; the settings are
    // saved then too.
    OnCloseRoutine();
}

void CCompressorDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    setAcceptDrops(true);

    LocateLanguageFile();
    ApplyLanguage();
    SetTabOrder();

    InitFileList();

    m_inputFile.clear();
    m_outputFile.clear();
    m_positionSlider->setRange(0, kSliderMax);
    m_positionSlider->setPageStep(kSliderPage);

    InitTransportButtons();

    LoadSettings();

    CheckCodecEnvironment();
    SetSubtitleFontHeight(kStartSubtitleHeight);
    UpdateData(false);

    InitTimeLeft();
    RestoreFileList();
}

void CCompressorDlg::OnCloseRoutine() {
    EndConversionForClose();
    // The player ends with the window: no more ticks, and the next window
    // starts from a stopped graph.
    StopPositionTimer();
    StopGraph(m_session.Handles().pMC.get());
    m_session.ReleaseDirectShow();
    UpdateData(true);
    SaveSettings();
    SaveFileList();
}

namespace {

// Whether `text` reads as a settings file QSettings writes: UTF-8 lines, each
// empty, a comment, a "[section]" or a "key=value". Anything else (bytes of
// another file, a cut write) is no settings, and reading it as such would
// lose it at the next save.
bool LooksLikeSettings(const std::string& text) {
    if (QString::fromUtf8(text.data(), qsizetype(text.size())).toUtf8() != QByteArray::fromStdString(text))
        return false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        QByteArray line = QByteArray::fromStdString(text.substr(start, end - start)).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        for (const char c : line)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                return false;
        if (line.startsWith('[') ? !line.endsWith(']') : line.indexOf('=') <= 0)
            return false;
    }
    return true;
}

} // namespace

void CCompressorDlg::LoadSettings() {
    const QString& file = m_environment.settingsFile;
    if (QFileInfo::exists(file) || QFileInfo(file).isSymLink()) {
        // Bounded and only a file: /dev/zero or a FIFO under its name is
        // kept aside, never read.
        std::string contents;
        zem::UserText why;
        const bool read =
            zem::ReadWholeFile(QFile::encodeName(file).toStdString(), zem::kMaxReadWholeBytes, false, contents, why);
        bool readable = read && LooksLikeSettings(contents);
        if (readable) {
            QSettings check(file, QSettings::IniFormat);
            check.value(QString::fromLatin1(zem::app::kSettingsSection) + QLatin1Char('/') +
                        QLatin1String(zem::kSizeOption.settingsKey));
            readable = check.status() == QSettings::NoError;
        }
        if (!readable) {
            const QString aside = KeepAside(file);
            SetMessageText(Translate(QString::fromLatin1(kTextSettingsUnreadable))
                               .replace(QLatin1String("{file}"), aside.isEmpty() ? file : aside)
                               .toStdString());
        }
    }
    zem::app::LoadSettingsFile(file, *this);
    UpdateData(false);
}

void CCompressorDlg::SaveSettings() {
    zem::app::SaveSettingsFile(m_environment.settingsFile, *this);
    if (!m_placed)
        return;
    QSettings store(m_environment.settingsFile, QSettings::IniFormat);
    store.setValue(WindowKey(kKeyWindowGeometry), saveGeometry());
}

QString CCompressorDlg::WindowKey(const char* name) {
    return QString::fromLatin1(zem::app::kSettingsSection) + QLatin1Char('/') + QLatin1String(name);
}

void CCompressorDlg::PlaceOnScreen() {
    m_placed = true;
    // Where it was: Qt's saved geometry keeps the frame and the client area
    // apart and brings the title bar back onto the screen's free area.
    QSettings store(m_environment.settingsFile, QSettings::IniFormat);
    const QByteArray saved = store.value(WindowKey(kKeyWindowGeometry)).toByteArray();
    if (!saved.isEmpty() && restoreGeometry(saved))
        return;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    // Before the window is first shown its frame is not known yet: a title
    // bar's height stands in for it. A screen too small for the designed size
    // gets the window smaller, down to its minimum.
    const QRect free = screen->availableGeometry();
    const QSize titleBar(0,
                         std::max(kFrameAllowancePx, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this)));
    resize(size().boundedTo(free.size() - titleBar).expandedTo(minimumSize()));
    QSize frame = frameGeometry().size();
    QPoint clientInFrame = geometry().topLeft() - frameGeometry().topLeft();
    if (frame == size()) {
        frame += titleBar;
        clientInFrame = QPoint(0, titleBar.height());
    }
    // The client area is placed, not the frame: a window manager that has
    // not framed the window yet would put the frame's top at the client's
    // place and the title bar above it.
    setGeometry(QRect(WindowPlace(free, frame) + clientInFrame, size()));
}

void CCompressorDlg::showEvent(QShowEvent* event) {
    if (!m_placed && !event->spontaneous())
        PlaceOnScreen();
    QDialog::showEvent(event);
    m_closing = false;
    m_run.SetReloadsPreview(true);
    // The splash came up first; keep it above the window that appears under it.
    if (g_splash)
        g_splash->raise();
}

void CCompressorDlg::paintEvent(QPaintEvent* event) {
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const int side = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    QRect place(0, 0, side, side);
    place.moveCenter(rect().center());
    m_hIcon.paint(&painter, place);
}

bool CCompressorDlg::ConfirmClose() {
    if (m_closing || (!m_runActive && !m_run.converting()))
        return true;
    // A stopped file replaces an earlier output of its name: only when asked for.
    if (ShowMessageBox(Translate(QString::fromLatin1(kTextStopAndQuit)).toStdString(), kMessageBoxCaption,
                       MB_YESNO | MB_ICONQUESTION, this) != IDYES)
        return false;
    m_closing = true;
    m_run.SetReloadsPreview(false);
    return true;
}

void CCompressorDlg::closeEvent(QCloseEvent* event) {
    if (!ConfirmClose()) {
        event->ignore();
        return;
    }
    OnCloseRoutine();
    QDialog::closeEvent(event);
}

void CCompressorDlg::done(int result) {
    // Escape, Enter and the dialog's own accept or reject never end a run;
    // a close that was asked about has set m_closing.
    if (!m_closing && (m_runActive || m_run.converting()))
        return;
    OnCloseRoutine();
    QDialog::done(result);
}

void CCompressorDlg::keyPressEvent(QKeyEvent* event) {
    const KeyRow* row = FindKey(event->key(), KeyPlace::Window);
    if (row == nullptr) {
        QDialog::keyPressEvent(event);
        return;
    }
    switch (row->action) {
    case KeyAction::Help:
        ShowHelp();
        return;
    case KeyAction::Close:
        // While files convert no single key ends the window.
        if (m_runActive || m_run.converting())
            return;
        QDialog::keyPressEvent(event);
        return;
    case KeyAction::PressFocus: {
        // Enter presses the focused push button; anywhere else it ends the
        // window like the dialog's default button. During a run it does
        // neither for Stop: the run's Stop focused when all else is off.
        const bool running = m_runActive || m_run.converting();
        auto* button = qobject_cast<QPushButton*>(focusWidget());
        if (button != nullptr && !(running && button == Control(IDC_STOP_CONVERSION)))
            button->click();
        else if (button == nullptr && !running)
            accept();
        return;
    }
    default:
        QDialog::keyPressEvent(event);
    }
}

void CCompressorDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CCompressorDlg::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    AddDroppedFiles(paths);
    event->acceptProposedAction();
}

bool CCompressorDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_fileList && event->type() == QEvent::KeyPress && OnListKey(static_cast<QKeyEvent*>(event)))
        return true;
    // The graph's video window joins the video area at every open.
    if (auto* area = qobject_cast<QFrame*>(watched);
        area != nullptr && area == Control(IDC_VIDEO_AREA) && event->type() == QEvent::ChildAdded) {
        if (auto* video = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            PlaceVideoWindow(video);
    }
    return QDialog::eventFilter(watched, event);
}

void CCompressorDlg::ExchangeRadio(bool save, RadioGroup group, int32_t& value) {
    QButtonGroup* buttons = m_radioGroups.at(group);
    if (save) {
        value = buttons->checkedId(); // -1 when none is checked
        return;
    }
    if (QAbstractButton* button = buttons->button(value)) {
        button->setChecked(true);
        return;
    }
    // A value outside the group leaves every button unchecked.
    buttons->setExclusive(false);
    for (QAbstractButton* button : buttons->buttons())
        button->setChecked(false);
    buttons->setExclusive(true);
}

void CCompressorDlg::ExchangeCheck(bool save, int id, int32_t& value) {
    auto* box = ControlAs<QAbstractButton>(id);
    if (save)
        value = box->isChecked() ? 1 : 0;
    else
        box->setChecked(value != 0);
}

void CCompressorDlg::ExchangeText(bool save, int id, QString& value) {
    // The Messages line may show its text elided: the member holds the whole.
    if (id == IDC_MESSAGE) {
        if (!save)
            ShowMessageLine();
        return;
    }
    auto* label = ControlAs<QLabel>(id);
    if (save)
        value = label->text();
    else
        label->setText(value);
}

void CCompressorDlg::UpdateData(bool save) {
    ExchangeRadio(save, RadioGroup::VideoSize, m_videoSizeIndex);
    ExchangeRadio(save, RadioGroup::Quality, m_qualityIndex);
    ExchangeRadio(save, RadioGroup::Rotate, m_rotate);
    ExchangeRadio(save, RadioGroup::ConvertAll, m_convertAll);
    ExchangeRadio(save, RadioGroup::SubtitleSize, m_subtitleSize);
    ExchangeRadio(save, RadioGroup::FormatVersion, m_formatVersion);
    ExchangeCheck(save, IDC_MONITORING, m_monitoring);
    ExchangeCheck(save, IDC_KEEP_PROPORTIONS, m_keepProportions);
    ExchangeCheck(save, IDC_SAVE_MP3, m_saveMp3);
    ExchangeCheck(save, IDC_SAVE_FRAMES, m_saveFrames);
    ExchangeCheck(save, IDC_SUBTITLE, m_subtitle);
    ExchangeText(save, IDC_MESSAGE, m_messageText);
    ExchangeText(save, IDC_FILE_COUNT, m_fileCountText);
    ExchangeText(save, IDC_VIDEO_SIZE_TEXT, m_videoSizeText);
    ExchangeText(save, IDC_FILE_SIZE_TEXT, m_fileSizeText);
    if (save)
        m_sliderPos = m_positionSlider->value();
    else
        m_positionSlider->setValue(m_sliderPos);
}
