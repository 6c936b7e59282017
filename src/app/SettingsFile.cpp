#include "SettingsFile.h"

#include <cstdio>
#include <optional>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace zem::app {

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

void LoadSettingsFile(const QString& path, ConversionSettings& settings) {
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
    const auto choice = [&](const ChoiceOption& option) { return value(option.settingsKey, option.defaultStored); };
    settings.m_videoSizeIndex = choice(kSizeOption);
    settings.m_rotate = choice(kRotationOption);
    settings.m_convertAll = value(kKeyAllFlag, 1);
    settings.m_saveMp3 = value(kKeepMp3Option.settingsKey, kKeepMp3Option.defaultOn ? 1 : 0);
    settings.m_monitoring = value(kKeyMonitoring, 0);
    settings.m_keepProportions =
        value(kKeepProportionsOption.settingsKey, kKeepProportionsOption.defaultOn ? 1 : 0) != 0 ? 1 : 0;
    // A quality the window does not offer would leave its group unchecked.
    settings.m_qualityIndex = kQualityOption.Resolve(choice(kQualityOption)).stored;
    settings.m_saveFrames = 0;
}

void SaveSettingsFile(const QString& path, const ConversionSettings& settings) {
    QSettings store(path, QSettings::IniFormat);
    store.setValue(Key(kSizeOption.settingsKey), settings.m_videoSizeIndex);
    store.setValue(Key(kRotationOption.settingsKey), settings.m_rotate);
    store.setValue(Key(kKeyAllFlag), settings.m_convertAll);
    store.setValue(Key(kKeepMp3Option.settingsKey), settings.m_saveMp3);
    store.setValue(Key(kKeyMonitoring), settings.m_monitoring);
    store.setValue(Key(kQualityOption.settingsKey), settings.m_qualityIndex);
    store.setValue(Key(kKeepProportionsOption.settingsKey), settings.m_keepProportions);
    store.sync();
}

QString DefaultSettingsFilePath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(QStringLiteral("ZemConverter/ZemConverter.ini"));
}

} // namespace zem::app
