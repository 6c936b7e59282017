// Codec environment at start-up and the subtitle renderer's settings.

#include "CodecEnvironment.h"
#include "CompressorDlg.h"
#include "DlgConstants.h"
#include "DlgTexts.h"
#include "InputKinds.h"
#include "MessageBoxSeam.h"
#include "SubtitleRegistryKeys.h"
#include "Subtitles.h"

#include <QAbstractButton>
#include <QtEndian>
#include <gst/gst.h>

using namespace zem::app;
using zem::os::RegistryRoot;

bool CCompressorDlg::HasMediaElement(const char* name) {
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    GstPluginFeature* feature = gst_registry_find_feature(gst_registry_get(), name, GST_TYPE_ELEMENT_FACTORY);
    if (feature == nullptr)
        return false;
    gst_object_unref(feature);
    return true;
}

QStringList CCompressorDlg::MissingCodecPackages(const std::function<bool(const char*)>& hasElement) {
    QStringList missingPackages;
    const auto check = [&](const char* element, const char* package) {
        if (!missingPackages.contains(QLatin1String(package)) && !hasElement(element))
            missingPackages.append(QString::fromLatin1(package));
    };
    for (const zem::InputKind& kind : zem::kInputKinds) {
        if (kind.demuxer != nullptr)
            check(kind.demuxer, kind.package);
    }
    for (const MediaElement& decoder : kRequiredDecoders)
        check(decoder.element, decoder.package);
    QStringList ordered;
    for (const char* package : kCodecPackages) {
        if (missingPackages.contains(QLatin1String(package)))
            ordered.append(QString::fromLatin1(package));
    }
    return ordered;
}

QString CCompressorDlg::SubtitleFilterPath() const {
    return QString::fromLatin1(kSystemFolder) + QLatin1String(kSubtitleFilterFile);
}

void CCompressorDlg::CheckCodecEnvironment() {
    const QStringList missing = MissingCodecPackages(&HasMediaElement);
    if (!missing.isEmpty()) {
        const QString text = Translate(QString::fromLatin1(kTextInstallPackages))
                                 .replace(QLatin1String("{packages}"), missing.join(QLatin1Char(' ')));
        ShowMessageBox(text.toStdString(), kMessageBoxCaption, MB_OK | MB_ICONWARNING, this);
    }
    m_subtitle = 1;
    m_registry.WriteNumber(RegistryRoot::CurrentUser, QString::fromLatin1(kSubtitleGeneralKey),
                           QString::fromLatin1(kLoadLevelValue), kLoadLevelOn);
    const QString filterPath = SubtitleFilterPath();
    for (const char* classId : kSubtitleClassIds) {
        const QString key = QLatin1String(kClassKeyPrefix) + QLatin1String(classId) + QLatin1String(kClassKeySuffix);
        m_registry.WriteString(RegistryRoot::ClassesRoot, key, QString(), filterPath);
    }
    PushSubtitleSettings();
}

void CCompressorDlg::PushSubtitleSettings() {
    zem::media::SetSubtitleOptions(StoredSubtitleOptions());
}

zem::media::SubtitleOptions CCompressorDlg::StoredSubtitleOptions() const {
    // The subtitle renderer reads its two settings from the registry store;
    // values that were never written leave it as it starts: on, middle size.
    zem::media::SubtitleOptions options;
    const auto level = m_registry.ReadNumber(RegistryRoot::CurrentUser, QString::fromLatin1(kSubtitleGeneralKey),
                                             QString::fromLatin1(kLoadLevelValue));
    options.enabled = !level || *level == kLoadLevelOn;
    const auto font = m_registry.ReadBinary(RegistryRoot::CurrentUser, QString::fromLatin1(kSubtitleTextKey),
                                            QString::fromLatin1(kLogFontValue));
    if (font && font->size() == kLogFontSize)
        options.fontHeight = qFromLittleEndian<int32_t>(font->constData());
    return options;
}

void CCompressorDlg::SetSubtitleFontHeight(int32_t height) {
    const QString key = QString::fromLatin1(kSubtitleTextKey);
    const QString name = QString::fromLatin1(kLogFontValue);
    auto font = m_registry.ReadBinary(RegistryRoot::CurrentUser, key, name);
    // Only a font description read whole is changed; nothing else is written.
    if (!font || font->size() != kLogFontSize)
        return;
    qToLittleEndian<int32_t>(height, font->data());
    m_registry.WriteBinary(RegistryRoot::CurrentUser, key, name, *font);
    PushSubtitleSettings();
}

void CCompressorDlg::WriteSubtitleLoadLevel() {
    m_registry.WriteNumber(RegistryRoot::CurrentUser, QString::fromLatin1(kSubtitleGeneralKey),
                           QString::fromLatin1(kLoadLevelValue), m_subtitle == 1 ? kLoadLevelOn : kLoadLevelOff);
    PushSubtitleSettings();
}

void CCompressorDlg::OnSubtitle() {
    UpdateData(true);
    for (int id : kSubtitleSizeList)
        Control(id)->setEnabled(m_subtitle == 1);
    WriteSubtitleLoadLevel();
    const int row = GetSelectedRow();
    if (row >= 0 && !m_runActive)
        SelectJob(row);
}

void CCompressorDlg::OnSubtitleSize(int sizeIndex) {
    UpdateData(true);
    if (const zem::OptionChoice* size = zem::kSubtitleSizeOption.Find(sizeIndex))
        SetSubtitleFontHeight(size->value);
    const int row = GetSelectedRow();
    if (row >= 0 && !m_runActive)
        SelectJob(row);
    UpdateData(false);
}
