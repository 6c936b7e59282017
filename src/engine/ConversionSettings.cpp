#include "ConversionSettings.h"

#include <cstdio>
#include <optional>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace zem {

namespace {
QString Key(const char* name) {
    return QString::fromLatin1(kSettingsSection) + '/' + QLatin1String(name);
}
} // namespace

QString SettingsFileProblem(const QString& path) {
    const QFileInfo file(path);
    if (file.exists() && !file.isFile())
        return path + QStringLiteral(" is not a regular file");
    return {};
}

void ConversionSettings::Load(const QString& path) {
    // A FIFO or a device in the settings file's place would hold the read:
    // the defaults are taken instead.
    const QString problem = SettingsFileProblem(path);
    if (!problem.isEmpty())
        std::fprintf(stderr, "Settings not read: %s\n", problem.toLocal8Bit().constData());
    std::optional<QSettings> store;
    if (problem.isEmpty())
        store.emplace(path, QSettings::IniFormat);
    const auto value = [&](const char* key, int fallback) {
        return store ? store->value(Key(key), fallback).toInt() : fallback;
    };
    m_videoSizeIndex = value(kKeyVideoSize, 0);
    m_rotate = value(kKeyRotate, 0);
    m_convertAll = value(kKeyAllFlag, 1);
    m_saveMp3 = value(kKeySaveMp3, 0);
    m_monitoring = value(kKeyMonitoring, 0);
    m_keepProportions = value(kKeyKeepProportions, 0) != 0 ? 1 : 0;
    m_qualityIndex = value(kKeyQuality, kDefaultQualityIndex);
    if (m_qualityIndex < 0 || m_qualityIndex >= int(kQualityTable.size()))
        m_qualityIndex = kDefaultQualityIndex;
    m_saveFrames = 0;
}

void ConversionSettings::Save(const QString& path) const {
    QSettings store(path, QSettings::IniFormat);
    store.setValue(Key(kKeyVideoSize), m_videoSizeIndex);
    store.setValue(Key(kKeyRotate), m_rotate);
    store.setValue(Key(kKeyAllFlag), m_convertAll);
    store.setValue(Key(kKeySaveMp3), m_saveMp3);
    store.setValue(Key(kKeyMonitoring), m_monitoring);
    store.setValue(Key(kKeyQuality), m_qualityIndex);
    store.setValue(Key(kKeyKeepProportions), m_keepProportions);
    store.sync();
}

void ConversionSettings::DeriveConversionNumbers() {
    const int quality =
        (m_qualityIndex >= 0 && m_qualityIndex < int(kQualityTable.size())) ? m_qualityIndex : kDefaultQualityIndex;
    m_jpegQuality = kQualityTable[quality].jpegQuality;
    m_frameRate = kFrameRate;
    m_formatVersion = kFormatVersionJpeg;
    if (m_videoSizeIndex < 0 || m_videoSizeIndex >= int(kVideoSizeTable.size()))
        m_videoSizeIndex = 0;
    if (m_rotate < kRotateNone || m_rotate > kRotateRight)
        m_rotate = kRotateNone;
    m_videoWidth = kVideoSizeTable[m_videoSizeIndex].width;
    m_videoHeight = kVideoSizeTable[m_videoSizeIndex].height;
}

QString DefaultSettingsFilePath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(QStringLiteral("ZemConverter/ZemConverter.ini"));
}

} // namespace zem
