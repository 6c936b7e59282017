// The checks of a job's input before anything is decoded.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AsxPlaylist.h"
#include "ConversionRun.h"
#include "EngineTexts.h"
#include "FailureCodes.h"

namespace zem {

namespace {

constexpr int64_t kTicksPerTenth = 1000000;
// An end this close to the length is the film's own: streams end a little
// apart, and the last picture stands for 1/16 s.
constexpr int64_t kEarlyEndSlack = 20000000; // 2 s in 100 ns units
constexpr int64_t kEarlyEndShare = 20;       // or a twentieth of the length

// "0:10.8", "1:02:03.5": to the nearest tenth, shown only where there is one;
// whole seconds only ("1:00") when `tenths` is false.
std::string ClockText(int64_t ticks, bool tenths) {
    const int64_t unit = tenths ? kTicksPerTenth : kTicksPerTenth * 10;
    const int64_t units = (std::max<int64_t>(ticks, 0) + unit / 2) / unit;
    const int64_t seconds = tenths ? units / 10 : units;
    char text[48];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", (long long)(seconds / 3600),
                      (long long)(seconds / 60 % 60), (long long)(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", (long long)(seconds / 60), (long long)(seconds % 60));
    std::string result = text;
    if (tenths && units % 10 != 0)
        result += "." + std::to_string(units % 10);
    return result;
}

} // namespace

FailureCode CheckInputPath(const std::string& path, UserText& problem) {
    if (path.empty()) {
        problem = FailureCodeText(FailureCode::InputEmpty);
        return FailureCode::InputEmpty;
    }
    // Bounded as the system sees it: a relative path goes on from the current folder.
    size_t size = path.size();
    char folder[PATH_MAX];
    if (path.front() != '/' && ::getcwd(folder, sizeof folder) != nullptr)
        size += std::strlen(folder) + 1;
    if (size >= PATH_MAX) {
        problem = UserText(kTextInputTooLong)
                      .With("size", std::to_string(size))
                      .With("limit", std::to_string(PATH_MAX - 1))
                      .With("file", path.substr(0, 64));
        return FailureCode::InputTooLong;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        problem = JoinCause(UserText(kTextCannotOpen).With("file", path), SystemErrorText(error));
        return error == ENAMETOOLONG ? FailureCode::InputTooLong : FailureCode::InputMissing;
    }
    if (S_ISDIR(st.st_mode)) {
        problem = UserText(kTextIsFolder).With("file", path);
        return FailureCode::InputMissing;
    }
    if (!S_ISREG(st.st_mode)) {
        problem = UserText(kTextNotRegular).With("file", path);
        return FailureCode::InputMissing;
    }
    // Opened without waiting, and looked at again through the descriptor: the
    // name may have been swapped for a FIFO since.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        problem = JoinCause(UserText(kTextCannotOpen).With("file", path), SystemErrorText(errno));
        return FailureCode::InputMissing;
    }
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) {
        problem = UserText(kTextNotRegular).With("file", path);
        return FailureCode::InputMissing;
    }
    return FailureCode::None;
}

UserText InputEndedText(const std::string& input, int64_t reached, int64_t length) {
    if (length <= 0 || length - reached <= std::max(kEarlyEndSlack, length / kEarlyEndShare))
        return {};
    return UserText(kTextInputEndedEarly)
        .With("file", input)
        .With("reached", ClockText(reached, true))
        .With("length", ClockText(length, false));
}

void ConversionRun::CheckForEarlyEnd() {
    // Where the film was to end: the range's end, or the length its file
    // states; a length nobody knows cannot come up short, but the user is
    // told that the end is where the file ran out.
    int64_t length = KnownLength();
    if (HasRange() && m_selectionEnd != INT64_MAX)
        length = length > 0 ? std::min(m_selectionEnd, length) : m_selectionEnd;
    // How far it got: the later of the last picture and the last sound, both
    // counted from where the job started.
    int64_t reached = m_conversionPosition.load();
    REFERENCE_TIME soundEnd = 0;
    auto times = QueryInterface<IStreamTimes>(m_session.Conversion().m_audioProcessor);
    if (times && times->GetLastSampleTime(&soundEnd) == S_OK)
        reached = std::max<int64_t>(reached, soundEnd);
    reached += m_selectionActive ? m_selectionStart : 0;
    if (length <= 0) {
        Warn(UserText(kTextLengthUnknown).With("file", m_inputPath).With("reached", ClockText(reached, true)));
        return;
    }
    m_inputEndedEarly = InputEndedText(m_inputPath, reached, length);
    if (!m_inputEndedEarly.empty())
        Warn(m_inputEndedEarly);
}

UserText ConversionRun::StartPastEndText() const {
    // A start at or past the end would make nothing but an empty output.
    if (m_selectionStart <= 0 || KnownLength() <= 0 || m_selectionStart < KnownLength())
        return {};
    return UserText(kTextStartPastEnd)
        .With("start", ClockText(m_selectionStart, false))
        .With("length", ClockText(KnownLength(), false));
}

bool ConversionRun::OutputCannotBeReplaced(const std::string& output, UserText& what, UserText& cause) const {
    struct stat st {};
    if (::lstat(output.c_str(), &st) != 0)
        return false; // a new name; a folder that is not there fails when the work folder is made
    what = UserText(kTextCannotReplace).With("file", output);
    struct stat target {};
    if (::stat(output.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        cause = SystemErrorText(EISDIR);
        return true;
    }
    // The finished file takes the name by a rename: a FIFO or a device there
    // (/dev/null as root) would be replaced by a regular file. A link is
    // replaced itself, never written through.
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        cause = UserText(kTextNotRegularBut)
                    .With("kind", UserText(S_ISFIFO(st.st_mode)   ? kTextKindFifo
                                           : S_ISSOCK(st.st_mode) ? kTextKindSocket
                                                                  : kTextKindDevice));
        return true;
    }
    // In a folder like /tmp (sticky) only the name's owner, the folder's owner
    // or root may replace it: found out now, not after the whole film.
    const std::string folder = output.find('/') == std::string::npos ? "." : output.substr(0, output.rfind('/') + 1);
    struct stat dir {};
    const uid_t self = ::geteuid();
    if (::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && st.st_uid != self && dir.st_uid != self &&
        self != 0) {
        cause = kTextOtherUsersFile;
        return true;
    }
    return false;
}

FailureCode ConversionRun::CheckInputFile() const {
    UserText problem;
    return CheckInputPath(m_inputPath, problem);
}

UserText ConversionRun::InputProblem() const {
    UserText problem;
    CheckInputPath(m_inputPath, problem);
    return problem;
}

bool ConversionRun::OutputReplacesInput(UserText& why) const {
    // The inputs are never touched: an output that is one of them, by any
    // name, is refused. A play list's entries count as inputs too.
    const auto sameFile = [](const std::string& a, const std::string& b) {
        struct stat sa {};
        struct stat sb {};
        return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
               sa.st_ino == sb.st_ino;
    };
    std::vector<std::pair<std::string, UserText>> inputs; // file, how the user knows it
    const auto asInput = [](const std::string& file) { return UserText(kTextReplacesInput).With("file", file); };
    inputs.emplace_back(m_inputPath, asInput(m_inputPath));
    for (const std::string& other : m_otherInputs)
        inputs.emplace_back(other, asInput(other));
    const size_t direct = inputs.size();
    for (size_t i = 0; i < direct; ++i) {
        if (!media::IsAsxPath(inputs[i].first))
            continue;
        const std::string list = inputs[i].first;
        for (const std::string& entry : media::AsxLocalEntries(list))
            inputs.emplace_back(entry, UserText(kTextReplacesListed).With("file", entry).With("list", list));
    }
    std::vector<std::string> written{m_outputPath};
    if (m_job.keepMp3)
        written.push_back(m_paths.keptMp3Path);
    for (const std::string& out : written) {
        for (const auto& [input, name] : inputs) {
            if (out == input || sameFile(out, input)) {
                why = name;
                why.With("output", out);
                return true;
            }
        }
    }
    return false;
}

} // namespace zem
