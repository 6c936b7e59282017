#include "SubtitleCaps.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace zem::media {

namespace {

// The fields of a Dialogue line before its text.
constexpr int kAssFieldsBeforeText = 9;

// `text` cut to at most `limit` bytes, never inside a UTF-8 character.
void CutAtCharacter(std::string& text, std::size_t limit) {
    if (text.size() <= limit)
        return;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
}

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

// A line of SRT, SAMI or MicroDVD text with markup tags past the count left
// out and cut to the length bound. Returns whether it changed.
bool CapMarkupLine(std::string& line) {
    const std::size_t limit = kMaxSubtitleEventBytes * 2; // SAMI keeps its markup on the line
    int tags = 0;
    std::string out;
    bool changed = false;
    std::size_t at = 0;
    while (at < line.size()) {
        if (line[at] == '<' || line[at] == '{') {
            const char closer = line[at] == '<' ? '>' : '}';
            const std::size_t close = line.find(closer, at);
            const std::size_t end = close == std::string::npos ? line.size() : close + 1;
            if (++tags > kMaxMarkupTags) {
                changed = true;
                at = end;
                continue;
            }
            out.append(line, at, end - at);
            at = end;
            continue;
        }
        out += line[at++];
    }
    if (out.size() > limit) {
        CutAtCharacter(out, limit);
        changed = true;
    }
    if (changed)
        line = std::move(out);
    return changed;
}

// The offset of an ASS Dialogue line's text, or npos when `line` is none.
std::size_t AssTextOffset(std::string_view line) {
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string_view::npos || !StartsWithNoCase(line.substr(at), "dialogue:"))
        return std::string_view::npos;
    for (int field = 0; field < kAssFieldsBeforeText; ++field) {
        at = line.find(',', at);
        if (at == std::string_view::npos)
            return std::string_view::npos;
        ++at;
    }
    return at;
}

} // namespace

std::string CapSubtitleEvents(std::string& utf8, bool ass) {
    std::string out;
    out.reserve(utf8.size());
    int capped = 0;
    std::size_t start = 0;
    while (start < utf8.size()) {
        std::size_t end = utf8.find('\n', start);
        end = end == std::string::npos ? utf8.size() : end + 1;
        std::string line = utf8.substr(start, end - start);
        std::string ending;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            ending.insert(ending.begin(), line.back());
            line.pop_back();
        }
        if (ass) {
            const std::size_t text = AssTextOffset(line);
            if (text != std::string::npos) {
                std::string body = line.substr(text);
                if (CapAssText(body)) {
                    line.replace(text, std::string::npos, body);
                    ++capped;
                }
            }
        } else if (CapMarkupLine(line)) {
            ++capped;
        }
        out += line;
        out += ending;
        start = end;
    }
    if (capped == 0)
        return {};
    utf8 = std::move(out);
    return std::to_string(capped) + (capped == 1 ? " event was" : " events were") +
           " cut to the converter's bounds (length, tags and their nesting)";
}

} // namespace zem::media
