// Checks the files shipped beside the program: the language files must hold every
// text the window translates, the guides must exist for each language and show
// pictures that are really there, and the icons and start-up picture must load
// at the sizes the window draws them.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "WindowTexts.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

namespace {

const QString kSourceDir = QStringLiteral(ZEM_SOURCE_DIR);
const QString kSection = QStringLiteral("ZemConverter");
constexpr int kMaxTextLength = 199; // the window keeps at most this many characters

const auto& kKeys = zem::test::kWindowTexts;

const std::array<const char*, 4> kLanguageFiles = {"KOR", "ENG", "CHS", "CHT"};

struct Guide {
    const char* file;
    const char* picture; // the window as seen in that language
};
const std::map<std::string, Guide> kGuides = {
    {"KOR", {"ZemConverter_UserManual.html", "images/window_kor.png"}},
    {"ENG", {"ZemConverter_UserManual_Eng.html", "images/window_eng.png"}},
    {"CHS", {"ZemConverter_UserManual_Chs.html", "images/window_chs.png"}},
    {"CHT", {"ZemConverter_UserManual_Cht.html", "images/window_cht.png"}},
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool isValidUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// The section read line by line the way a private-profile lookup reads it: the key
// is everything before the first '=', both sides trimmed, nothing unquoted.
struct ProfileSection {
    std::map<QString, QString> values;
    QStringList duplicates;
};

ProfileSection readProfileSection(const QByteArray& bytes, const QString& section) {
    ProfileSection result;
    bool inSection = false;
    for (const QString& raw : QString::fromUtf8(bytes).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            inSection = line == u'[' + section + u']';
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inSection || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!result.values.emplace(key, line.mid(eq + 1).trimmed()).second)
            result.duplicates << key;
    }
    return result;
}

// Mean absolute difference per colour channel (0..255) of two pictures of one size.
double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return 255.0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) +
                   std::abs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * x.width() * x.height());
}
constexpr double kSameDrawing = 3.0;   // smoothing differences only
constexpr double kOtherDrawing = 10.0; // a different picture

// The text of a key, or an empty text when the file lacks it (the callers then fail).
QString valueOf(const ProfileSection& section, const QString& key) {
    const auto it = section.values.find(key);
    return it == section.values.end() ? QString() : it->second;
}

QString langPath(const char* code) {
    return kSourceDir + QStringLiteral("/Lang/") + QString::fromLatin1(code) + QStringLiteral(".ini");
}

TEST(LanguageFiles, EveryTextIsTranslatedAndReadsBackWithEitherReader) {
    // Besides the window's texts the files hold the engine's and the media
    // layer's wordings: every file the same keys as the English one.
    const ProfileSection english = readProfileSection(readAll(langPath("ENG")), kSection);
    ASSERT_GT(english.values.size(), kKeys.size());
    for (const char* code : kLanguageFiles) {
        SCOPED_TRACE(code);
        const QByteArray bytes = readAll(langPath(code));
        ASSERT_FALSE(bytes.isEmpty());
        EXPECT_TRUE(isValidUtf8(bytes));
        EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF")) << "a byte-order mark would hide the first line";
        EXPECT_TRUE(bytes.startsWith(";")) << "the file starts with its note on the format";

        const ProfileSection profile = readProfileSection(bytes, kSection);
        EXPECT_TRUE(profile.duplicates.isEmpty()) << profile.duplicates.join(u',').toStdString();
        EXPECT_EQ(profile.values.size(), english.values.size()) << "the same keys as the English file";
        for (const auto& entry : english.values)
            EXPECT_EQ(profile.values.count(entry.first), 1u) << entry.first.toStdString();
        // A private-profile lookup ignores letter case, so no two keys may differ only in case.
        std::set<QString> folded;
        for (const auto& entry : profile.values)
            folded.insert(entry.first.toCaseFolded());
        EXPECT_EQ(folded.size(), profile.values.size());

        QSettings settings(langPath(code), QSettings::IniFormat);
        ASSERT_EQ(settings.status(), QSettings::NoError);
        settings.beginGroup(kSection);
        for (const char* key : kKeys) {
            SCOPED_TRACE(key);
            const auto it = profile.values.find(QString::fromUtf8(key));
            ASSERT_NE(it, profile.values.end());
            const QString& value = it->second;
            EXPECT_FALSE(value.isEmpty());
            EXPECT_LE(value.size(), kMaxTextLength);
            if (QByteArrayView(code) == "ENG")
                EXPECT_EQ(value, QString::fromUtf8(key));
            else
                EXPECT_NE(value, QString::fromUtf8(key)) << "left in English";
            // QSettings must see the same text, so the window may use either reader.
            EXPECT_EQ(settings.value(QString::fromUtf8(key)).toString(), value);
        }
    }
}

TEST(LanguageFiles, TranslationsUseTheirOwnScript) {
    const auto hasScript = [](const QString& text, char32_t first, char32_t last) {
        for (char32_t c : text.toUcs4())
            if (c >= first && c <= last)
                return true;
        return false;
    };
    const ProfileSection kor = readProfileSection(readAll(langPath("KOR")), kSection);
    const ProfileSection chs = readProfileSection(readAll(langPath("CHS")), kSection);
    const ProfileSection cht = readProfileSection(readAll(langPath("CHT")), kSection);
    for (const char* key : kKeys) {
        SCOPED_TRACE(key);
        const QString k = QString::fromUtf8(key);
        EXPECT_TRUE(hasScript(valueOf(kor, k), 0xAC00, 0xD7A3)) << "Hangul syllables";
        EXPECT_TRUE(hasScript(valueOf(chs, k), 0x4E00, 0x9FFF)) << "CJK ideographs";
        EXPECT_TRUE(hasScript(valueOf(cht, k), 0x4E00, 0x9FFF)) << "CJK ideographs";
    }
    // The two Chinese files differ where the scripts differ.
    EXPECT_EQ(valueOf(chs, QStringLiteral("Delete")), QStringLiteral("删除"));
    EXPECT_EQ(valueOf(cht, QStringLiteral("Delete")), QStringLiteral("刪除"));
}

TEST(UserGuides, EachLanguageHasAGuideWithItsPicturesAndTheFactsUsersNeed) {
    const QString docDir = kSourceDir + QStringLiteral("/Doc/");
    const QRegularExpression imgSrc(QStringLiteral("<img[^>]*\\ssrc=\"([^\"]+)\""));
    const QStringList facts = {"_ZM.avi",
                               "~/.config/ZemConverter/ZemConverter.ini",
                               "zemconvert",
                               "--output",
                               "--output-dir",
                               "--size",
                               "--quality",
                               "--rotate",
                               "--start",
                               "--end",
                               "--keep-mp3",
                               "LANG=",
                               "F1"};
    for (const auto& [code, guide] : kGuides) {
        SCOPED_TRACE(guide.file);
        const QByteArray bytes = readAll(docDir + QString::fromLatin1(guide.file));
        ASSERT_FALSE(bytes.isEmpty());
        ASSERT_TRUE(isValidUtf8(bytes));
        const QString html = QString::fromUtf8(bytes);
        EXPECT_TRUE(html.contains(QStringLiteral("<meta charset=\"utf-8\">")));
        for (const QString& fact : facts)
            EXPECT_TRUE(html.contains(fact)) << fact.toStdString();

        QStringList pictures;
        for (auto it = imgSrc.globalMatch(html); it.hasNext();)
            pictures << it.next().captured(1);
        EXPECT_TRUE(pictures.contains(QString::fromLatin1(guide.picture)));
        for (const QString& picture : pictures) {
            SCOPED_TRACE(picture.toStdString());
            const QImage image(docDir + picture);
            EXPECT_FALSE(image.isNull()) << "missing or unreadable";
            EXPECT_LE(QFileInfo(docDir + picture).size(), 150 * 1024);
        }
        // The window's labels appear in the guide as the reader sees them.
        const ProfileSection texts = readProfileSection(readAll(langPath(code.c_str())), kSection);
        for (const char* key : {"Add ...", "Change Output ...", "Convert", "Delete All", "Video Monitoring"}) {
            const QString label = valueOf(texts, QString::fromUtf8(key));
            EXPECT_TRUE(!label.isEmpty() && html.contains(label)) << key;
        }
    }
}

TEST(Pictures, IconsAndStartUpPictureLoadAtTheirSizes) {
    const QString res = kSourceDir + QStringLiteral("/res/");
    const std::map<QString, QSize> expected = {
        {"icons/icon128.png", {128, 128}}, {"icons/icon128_64.png", {64, 64}}, {"icons/icon128_32.png", {32, 32}},
        {"icons/icon130.png", {32, 32}},   {"icons/icon131.png", {32, 32}},    {"icons/icon132.png", {32, 32}},
        {"icons/icon133.png", {32, 32}},   {"icons/icon134.png", {32, 32}},    {"icons/icon136.png", {32, 32}},
        {"icons/icon137.png", {32, 32}},   {"icons/icon138.png", {32, 32}},    {"splash.png", {461, 257}}};
    for (const auto& [name, size] : expected) {
        SCOPED_TRACE(name.toStdString());
        const QImage image(res + name);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), size);
        if (name.startsWith(u"icons/")) {
            // Drawn from its own source, and not an empty canvas.
            QString source = name;
            source.remove(QRegularExpression(QStringLiteral("_\\d+(?=\\.png$)")))
                .replace(QStringLiteral(".png"), QStringLiteral(".svg"));
            EXPECT_TRUE(QFileInfo::exists(res + source)) << source.toStdString();
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            EXPECT_GT(opaque, image.width() * image.height() / 8);
        }
    }
    const QImage splash(res + QStringLiteral("splash.png"));
    EXPECT_FALSE(splash.hasAlphaChannel()) << "the start-up picture is a plain 24-bit picture";

    // The two lying figures are the upright one turned a quarter each way: head to
    // the left for the left turn, to the right for the right turn. Edge smoothing
    // differs a little between the renders, so compare by the mean difference.
    const QImage upright(res + QStringLiteral("icons/icon138.png"));
    const QImage lyingLeft(res + QStringLiteral("icons/icon136.png"));
    const QImage lyingRight(res + QStringLiteral("icons/icon137.png"));
    const QImage turnedLeft = upright.transformed(QTransform().rotate(-90));
    const QImage turnedRight = upright.transformed(QTransform().rotate(90));
    EXPECT_LT(meanDifference(turnedLeft, lyingLeft), kSameDrawing);
    EXPECT_LT(meanDifference(turnedRight, lyingRight), kSameDrawing);
    EXPECT_GT(meanDifference(turnedRight, lyingLeft), kOtherDrawing);
    EXPECT_GT(meanDifference(turnedLeft, lyingRight), kOtherDrawing);
}

TEST(Pictures, ResourceListNamesEveryRenderedPicture) {
    QFile qrc(kSourceDir + QStringLiteral("/res/zemconverter.qrc"));
    ASSERT_TRUE(qrc.open(QIODevice::ReadOnly));
    std::set<QString> listed;
    QXmlStreamReader xml(&qrc);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"file")
            listed.insert(xml.readElementText());
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();

    std::set<QString> rendered = {QStringLiteral("splash.png")};
    for (const QString& png : QDir(kSourceDir + QStringLiteral("/res/icons")).entryList({"*.png"}, QDir::Files))
        rendered.insert(QStringLiteral("icons/") + png);
    EXPECT_EQ(listed, rendered);
}

} // namespace
