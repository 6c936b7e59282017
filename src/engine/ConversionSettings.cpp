#include "ConversionSettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace zem {

namespace {
QString Key(const char* name) {
    return QString::fromLatin1(kSettingsSection) + '/' + QLatin1String(name);
}
} // namespace

void ConversionSettings::Load(const QString& path) {
    QSettings store(path, QSettings::IniFormat);
    m_videoSizeIndex = store.value(Key(kKeyVideoSize), 0).toInt();
    m_rotate = store.value(Key(kKeyRotate), 0).toInt();
    m_convertAll = store.value(Key(kKeyAllFlag), 1).toInt();
    m_saveMp3 = store.value(Key(kKeySaveMp3), 0).toInt();
    m_monitoring = store.value(Key(kKeyMonitoring), 0).toInt();
    m_qualityIndex = store.value(Key(kKeyQuality), kDefaultQualityIndex).toInt();
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
