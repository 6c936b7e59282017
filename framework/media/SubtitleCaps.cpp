#include "SubtitleCaps.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <string_view>

namespace zem::media {

namespace {

std::atomic<SubtitleStopCheck> g_stopCheck{nullptr};

// The fields of a Dialogue line before its text.
constexpr int kAssFieldsBeforeText = 9;

bool StartsWithNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i])
            return false;
    }
    return true;
}

// An ASS event's text with override blocks past the count, or nested too
// deep, left out, and cut to the length bound. Returns whether it changed.
bool CapAssText(std::string& text) {
    std::string out;
    out.reserve(std::min(text.size(), kMaxSubtitleEventBytes));
    int blocks = 0;
    bool changed = false;
    std::size_t at = 0;
    while (at < text.size()) {
        // The cut falls between characters.
        if (out.size() >= kMaxSubtitleEventBytes && (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80)
            break;
        if (text[at] != '{') {
            out += text[at++];
            continue;
        }
        const std::size_t close = text.find('}', at);
        const std::size_t end = close == std::string::npos ? text.size() : close + 1;
        int depth = 0, deepest = 0;
        for (std::size_t i = at; i < end; ++i) {
            if (text[i] == '(')
                deepest = std::max(deepest, ++depth);
            else if (text[i] == ')' && depth > 0)
                --depth;
        }
        if (++blocks > kMaxOverrideBlocks || deepest > kMaxOverrideNesting || close == std::string::npos ||
            out.size() + (end - at) > kMaxSubtitleEventBytes)
            changed = true; // the block is left out whole: half a block would be read as text
        else
            out.append(text, at, end - at);
        at = end;
    }
    if (at < text.size())
        changed = true;
    if (changed)
        text = std::move(out);
    return changed;
}

// SRT or SAMI text with the markup tags of an event past the count left out
// and each line cut to the length bound. An event runs to a blank line (SRT)
// or to the next SYNC tag (SAMI), which is always kept: nesting deep enough to
// slow the parsers down can be spread over many lines of one event. One pass
// over the text. Returns how many events changed.
int CapMarkupText(std::string& text) {
    const std::size_t limit = kMaxSubtitleEventBytes * 2; // SAMI keeps its markup on the line
    std::string out;
    out.reserve(text.size());
    int capped = 0;
    int tags = 0;
    bool cut = false; // the current event lost something
    const auto endEvent = [&] {
        capped += cut ? 1 : 0;
        cut = false;
        tags = 0;
    };
    std::size_t at = 0;
    for (std::size_t lines = 0; at < text.size(); ++lines) {
        if (lines % kStopCheckLines == 0 && SubtitleStopAsked())
            return 0;
        std::size_t lineEnd = text.find('\n', at);
        lineEnd = lineEnd == std::string::npos ? text.size() : lineEnd;
        std::size_t content = lineEnd;
        while (content > at && text[content - 1] == '\r')
            --content;
        if (content == at)
            endEvent(); // a blank line
        const std::size_t lineStart = out.size();
        std::size_t i = at;
        while (i < content) {
            if (text[i] != '<') {
                // The cut falls between characters.
                if (out.size() - lineStart >= limit && (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                    cut = true;
                    i = content;
                    break;
                }
                out += text[i++];
                continue;
            }
            // Looked for on this line only, so a '<' without its '>' costs no more than the line.
            const void* close = std::memchr(text.data() + i, '>', content - i);
            const std::size_t end = close ? std::size_t(static_cast<const char*>(close) - text.data()) + 1 : content;
            const bool sync = StartsWithNoCase(std::string_view(text).substr(i + 1, end - i - 1), "sync");
            if (sync)
                endEvent();
            if (!sync && (++tags > kMaxMarkupTags || out.size() - lineStart + (end - i) > limit))
                cut = true; // a tag is left out whole
            else
                out.append(text, i, end - i);
            i = end;
        }
        out.append(text, content, lineEnd - content);
        if (lineEnd < text.size())
            out += '\n';
        at = lineEnd + 1;
    }
    endEvent();
    if (capped > 0)
        text = std::move(out);
    return capped;
}

// The offset of an ASS Dialogue line's text (after `fieldsBeforeText`
// fields), or npos when `line` is none.
std::size_t AssTextOffset(std::string_view line, int fieldsBeforeText) {
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string_view::npos || !StartsWithNoCase(line.substr(at), "dialogue:"))
        return std::string_view::npos;
    for (int field = 0; field < fieldsBeforeText; ++field) {
        at = line.find(',', at);
        if (at == std::string_view::npos)
            return std::string_view::npos;
        ++at;
    }
    return at;
}

} // namespace

void SetSubtitleStopCheck(SubtitleStopCheck check) {
    g_stopCheck.store(check);
}

bool SubtitleStopAsked() {
    const SubtitleStopCheck check = g_stopCheck.load();
    return check && check();
}

std::string CapSubtitleEvents(std::string& utf8, bool ass) {
    int capped = 0;
    if (!ass) {
        capped = CapMarkupText(utf8);
    } else {
        std::string out;
        out.reserve(utf8.size());
        // The text follows as many fields as the events' Format line names
        // before it: a script may leave fields out ("Start, End, Text").
        int fieldsBeforeText = kAssFieldsBeforeText;
        bool inEvents = false;
        std::size_t start = 0;
        for (std::size_t lines = 0; start < utf8.size(); ++lines) {
            if (lines % kStopCheckLines == 0 && SubtitleStopAsked())
                return {};
            std::size_t end = utf8.find('\n', start);
            end = end == std::string::npos ? utf8.size() : end + 1;
            std::string line = utf8.substr(start, end - start);
            std::string ending;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                ending.insert(ending.begin(), line.back());
                line.pop_back();
            }
            const std::size_t first = line.find_first_not_of(" \t");
            const std::string_view head =
                first == std::string::npos ? std::string_view() : std::string_view(line).substr(first);
            if (!head.empty() && head.front() == '[')
                inEvents = StartsWithNoCase(head, "[events]");
            else if (inEvents && StartsWithNoCase(head, "format:"))
                fieldsBeforeText = int(std::count(head.begin(), head.end(), ','));
            const std::size_t text = AssTextOffset(line, fieldsBeforeText);
            if (text != std::string::npos) {
                std::string body = line.substr(text);
                if (CapAssText(body)) {
                    line.replace(text, std::string::npos, body);
                    ++capped;
                }
            }
            out += line;
            out += ending;
            start = end;
        }
        if (capped > 0)
            utf8 = std::move(out);
    }
    if (capped == 0)
        return {};
    return std::to_string(capped) + (capped == 1 ? " event was" : " events were") +
           " cut to the converter's bounds (length, tags and their nesting)";
}

} // namespace zem::media
