#include "UserText.h"

namespace zem {

UserText& UserText::With(const char* name, std::string words) {
    args.push_back(UserTextArg{name, UserText(std::move(words))});
    return *this;
}

UserText& UserText::With(const char* name, UserText text) {
    args.push_back(UserTextArg{name, std::move(text)});
    return *this;
}

std::string UserText::English() const {
    return Shown([](const std::string& english) { return english; });
}

std::string UserText::Shown(const std::function<std::string(const std::string&)>& translate) const {
    if (verbatim)
        return key;
    const std::string wording = translate(key);
    // Blanks are filled after the look-up in one pass over the wording, so
    // words put in (a file named "{file}") are never read as blanks.
    std::string text;
    std::size_t from = 0;
    while (from < wording.size()) {
        const std::size_t open = wording.find('{', from);
        const std::size_t close = open == std::string::npos ? open : wording.find('}', open);
        if (close == std::string::npos) {
            text.append(wording, from);
            break;
        }
        text.append(wording, from, open - from);
        const std::string name = wording.substr(open + 1, close - open - 1);
        const UserTextArg* filled = nullptr;
        for (const UserTextArg& arg : args) {
            if (arg.name == name)
                filled = &arg;
        }
        if (filled)
            text += filled->value.Shown(translate);
        else
            text.append(wording, open, close - open + 1);
        from = close + 1;
    }
    return text;
}

UserText JoinCause(UserText lead, UserText cause) {
    if (cause.empty())
        return lead;
    if (lead.empty())
        return cause;
    return UserText("{what}: {why}").With("what", std::move(lead)).With("why", std::move(cause));
}

} // namespace zem
