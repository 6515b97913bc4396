#pragma once

// The script of an offline render: one switch operation a line, each at its
// time from the start of the performance.
//
//     # seconds   action
//     0.500 press on
//     8.000 press off
//     12.000 end
//
// Times are seconds with up to nine decimals, kept exactly (nanoseconds) so
// that the frame an event lands on is round(t × rate) whatever the rate.
// Times never go back; events at the same time run in the order written. A
// `#` at the start of a line or after a blank starts a comment. The script
// ends at its one `end` line, which nothing may follow.
//
// Thread: any; parsing touches nothing but its arguments.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tremlo {

enum class ScriptAction { PressOn, ReleaseOn, PressOff, ReleaseOff, Next, Previous, Load, End };

struct ScriptEvent {
    std::int64_t timeNs = 0;
    ScriptAction action = ScriptAction::End;
    std::string path; // Load only: absolute, or as written when the script's folder is empty
    int line = 0;
};

// The frame an event at `timeNs` lands on: round(t × rate), halves up.
std::int64_t frameAt(std::int64_t timeNs, int rate);

// The longest performance a script may describe: a day, far beyond any
// video, and small enough that frame counts never overflow.
inline constexpr std::int64_t kLongestScriptNs = 24LL * 3600 * 1000000000;

struct ScriptError {
    int line = 0;
    std::string reason;
    // "script.txt:3: times must not go back"
    std::string message(const std::string& scriptName) const;
};

using RenderScript = std::vector<ScriptEvent>; // the last one is End
using ParsedScript = std::variant<RenderScript, ScriptError>;

// `text` is UTF-8 (a byte-order mark is skipped). `load` paths are taken
// relative to `scriptFolder`; each must be a file `exists` finds, so that a
// script that cannot run to its end is refused before anything is written.
ParsedScript parseRenderScript(std::string_view text, const std::string& scriptFolder,
                               const std::function<bool(const std::string&)>& exists);

} // namespace tremlo
