#include "render_script.h"

#include <array>
#include <optional>
#include <utility>

namespace tremlo {
namespace {

constexpr std::array<std::pair<std::string_view, ScriptAction>, 8> kActions{{
    {"press on", ScriptAction::PressOn},
    {"release on", ScriptAction::ReleaseOn},
    {"press off", ScriptAction::PressOff},
    {"release off", ScriptAction::ReleaseOff},
    {"next", ScriptAction::Next},
    {"previous", ScriptAction::Previous},
    {"load", ScriptAction::Load},
    {"end", ScriptAction::End},
}};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A comment starts at a `#` that begins the line or follows a blank, so a
// file name such as "track#2.wav" stays whole.
std::string_view withoutComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || isBlank(line[i - 1])))
            return line.substr(0, i);
    return line;
}

// "12", "0.5", "8.000": whole seconds and up to nine decimals, no sign, no
// exponent, so that the same text always gives the same frame.
std::optional<std::int64_t> parseSeconds(std::string_view text) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 6 || fraction.size() > 9 ||
        (dot != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    std::int64_t seconds = 0;
    for (const char c : whole) {
        if (c < '0' || c > '9')
            return std::nullopt;
        seconds = seconds * 10 + (c - '0');
    }
    std::int64_t ns = 0;
    std::int64_t scale = 100000000;
    for (const char c : fraction) {
        if (c < '0' || c > '9')
            return std::nullopt;
        ns += (c - '0') * scale;
        scale /= 10;
    }
    return seconds * 1000000000 + ns;
}

// Words of an action are separated by any run of blanks; a path keeps its own.
std::optional<ScriptAction> parseAction(std::string_view words, std::string_view& argument) {
    constexpr std::string_view kLoad = "load";
    if (words.substr(0, kLoad.size()) == kLoad && words.size() > kLoad.size() &&
        isBlank(words[kLoad.size()])) {
        argument = trimmed(words.substr(kLoad.size()));
        return ScriptAction::Load;
    }
    std::string collapsed;
    for (const char c : words) {
        if (!isBlank(c))
            collapsed += c;
        else if (collapsed.back() != ' ')
            collapsed += ' ';
    }
    for (const auto& [name, action] : kActions)
        if (action != ScriptAction::Load && collapsed == name)
            return action;
    return std::nullopt;
}

} // namespace

std::int64_t frameAt(std::int64_t timeNs, int rate) {
    // Split into whole seconds and the rest, so that the product stays exact
    // and far within 64 bits at any rate.
    const std::int64_t seconds = timeNs / 1000000000;
    const std::int64_t rest = timeNs % 1000000000;
    return seconds * rate + (rest * rate + 500000000) / 1000000000;
}

std::string ScriptError::message(const std::string& scriptName) const {
    return scriptName + ":" + std::to_string(line) + ": " + reason;
}

ParsedScript parseRenderScript(std::string_view text, const std::string& scriptFolder,
                               const std::function<bool(const std::string&)>& exists) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    RenderScript events;
    std::int64_t lastNs = 0;
    int line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t newline = text.find('\n');
        const std::string_view raw = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        const std::string_view content = trimmed(withoutComment(raw));
        if (content.empty())
            continue;
        if (!events.empty() && events.back().action == ScriptAction::End)
            return ScriptError{line, "nothing may follow end"};
        std::size_t blank = 0;
        while (blank < content.size() && !isBlank(content[blank]))
            ++blank;
        const std::optional<std::int64_t> ns = parseSeconds(content.substr(0, blank));
        if (!ns)
            return ScriptError{line, "a line starts with its time in seconds, such as 8.000"};
        if (*ns > kLongestScriptNs)
            return ScriptError{line, "a performance may last at most 24 hours"};
        if (*ns < lastNs)
            return ScriptError{line, "times must not go back"};
        const std::string_view words = trimmed(content.substr(blank));
        std::string_view argument;
        const std::optional<ScriptAction> action = parseAction(words, argument);
        if (!action)
            return ScriptError{line, "unknown action \"" + std::string(words) +
                                         "\" (press on, release on, press off, release off, "
                                         "next, previous, load PATH, end)"};
        ScriptEvent event{*ns, *action, {}, line};
        if (*action == ScriptAction::Load) {
            if (argument.front() != '/' && !scriptFolder.empty())
                event.path = scriptFolder + '/';
            event.path += argument;
            if (!exists(event.path))
                return ScriptError{line, "no such file: " + event.path};
        }
        lastNs = *ns;
        events.push_back(std::move(event));
    }
    if (events.empty() || events.back().action != ScriptAction::End)
        return ScriptError{line + 1, "the script has no end line"};
    return events;
}

} // namespace tremlo
