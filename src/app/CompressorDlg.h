#pragma once
// The program's one window: file list, preview area with its transport row,
// option groups, conversion controls and Help. The option values live in the
// inherited ConversionSettings members; UpdateData moves them between the
// controls and the members.

#include "ConversionSettings.h"
#include "RegistryStore.h"

#include <QDialog>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>

class QButtonGroup;
class QTableWidget;
class QLabel;
class QProgressBar;
class CNiceSliderCtrl;

class CCompressorDlg : public QDialog, public zem::ConversionSettings {
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
    enum class RadioGroup { None, VideoSize, Quality, Rotate, ConvertAll, SubtitleSize, FormatVersion, FrameRate, Audio };

    explicit CCompressorDlg(Environment environment = DefaultEnvironment(), QWidget* parent = nullptr);
    ~CCompressorDlg() override;

    // Controls are found by their identifier, which is also their object name.
    QWidget* Control(int id) const;
    template <typename T>
    T* ControlAs(int id) const { return qobject_cast<T*>(Control(id)); }
    QTableWidget* FileList() const { return m_fileList; }

    // Data exchange: true reads the controls into the members, false pushes
    // the members to the controls.
    void UpdateData(bool saveAndValidate);
    void EnableControls(bool enable);
    // The controls EnableControls switches, in its order.
    QList<QWidget*> EnableControlList() const;

    // Settings.
    void LoadSettings();
    void SaveSettings();

    // File list.
    int AddFile(const QString& path);
    static bool IsAcceptedPath(const QString& path);
    static QString DefaultOutputPath(const QString& inputPath);
    int GetSelectedRow() const;
    void SelectRow(int row);
    void ClearPreview();
    void UpdateFileCount();
    void OnAdd();
    void OnDelete();
    void OnDeleteAll();
    void OnChangeOutput();
    void AddDroppedFiles(const QStringList& paths);
    QString CellText(int row, int column) const;
    int RowCount() const;

    // Selection cells of the selected row (100 ns units).
    int64_t SetTimeCell(int column, int64_t time, bool withMilliseconds);
    int64_t GetTimeCell(int column) const;
    static QString FormatTime(int64_t time, bool withMilliseconds);

    // Takes the row's input and output paths as the current job. Opening the
    // input in the preview is the preview player's part and is not wired here.
    void SelectJob(int row);

    // Languages and help.
    void LocateLanguageFile();
    QString Translate(const QString& key) const;
    void ApplyLanguage();
    QString HelpFilePath() const;
    void ShowHelp();

    // Codec environment and subtitle settings.
    void CheckCodecEnvironment();
    // Packages to install for the elements `hasElement` reports missing.
    static QStringList MissingCodecPackages(const std::function<bool(const char*)>& hasElement);
    static bool HasMediaElement(const char* name);
    void SetSubtitleFontHeight(int32_t height);
    void WriteSubtitleLoadLevel();
    void OnSubtitle();
    void OnSubtitleSize(int sizeIndex);
    QString SubtitleFilterPath() const;

    // Conversion buttons: only read the controls until the conversion run exists.
    void OnConvert();
    void OnStopConversion();

    // Runs on the close request and again when the window goes away.
    void OnCloseRoutine();

    // Members shown in labels.
    QString m_messageText;
    QString m_fileCountText;
    QString m_videoSizeText;
    QString m_fileSizeText;
    int m_sliderPos = 0;

    // Current job and player state.
    QString m_inputFile;
    QString m_outputFile;
    int m_converting = 0;
    int64_t m_selectionStart = 0;
    int64_t m_selectionEnd = 0;
    int64_t m_duration = 0;
    int64_t m_conversionPosition = 0;
    int m_timerId = 0;

    // Language.
    QString m_appDir;
    QString m_langFile;

    QIcon m_hIcon;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Layout and routing.
    void CreateControls();
    void ConnectRoutes();
    void OnInitDialog();
    void InitFileList();
    void InitTransportButtons();
    void HideSubtitleGroup();
    QRect DialogUnitsToPixels(int x, int y, int w, int h) const;
    static QIcon LoadIconResource(int number);

    // Data exchange helpers.
    void ExchangeRadio(bool save, RadioGroup group, int32_t& value);
    void ExchangeCheck(bool save, int id, int32_t& value);
    void ExchangeText(bool save, int id, QString& value);

    void OnRowSelectionChanged();

    Environment m_environment;
    zem::os::RegistryStore m_registry;
    std::map<RadioGroup, QButtonGroup*> m_radioGroups;
    QTableWidget* m_fileList = nullptr;
    CNiceSliderCtrl* m_positionSlider = nullptr;
    double m_xUnit = 1.5;
    double m_yUnit = 1.6;
};
