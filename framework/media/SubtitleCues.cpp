#include "SubtitleCues.h"

#include "SubtitleCaps.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace zem::media {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// WebVTT's tags other than the three SubRip shares ("<c.name>", "<v Ann>",
// "<ruby>", "<00:01.000>") are taken out; the text between them stays.
std::string KeepSimpleTags(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '<') {
            out += text[i++];
            continue;
        }
        const auto close = text.find('>', i);
        if (close == std::string::npos) {
            out += text.substr(i);
            break;
        }
        const std::string tag = Lower(text.substr(i + 1, close - i - 1));
        if (tag == "b" || tag == "i" || tag == "u" || tag == "/b" || tag == "/i" || tag == "/u" ||
            tag.rfind("font", 0) == 0 || tag == "/font")
            out += text.substr(i, close - i + 1);
        i = close + 1;
    }
    return out;
}

std::string FormatTime(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

// Splits "a, b, c" at its first `count` - 1 commas; the last part keeps the rest.
std::vector<std::string> SplitFields(const std::string& value, std::size_t count) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    while (fields.size() + 1 < count) {
        const auto comma = value.find(',', from);
        if (comma == std::string::npos)
            break;
        fields.push_back(value.substr(from, comma - from));
        from = comma + 1;
    }
    fields.push_back(value.substr(from));
    return fields;
}

// "h:mm:ss.cc" as ASS writes it.
bool ParseAssTime(const std::string& text, int64_t& ms) {
    int h = 0, m = 0;
    double s = 0;
    char rest = 0;
    if (std::sscanf(Trim(text).c_str(), "%d:%d:%lf%c", &h, &m, &s, &rest) != 3 || h < 0 || m < 0 || s < 0)
        return false;
    ms = int64_t(h) * 3600000 + int64_t(m) * 60000 + int64_t(s * 1000 + 0.5);
    return true;
}

} // namespace

bool ParseCueTime(const std::string& raw, int64_t& ms) {
    std::string text = Trim(raw);
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text = Trim(text.substr(1));
    }
    // Up to three numbers apart by ':', then an optional fraction after ',' or '.'.
    std::string whole = text;
    std::string fraction;
    const auto mark = text.find_first_of(",.");
    if (mark != std::string::npos) {
        whole = text.substr(0, mark);
        fraction = text.substr(mark + 1);
        if (fraction.empty() || fraction.size() > 3 || !AllDigits(fraction))
            return false;
    }
    std::vector<std::string> parts;
    std::stringstream in(whole);
    for (std::string part; std::getline(in, part, ':');)
        parts.push_back(part);
    if (parts.empty() || parts.size() > 3 || (whole.size() > 0 && whole.back() == ':'))
        return false;
    int64_t value = 0;
    for (const std::string& part : parts) {
        if (!AllDigits(part) || part.size() > 6)
            return false;
        value = value * 60 + std::stoll(part);
    }
    // A lone number is seconds only when a fraction follows it ("5,250");
    // "12" alone is no time.
    if (parts.size() == 1 && fraction.empty())
        return false;
    value *= 1000;
    if (!fraction.empty()) {
        fraction.resize(3, '0');
        value += std::stoll(fraction);
    }
    ms = negative ? -value : value;
    return true;
}

std::string CueTextFromBlock(const std::string& block) {
    std::vector<std::string> lines;
    std::istringstream in(block);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    const auto isSettings = [](const std::string& line) {
        return line.empty() || line.find("align:") != std::string::npos ||
               line.find("position:") != std::string::npos || line.find("line:") != std::string::npos ||
               line.find("size:") != std::string::npos;
    };
    std::size_t first = 0;
    if (lines.size() >= 3 && Trim(lines[0]).find(' ') == std::string::npos && isSettings(Trim(lines[1])))
        first = 2;
    std::string text;
    for (std::size_t i = first; i < lines.size(); ++i) {
        std::string plain;
        bool inTag = false;
        for (char c : lines[i]) {
            if (c == '<')
                inTag = true;
            else if (c == '>' && inTag)
                inTag = false;
            else if (!inTag)
                plain += c;
        }
        for (const auto& [entity, character] : {std::pair<const char*, const char*>{"&lt;", "<"},
                                                {"&gt;", ">"},
                                                {"&nbsp;", " "},
                                                {"&lrm;", ""},
                                                {"&rlm;", ""},
                                                {"&amp;", "&"}}) {
            for (auto at = plain.find(entity); at != std::string::npos; at = plain.find(entity, at + 1))
                plain.replace(at, std::strlen(entity), character);
        }
        if (!Trim(plain).empty())
            text += (text.empty() ? "" : "\n") + Trim(plain);
    }
    return text;
}

bool LooksLikeSubRipOrWebVtt(const std::string& utf8) {
    const std::string head = Lower(utf8.substr(0, 4096));
    if (head.find("<sami") != std::string::npos || head.find("[script info]") != std::string::npos)
        return false;
    return head.find("-->") != std::string::npos;
}

std::vector<TimedCue> ReadTimedCues(const std::string& utf8) {
    std::vector<TimedCue> cues;
    std::istringstream in(utf8);
    std::string line;
    TimedCue* open = nullptr; // the cue whose text lines are being read
    bool skipping = false;    // inside a WebVTT NOTE, STYLE or REGION block
    for (std::size_t lines = 0; std::getline(in, line); ++lines) {
        if (lines % kStopCheckLines == 0 && SubtitleStopAsked())
            return {};
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string trimmed = Trim(line);
        if (trimmed.empty()) {
            open = nullptr;
            skipping = false;
            continue;
        }
        if (skipping)
            continue;
        const auto arrow = trimmed.find("-->");
        if (arrow != std::string::npos) {
            int64_t start = 0;
            int64_t end = 0;
            // WebVTT puts cue settings after the end time.
            std::string endText = Trim(trimmed.substr(arrow + 3));
            const auto space = endText.find_first_of(" \t");
            if (space != std::string::npos)
                endText = endText.substr(0, space);
            open = nullptr;
            if (!ParseCueTime(trimmed.substr(0, arrow), start) || !ParseCueTime(endText, end))
                continue;
            start = std::max<int64_t>(start, 0);
            if (end <= start)
                continue;
            cues.push_back({start, end, {}});
            open = &cues.back();
            continue;
        }
        if (open) {
            const std::string kept = KeepSimpleTags(trimmed);
            if (!Trim(kept).empty())
                open->text += (open->text.empty() ? "" : "\n") + kept;
            continue;
        }
        // Outside a cue: a number, a WebVTT header or cue name, or a block to skip.
        const std::string lower = Lower(trimmed);
        if (lower.rfind("note", 0) == 0 || lower == "style" || lower == "region")
            skipping = true;
    }
    cues.erase(std::remove_if(cues.begin(), cues.end(), [](const TimedCue& cue) { return cue.text.empty(); }),
               cues.end());
    std::stable_sort(cues.begin(), cues.end(),
                     [](const TimedCue& a, const TimedCue& b) { return a.startMs < b.startMs; });
    return cues;
}

namespace {

// "{123}" at `at`: the number, and `at` moved past it; false when it is none.
bool ReadFrameField(const std::string& line, std::size_t& at, int64_t& frame, bool& empty) {
    if (at >= line.size() || line[at] != '{')
        return false;
    const auto close = line.find('}', at);
    if (close == std::string::npos)
        return false;
    const std::string digits = line.substr(at + 1, close - at - 1);
    empty = digits.empty();
    if (!empty && (!AllDigits(digits) || digits.size() > 9))
        return false;
    frame = empty ? 0 : std::stoll(digits);
    at = close + 1;
    return true;
}

} // namespace

std::vector<TimedCue> ReadMicroDvdCues(const std::string& utf8, double fps) {
    std::vector<TimedCue> cues;
    std::istringstream in(utf8);
    std::string line;
    bool first = true;
    for (std::size_t lines = 0; std::getline(in, line); ++lines) {
        if (lines % kStopCheckLines == 0 && SubtitleStopAsked())
            return {};
        line = Trim(line);
        std::size_t at = 0;
        int64_t start = 0;
        int64_t end = 0;
        bool noStart = false;
        bool noEnd = false;
        if (!ReadFrameField(line, at, start, noStart) || noStart || !ReadFrameField(line, at, end, noEnd))
            continue;
        std::string rest = line.substr(at);
        if (first && start == 1 && end == 1) {
            // "{1}{1}25": the frame rate the file is timed at.
            first = false;
            char* stop = nullptr;
            const double stated = std::strtod(rest.c_str(), &stop);
            if (stop != rest.c_str() && stated > 1 && stated < 200)
                fps = stated;
            continue;
        }
        first = false;
        std::string text;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '{') {
                const auto close = rest.find('}', i);
                if (close == std::string::npos)
                    break;
                i = close;
            } else {
                text += rest[i] == '|' ? '\n' : rest[i];
            }
        }
        text = Trim(text);
        if (text.empty())
            continue;
        const auto ms = [fps](int64_t frame) { return int64_t(double(frame) * 1000.0 / fps + 0.5); };
        const int64_t startMs = ms(start);
        const int64_t endMs = noEnd || end <= start ? startMs + kMicroDvdOpenEndMs : ms(end);
        cues.push_back({startMs, endMs, text});
    }
    std::stable_sort(cues.begin(), cues.end(),
                     [](const TimedCue& a, const TimedCue& b) { return a.startMs < b.startMs; });
    return cues;
}

std::string WriteSubRip(const std::vector<TimedCue>& cues) {
    std::string out;
    int number = 0;
    for (const TimedCue& cue : cues) {
        if (std::size_t(number) % kStopCheckLines == 0 && SubtitleStopAsked())
            return {};
        out += std::to_string(++number) + "\n" + FormatTime(cue.startMs) + " --> " + FormatTime(cue.endMs) + "\n" +
               cue.text + "\n\n";
    }
    return out;
}

std::vector<std::string> ReadAssFormat(const std::string& value) {
    std::vector<std::string> names;
    std::stringstream in(value);
    for (std::string name; std::getline(in, name, ',');)
        names.push_back(Lower(Trim(name)));
    return names;
}

bool ReadAssDialogue(const std::vector<std::string>& format, const std::string& value, AssDialogue& dialogue) {
    static const std::vector<std::string> kDefaultFormat{"layer",   "start",   "end",     "style",  "name",
                                                         "marginl", "marginr", "marginv", "effect", "text"};
    const std::vector<std::string>& names = format.empty() ? kDefaultFormat : format;
    // Text is the last field and may hold commas itself.
    if (names.empty() || names.back() != "text")
        return false;
    const std::vector<std::string> values = SplitFields(value, names.size());
    if (values.size() != names.size())
        return false;
    const auto field = [&](const char* name, const char* fallback) {
        const auto at = std::find(names.begin(), names.end(), name);
        return at == names.end() ? std::string(fallback) : Trim(values[std::size_t(at - names.begin())]);
    };
    if (!ParseAssTime(field("start", ""), dialogue.startMs) || !ParseAssTime(field("end", ""), dialogue.endMs) ||
        dialogue.endMs <= dialogue.startMs)
        return false;
    std::string layer = field("layer", "0");
    if (layer.empty() || !AllDigits(layer))
        layer = "0"; // SSA's "Marked=0" and the like
    std::string text = values.back();
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    dialogue.fields = layer + "," + field("style", "Default") + "," + field("name", "") + "," + field("marginl", "0") +
                      "," + field("marginr", "0") + "," + field("marginv", "0") + "," + field("effect", "") + "," +
                      text;
    return true;
}

} // namespace zem::media
