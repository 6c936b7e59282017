#include "FailureCodes.h"

#include <array>
#include <utility>

namespace zem {

namespace {
constexpr std::array<std::pair<FailureCode, const char*>, 13> kTexts{{
    {FailureCode::InputEmpty, "No input file"},
    {FailureCode::InputTooLong, "The input path is too long"},
    {FailureCode::InputMissing, "The input file is missing, unreadable or a folder"},
    {FailureCode::NoVideoRenderer, "The file has no picture the converter can decode"},
    {FailureCode::NoAudioRenderer, "The file has no sound the converter can decode"},
    {FailureCode::GraphNotStopped, "The decoder was still busy"},
    {FailureCode::FramesFile, "Could not create temporary file"},
    {FailureCode::SeekFailed, "Could not go to the start of the selection"},
    {FailureCode::DecodeFailed, "The input could not be decoded"},
    {FailureCode::WriteFailed, "The output could not be written"},
    {FailureCode::OutputIsInput, "The output would replace an input"},
    {FailureCode::OutputBusy, "Another conversion is writing the output"},
    {FailureCode::JobProcessEnded, "The conversion's process ended without a result"},
}};
} // namespace

const char* FailureCodeText(FailureCode code) {
    for (const auto& [known, text] : kTexts) {
        if (known == code)
            return text;
    }
    if (FailureNumber(code) >= FailureNumber(FailureCode::NoVideoRenderer) &&
        FailureNumber(code) <= FailureNumber(FailureCode::RenderGrabber))
        return "The conversion graph could not be built";
    return "The conversion failed";
}

std::string FailureStatusText(FailureCode code) {
    return "ERROR(" + std::to_string(FailureNumber(code)) + ")";
}

UserText Failure::Said() const {
    if (!HasReason())
        return FailureCodeText(code);
    return JoinCause(what, cause);
}

} // namespace zem
