// The window's controls: their places in dialog units, how a larger or
// smaller window moves them, which are shown, and where each user action is
// routed.

#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "FileListModel.h"
#include "GraphState.h"
#include "MessagesLine.h"
#include "NiceSliderCtrl.h"
#include "XPStyleButtonST.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include <algorithm>
#include <array>
#include <iterator>

using namespace zem::app;

namespace {

enum class Kind {
    Push,
    Transport,
    TransportCheck,
    Radio,
    Check,
    Box,
    Label,
    SunkenLabel,
    List,
    VideoArea,
    Slider,
    Progress,
    Picture
};
enum Align { kLeft, kRight, kCentre };
using RG = CCompressorDlg::RadioGroup;

struct ControlEntry {
    int id; // 0: no identifier, `name` names it
    const char* name;
    Kind kind;
    const char* text;
    int x, y, w, h; // dialog units
    bool visible;
    RG group;
    Align align;
};

// Group boxes come first so the controls inside them lie above them. Radio
// buttons of one group are listed in their tab order, which is the order of
// their values.
constexpr ControlEntry kControlsBeforeSizes[] = {
    // Option boxes.
    {IDC_QUALITY_BOX, nullptr, Kind::Box, "Quality", 195, 223, 101, 82, true, RG::None, kLeft},
    {IDC_FILES_TO_CONVERT_BOX, nullptr, Kind::Box, "Files to Convert", 195, 311, 101, 47, true, RG::None, kLeft},
    {IDC_VIDEO_BOX, nullptr, Kind::Box, "Video", 303, 224, 119, 84, true, RG::None, kLeft},
    {IDC_ROTATE_BOX, nullptr, Kind::Box, "Rotate", 428, 224, 77, 71, true, RG::None, kLeft},
    {IDC_SUBTITLE_BOX, nullptr, Kind::Box, "SubTitle", 303, 311, 192, 45, true, RG::None, kLeft},
    {IDC_FONT_SIZE_BOX, nullptr, Kind::Box, "Font Size", 368, 318, 122, 32, true, RG::None, kLeft},
    {0, kConversionFrameName, Kind::Box, "", 303, 366, 202, 65, false, RG::None, kLeft},
    {IDC_FRAME_RATE_BOX, nullptr, Kind::Box, "Frame/Sec", 0, 0, 60, 40, false, RG::None, kLeft},
    {IDC_AUDIO_BOX, nullptr, Kind::Box, "Audio", 0, 0, 60, 40, false, RG::None, kLeft},
    {IDC_EXTRA_FILES_BOX, nullptr, Kind::Box, "Extra Files", 0, 0, 120, 40, false, RG::None, kLeft},
    {0, "FormatVersionBox", Kind::Box, "Quality", 0, 0, 60, 40, false, RG::None, kLeft},

    // Top row.
    {IDC_ADD, nullptr, Kind::Push, "Add ...", 5, 5, 69, 17, true, RG::None, kLeft},
    {IDC_CHANGE_OUTPUT, nullptr, Kind::Push, "Change Output ...", 77, 5, 69, 17, true, RG::None, kLeft},
    {IDC_DELETE, nullptr, Kind::Push, "Delete", 158, 5, 69, 17, true, RG::None, kLeft},
    {IDC_DELETE_ALL, nullptr, Kind::Push, "Delete All", 231, 5, 69, 17, true, RG::None, kLeft},
    {IDC_HELP, nullptr, Kind::Push, "Help ...", 436, 5, 69, 17, true, RG::None, kLeft},

    // File list and counters.
    {IDC_FILE_LIST, nullptr, Kind::List, "", 5, 29, 500, 172, true, RG::None, kLeft},
    {IDC_FILES_LABEL, nullptr, Kind::Label, "Files:", 441, 206, 29, 13, true, RG::None, kRight},
    {IDC_FILE_COUNT, nullptr, Kind::SunkenLabel, "", 473, 206, 32, 13, true, RG::None, kRight},
    {IDC_ESTIMATE_LABEL, nullptr, Kind::Label, "Estimated Size:", 301, 206, 76, 13, false, RG::None, kLeft},
    {IDC_ESTIMATE, nullptr, Kind::Label, "0 MB", 380, 206, 52, 13, false, RG::None, kLeft},
    {IDC_LANGUAGE_LABEL, nullptr, Kind::Label, "Language:", 438, 202, 34, 8, false, RG::None, kLeft},
    {IDC_LANGUAGE_NAME, nullptr, Kind::Label, "", 477, 200, 28, 14, false, RG::None, kLeft},

    // Preview.
    {IDC_VIDEO_AREA, nullptr, Kind::VideoArea, "", 5, 223, 183, 159, true, RG::None, kLeft},
    {IDC_POSITION_SLIDER, nullptr, Kind::Slider, "", 5, 385, 183, 15, true, RG::None, kLeft},
    {IDC_VIDEO_SIZE_TEXT, nullptr, Kind::Label, "", 5, 401, 73, 8, true, RG::None, kLeft},
    {IDC_FILE_SIZE_TEXT, nullptr, Kind::Label, "", 80, 401, 55, 8, true, RG::None, kRight},
    {IDC_POSITION, nullptr, Kind::Label, "00:00", 137, 401, 24, 8, true, RG::None, kRight},
    {IDC_SLASH, nullptr, Kind::Label, "/", 162, 401, 7, 8, true, RG::None, kCentre},
    {IDC_DURATION, nullptr, Kind::Label, "00:00", 170, 401, 24, 8, true, RG::None, kLeft},

    // Transport.
    {IDC_PLAY, nullptr, Kind::Transport, "", 9, 414, 17, 17, true, RG::None, kLeft},
    {IDC_PAUSE, nullptr, Kind::Transport, "", 27, 414, 17, 17, true, RG::None, kLeft},
    {IDC_STOP, nullptr, Kind::Transport, "", 45, 414, 17, 17, true, RG::None, kLeft},
    {IDC_FRAME_STEP, nullptr, Kind::Transport, "", 63, 414, 17, 17, true, RG::None, kLeft},
    {IDC_MUTE, nullptr, Kind::TransportCheck, "", 81, 414, 17, 17, true, RG::None, kLeft},
    {IDC_SELECTION_START, nullptr, Kind::Transport, "|<", 109, 414, 17, 17, true, RG::None, kLeft},
    {IDC_SELECTION_END, nullptr, Kind::Transport, ">|", 127, 414, 17, 17, true, RG::None, kLeft},
    {IDC_CLEAR_SELECTION, nullptr, Kind::Transport, "|x|", 145, 414, 17, 17, true, RG::None, kLeft},

    // Quality.
    {kQualityButtons[0], nullptr, Kind::Radio, zem::kQualityChoices[0].labelKey, 210, 237, 80, 10, true, RG::Quality,
     kLeft},
    {kQualityButtons[1], nullptr, Kind::Radio, zem::kQualityChoices[1].labelKey, 210, 251, 80, 10, true, RG::Quality,
     kLeft},
    {kQualityButtons[2], nullptr, Kind::Radio, zem::kQualityChoices[2].labelKey, 210, 264, 80, 10, true, RG::Quality,
     kLeft},
    {kQualityButtons[3], nullptr, Kind::Radio, zem::kQualityChoices[3].labelKey, 210, 277, 80, 10, true, RG::Quality,
     kLeft},
    {kQualityButtons[4], nullptr, Kind::Radio, zem::kQualityChoices[4].labelKey, 210, 290, 80, 10, true, RG::Quality,
     kLeft},

    // Files to convert, monitoring.
    {IDC_SELECTED_FILE, nullptr, Kind::Radio, "Selected file", 210, 327, 80, 10, true, RG::ConvertAll, kLeft},
    {IDC_ALL_FILES, nullptr, Kind::Radio, "All files", 210, 340, 80, 10, true, RG::ConvertAll, kLeft},
    {IDC_MONITORING, nullptr, Kind::Check, "Video Monitoring", 205, 371, 88, 10, true, RG::None, kLeft},
    {IDC_KEEP_PROPORTIONS, nullptr, Kind::Check, zem::kKeepProportionsOption.labelKey, 318, 293, 100, 10, true,
     RG::None, kLeft},

    // Video size, in value order: made from kSizeChoices (see below).
};

constexpr ControlEntry kControlsAfterSizes[] = {
    // Rotation: a radio button without text above each figure.
    {kRotationButtons[0], nullptr, Kind::Radio, zem::kRotationChoices[0].labelKey, 440, 242, 10, 10, true, RG::Rotate,
     kLeft},
    {kRotationButtons[1], nullptr, Kind::Radio, zem::kRotationChoices[1].labelKey, 461, 242, 10, 10, true, RG::Rotate,
     kLeft},
    {kRotationButtons[2], nullptr, Kind::Radio, zem::kRotationChoices[2].labelKey, 482, 242, 10, 10, true, RG::Rotate,
     kLeft},
    {0, "RotateIcon138", Kind::Picture, "138", 436, 256, 17, 34, true, RG::None, kCentre},
    {0, "RotateIcon136", Kind::Picture, "136", 457, 256, 17, 34, true, RG::None, kCentre},
    {0, "RotateIcon137", Kind::Picture, "137", 478, 256, 17, 34, true, RG::None, kCentre},

    // Subtitles.
    {IDC_SUBTITLE, nullptr, Kind::Check, "SubTitle", 310, 328, 50, 10, true, RG::None, kLeft},
    {kSubtitleSizeList[0], nullptr, Kind::Radio, zem::kSubtitleSizeChoices[0].labelKey, 374, 332, 34, 10, true,
     RG::SubtitleSize, kLeft},
    {kSubtitleSizeList[1], nullptr, Kind::Radio, zem::kSubtitleSizeChoices[1].labelKey, 410, 332, 40, 10, true,
     RG::SubtitleSize, kLeft},
    {kSubtitleSizeList[2], nullptr, Kind::Radio, zem::kSubtitleSizeChoices[2].labelKey, 452, 332, 36, 10, true,
     RG::SubtitleSize, kLeft},

    // Conversion.
    {IDC_MESSAGE, nullptr, Kind::Label, "", 303, 358, 202, 31, true, RG::None, kCentre},
    {IDC_PROGRESS, nullptr, Kind::Progress, "", 337, 391, 154, 9, true, RG::None, kLeft},
    {IDC_CONVERT, nullptr, Kind::Push, "Convert", 365, 405, 49, 17, true, RG::None, kLeft},
    {IDC_STOP_CONVERSION, nullptr, Kind::Push, "Stop", 416, 405, 49, 17, true, RG::None, kLeft},

    // Never shown.
    {0, "FrameRate1", Kind::Radio, "1", 0, 0, 20, 10, false, RG::FrameRate, kLeft},
    {0, "FrameRate2", Kind::Radio, "2", 0, 0, 20, 10, false, RG::FrameRate, kLeft},
    {0, "FrameRate4", Kind::Radio, "4", 0, 0, 20, 10, false, RG::FrameRate, kLeft},
    {0, "FrameRate8", Kind::Radio, "8", 0, 0, 20, 10, false, RG::FrameRate, kLeft},
    {0, "FrameRate16", Kind::Radio, "16", 0, 0, 20, 10, false, RG::FrameRate, kLeft},
    {0, "FrameRate32", Kind::Radio, "32", 0, 0, 20, 10, false, RG::FrameRate, kLeft},
    {0, "FormatHigh", Kind::Radio, "High", 0, 0, 40, 10, false, RG::FormatVersion, kLeft},
    {0, "FormatMiddle", Kind::Radio, "Middle", 0, 0, 40, 10, false, RG::FormatVersion, kLeft},
    {0, "FormatLow", Kind::Radio, "Low", 0, 0, 40, 10, false, RG::FormatVersion, kLeft},
    {0, "Audio64", Kind::Radio, "64 kbps", 0, 0, 40, 10, false, RG::Audio, kLeft},
    {0, "Audio128", Kind::Radio, "128 kbps", 0, 0, 40, 10, false, RG::Audio, kLeft},
    {IDC_SAVE_MP3, nullptr, Kind::Check, "Save audio to MP3 file", 0, 0, 100, 10, false, RG::None, kLeft},
    {IDC_SAVE_FRAMES, nullptr, Kind::Check, "Save frames to BMP files", 0, 0, 100, 10, false, RG::None, kLeft},
};

// The whole table: the rows before the sizes, a radio button for each
// picture size, the rows after.
constexpr auto kControls = [] {
    std::array<ControlEntry,
               std::size(kControlsBeforeSizes) + kVideoSizeButtons.size() + std::size(kControlsAfterSizes)>
        all{};
    size_t at = 0;
    for (const ControlEntry& entry : kControlsBeforeSizes)
        all[at++] = entry;
    for (size_t row = 0; row < kVideoSizeButtons.size(); ++row) {
        const VideoSizeButton& b = kVideoSizeButtons[row];
        all[at++] = {b.id,      nullptr,       Kind::Radio, zem::kSizeChoices[row].labelKey,
                     b.x,       b.y,           b.w,         kVideoSizeButtonHeight,
                     b.visible, RG::VideoSize, kLeft};
    }
    for (const ControlEntry& entry : kControlsAfterSizes)
        all[at++] = entry;
    return all;
}();

// How much the window is larger than its layout in dialog units, in pixels:
// its width, and its height as the list and the video area take it.
struct Growth {
    int width;
    int list;
    int video;
};

QRect Grown(QRect place, const ControlEntry& control, const Growth& growth) {
    if (control.y < kListTopDu) {
        place.translate(control.x >= kRightSideDu ? growth.width : 0, 0);
        return place;
    }
    if (control.kind == Kind::List) {
        place.setSize(place.size() + QSize(growth.width, growth.list));
        return place;
    }
    place.translate(0, growth.list);
    if (control.y < kPaneTopDu) {
        place.translate(control.x >= kRightSideDu ? growth.width : 0, 0);
        return place;
    }
    if (control.x >= kOptionsLeftDu) {
        place.translate(growth.width, control.y >= kConversionTopDu ? growth.video : 0);
        return place;
    }
    switch (control.kind) {
    case Kind::VideoArea:
        place.setSize(place.size() + QSize(growth.width, growth.video));
        break;
    case Kind::Slider:
        place.setWidth(place.width() + growth.width);
        place.translate(0, growth.video);
        break;
    default:
        place.translate(control.x >= kPreviewTimesDu ? growth.width : 0, growth.video);
        break;
    }
    return place;
}

Qt::Alignment ToQt(Align align) {
    switch (align) {
    case kRight:
        return Qt::AlignRight | Qt::AlignVCenter;
    case kCentre:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case kLeft:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

} // namespace

std::vector<CCompressorDlg::ShownLabel> CCompressorDlg::VisibleLabels() {
    std::vector<ShownLabel> labels;
    for (const ControlEntry& entry : kControls) {
        const bool labelled = entry.kind == Kind::Push || entry.kind == Kind::Radio || entry.kind == Kind::Check ||
                              entry.kind == Kind::Box;
        if (!entry.visible || !labelled || entry.text == nullptr || *entry.text == '\0')
            continue;
        const bool translated = std::any_of(kLanguageLabels.begin(), kLanguageLabels.end(),
                                            [&](const LabelKey& label) { return label.id == entry.id; });
        labels.push_back({entry.text, translated});
    }
    return labels;
}

QRect CCompressorDlg::DialogUnitsToPixels(int x, int y, int w, int h) const {
    const auto px = [this](int du) { return int(du * m_xUnit + 0.5); };
    const auto py = [this](int du) { return int(du * m_yUnit + 0.5); };
    return QRect(px(x), py(y), px(x + w) - px(x), py(y + h) - py(y));
}

QIcon CCompressorDlg::LoadIconResource(int number) {
    return QIcon(QString::fromLatin1(kIconPathFormat).arg(number));
}

void CCompressorDlg::MeasureDialogUnits() {
    QFont dialogFont = font();
    dialogFont.setPointSize(kDialogFontPointSize);
    setFont(dialogFont);
    // Dialog units: a quarter of the average letter width, an eighth of the
    // line height (kept within kMaxLineHeightEm of the font's size).
    const QFontMetricsF metrics(dialogFont);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_xUnit = metrics.horizontalAdvance(letters) / letters.size() / 4.0;
    const double em = dialogFont.pointSizeF() * logicalDpiY() / 72.0;
    m_yUnit = std::min(metrics.height(), em * kMaxLineHeightEm) / 8.0;
}

void CCompressorDlg::CreateControls() {
    MeasureDialogUnits();
    for (const ControlEntry& control : kControls) {
        QWidget* widget = nullptr;
        const QString text = QString::fromUtf8(control.text);
        switch (control.kind) {
        case Kind::Push: {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(false);
            widget = button;
            break;
        }
        case Kind::Transport:
        case Kind::TransportCheck: {
            auto* button = new CXPStyleButtonST(this);
            button->setText(text);
            button->SetCheckBox(control.kind == Kind::TransportCheck);
            widget = button;
            break;
        }
        case Kind::Radio: {
            auto* radio = new QRadioButton(text, this);
            radio->setAutoExclusive(false);
            QButtonGroup*& group = m_radioGroups[control.group];
            if (group == nullptr)
                group = new QButtonGroup(this);
            group->addButton(radio, int(group->buttons().size()));
            widget = radio;
            break;
        }
        case Kind::Check:
            widget = new QCheckBox(text, this);
            break;
        case Kind::Box:
            widget = new QGroupBox(text, this);
            break;
        case Kind::Label:
        case Kind::SunkenLabel: {
            auto* label = new QLabel(text, this);
            label->setAlignment(ToQt(control.align));
            if (control.kind == Kind::SunkenLabel)
                label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            widget = label;
            break;
        }
        case Kind::Picture: {
            auto* label = new QLabel(this);
            label->setAlignment(ToQt(control.align));
            const QRect place = DialogUnitsToPixels(control.x, control.y, control.w, control.h);
            label->setPixmap(LoadIconResource(text.toInt()).pixmap(place.size()));
            widget = label;
            break;
        }
        case Kind::List: {
            m_fileList = new QTableView(this);
            m_fileList->setModel(m_rows);
            widget = m_fileList;
            break;
        }
        case Kind::VideoArea: {
            auto* area = new QFrame(this);
            area->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            area->setAutoFillBackground(true);
            QPalette palette = area->palette();
            palette.setColor(QPalette::Window, Qt::black);
            area->setPalette(palette);
            widget = area;
            break;
        }
        case Kind::Slider:
            m_positionSlider = new CNiceSliderCtrl(this);
            widget = m_positionSlider;
            break;
        case Kind::Progress: {
            auto* progress = new QProgressBar(this);
            progress->setRange(0, 100);
            progress->setValue(0);
            progress->setTextVisible(false);
            widget = progress;
            break;
        }
        }
        widget->setObjectName(control.id != 0 ? QString::number(control.id) : QString::fromLatin1(control.name));
        widget->setGeometry(DialogUnitsToPixels(control.x, control.y, control.w, control.h));
        widget->setVisible(control.visible);
        m_layoutControls.push_back(widget);
    }
    m_messagesLine = new MessagesLine(ControlAs<QLabel>(IDC_MESSAGE));
    for (auto& [group, buttons] : m_radioGroups) {
        buttons->setExclusive(true);
        // As in any radio group, Tab reaches the checked button only (the
        // first while none is), and the arrow keys move within the group.
        QButtonGroup* members = buttons;
        const auto tabStops = [members] {
            QAbstractButton* stop = members->checkedButton();
            if (stop == nullptr && !members->buttons().isEmpty())
                stop = members->buttons().front();
            for (QAbstractButton* button : members->buttons())
                button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
        };
        connect(members, &QButtonGroup::buttonToggled, this, tabStops);
        tabStops();
    }
    SetWindowFrame();
}

void CCompressorDlg::SetWindowFrame() {
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    const QSize designed = DesignedSize();
    setMinimumSize(designed.width(), designed.height() - DialogUnitsToPixels(0, 0, 0, kListHeightDu).height() +
                                         DialogUnitsToPixels(0, 0, 0, kMinListHeightDu).height());
    resize(designed);
}

QSize CCompressorDlg::DesignedSize() const {
    return DialogUnitsToPixels(0, 0, kClientWidthDu, kClientHeightDu).size();
}

void CCompressorDlg::PlaceControls() {
    const QSize extra = size() - DesignedSize();
    const int listPart = extra.height() > 0 ? extra.height() / 2 : extra.height();
    const Growth growth{std::max(0, extra.width()), listPart, extra.height() - listPart};
    const int listWidth = m_fileList->width();
    for (size_t i = 0; i < m_layoutControls.size(); ++i) {
        const ControlEntry& control = kControls[i];
        m_layoutControls[i]->setGeometry(
            Grown(DialogUnitsToPixels(control.x, control.y, control.w, control.h), control, growth));
    }
    // The file names take the list's new width, half each.
    const int wider = m_fileList->width() - listWidth;
    if (wider != 0 && m_fileList->columnWidth(kColInput) > 0) {
        m_fileList->setColumnWidth(kColInput, std::max(1, m_fileList->columnWidth(kColInput) + wider / 2));
        m_fileList->setColumnWidth(kColOutput, std::max(1, m_fileList->columnWidth(kColOutput) + wider - wider / 2));
    }
    PlaceVideoWindow();
    if (m_messagesLine != nullptr)
        m_messagesLine->Refit();
}

void CCompressorDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_layoutControls.size() == kControls.size())
        PlaceControls();
}

void CCompressorDlg::ConnectRoutes() {
    const auto onClick = [this](int id, auto handler) {
        if (auto* button = ControlAs<QAbstractButton>(id))
            connect(button, &QAbstractButton::clicked, this, handler);
    };
    onClick(IDC_ADD, [this] { OnAdd(); });
    onClick(IDC_CHANGE_OUTPUT, [this] { OnChangeOutput(); });
    onClick(IDC_DELETE, [this] { OnDelete(); });
    onClick(IDC_DELETE_ALL, [this] { OnDeleteAll(); });
    onClick(IDC_HELP, [this] { ShowHelp(); });
    onClick(IDC_CONVERT, [this] { OnConvertClicked(); });
    onClick(IDC_STOP_CONVERSION, [this] { OnStopClicked(); });
    onClick(IDC_SUBTITLE, [this] { OnSubtitle(); });
    onClick(IDC_KEEP_PROPORTIONS, [this] {
        UpdateData(true);
        PlaceVideoWindow();
    });
    for (size_t i = 0; i < kSubtitleSizeList.size(); ++i)
        onClick(kSubtitleSizeList[i], [this, i] { OnSubtitleSize(zem::kSubtitleSizeChoices[i].stored); });
    onClick(IDC_PLAY, [this] { OnPlay(); });
    onClick(IDC_PAUSE, [this] { OnPause(); });
    onClick(IDC_STOP, [this] { OnStop(); });
    onClick(IDC_FRAME_STEP, [this] { OnFrameStep(); });
    onClick(IDC_MUTE, [this] { OnMute(); });
    onClick(IDC_SELECTION_START, [this] { OnStartSelection(); });
    onClick(IDC_SELECTION_END, [this] { OnEndSelection(); });
    onClick(IDC_CLEAR_SELECTION, [this] { OnClearSelection(); });
    connect(m_positionSlider, &CNiceSliderCtrl::positionScrolled, this,
            [this](int code, int) { OnPositionScroll(code); });
    // The other option buttons need no handler: their values are read from
    // the controls whenever an operation needs them.
    connect(m_fileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { OnRowSelectionChanged(); });
    m_fileList->installEventFilter(this);
    Control(IDC_VIDEO_AREA)->installEventFilter(this);
}

QWidget* CCompressorDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

QList<QWidget*> CCompressorDlg::EnableControlList() const {
    QList<QWidget*> controls;
    for (int id : kEnableList)
        controls.append(Control(id));
    if (m_subtitle == 1) {
        for (int id : kSubtitleSizeList)
            controls.append(Control(id));
    }
    return controls;
}

void CCompressorDlg::EnableControls(bool enable) {
    for (QWidget* control : EnableControlList()) {
        if (control != nullptr)
            control->setEnabled(enable);
    }
    // Without an open file the transport has nothing to move.
    if (enable && !m_session.Handles().pGB)
        EnableTransport(false);
}

void CCompressorDlg::InitTransportButtons() {
    for (const TransportButton& control : kTransportButtons) {
        auto* button = ControlAs<CXPStyleButtonST>(control.id);
        button->SetThemeHelper(&m_themeHelper);
        const QString name = Translate(QString::fromLatin1(control.tooltip));
        button->SetTooltipText(name);
        button->setAccessibleName(name);
        if (control.icon != 0)
            button->SetIcon(LoadIconResource(control.icon));
    }
    // The mute toggle outlives the window's files.
    ControlAs<QAbstractButton>(IDC_MUTE)->setChecked(g_muted == 1);
    EnableTransport(false);
}
