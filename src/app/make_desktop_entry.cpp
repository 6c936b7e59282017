// Writes the program's ".desktop" file at build time. Its MIME types are those
// of the desktop's MIME database whose file-name patterns the converter
// accepts, so the list follows the one rule for accepted endings.
//   make_desktop_entry OUTPUT.desktop

#include "ConversionPaths.h"
#include "DlgConstants.h"

#include <QCoreApplication>
#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <QStringList>
#include <cstdio>

namespace {

// The entry's texts in the window's other languages; the name is the
// program's own in every one.
struct TranslatedTexts {
    const char* locale;
    const char* genericName;
    const char* comment;
};
constexpr TranslatedTexts kTranslations[] = {
    {"ko", "동영상 변환기", "소형 휴대용 플레이어에 맞게 동영상을 변환합니다 (Motion-JPEG AVI)"},
    {"zh_CN", "视频转换器", "为小型便携播放器转换视频（Motion-JPEG AVI）"},
    {"zh_TW", "影片轉換器", "為小型可攜式播放器轉換影片（Motion-JPEG AVI）"},
};

// A name that ends like the pattern ("*.mkv" gives "clip.mkv"); patterns
// other than "*.<ending>" are not endings.
bool PatternAccepted(const QString& pattern) {
    if (!pattern.startsWith(QLatin1String("*.")) || pattern.indexOf(QLatin1Char('*'), 1) >= 0 ||
        pattern.contains(QLatin1Char('[')) || pattern.contains(QLatin1Char('?')))
        return false;
    return zem::IsAcceptedInputPath(("clip" + pattern.mid(1)).toStdString());
}

QStringList AcceptedMimeTypes() {
    QSet<QString> names;
    for (const QMimeType& type : QMimeDatabase().allMimeTypes()) {
        for (const QString& pattern : type.globPatterns()) {
            if (!PatternAccepted(pattern))
                continue;
            // Older desktops know some types only by their former names.
            names.insert(type.name());
            for (const QString& alias : type.aliases())
                names.insert(alias);
            break;
        }
    }
    QStringList sorted(names.begin(), names.end());
    sorted.sort();
    return sorted;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_desktop_entry OUTPUT.desktop\n");
        return 2;
    }
    const QStringList types = AcceptedMimeTypes();
    if (types.isEmpty()) {
        std::fprintf(stderr, "make_desktop_entry: the MIME database knows none of the accepted endings\n");
        return 1;
    }
    using namespace zem::app;
    QString text;
    text += QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=%1\n").arg(QLatin1String(kDesktopName));
    text += QStringLiteral("GenericName=%1\n").arg(QLatin1String(kDesktopGenericName));
    for (const TranslatedTexts& t : kTranslations)
        text += QStringLiteral("GenericName[%1]=%2\n").arg(QLatin1String(t.locale), QString::fromUtf8(t.genericName));
    text += QStringLiteral("Comment=%1\n").arg(QLatin1String(kDesktopComment));
    for (const TranslatedTexts& t : kTranslations)
        text += QStringLiteral("Comment[%1]=%2\n").arg(QLatin1String(t.locale), QString::fromUtf8(t.comment));
    text += QStringLiteral("Exec=%1\n").arg(QLatin1String(kDesktopExec));
    text += QStringLiteral("Icon=%1\n").arg(QLatin1String(kDesktopIcon));
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("Categories=%1\n").arg(QLatin1String(kDesktopCategories));
    text += QStringLiteral("MimeType=%1;\n").arg(types.join(QLatin1Char(';')));
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text.toUtf8()) < 0 || !out.flush()) {
        std::fprintf(stderr, "make_desktop_entry: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
