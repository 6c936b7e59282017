// "cmake --install" puts the program, its language files and manuals, the
// desktop's entry and the icon where a Linux desktop looks for them.

#include "ConversionPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Install, ProgramDataEntryAndIconGoToTheXdgPlaces) {
    QTemporaryDir prefix;
    QProcess install;
    install.start(QStringLiteral(ZEM_CMAKE), {QStringLiteral("--install"), QStringLiteral(ZEM_BINARY_DIR),
                                              QStringLiteral("--prefix"), prefix.path()});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    const QDir root(prefix.path());

    EXPECT_TRUE(QFileInfo(root.filePath(QStringLiteral("bin/zemconverter"))).isExecutable());
    EXPECT_TRUE(QFileInfo(root.filePath(QStringLiteral("bin/zemconvert"))).isExecutable());
    for (const char* name : {"KOR", "ENG", "CHS", "CHT"})
        EXPECT_TRUE(
            QFileInfo::exists(root.filePath(QStringLiteral("share/zemconverter/Lang/%1.ini").arg(QLatin1String(name)))))
            << name;
    EXPECT_TRUE(
        QFileInfo::exists(root.filePath(QStringLiteral("share/zemconverter/Doc/ZemConverter_UserManual_Eng.html"))));
    EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("share/zemconverter/Doc/images/window_eng.png"))));
    for (const char* icon : {"32x32/apps/zemconverter.png", "64x64/apps/zemconverter.png",
                             "128x128/apps/zemconverter.png", "scalable/apps/zemconverter.svg"})
        EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("share/icons/hicolor/") + QLatin1String(icon))))
            << icon;

    const QString entryPath = root.filePath(QStringLiteral("share/applications/zemconverter.desktop"));
    ASSERT_TRUE(QFileInfo::exists(entryPath));
    QSettings entry(entryPath, QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    EXPECT_EQ(entry.value(QStringLiteral("Type")).toString(), QStringLiteral("Application"));
    EXPECT_EQ(entry.value(QStringLiteral("Exec")).toString(), QStringLiteral("zemconverter %F"));
    EXPECT_EQ(entry.value(QStringLiteral("Icon")).toString(), QStringLiteral("zemconverter"));
    // QSettings reads the ";"-separated value as one string up to the first ";"; read the line itself.
    QFile file(entryPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList types;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("MimeType="))
            types = QString::fromUtf8(line.mid(9)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    // The common kinds of video a file manager offers it for.
    for (const char* type : {"video/mp4", "video/x-matroska", "video/mpeg", "video/x-msvideo", "video/x-ms-wmv",
                             "application/vnd.ms-asf", "application/vnd.rn-realmedia"})
        EXPECT_TRUE(types.contains(QLatin1String(type))) << type;
    // Every type listed is one the converter reads, by one of its patterns.
    const QMimeDatabase database;
    for (const QString& name : types) {
        const QMimeType type = database.mimeTypeForName(name);
        ASSERT_TRUE(type.isValid()) << name.toStdString();
        bool accepted = false;
        for (const QString& pattern : type.globPatterns())
            accepted = accepted || (pattern.startsWith(QLatin1String("*.")) &&
                                    zem::IsAcceptedInputPath(("x" + pattern.mid(1)).toStdString()));
        EXPECT_TRUE(accepted) << name.toStdString();
    }
    // The containers of phones and the web are claimed; types the converter
    // does not read are not.
    for (const char* type : {"video/webm", "video/quicktime", "video/x-flv", "video/mp2t", "video/3gpp"})
        EXPECT_TRUE(types.contains(QLatin1String(type))) << type;
    for (const char* type : {"audio/mpeg", "audio/flac", "image/png", "audio/x-matroska"})
        EXPECT_FALSE(types.contains(QLatin1String(type))) << type;
}
