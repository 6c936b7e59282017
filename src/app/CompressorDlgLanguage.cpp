// Labels in the user's language and the manual that goes with it.

#include "CompressorDlg.h"
#include "FileListModel.h"
#include "DialogSeam.h"
#include "DlgConstants.h"
#include "HelpViewer.h"
#include "LanguageFile.h"
#include "ProgramPaths.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QTranslator>
#include <QUrl>
#include <memory>

using namespace zem::app;

namespace {

// Qt's own texts (file dialogs, message box buttons) in the window's language:
// the language file's name and the locale of Qt's translations for it.
struct QtLanguage {
    const char* languageFile;
    const char* qtLocale;
};
constexpr QtLanguage kQtLanguages[] = {{"KOR.ini", "ko"}, {"CHS.ini", "zh_CN"}, {"CHT.ini", "zh_TW"}};
constexpr const char* kQtTranslationsName = "qtbase";

// One for the process: installed for the language of the window last made.
std::unique_ptr<QTranslator> g_qtTranslator;

// Qt's own words that its translations lack: the file dialog's "Type" column
// names a folder or a file through the icon provider, a context the shipped
// translations do not carry. They come from the language file.
constexpr const char* kQtIconProviderContext = "QAbstractFileIconProvider";
inline constexpr const char* kTextQtFolder = "Folder";
inline constexpr const char* kTextQtFile = "%1 File";

class LanguageFileTranslator : public QTranslator {
public:
    explicit LanguageFileTranslator(QString languageFile) : m_languageFile(std::move(languageFile)) {}

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char*, int) const override {
        if (qstrcmp(context, kQtIconProviderContext) != 0 ||
            (qstrcmp(sourceText, kTextQtFolder) != 0 && qstrcmp(sourceText, kTextQtFile) != 0))
            return {};
        const QString english = QString::fromLatin1(sourceText);
        const QString value = zem::os::LookUpWording(m_languageFile, english);
        // Untranslated: Qt goes on to its own text.
        return value == english ? QString() : value;
    }

private:
    QString m_languageFile;
};
std::unique_ptr<QTranslator> g_ownTranslator;

void LoadQtTranslations(const QString& languageFile) {
    if (g_qtTranslator) {
        QCoreApplication::removeTranslator(g_qtTranslator.get());
        g_qtTranslator.reset();
    }
    if (g_ownTranslator) {
        QCoreApplication::removeTranslator(g_ownTranslator.get());
        g_ownTranslator.reset();
    }
    auto own = std::make_unique<LanguageFileTranslator>(languageFile);
    if (QCoreApplication::installTranslator(own.get()))
        g_ownTranslator = std::move(own);
    const QString name = languageFile.mid(languageFile.lastIndexOf(QLatin1Char('/')) + 1);
    for (const QtLanguage& language : kQtLanguages) {
        if (name != QLatin1String(language.languageFile))
            continue;
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QLatin1String(kQtTranslationsName) + QLatin1Char('_') + QLatin1String(language.qtLocale),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
            QCoreApplication::installTranslator(translator.get()))
            g_qtTranslator = std::move(translator);
        return;
    }
}

} // namespace

void CCompressorDlg::LocateLanguageFile() {
    m_appDir = m_environment.appDir.isEmpty() ? zem::os::ProgramDataFolder() : m_environment.appDir;
    m_langFile = zem::os::UserLanguageFile(m_appDir);
    LoadQtTranslations(m_langFile);
}

QString CCompressorDlg::Translate(const QString& key) const {
    QString value = zem::os::LookUpWording(m_langFile, key);
    if (value.size() > kMaxTranslatedLength) {
        value.truncate(kMaxTranslatedLength);
        // Never leave half of a character that needs two code units.
        if (value.back().isHighSurrogate())
            value.chop(1);
    }
    return value;
}

QString CCompressorDlg::Shown(const zem::UserText& text) const {
    return QString::fromStdString(text.Shown(
        [this](const std::string& english) { return Translate(QString::fromStdString(english)).toStdString(); }));
}

void CCompressorDlg::ApplyLanguage() {
    for (const LabelKey& label : kLanguageLabels) {
        const QString text = Translate(QString::fromLatin1(label.key));
        QWidget* control = Control(label.id);
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            button->setText(text);
        else if (auto* box = qobject_cast<QGroupBox*>(control))
            box->setTitle(text);
        else if (auto* plain = qobject_cast<QLabel*>(control))
            plain->setText(text);
    }
    ApplyMnemonics();
    m_rows->Retranslate();
}

QString CCompressorDlg::HelpFilePath() const {
    const QString name = m_langFile.mid(m_langFile.lastIndexOf(QLatin1Char('/')) + 1);
    for (const HelpFileRow& row : kHelpFiles) {
        if (name == QLatin1String(row.languageFile))
            return m_appDir + QLatin1Char('/') + QLatin1String(kHelpFolder) + QLatin1Char('/') +
                   QLatin1String(row.helpFile);
    }
    return {};
}

void CCompressorDlg::ShowHelp() {
    const QString path = HelpFilePath();
    // A missing manual or an unknown language opens nothing.
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    // When the desktop cannot open it (no opener, no browser, a broken
    // setting) the manual shows in the program's own viewer.
    OpenUrl(QUrl::fromLocalFile(path), this, [this, path] { ShowHelpViewer(this, path); });
}
