// What start-up does, decided once from the command line; portable.
#include "app/command_line.h"

CStartDecision DecideStart(std::string_view commandLine, const CTextOps& text) {
    if (commandLine.empty())
        return {EStartMode::Settings, {}};
    // Exactly two characters: "/M " is a path, not the switch.
    if (commandLine.size() == 2 && text.CompareNoCase(commandLine, "/M") == 0)
        return {EStartMode::Monitor, {}};
    // The queue: "/Q" alone, or "/Q " and a path taken by the same rules as a path alone.
    if (commandLine.size() == 2 && text.CompareNoCase(commandLine, "/Q") == 0)
        return {EStartMode::Queue, {}};
    if (commandLine.size() > 2 && text.CompareNoCase(commandLine.substr(0, 3), "/Q ") == 0)
        return {EStartMode::Queue, RewriteQuotedPath(commandLine.substr(3), text)};
    return {EStartMode::File, RewriteQuotedPath(commandLine, text)};
}

std::string RewriteQuotedPath(std::string_view s, const CTextOps& text) {
    const auto first = s.find('"');
    const auto last = s.rfind('"');
    if (first != 0 || last != s.size() - 1)
        return std::string(s);
    // A lone double quote is both first and last character; it leaves nothing.
    const auto inner = s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string_view{};
    std::string out;
    out.reserve(inner.size() * 2);
    std::size_t pos = 0;
    // Find steps over trail bytes, so a backslash byte inside a multibyte character is kept.
    for (auto hit = text.Find(inner, "\\"); hit != std::string_view::npos;
         hit = text.Find(inner, "\\", pos)) {
        out.append(inner.substr(pos, hit - pos));
        out += "\\\\";
        pos = hit + 1;
    }
    out.append(inner.substr(pos));
    return out;
}

std::string JoinArguments(int argc, const char* const* argv) {
    std::string out;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            out += ' ';
        out += argv[i] ? argv[i] : "";
    }
    return out;
}
