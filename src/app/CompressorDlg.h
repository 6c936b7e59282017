#pragma once
// The program's one window: file list, preview area with its transport row,
// option groups, conversion controls and Help. The option values live in the
// inherited ConversionSettings members; UpdateData moves them between the
// controls and the members. The window is the conversion engine's host: the
// engine runs the job, the window shows what it reports.
//
// Threads: the window, its run and its graph belong to the GUI thread. The
// graph's threads reach it only as events posted to it (event()), and the
// frame encoder they call is the run's (ConversionRun says what it shares).

#include "ConversionHost.h"
#include "ConversionRun.h"
#include "ConversionSettings.h"
#include "DlgConstants.h"
#include "MediaSession.h"
#include "MessagesLine.h"
#include "RegistryStore.h"
#include "ThemeHelperST.h"
#include "TimeLeft.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <QJsonArray>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QButtonGroup;
class QKeyEvent;
class QTableView;
class QLabel;
class QProgressBar;
class CNiceSliderCtrl;
namespace zem::app {
class FileListModel;
class MediaLengths;
} // namespace zem::app
namespace zem::media {
struct SubtitleOptions;
}

class CCompressorDlg : public QDialog, public zem::ConversionSettings, public zem::ConversionHost {
    Q_OBJECT
public:
    // Where the window finds its files; tests point these at temporary folders.
    struct Environment {
        QString appDir;         // folder with Lang/ and Doc/
        QString settingsFile;   // INI file with section "ZemConverter"
        QString registryFolder; // registry store
    };
    static Environment DefaultEnvironment();

    // The radio groups the data exchange knows.
    enum class RadioGroup {
        None,
        VideoSize,
        Quality,
        Rotate,
        ConvertAll,
        SubtitleSize,
        FormatVersion,
        FrameRate,
        Audio
    };

    explicit CCompressorDlg(Environment environment = DefaultEnvironment(), QWidget* parent = nullptr);
    ~CCompressorDlg() override;

    // Controls are found by their identifier, which is also their object name.
    QWidget* Control(int id) const;
    template <typename T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }
    QTableView* FileList() const { return m_fileList; }
    zem::app::FileListModel& Rows() const { return *m_rows; }

    // Data exchange: true reads the controls into the members, false pushes
    // the members to the controls.
    void UpdateData(bool saveAndValidate);
    void EnableControls(bool enable);
    // The controls EnableControls switches, in its order.
    QList<QWidget*> EnableControlList() const;

    // Settings.
    void LoadSettings();
    void SaveSettings();
    // Moves the window to where it was last time, or to the screen's centre.
    void PlaceOnScreen();
    // The window's size as the layout designs it; larger or smaller, the
    // controls are placed again to take or give the difference.
    QSize DesignedSize() const;

    // File list.
    int AddFile(const QString& path);
    static bool IsAcceptedPath(const QString& path);
    // `wanted`, or a numbered form of it that no row's output has.
    QString FreeOutputPath(const QString& wanted) const;
    // Why `output` may not be the output of `row` (another row writes it, or
    // it is one of the list's inputs), in the window's language; empty when it
    // may. With `earlierOnly` only the rows above `row` count as writers: at
    // Convert the first row of the list keeps a name two rows share.
    enum class OutputClash { None, IsInput, Taken };
    OutputClash OutputConflict(int row, const QString& output, bool earlierOnly, QString& why) const;
    QString OutputConflict(int row, const QString& output, bool earlierOnly = false) const;
    int GetSelectedRow() const;
    void SelectRow(int row);
    void ClearPreview();
    void UpdateFileCount();
    void OnAdd();
    void OnDelete();
    void OnDeleteAll();
    void OnChangeOutput();
    void AddDroppedFiles(const QStringList& paths);
    // Lists the files at once and reads them in the background; the last one
    // added opens in the preview once it has been read.
    void AddFiles(const QStringList& paths);
    // Files a later start of the program handed on: added as if dropped, and
    // the window comes to the front.
    void TakeHandedFiles(const QStringList& paths);
    QString CellText(int row, int column) const;
    QString CellToolTip(int row, int column) const;
    int RowCount() const;

    // Selection cells of the selected row (100 ns units).
    int64_t SetTimeCell(int column, int64_t time, bool withMilliseconds);
    int64_t GetTimeCell(int column) const;
    // The same cells of a given row.
    void SetRowTimeCell(int row, int column, int64_t time, bool withMilliseconds);
    int64_t RowTimeCell(int row, int column) const;
    static QString FormatTime(int64_t time, bool withMilliseconds);
    // The time a range cell's text stands for; an end covers its last millisecond.
    static int64_t TimeCellValue(const QString& text, bool isEnd);

    // The list kept for the next session, beside the settings file.
    QString SavedListPath() const;
    void SaveFileList();
    void RestoreFileList();
    // Renames a file that cannot be read to "<name>.unreadable"; the new name,
    // or empty when it could not be moved.
    static QString KeepAside(const QString& path);

    // How long a file converts before its time left shows (kTimeLeftDelayMs).
    void SetTimeLeftDelay(int milliseconds) { m_timeLeft.SetDelay(milliseconds); }

    // Makes the row the current job: its paths and selection go to the
    // conversion run, which opens the input in the preview; the labels under
    // the video area then describe the opened file.
    void SelectJob(int row);

    // Preview labels and controls, filled from the graph after an open.
    void ShowFileSize(const QString& path);
    void ShowPictureSize();
    // The opened file's length in its label and in the Time cell of `row`.
    void ShowDuration(int row);
    void ResetPositionSlider();
    bool CanStepFrames();
    // Stops the preview at position 0 with the first picture shown.
    void RewindAndStop();
    // Tells the Messages line, once, when the preview plays into no sound output.
    void TellMissingSoundOutput();
    // The row's file is sound alone: its status says so, its tooltip why.
    void TellSoundOnly(int row);
    // Moves the slider and the position label to the graph's (or the
    // conversion's) position and returns it; 0 without a graph.
    int64_t UpdatePosition();
    void UpdatePositionText(int64_t position);

    // Transport row.
    // The transport buttons and the slider work only with a file open.
    void EnableTransport(bool fileOpen);
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnFrameStep();
    void OnMute();
    // One picture on; pauses a running graph first.
    HRESULT StepOneFrame();
    // The slider's scroll notifications: every one seeks; the end of a drag
    // also puts the graph back into the state it had.
    void OnPositionScroll(int code);

    // Selection range of the selected row, kept in its "|<" and ">|" cells.
    void OnStartSelection();
    void OnEndSelection();
    // The body of both: the playing position becomes that edge of the
    // selection; the other edge stays unless the new one passes it.
    enum class SelectionEdge { Start, End };
    void MarkSelectionEdge(SelectionEdge edge);
    void OnClearSelection();
    void ShowSelection(int64_t start, int64_t end);

    // Languages and help.
    void LocateLanguageFile();
    QString Translate(const QString& key) const;
    // A text of the engine or the media layer in the user's language: the
    // wordings looked up, then their blanks filled.
    QString Shown(const zem::UserText& text) const;
    // The label of each control the window shows: its English text, and
    // whether the language file translates it (else it shows as it is).
    struct ShownLabel {
        const char* text;
        bool translated;
    };
    static std::vector<ShownLabel> VisibleLabels();
    // Places the preview's video window (or the one in the video area) in it.
    void PlaceVideoWindow(QWidget* video = nullptr);
    void ApplyLanguage();
    // "&Add ...", "추가(&A) ...": the button's Alt+letter marked in its text.
    static QString WithMnemonic(const QString& text, char letter);
    QString HelpFilePath() const;
    void ShowHelp();

    // Codec environment and subtitle settings.
    void CheckCodecEnvironment();
    // Packages to install for the elements `hasElement` reports missing.
    static QStringList MissingCodecPackages(const std::function<bool(const char*)>& hasElement);
    static bool HasMediaElement(const char* name);
    void SetSubtitleFontHeight(int32_t height);
    void WriteSubtitleLoadLevel();
    // Hands the stored subtitle settings to the renderer.
    void PushSubtitleSettings();
    // The subtitle settings the renderer is given: on or off and the letters' height.
    zem::media::SubtitleOptions StoredSubtitleOptions() const;
    void OnSubtitle();
    void OnSubtitleSize(int sizeIndex);
    QString SubtitleFilterPath() const;

    // Convert: the selected row or every row, one job after another; returns
    // when all are finished. Stop ends the running job as stopped.
    void OnConvertClicked();
    void OnStopClicked();
    // The work of each tick of the position timer.
    void OnPositionTimer();
    // Drains the graph's events (posted to the window as WM_GRAPH_EVENT).
    void OnGraphNotify();

    zem::ConversionRun& Run() { return m_run; }
    // From Convert to the end of its last file: the list keeps its rows and
    // the option controls stay off.
    bool RunActive() const { return m_runActive; }
    // The row being converted, wherever the list has moved it; -1 outside a job.
    int RunRow() const { return m_runRow.isValid() ? m_runRow.row() : -1; }
    zem::MediaSession& Session() { return m_session; }

    // The conversion engine's view of the window.
    void OnJobEvent(const zem::JobEvent& event) override;
    void ShowMessage(const zem::UserText& text, const zem::UserText& cause = {}) override;
    void PumpMessages() override;
    QObject* EventTarget() override;
    // A run's row failed: its code in Status, the reason in its tooltip and
    // the Messages line.
    void ShowRowFailure(int row, zem::FailureCode code, const QString& reason);
    // The Messages line shows m_messageText, wrapped; only a text too long
    // for its lines loses its middle.
    void ShowMessageLine();
    // The Messages line's text: an English key of the engine or a text in
    // the window's language already.
    void SetMessageText(const std::string& text);
    void SetProgress(int percent);
    // The position timer moves the slider while the preview plays and the
    // progress while a job runs.
    void StartPositionTimer();
    void StopPositionTimer();
    QWidget* VideoOwner() override;
    void LogGraphEvent(long code) override;

    // Runs on the close request and again when the window goes away.
    void OnCloseRoutine();
    // Whether a close request may go on: while files convert the user is
    // asked once whether to stop them.
    bool ConfirmClose();

    // Members shown in labels.
    QString m_messageText;
    QString m_fileCountText;
    QString m_videoSizeText;
    QString m_fileSizeText;
    int m_sliderPos = 0;

    // Current job and player state; the run's own state lives in m_run.
    QString m_inputFile;
    QString m_outputFile;
    int64_t m_duration = 0;
    int m_timerId = 0;
    // The selected row's range as last read from or written to its cells.
    int64_t m_selectionStart = 0;
    int64_t m_selectionEnd = 0;

    // Language.
    QString m_appDir;
    QString m_langFile;

    QIcon m_hIcon;
    // Shared by the transport buttons; lives as long as the window.
    ThemeHelperST m_themeHelper;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Minimised, the window shows its icon centred instead of its face.
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Keyboard.
    void ApplyMnemonics();
    void SetTabOrder();
    // Enter and Delete in the list; true when the key was used.
    bool OnListKey(QKeyEvent* event);

    // Layout and routing.
    // Dialog units from the dialog font, the controls in them, and the
    // window's title and fixed size.
    void MeasureDialogUnits();
    void CreateControls();
    void SetWindowFrame();
    void ConnectRoutes();
    void OnInitDialog();
    void InitTimeLeft();
    void OnTimeLeftTick();
    // Media a row still has to convert (its range, or the whole file); -1
    // while its length is being read.
    int64_t RowLength(int row);
    void InitFileList();
    void InitTransportButtons();
    QRect DialogUnitsToPixels(int x, int y, int w, int h) const;
    void PlaceControls();
    static QIcon LoadIconResource(int number);

    // Data exchange helpers.
    void ExchangeRadio(bool save, RadioGroup group, int32_t& value);
    void ExchangeCheck(bool save, int id, int32_t& value);
    void ExchangeText(bool save, int id, QString& value);

    void OnRowSelectionChanged();
    // One row of a Convert run (m_runRow): select, check, start, wait.
    struct RunTally {
        int converted = 0;
        int failed = 0;
    };
    void ConvertRunRow(RunTally& tally);
    // Waits while the job runs; the timer, the graph's events, Stop and the
    // close request are handled meanwhile and one of them ends it.
    void WaitForJob();
    // "2 of 3 failed" or "3 converted" once a run of several files is over.
    void ShowRunSummary(const RunTally& tally);
    // "3 of 6" while the run's file has no time left yet.
    QString RunPlaceText() const;
    // A file's background reading has ended.
    void OnProbed(const QString& path);
    // Opens the row in the preview, unless it is known not to open.
    void OpenSelectedRow(int row);
    // Finishes or abandons a running job before the window's objects go away.
    void EndConversionForClose();

    Environment m_environment;
    zem::os::RegistryStore m_registry;
    std::map<RadioGroup, QButtonGroup*> m_radioGroups;
    // Set while Convert works through its rows: failures are not boxed then,
    // and the list keeps every row.
    bool m_runActive = false;
    // The rows the run converts, fixed at Convert (rows added later wait for
    // the next run), the one at work and its place among them.
    std::vector<QPersistentModelIndex> m_runRows;
    QPersistentModelIndex m_runRow;
    size_t m_runIndex = 0;
    // The row whose file the preview opened last.
    QPersistentModelIndex m_previewRow;
    // A failure is in the Messages line: the run's other texts leave it there.
    bool m_failureShown = false;
    // The state the engine reported last: the Messages line changes with the state.
    zem::JobState m_jobState = zem::JobState::Completed;
    // The list's rows, and the view that shows them.
    zem::app::FileListModel* m_rows = nullptr;
    QTableView* m_fileList = nullptr;
    CNiceSliderCtrl* m_positionSlider = nullptr;
    double m_xUnit = 1.5;
    double m_yUnit = 1.6;
    // The controls in the order of the layout's table.
    std::vector<QWidget*> m_layoutControls;
    // Owned by the Messages line's label.
    zem::app::MessagesLine* m_messagesLine = nullptr;

    // Time left in the Messages line: the estimate, the clock it reads and
    // the job it measures.
    zem::app::TimeLeftEstimate m_timeLeft{zem::app::kTimeLeftDelayMs};
    std::unique_ptr<zem::app::MediaLengths> m_mediaLengths;
    QElapsedTimer m_timeLeftClock;
    bool m_timeLeftJobSeen = false;
    int64_t m_timeLeftOrigin = 0;

    // The graph and the run; declared last so they go before the controls do.
    zem::MediaSession m_session{*this};
    zem::ConversionRun m_run{*this, m_session};
    // Set while Convert selects its rows itself, so the selection change does
    // not open each file a second time.
    bool m_selectingForRun = false;
    // Set by the close request: no more rows are started and a finishing job
    // does not load its file again.
    bool m_closing = false;
    // Files added whose reading has not ended, those that could not be read
    // (told together once all are read), and the one to open when read.
    std::set<QString> m_addProbing;
    QStringList m_addFailures;
    QString m_openWhenRead;
    // The saved list as this window last read or wrote it, and the rows of
    // lists written meanwhile by others, kept after this window's own.
    QByteArray m_listSeen;
    QJsonArray m_keptRows;
    // The window has been placed on the screen (its first show).
    bool m_placed = false;
    static QString WindowKey(const char* name);
    // An end of stream seen while previewing.
    bool m_previewEnded = false;
    // The Messages line has said that the preview plays without sound.
    bool m_toldNoSoundOutput = false;
};
