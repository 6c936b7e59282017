#include "ConversionSettings.h"

namespace zem {

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

} // namespace zem
