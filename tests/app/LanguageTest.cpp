// Labels from the language file of the user's language, the 199-character
// cut, the manual per language, and the shipped language files.

#include "AppTestSupport.h"
#include "WindowTexts.h"

#include "BtnST.h"
#include "FailureCodes.h"
#include "InputKinds.h"
#include "OptionTable.h"
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTableView>
#include <gtest/gtest.h>
#include <map>
#include <set>

using enum zem::app::ControlId;

using apptest::ScopedEnv;
using apptest::WindowFixture;

namespace {
// The label without its Alt letter ("&Add ...", "추가(&A) ...").
QString ButtonText(CCompressorDlg& window, int id) {
    static const QRegularExpression kBracketed(QStringLiteral("\\(&.\\)"));
    return window.ControlAs<QAbstractButton>(id)->text().remove(kBracketed).remove(QLatin1Char('&'));
}
} // namespace

TEST(Language, EnglishWithoutALanguageFile) {
    ScopedEnv locale("LC_ALL", "ko_KR.UTF-8");
    WindowFixture fixture; // no Lang/KOR.ini written
    auto window = fixture.MakeWindow();
    EXPECT_TRUE(window->m_langFile.endsWith(QStringLiteral("/Lang/KOR.ini")));
    EXPECT_EQ(ButtonText(*window, IDC_ADD), QStringLiteral("Add ..."));
    EXPECT_EQ(ButtonText(*window, IDC_QUALITY_MIDDLE), QStringLiteral("Middle"));
    EXPECT_EQ(window->ControlAs<QGroupBox>(IDC_FILES_TO_CONVERT_BOX)->title(), QStringLiteral("Files to Convert"));
    EXPECT_EQ(window->ControlAs<QLabel>(IDC_FILES_LABEL)->text(), QStringLiteral("Files:"));
    EXPECT_EQ(window->FileList()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Input File"));
    EXPECT_EQ(window->Translate(QStringLiteral("Completed")), QStringLiteral("Completed"));
}

TEST(Language, OnlyTranslatedKeysChangeAndValuesAreCut) {
    ScopedEnv locale("LC_ALL", "ko_KR.UTF-8");
    WindowFixture fixture;
    const QString longValue = QString(250, QLatin1Char('x'));
    fixture.WriteLanguageFile(QStringLiteral("KOR.ini"),
                              QStringLiteral("; test\n[Other]\nDelete=wrong section\n[zemconverter]\n"
                                             "Convert = 변환\nStatus=") +
                                  longValue + QStringLiteral("\nStopped=a, b; c\n"));
    auto window = fixture.MakeWindow();
    EXPECT_EQ(ButtonText(*window, IDC_CONVERT), QStringLiteral("변환"));
    EXPECT_EQ(ButtonText(*window, IDC_DELETE), QStringLiteral("Delete")); // other section does not count
    EXPECT_EQ(ButtonText(*window, IDC_STOP_CONVERSION), QStringLiteral("Stop"));
    EXPECT_EQ(window->FileList()->model()->headerData(6, Qt::Horizontal).toString(), QString(199, QLatin1Char('x')));
    EXPECT_EQ(window->Translate(QStringLiteral("Stopped")), QStringLiteral("a, b; c"));
    EXPECT_EQ(window->Translate(QStringLiteral("Status")).size(), 199);
}

TEST(Language, HelpFileFollowsTheLanguage) {
    struct Case {
        const char* locale;
        const char* languageFile;
        const char* help; // empty: none
    };
    const Case cases[] = {
        {"ko_KR.UTF-8", "KOR.ini", "ZemConverter_UserManual.html"},
        {"en_US.UTF-8", "ENG.ini", "ZemConverter_UserManual_Eng.html"},
        {"C", "ENG.ini", "ZemConverter_UserManual_Eng.html"},
        {"zh_CN.UTF-8", "CHS.ini", "ZemConverter_UserManual_Chs.html"},
        {"zh_TW.UTF-8", "CHT.ini", "ZemConverter_UserManual_Cht.html"},
        {"zh_HK.UTF-8", "CHT.ini", "ZemConverter_UserManual_Cht.html"},
        {"de_DE.UTF-8", "DEU.ini", ""},
    };
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    for (const Case& c : cases) {
        ScopedEnv locale("LC_ALL", c.locale);
        window->LocateLanguageFile();
        EXPECT_EQ(window->m_langFile, fixture.AppDir() + QStringLiteral("/Lang/") + QLatin1String(c.languageFile))
            << c.locale;
        const QString expected =
            *c.help ? fixture.AppDir() + QStringLiteral("/Doc/") + QLatin1String(c.help) : QString();
        EXPECT_EQ(window->HelpFilePath(), expected) << c.locale;
    }
    // LANG counts when LC_ALL is not set.
    ScopedEnv noAll("LC_ALL", nullptr);
    ScopedEnv noMessages("LC_MESSAGES", nullptr);
    ScopedEnv lang("LANG", "zh_CN.UTF-8");
    window->LocateLanguageFile();
    EXPECT_TRUE(window->m_langFile.endsWith(QStringLiteral("/CHS.ini")));
}

TEST(Language, ShippedLanguageFilesTranslateEveryText) {
    QStringList keys;
    for (const char* text : zem::test::kWindowTexts)
        keys << QString::fromUtf8(text);
    const CCompressorDlg::Environment shipped{QStringLiteral(ZEM_SOURCE_DIR), QString(), QString()};
    WindowFixture fixture;
    CCompressorDlg::Environment environment = fixture.Environment();
    environment.appDir = shipped.appDir;
    for (const char* locale : {"ko_KR.UTF-8", "en_US.UTF-8", "zh_CN.UTF-8", "zh_TW.UTF-8"}) {
        ScopedEnv scoped("LC_ALL", locale);
        CCompressorDlg window(environment);
        ASSERT_TRUE(QFile::exists(window.m_langFile)) << locale;
        int translated = 0;
        for (const QString& key : keys) {
            const QString value = window.Translate(key);
            EXPECT_FALSE(value.isEmpty()) << locale << " " << key.toStdString();
            if (value != key)
                ++translated;
        }
        // English keeps its keys; the other languages translate nearly all
        // (the "|<" and ">|" signs may stay as they are).
        if (QByteArray(locale).startsWith("en"))
            EXPECT_EQ(translated, 0);
        else
            EXPECT_GE(translated, keys.size() - 2) << locale;
    }
}

namespace {
// Every wording the program looks up: the labels, headers and tooltips, the
// failure codes' meanings, the open and save dialogs' entries, zemconvert's
// options' help and value names, and each text constant (kText...) of the
// sources, found by reading them.
std::set<QString> WordingsTheProgramUses() {
    std::set<QString> keys;
    for (const char* text : zem::test::kWindowTexts)
        keys.insert(QString::fromUtf8(text));
    for (int code = 0; code < 64; ++code)
        keys.insert(QString::fromUtf8(zem::FailureCodeText(static_cast<zem::FailureCode>(code))));
    for (const char* entry : zem::kOpenDialogEntries)
        keys.insert(QString::fromUtf8(entry));
    keys.insert(QString::fromUtf8(zem::app::kSaveFilter.label));
    for (const zem::cli::OptionSpec& option : zem::cli::Options()) {
        for (const char* wording : {option.help, option.noun})
            if (wording != nullptr && *wording != '\0')
                keys.insert(QString::fromUtf8(wording));
    }
    // A constant's wording may be written as several literals one after another.
    static const QRegularExpression kConstant(
        QStringLiteral(R"re(\bkText\w+\s*=\s*((?:"(?:[^"\\]|\\.)*"\s*)+))re"));
    static const QRegularExpression kLiteral(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    static const QRegularExpression kGraphStep(
        QStringLiteral(R"re((?m)^(?!\s*//)[^\n]*?"((?:Could not|Query) [^"\\]*)")re"));
    for (const char* folder : {"/src", "/framework"}) {
        QDirIterator files(QStringLiteral(ZEM_SOURCE_DIR) + QLatin1String(folder),
                           {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto match = kConstant.globalMatch(text); match.hasNext();) {
                QString wording;
                const QString literals = match.next().captured(1);
                for (auto piece = kLiteral.globalMatch(literals); piece.hasNext();)
                    wording += piece.next().captured(1);
                keys.insert(wording);
            }
            // The conversion graph's building steps name what failed in place.
            for (auto match = kGraphStep.globalMatch(text); match.hasNext();)
                keys.insert(match.next().captured(1));
        }
    }
    return keys;
}

std::map<QString, QString> ReadLanguageFile(const QString& path) {
    std::map<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('[')) || equals <= 0)
            continue;
        // The program finds a key in any letter case ("size" is "Size").
        values[line.left(equals).trimmed().toLower()] = line.mid(equals + 1).trimmed();
    }
    return values;
}

QStringList Blanks(const QString& text) {
    static const QRegularExpression kBlank(QStringLiteral("\\{\\w+\\}"));
    QStringList names;
    for (auto match = kBlank.globalMatch(text); match.hasNext();)
        names.append(match.next().captured());
    names.sort();
    return names;
}
} // namespace

TEST(Language, EveryWordingTheProgramUsesIsInEveryLanguageFile) {
    const std::set<QString> keys = WordingsTheProgramUses();
    // The scan found the engine's, the media layer's and the window's texts.
    for (const char* known :
         {"Could not decode {file}", "{file} is not a video file the converter can read", "Could not add MP3 encoder",
          "Cannot make a scratch folder in {folder}: {why}", "Subtitles of {file} not shown: {why}",
          "Converting {percent}%", "it gave no picture or sound within {seconds} s", "Version {version}",
          "Converting ...", "Query SampleGrabber interface failed", "unknown option {option}", "show this help",
          "picture size", "standard input", "it is larger than {size} MB",
          "zemconvert was killed by signal {signal} ({name}: {description})"})
        EXPECT_EQ(keys.count(QString::fromUtf8(known)), 1u) << known;
    for (const char* name : {"KOR.ini", "CHS.ini", "CHT.ini", "ENG.ini"}) {
        const auto values = ReadLanguageFile(QStringLiteral(ZEM_SOURCE_DIR "/Lang/") + QLatin1String(name));
        for (const QString& key : keys) {
            const auto found = values.find(key.toLower());
            if (found == values.end()) {
                ADD_FAILURE() << name << " lacks \"" << key.toStdString() << "\"";
                continue;
            }
            EXPECT_FALSE(found->second.isEmpty()) << name << " " << key.toStdString();
            // Every blank the program fills is in the translation, and no other.
            EXPECT_EQ(Blanks(found->second), Blanks(key)) << name << " " << key.toStdString();
        }
    }
}

TEST(Language, QtsOwnTextsBoxesTooltipsAndDialogTitlesFollowTheLanguage) {
    ScopedEnv locale("LC_ALL", "ko_KR.UTF-8");
    WindowFixture fixture;
    CCompressorDlg::Environment environment = fixture.Environment();
    environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
    CCompressorDlg window(environment);
    window.show();
    // Qt's own buttons and dialogs (message box buttons, the file dialog).
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("취소"));
    // The file dialog's "Type" column, which Qt's own translations leave in English.
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder", "All other platforms"),
              QStringLiteral("폴더"));
    EXPECT_EQ(window.ControlAs<CButtonST>(IDC_PLAY)->toolTip(), QStringLiteral("재생"));
    EXPECT_EQ(window.ControlAs<CButtonST>(IDC_CLEAR_SELECTION)->toolTip(), QStringLiteral("선택 해제"));

    // A file that does not open: the box's first line in Korean.
    fixture.m_messages.clear();
    window.AddFile(QStringLiteral("/v/a.mp4"));
    ASSERT_FALSE(fixture.m_messages.empty());
    EXPECT_TRUE(fixture.m_messages.front().text.startsWith(QStringLiteral("파일을 열 수 없습니다!")))
        << fixture.m_messages.front().text.toStdString();
    // The cause too: the wording translated, the file and the system's words filled in after.
    EXPECT_TRUE(fixture.m_messages.front().text.contains(QStringLiteral("/v/a.mp4 파일을 열 수 없습니다: ")))
        << fixture.m_messages.front().text.toStdString();
    // A wording whose blank holds what looks like another blank fills it once.
    EXPECT_EQ(window.Shown(zem::UserText("Could not decode {file}").With("file", "/v/{why}.mp4")),
              QStringLiteral("/v/{why}.mp4 파일을 디코딩할 수 없습니다"));
    window.AddFile(QStringLiteral("/v/b.mp4"));

    // The open dialog's title and the question about the other rows.
    fixture.m_fileDialogAnswer.clear();
    window.ControlAs<QAbstractButton>(IDC_ADD)->click();
    ASSERT_EQ(fixture.m_fileDialogs.size(), 1u);
    EXPECT_EQ(fixture.m_fileDialogs[0].title, QStringLiteral("입력 파일 선택 ..."));
    fixture.m_messages.clear();
    fixture.m_answer = IDNO;
    fixture.m_fileDialogAnswer = {QStringLiteral("/w/elsewhere.avi")};
    window.OnChangeOutput();
    ASSERT_EQ(fixture.m_messages.size(), 1u);
    EXPECT_EQ(fixture.m_messages[0].text, QStringLiteral("남은 모든 파일의 출력 위치를 이 폴더로 바꿀까요?"));
    window.close();
}
