// Labels in the user's language and the manual that goes with it.

#include "CompressorDlg.h"
#include "DialogSeam.h"
#include "DlgConstants.h"
#include "HelpViewer.h"
#include "ProgramPaths.h"
#include "SystemLocale.h"

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

// Reads one value of a profile-style INI file the way the program's language
// files are written: UTF-8, section and key names compared without regard to
// case, the value taken as it stands after "=" (commas and backslashes
// included), one pair of surrounding quotes removed.
std::optional<QString> ReadProfileString(const QString& file, const QString& section, const QString& key) {
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString text = QString::fromUtf8(input.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    bool inSection = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            inSection = close > 0 && line.mid(1, close - 1).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection || line.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

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

void LoadQtTranslations(const QString& languageFile) {
    if (g_qtTranslator) {
        QCoreApplication::removeTranslator(g_qtTranslator.get());
        g_qtTranslator.reset();
    }
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
    const QString language = zem::os::LanguageAbbreviation(zem::os::UserLocale());
    m_langFile = m_appDir + QLatin1Char('/') + QLatin1String(kLanguageFolder) + QLatin1Char('/') + language +
                 QStringLiteral(".ini");
    LoadQtTranslations(m_langFile);
}

QString CCompressorDlg::Translate(const QString& key) const {
    QString value = ReadProfileString(m_langFile, QString::fromLatin1(kLanguageSection), key).value_or(key);
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
    // Without a browser (a bare desktop, a kiosk) the manual shows in the
    // program's own viewer.
    if (!OpenUrl(QUrl::fromLocalFile(path)))
        ShowHelpViewer(this, path);
}
