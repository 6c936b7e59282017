// What software centres and menus read: the AppStream data passes
// appstreamcli's checks and names the built desktop entry and this version;
// the entry speaks Korean and both Chinese scripts as well as English.

#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>
#include <map>
#include <set>

#include "PackagingSupport.h"

using namespace zem::test;

namespace {

const QString kMetainfo = QStringLiteral(ZEM_SOURCE_DIR "/res/zemconverter.metainfo.xml");
const QString kDesktopEntry = QStringLiteral(ZEM_BINARY_DIR "/src/app/zemconverter.desktop");

// The entry's "Key[locale]=value" lines.
std::map<std::string, std::string> EntryLines() {
    std::map<std::string, std::string> lines;
    QFile file(kDesktopEntry);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << kDesktopEntry.toStdString();
    for (const QByteArray& line : file.readAll().split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            lines[line.left(eq).toStdString()] = line.mid(eq + 1).toStdString();
    }
    return lines;
}

} // namespace

TEST(DesktopData, AppStreamDataValidatesAndNamesTheEntryAndThisVersion) {
    if (!Have("appstreamcli"))
        GTEST_SKIP() << "appstreamcli is not installed (scripts/install-deps.sh installs appstream)";
    const Ran validate = RunProgram(QStringLiteral("appstreamcli"),
                                    {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--strict"),
                                     QStringLiteral("--pedantic"), kMetainfo});
    EXPECT_EQ(validate.exitCode, 0) << validate.out << validate.err;
    EXPECT_EQ(validate.out.find("P:"), std::string::npos) << validate.out;

    QFile file(kMetainfo);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    std::string launchable;
    std::set<std::string> releases, summaries, binaries;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        const QString lang = xml.attributes().value(QLatin1String("xml:lang")).toString();
        if (name == QLatin1String("release"))
            releases.insert(xml.attributes().value(QLatin1String("version")).toString().toStdString());
        else if (name == QLatin1String("launchable"))
            launchable = xml.readElementText().toStdString();
        else if (name == QLatin1String("summary"))
            summaries.insert(lang.isEmpty() ? "en" : lang.toStdString());
        else if (name == QLatin1String("binary"))
            binaries.insert(xml.readElementText().toStdString());
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(releases.count(ZEM_PACKAGE_VERSION)) << "no release entry for " << ZEM_PACKAGE_VERSION;
    EXPECT_EQ(launchable, "zemconverter.desktop");
    EXPECT_EQ(summaries, (std::set<std::string>{"en", "ko", "zh_CN", "zh_TW"}));
    EXPECT_EQ(binaries, (std::set<std::string>{"zemconvert", "zemconverter"}));
}

TEST(DesktopData, TheEntrySpeaksKoreanAndBothChineseScripts) {
    const auto lines = EntryLines();
    for (const char* key : {"GenericName", "Comment"}) {
        const std::string english = lines.count(key) ? lines.at(key) : "";
        EXPECT_FALSE(english.empty()) << key;
        std::set<std::string> texts{english};
        for (const char* locale : {"ko", "zh_CN", "zh_TW"}) {
            const std::string localKey = std::string(key) + "[" + locale + "]";
            ASSERT_TRUE(lines.count(localKey)) << localKey;
            const std::string& text = lines.at(localKey);
            // Written in the language's own letters (UTF-8 of Hangul or Han), not English again.
            EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](char c) { return (unsigned char)c >= 0xE0; }))
                << localKey << "=" << text;
            texts.insert(text);
        }
        EXPECT_EQ(texts.size(), 4u) << key << ": Simplified and Traditional Chinese differ";
    }
    if (!Have("desktop-file-validate"))
        return;
    const Ran validate = RunProgram(QStringLiteral("desktop-file-validate"), {kDesktopEntry});
    EXPECT_EQ(validate.exitCode, 0) << validate.out << validate.err;
}
