#include "FailureCodes.h"

#include <array>
#include <utility>

namespace zem {

namespace {
constexpr std::array<std::pair<int, const char*>, 13> kTexts{{
    {runcode::kInputEmpty, "No input file"},
    {runcode::kInputTooLong, "The input path is too long"},
    {runcode::kInputMissing, "The input file is missing, unreadable or a folder"},
    {graphcode::kNoVideoRenderer, "The file has no picture the converter can decode"},
    {graphcode::kNoAudioRenderer, "The file has no sound the converter can decode"},
    {runcode::kGraphNotStopped, "The decoder was still busy"},
    {runcode::kFramesFile, "Could not create temporary file"},
    {runcode::kSeekFailed, "Could not go to the start of the selection"},
    {runcode::kDecodeFailed, "The input could not be decoded"},
    {runcode::kWriteFailed, "The output could not be written"},
    {runcode::kOutputIsInput, "The output would replace an input"},
    {runcode::kOutputBusy, "Another conversion is writing the output"},
    {runcode::kJobProcessEnded, "The conversion's process ended without a result"},
}};
} // namespace

const char* FailureCodeText(int code) {
    for (const auto& [known, text] : kTexts) {
        if (known == code)
            return text;
    }
    if (code >= graphcode::kNoVideoRenderer && code <= graphcode::kRenderGrabber)
        return "The conversion graph could not be built";
    return "The conversion failed";
}

UserText Failure::Said() const {
    if (!HasReason())
        return FailureCodeText(code);
    return JoinCause(what, cause);
}

} // namespace zem
