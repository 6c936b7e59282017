#pragma once
// Identifiers, fixed texts and sizes of the main window. The codec check's
// table and the subtitle renderer's registry keys lie beside the code that
// uses them (CodecEnvironment.h, SubtitleRegistryKeys.h).

#include <array>
#include <cstdint>

#include "ConversionSettings.h"

namespace zem::app {

inline constexpr const char* kWindowCaption = "ZemConverter 4.10";
inline constexpr const char* kAppName = "ZemConverter";

// Client area in dialog units; the dialog font is 8 pt.
inline constexpr int kClientWidthDu = 511;
inline constexpr int kClientHeightDu = 439;
inline constexpr int kDialogFontPointSize = 8;
// The vertical unit follows the font's line height, but no more than this
// many times its size: the CJK fonts chosen for Korean and Chinese leave
// half an em between lines, which would make the window taller than a
// 768-line screen.
inline constexpr double kMaxLineHeightEm = 1.2;
// A larger window gives its extra width to the list and the video area and
// its extra height to both, half each; a smaller one takes height from the
// list alone, down to kMinListHeightDu, so that the whole window fits a
// 1024x600 screen. The regions of the layout, in dialog units: the top row
// of buttons ends at kListTopDu; the preview and the options start at
// kPaneTopDu; the options start at kOptionsLeftDu, and from kConversionTopDu
// down they stay at the window's bottom; controls right of kRightSideDu
// (Help, the file count) and the preview's times right of kPreviewTimesDu
// stay at the right edge.
inline constexpr int kListTopDu = 29;
inline constexpr int kPaneTopDu = 223;
inline constexpr int kOptionsLeftDu = 195;
inline constexpr int kConversionTopDu = 358;
inline constexpr int kRightSideDu = 300;
inline constexpr int kPreviewTimesDu = 137;
inline constexpr int kListHeightDu = 172;
inline constexpr int kMinListHeightDu = 60;
// Room left for a title bar and borders when the window is first sized to a
// screen, before the window manager has told its frame.
inline constexpr int kFrameAllowancePx = 40;

// Control identifiers (also each control's object name).
enum ControlId : int {
    IDC_SAVE_MP3 = 1003,
    IDC_PROGRESS = 1004,
    IDC_CONVERT = 1007,
    IDC_SAVE_FRAMES = 1008,
    IDC_ADD = 1009,
    IDC_MESSAGE = 1010,
    IDC_PLAY = 1011,
    IDC_PAUSE = 1012,
    IDC_VIDEO_AREA = 1013,
    IDC_STOP = 1014,
    IDC_DELETE = 1015,
    IDC_SIZE_320 = 1016,
    IDC_SIZE_176 = 1017,
    IDC_SIZE_128 = 1018,
    IDC_DELETE_ALL = 1019,
    IDC_CHANGE_OUTPUT = 1020,
    IDC_MUTE = 1021,
    IDC_POSITION_SLIDER = 1022,
    IDC_FRAME_STEP = 1023,
    IDC_ROTATE_NONE = 1025,
    IDC_STOP_CONVERSION = 1026,
    IDC_SELECTION_END = 1029,
    IDC_SELECTION_START = 1030,
    IDC_MONITORING = 1031,
    IDC_DURATION = 1034,
    IDC_SELECTED_FILE = 1035,
    IDC_SLASH = 1036,
    IDC_POSITION = 1037,
    IDC_FILE_LIST = 1041,
    IDC_SIZE_160 = 1042,
    IDC_SIZE_208 = 1043,
    IDC_SIZE_96 = 1044,
    IDC_ALL_FILES = 1045,
    IDC_VIDEO_SIZE_TEXT = 1046,
    IDC_FILE_SIZE_TEXT = 1047,
    IDC_CLEAR_SELECTION = 1048,
    IDC_ROTATE_LEFT = 1049,
    IDC_VIDEO_BOX = 1050,
    IDC_FRAME_RATE_BOX = 1051,
    IDC_AUDIO_BOX = 1052,
    IDC_EXTRA_FILES_BOX = 1053,
    IDC_FILES_TO_CONVERT_BOX = 1054,
    IDC_LANGUAGE_LABEL = 1055,
    IDC_LANGUAGE_NAME = 1056,
    IDC_ESTIMATE = 1057,
    IDC_FILES_LABEL = 1058,
    IDC_ESTIMATE_LABEL = 1059,
    IDC_QUALITY_BOX = 1060,
    IDC_FILE_COUNT = 1064,
    IDC_QUALITY_HD = 1065,
    IDC_QUALITY_STANDARD = 1066,
    IDC_QUALITY_MIDDLE = 1067,
    IDC_ROTATE_RIGHT = 1068,
    IDC_ROTATE_BOX = 1069,
    IDC_HELP = 1070,
    IDC_SIZE_176_HIDDEN = 1071,
    IDC_QUALITY_LOW = 1072,
    IDC_QUALITY_HIGH_FRAME = 1077,
    IDC_SUBTITLE_BOX = 1078,
    IDC_SUBTITLE = 1079,
    IDC_SUBTITLE_BIG = 1080,
    IDC_SUBTITLE_MIDDLE = 1081,
    IDC_SUBTITLE_SMALL = 1082,
    IDC_FONT_SIZE_BOX = 1083,
    IDC_KEEP_PROPORTIONS = 1084,
};

// The unlabelled frame around the conversion controls (it has no identifier).
inline constexpr const char* kConversionFrameName = "ConversionFrame";

// The "Video" group's radio buttons, one for each choice of kSizeChoices
// (whose label each shows), and their places in dialog units.
struct VideoSizeButton {
    int id;
    int x, y, w;
    bool visible;
};
inline constexpr std::array<VideoSizeButton, zem::kSizeChoices.size()> kVideoSizeButtons{{
    {IDC_SIZE_320, 369, 278, 50, true},
    {IDC_SIZE_96, 318, 238, 48, true},
    {IDC_SIZE_176, 369, 238, 50, true},
    {IDC_SIZE_128, 318, 258, 48, true},
    {IDC_SIZE_160, 318, 278, 48, true},
    {IDC_SIZE_208, 369, 258, 50, true},
    {IDC_SIZE_176_HIDDEN, 0, 0, 50, false},
}};
inline constexpr int kVideoSizeButtonHeight = 10;
inline constexpr size_t kShownVideoSizes = [] {
    size_t shown = 0;
    for (const VideoSizeButton& button : kVideoSizeButtons)
        shown += button.visible ? 1 : 0;
    return shown;
}();

// Controls switched together while a conversion runs, in this order: those
// before the sizes, the shown size buttons, those after; the subtitle sizes
// follow only while subtitles are on.
inline constexpr std::array kEnableListBeforeSizes{
    IDC_ADD,           IDC_CHANGE_OUTPUT,   IDC_DELETE, IDC_DELETE_ALL, IDC_FILE_LIST, IDC_POSITION_SLIDER,
    IDC_PLAY,          IDC_PAUSE,           IDC_STOP,   IDC_FRAME_STEP, IDC_MUTE,      IDC_SELECTION_START,
    IDC_SELECTION_END, IDC_CLEAR_SELECTION,
};
inline constexpr std::array kEnableListAfterSizes{
    IDC_ROTATE_NONE,      IDC_ROTATE_LEFT,    IDC_ROTATE_RIGHT, IDC_QUALITY_HD,  IDC_QUALITY_HIGH_FRAME,
    IDC_QUALITY_STANDARD, IDC_QUALITY_MIDDLE, IDC_QUALITY_LOW,  IDC_SAVE_MP3,    IDC_SELECTED_FILE,
    IDC_ALL_FILES,        IDC_MONITORING,     IDC_CONVERT,      IDC_SAVE_FRAMES, IDC_SUBTITLE,
    IDC_KEEP_PROPORTIONS,
};
inline constexpr auto kEnableList = [] {
    std::array<int, kEnableListBeforeSizes.size() + kShownVideoSizes + kEnableListAfterSizes.size()> list{};
    size_t at = 0;
    for (int id : kEnableListBeforeSizes)
        list[at++] = id;
    for (const VideoSizeButton& button : kVideoSizeButtons) {
        if (button.visible)
            list[at++] = button.id;
    }
    for (int id : kEnableListAfterSizes)
        list[at++] = id;
    return list;
}();
inline constexpr std::array<int, zem::kSubtitleSizeChoices.size()> kSubtitleSizeList{
    IDC_SUBTITLE_BIG, IDC_SUBTITLE_MIDDLE, IDC_SUBTITLE_SMALL};

// The radio buttons of the other options with choices, one for each choice
// of their declaration (OptionChoices.h), in its order.
inline constexpr std::array<int, zem::kQualityChoices.size()> kQualityButtons{
    IDC_QUALITY_HD, IDC_QUALITY_HIGH_FRAME, IDC_QUALITY_STANDARD, IDC_QUALITY_MIDDLE, IDC_QUALITY_LOW};
inline constexpr std::array<int, zem::kRotationChoices.size()> kRotationButtons{IDC_ROTATE_NONE, IDC_ROTATE_LEFT,
                                                                                IDC_ROTATE_RIGHT};
// A button's place in its group is the choice's stored number.
inline constexpr bool kChoicesInStoredOrder = [] {
    for (const zem::ChoiceOption* option : zem::kChoiceOptions)
        for (size_t i = 0; i < option->choices.size(); ++i)
            if (option->choices[i].stored != int(i))
                return false;
    return true;
}();
static_assert(kChoicesInStoredOrder, "a radio group's buttons are numbered by their places");

// Labels that follow the language file, in the order they are applied.
struct LabelKey {
    int id;
    const char* key;
};
inline constexpr std::array<LabelKey, 34> kLanguageLabels{{
    {IDC_ADD, "Add ..."},
    {IDC_CHANGE_OUTPUT, "Change Output ..."},
    {IDC_DELETE, "Delete"},
    {IDC_DELETE_ALL, "Delete All"},
    {IDC_ESTIMATE_LABEL, "Estimated Size:"},
    {IDC_FILES_LABEL, "Files:"},
    {IDC_LANGUAGE_LABEL, "Language:"},
    {IDC_VIDEO_BOX, "Video"},
    {IDC_FRAME_RATE_BOX, "Frame/Sec"},
    {IDC_QUALITY_BOX, "Quality"},
    {kQualityButtons[0], zem::kQualityChoices[0].labelKey},
    {kQualityButtons[1], zem::kQualityChoices[1].labelKey},
    {kQualityButtons[2], zem::kQualityChoices[2].labelKey},
    {kQualityButtons[3], zem::kQualityChoices[3].labelKey},
    {kQualityButtons[4], zem::kQualityChoices[4].labelKey},
    {IDC_AUDIO_BOX, "Audio"},
    {IDC_EXTRA_FILES_BOX, "Extra Files"},
    {IDC_SAVE_MP3, "Save audio to MP3 file"},
    {IDC_SAVE_FRAMES, "Save frames to BMP files"},
    {IDC_FILES_TO_CONVERT_BOX, "Files to Convert"},
    {IDC_SELECTED_FILE, "Selected file"},
    {IDC_ALL_FILES, "All files"},
    {IDC_MONITORING, "Video Monitoring"},
    {IDC_CONVERT, "Convert"},
    {IDC_STOP_CONVERSION, "Stop"},
    {IDC_ROTATE_BOX, "Rotate"},
    {IDC_HELP, "Help ..."},
    {IDC_KEEP_PROPORTIONS, zem::kKeepProportionsOption.labelKey},
    {IDC_SUBTITLE_BOX, "SubTitle"},
    {IDC_SUBTITLE, "SubTitle"},
    {IDC_FONT_SIZE_BOX, "Font Size"},
    {IDC_SUBTITLE_BIG, zem::kSubtitleSizeChoices[0].labelKey},
    {IDC_SUBTITLE_MIDDLE, zem::kSubtitleSizeChoices[1].labelKey},
    {IDC_SUBTITLE_SMALL, zem::kSubtitleSizeChoices[2].labelKey},
}};

// Language files.
inline constexpr int kMaxTranslatedLength = 199;

struct HelpFileRow {
    const char* languageFile;
    const char* helpFile;
};
inline constexpr const char* kHelpFolder = "Doc";
inline constexpr std::array<HelpFileRow, 4> kHelpFiles{{
    {"KOR.ini", "ZemConverter_UserManual.html"},
    {"ENG.ini", "ZemConverter_UserManual_Eng.html"},
    {"CHS.ini", "ZemConverter_UserManual_Chs.html"},
    {"CHT.ini", "ZemConverter_UserManual_Cht.html"},
}};

// File list.
enum FileListColumn : int {
    kColInput = 0,
    kColOutput = 1,
    kColSelStart = 2,
    kColSelEnd = 3,
    kColTime = 4,
    kColSize = 5,
    kColStatus = 6,
    kColumnCount = 7,
};
struct ColumnLayout {
    const char* key;
    int widthPx;
    bool rightAligned;
};
inline constexpr std::array<ColumnLayout, kColumnCount> kColumns{{
    {"Input File", 230, false},
    {"Output File", 230, false},
    {"|<", 65, false},
    {">|", 65, false},
    {"Time", 65, false},
    {"Size", 65, true},
    {"Status", 130, false},
}};

// A range cell's widest usual time (59:59.999, in 100 ns) and the room a cell
// and a header leave around their text, in pixels.
inline constexpr int64_t kWidestRangeTime = 35999990000LL;
inline constexpr int kCellTextMarginPx = 12;
inline constexpr int kHeaderArrowRoomPx = 4;

inline constexpr const char* kOpenDialogTitle = "Select input files ...";
// The open and save dialogs' least size in pixels: their columns show whole.
inline constexpr int kFileDialogMinWidth = 900;
inline constexpr int kFileDialogMinHeight = 560;
// Label and patterns of each entry of the open dialog's filter list.
struct NameFilter {
    const char* label;
    const char* patterns;
};
// The open dialog's first entry (every ending the program reads) and its
// last; the entries between come from kInputKinds and kOpenDialogEntries.
inline constexpr const char* kOpenAllVideosLabel = "Open possible  Video files";
inline constexpr NameFilter kOpenAnyFileFilter{"All Files (*.*)", "*"};
inline constexpr const char* kSaveDialogTitle = "Save As";
inline constexpr NameFilter kSaveFilter{"AVI Files (.avi)", "*.avi"};
inline constexpr const char* kSaveDefaultSuffix = "avi";
inline constexpr const char* kChangeAllQuestion = "Change all remaining files' output to this folder ?";

// Time texts.
inline constexpr const char* kEmptyTimeText = "00:00";
inline constexpr int64_t kUnitsPerMs = 10000;  // 100 ns units
inline constexpr int64_t kEndCellExtra = 9999; // an end covers its whole last millisecond

// Preview slider.
inline constexpr int kSliderMax = 100;
inline constexpr int kSliderPage = 5;

// Preview labels.
inline constexpr const char* kPictureSizeFormat = "%d x %d";
inline constexpr const char* kFileSizeMbFormat = "%d.%dMB";
inline constexpr const char* kFileSizeKbFormat = "%dKB";
inline constexpr int64_t kBytesPerMb = 1024 * 1024;
inline constexpr int64_t kBytesPerKb = 1024;

// Position timer period and the wait between looks at a running job.
inline constexpr int kPositionTimerMs = 100;
inline constexpr int kConversionWaitMs = 500;
// How long the graph may take to tell its state after a stop.
inline constexpr long kGraphStateWaitMs = 500;
inline constexpr const char* kStateReadFailedFormat = "Failed to read graph state!  hr=0x%x\r\n";
inline constexpr const char* kUnknownEventFormat = "  Received unknown event code (0x%x)\r\n";
// The slider reads the state on every notification of a drag: only a short wait.
inline constexpr long kScrollStateWaitMs = 10;

// Transport buttons: tooltip (not translated) and icon resource.
struct TransportButton {
    int id;
    const char* tooltip;
    int icon; // 0: text button
};
inline constexpr std::array<TransportButton, 8> kTransportButtons{{
    {IDC_PLAY, "Play", 130},
    {IDC_PAUSE, "Pause", 131},
    {IDC_STOP, "Stop", 134},
    {IDC_FRAME_STEP, "Frame Step", 133},
    {IDC_MUTE, "Mute", 132},
    {IDC_SELECTION_START, "Start Selection", 0},
    {IDC_SELECTION_END, "End Selection", 0},
    {IDC_CLEAR_SELECTION, "Clear Selection", 0},
}};
inline constexpr int kWindowIcon = 128;
inline constexpr const char* kIconPathFormat = ":/res/icons/icon%1.png";
// Smaller renderings of the window icon, for title bars and task bars.
inline constexpr std::array<const char*, 2> kWindowIconSizes{":/res/icons/icon128_64.png",
                                                             ":/res/icons/icon128_32.png"};
inline constexpr const char* kSplashPath = ":/res/splash.png";
// The lines the start-up picture leaves room for under the name: where each
// baseline starts, its pixel size and colour.
inline constexpr const char* kVersionNumber = "4.10";
inline constexpr double kSplashVersionX = 26, kSplashVersionY = 92, kSplashVersionSize = 17;
inline constexpr unsigned kSplashVersionColour = 0xcfe2ff;
inline constexpr double kSplashPurposeX = 26, kSplashPurposeY = 124, kSplashPurposeSize = 12.5;
inline constexpr unsigned kSplashPurposeColour = 0x9fc0ea;

// The file list kept from one session to the next, beside the settings file.
inline constexpr const char* kSavedListFile = "FileList.json";
inline constexpr const char* kSavedListRows = "files";
inline constexpr const char* kSavedListInput = "input";
inline constexpr const char* kSavedListOutput = "output";
inline constexpr const char* kSavedListStart = "start";
inline constexpr const char* kSavedListEnd = "end";
// What a range cell holds when set ("01:30.500").
inline constexpr const char* kRangeCellPattern = "[0-9]{2,}:[0-9]{2}\\.[0-9]{3}"; // the whole cell
// Texts in the language files; a name in braces is filled in by the program.
inline constexpr const char* kTextFilesGone = "{count} file(s) of the last list no longer exist: left out";
inline constexpr const char* kTextTimeLeft = "{time} left";
inline constexpr const char* kTextRunTimeLeft = "{n} of {count}: {time} left (all: {total})";
inline constexpr const char* kTextNoSoundOutput = "No sound output: the preview plays without sound";

// Time left in the Messages line: looked at every second, shown once the
// current file has been converting for this long (its first moments, when the
// graph starts, say little about its speed).
inline constexpr int kTimeLeftTickMs = 1000;
inline constexpr int kTimeLeftDelayMs = 3000;
// How long reading a later file's length may take.
inline constexpr int kLengthProbeTimeoutS = 5;

// A notice stays on the Messages line at least this long: a glance, then
// time per letter (a CJK letter reads like kWideLetterWeight Latin ones),
// never longer than the longest time.
inline constexpr int kNoticeGlanceMs = 1500;
inline constexpr int kNoticeLetterMs = 70;
inline constexpr int kWideLetterWeight = 3;
inline constexpr int kNoticeLongestMs = 12000;

// The desktop's entry for the program (a ".desktop" file): what menus and a
// file manager's "Open with" show.
inline constexpr const char* kDesktopName = "ZemConverter";
inline constexpr const char* kDesktopGenericName = "Video Converter";
inline constexpr const char* kDesktopComment = "Convert videos for small portable players (Motion-JPEG AVI)";
inline constexpr const char* kDesktopExec = "zemconverter %F";
inline constexpr const char* kDesktopIcon = "zemconverter";
inline constexpr const char* kDesktopCategories = "AudioVideo;Video;AudioVideoEditing;";

// The program's own viewer for the manual, when no browser opens it.
inline constexpr int kHelpViewerWidth = 800;
inline constexpr int kHelpViewerHeight = 600;

} // namespace zem::app
