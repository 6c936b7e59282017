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
    const auto choice = [&](const ChoiceOption& option) { return value(option.settingsKey, option.defaultStored); };
    m_videoSizeIndex = choice(kSizeOption);
    m_rotate = choice(kRotationOption);
    m_convertAll = value(kKeyAllFlag, 1);
    m_saveMp3 = value(kKeepMp3Option.settingsKey, kKeepMp3Option.defaultOn ? 1 : 0);
    m_monitoring = value(kKeyMonitoring, 0);
    m_keepProportions =
        value(kKeepProportionsOption.settingsKey, kKeepProportionsOption.defaultOn ? 1 : 0) != 0 ? 1 : 0;
    // A quality the window does not offer would leave its group unchecked.
    m_qualityIndex = kQualityOption.Resolve(choice(kQualityOption)).stored;
    m_saveFrames = 0;
}

void ConversionSettings::Save(const QString& path) const {
    QSettings store(path, QSettings::IniFormat);
    store.setValue(Key(kSizeOption.settingsKey), m_videoSizeIndex);
    store.setValue(Key(kRotationOption.settingsKey), m_rotate);
    store.setValue(Key(kKeyAllFlag), m_convertAll);
    store.setValue(Key(kKeepMp3Option.settingsKey), m_saveMp3);
    store.setValue(Key(kKeyMonitoring), m_monitoring);
    store.setValue(Key(kQualityOption.settingsKey), m_qualityIndex);
    store.setValue(Key(kKeepProportionsOption.settingsKey), m_keepProportions);
    store.sync();
}

ConversionJob ConversionSettings::MakeJob(std::string input, std::string output, int64_t start, int64_t end) const {
    ConversionJob job;
    job.inputPath = std::move(input);
    job.outputPath = std::move(output);
    job.selectionStart = start;
    job.selectionEnd = end;
    const OptionChoice& size = kSizeOption.Resolve(m_videoSizeIndex);
    job.videoWidth = size.value;
    job.videoHeight = size.value2;
    job.jpegQuality = kQualityOption.Resolve(m_qualityIndex).value;
    job.rotate = kRotationOption.Resolve(m_rotate).value;
    job.keepMp3 = m_saveMp3 != 0;
    job.keepProportions = m_keepProportions != 0;
    job.monitoring = m_monitoring != 0;
    return job;
}

QString DefaultSettingsFilePath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(QStringLiteral("ZemConverter/ZemConverter.ini"));
}

} // namespace zem
