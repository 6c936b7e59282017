#pragma once
// A text for the user, kept as its English wording with named blanks
// ("Cannot open {file}") and what fills them, so that each front end can show
// it in its own language: the window looks the English wording up in its
// language file, zemconvert shows it as it is. Words that come from elsewhere
// (GStreamer's messages, the system's error texts, file names) are kept as
// they stand and never looked up.

#include <functional>
#include <string>
#include <vector>

namespace zem {

struct UserTextArg;

struct UserText {
    // The English wording, the key of the language files; or words taken as
    // they stand when `verbatim` is set.
    std::string key;
    std::vector<UserTextArg> args;
    bool verbatim = false;

    UserText() = default;
    // A fixed wording of this program.
    UserText(const char* wording) : key(wording) {}
    // Words from elsewhere (or put together in English elsewhere): never looked up.
    UserText(std::string words) : key(std::move(words)), verbatim(true) {}

    // Fills the blank {name}: words shown as they stand, or a text of its own.
    UserText& With(const char* name, std::string words);
    UserText& With(const char* name, const char* words) { return With(name, std::string(words)); }
    UserText& With(const char* name, UserText text);

    bool empty() const { return key.empty(); }
    std::string English() const;
    // The text in the user's language: `translate` maps an English wording to
    // its translation (and back to itself when it has none).
    std::string Shown(const std::function<std::string(const std::string&)>& translate) const;
};

struct UserTextArg {
    std::string name;
    UserText value;
};

// Joins two texts as "lead: cause"; either may be empty.
UserText JoinCause(UserText lead, UserText cause);

} // namespace zem
