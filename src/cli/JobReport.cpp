#include "JobReport.h"

#include <cstdio>
#include <cstring>

#include "CliLanguage.h"
#include "ConversionHost.h"
#include "ConversionSettings.h"

namespace zem::cli {

namespace {
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7f;
} // namespace

std::string TerminalSafe(const std::string& text) {
    // A name's control characters would act on the terminal (set its title,
    // clear the screen): shown as escapes instead, "\x1b" for ESC.
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= kFirstPrintable && byte != kDelete) {
            shown += c;
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02x", byte);
        shown += escape;
    }
    return shown;
}

namespace {

constexpr const char* kProgressStart = "{\"event\":\"progress\",";
constexpr const char* kResultStart = "{\"event\":\"result\",";
constexpr const char* kStartStart = "{\"event\":\"start\",";
constexpr const char* kPercentKey = "\"percent\":";

// The length of the UTF-8 sequence at `s` (of `left` bytes), 0 when it is none.
size_t Utf8Length(const unsigned char* s, size_t left) {
    const unsigned char c = s[0];
    size_t length = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2, min = 0x80, code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, min = 0x800, code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, min = 0x10000, code = c & 0x07;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (s[i] & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= min && code <= 0x10FFFF && !surrogate ? length : 0;
}

bool IsUtf8(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t length = Utf8Length(bytes + i, text.size() - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string Base64(const std::string& bytes) {
    static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v =
            uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0})
            out += kDigits[(v >> shift) & 0x3F];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | (two ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0);
        out += kDigits[(v >> 18) & 0x3F];
        out += kDigits[(v >> 12) & 0x3F];
        out += two ? kDigits[(v >> 6) & 0x3F] : '=';
        out += '=';
    }
    return out;
}

// A name that is no UTF-8 text reads back from "\udcXX" escapes only with a
// reader that keeps lone surrogates; its bytes are given again in base64,
// which every reader keeps.
std::string NameBytes(const std::string& input, const std::string& output) {
    if (IsUtf8(input) && IsUtf8(output))
        return {};
    return ",\"input_bytes\":\"" + Base64(input) + "\",\"output_bytes\":\"" + Base64(output) + "\"";
}

void Emit(const std::string& line) {
    std::fputs(TerminalSafe(line).c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

const char* StatusName(JobReport::Outcome outcome) {
    switch (outcome) {
    case JobReport::Outcome::Completed:
        return "completed";
    case JobReport::Outcome::Stopped:
        return "stopped";
    default:
        return "failed";
    }
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = bytes[i];
        char escape[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else if (c >= 0x80) {
            const size_t length = Utf8Length(bytes + i, text.size() - i);
            if (length > 0) {
                out.append(text, i, length);
                i += length;
                continue;
            }
            std::snprintf(escape, sizeof escape, "\\udc%02x", c);
            out += escape;
        } else {
            out += char(c);
        }
        ++i;
    }
    return out + "\"";
}

int JsonProgressPercent(const std::string& line) {
    if (line.rfind(kProgressStart, 0) != 0)
        return -1;
    const auto key = line.find(kPercentKey);
    int percent = -1;
    if (key == std::string::npos || std::sscanf(line.c_str() + key + std::strlen(kPercentKey), "%d", &percent) != 1)
        return -1;
    return percent;
}

bool IsJsonResult(const std::string& line) {
    return line.rfind(kResultStart, 0) == 0;
}

bool IsJsonStart(const std::string& line) {
    return line.rfind(kStartStart, 0) == 0;
}

void ReportWriter::Start(const std::string& input, const std::string& output) const {
    if (m_json)
        Emit(kStartStart + std::string("\"input\":") + JsonString(input) + ",\"output\":" + JsonString(output) +
             NameBytes(input, output) + "}");
    else {
        Emit(Say(kTextInputLabel) + "  " + input);
        Emit(Say(kTextOutputLabel) + " " + output);
    }
}

void ReportWriter::Progress(const std::string& input, int percent) const {
    if (m_json)
        Emit(kProgressStart + std::string("\"input\":") + JsonString(input) + "," + kPercentKey +
             std::to_string(percent) + "}");
}

void ReportWriter::Finish(const std::string& input, const std::string& output, const JobReport& report) const {
    std::string message = m_json ? report.message.English() : Say(report.message);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (m_json) {
        for (const UserText& warning : report.warnings)
            Emit("{\"event\":\"warning\",\"input\":" + JsonString(input) +
                 ",\"text\":" + JsonString(warning.English()) + "}");
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.3f", double(report.frames) / kFrameRate);
        Emit(kResultStart + std::string("\"input\":") + JsonString(input) + ",\"output\":" + JsonString(output) +
             NameBytes(input, output) + ",\"status\":\"" + StatusName(report.outcome) + "\",\"frames\":" +
             std::to_string(report.frames) + ",\"size\":" + std::to_string(report.bytes) + ",\"duration\":" + duration +
             ",\"code\":" + std::to_string(FailureNumber(report.code)) + ",\"text\":" + JsonString(message) + "}");
        return;
    }
    for (const UserText& warning : report.warnings)
        Emit(Say(kTextWarningLabel) + " " + Say(warning));
    std::string status;
    switch (report.outcome) {
    case JobReport::Outcome::Completed:
        status = Say(kTextCompleted);
        break;
    case JobReport::Outcome::Stopped:
        status = Say(kTextStopped);
        break;
    default:
        status = report.code != FailureCode::None ? FailureStatusText(report.code) : "ERROR";
        break;
    }
    Emit(Say(kTextStatusLabel) + " " + status + (message.empty() ? "" : " " + message));
}

} // namespace zem::cli
