#pragma once
// Shared helpers: a window that runs on temporary folders, answered dialogs,
// and small files on disk.

#include "CompressorDlg.h"
#include "DialogSeam.h"
#include "MessageBoxSeam.h"
#include "TestClips.h"

#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <vector>

namespace apptest {

inline QString Path(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// One message box the window showed: its text and its MB_ button and icon flags.
struct ShownMessage {
    QString text;
    int flags = MB_OK;
    int buttons() const { return flags & 0xF; }
    int icon() const { return flags & 0xF0; }
};

// A temporary program folder (with Lang/ and Doc/), settings file and
// registry store; message boxes are recorded and answered with `answer`.
class WindowFixture {
public:
    WindowFixture();
    ~WindowFixture();

    std::unique_ptr<CCompressorDlg> MakeWindow();
    CCompressorDlg::Environment Environment() const;

    QString AppDir() const { return m_dir.filePath(QStringLiteral("app")); }
    QString SettingsFile() const { return m_dir.filePath(QStringLiteral("ZemConverter.ini")); }
    QString RegistryFolder() const { return m_dir.filePath(QStringLiteral("registry")); }
    QString DataDir() const { return m_dir.filePath(QStringLiteral("data")); }
    // Writes `text` (UTF-8) to AppDir()/Lang/<name>.
    void WriteLanguageFile(const QString& name, const QString& text) const;
    // Creates an empty file in DataDir() and returns its path.
    QString TouchFile(const QString& name) const;

    std::vector<ShownMessage> m_messages;
    int m_answer = IDYES; // IDYES, IDNO, IDOK or IDCANCEL
    MessageBoxHook m_previousMessageHook;
    std::vector<zem::app::FileDialogRequest> m_fileDialogs;
    QStringList m_fileDialogAnswer;

private:
    QTemporaryDir m_dir;
};

// A shown window whose list holds one clip made for the test.
struct ClipWindow {
    zem::testclips::TempDir clips;
    WindowFixture fixture;
    std::unique_ptr<CCompressorDlg> window;
    std::filesystem::path clip;
};
// Makes the clip (kind and seconds as MakeClip takes them), shows the window
// and adds the clip; false when the clip cannot be made or opened.
inline bool OpenClipWindow(ClipWindow& w, const char* kind, double seconds) {
    w.clip = zem::testclips::MakeClip(w.clips.path(), kind, seconds);
    if (w.clip.empty())
        return false;
    w.window = w.fixture.MakeWindow();
    w.window->show();
    return w.window->AddFile(Path(w.clip)) == 0;
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

private:
    QByteArray m_name;
    QByteArray m_old;
    bool m_had;
};

} // namespace apptest
