// The settings file (ZemConverter.ini): any bytes read as the settings, which
// stay within their choices, are written back and read again the same.

#include <QString>

#include <cstdio>

#include "SettingsFile.h"
#include "FuzzSupport.h"

namespace {

bool Same(const zem::ConversionSettings& a, const zem::ConversionSettings& b) {
    return a.m_videoSizeIndex == b.m_videoSizeIndex && a.m_qualityIndex == b.m_qualityIndex &&
           a.m_rotate == b.m_rotate && a.m_convertAll == b.m_convertAll && a.m_saveMp3 == b.m_saveMp3 &&
           a.m_monitoring == b.m_monitoring && a.m_keepProportions == b.m_keepProportions;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString file = QString::fromStdString(zem::fuzz::WriteInput(data, size, ".ini"));
    zem::ConversionSettings read;
    zem::app::LoadSettingsFile(file, read);
    const zem::ConversionJob job = read.MakeJob("in.mp4", "out.avi");
    if (job.videoWidth <= 0 || job.videoHeight <= 0 || job.jpegQuality <= 0)
        __builtin_trap(); // whatever the file says, a size and a quality are chosen
    // Written back over the input and read again, the settings are the same.
    zem::app::SaveSettingsFile(file, read);
    zem::ConversionSettings again;
    zem::app::LoadSettingsFile(file, again);
    if (!Same(read, again))
        __builtin_trap();
    return 0;
}
