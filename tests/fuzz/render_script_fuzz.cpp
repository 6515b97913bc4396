// Feeds arbitrary bytes to the render script's parser. A script it accepts
// must be one the render can run: times that never go back, within a day,
// and one end, last.

#include "render_script.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = tremlo::parseRenderScript(
        text, "/s", [](const std::string& path) { return path.size() % 2 == 0; });
    const auto* script = std::get_if<tremlo::RenderScript>(&parsed);
    if (!script)
        return 0;
    std::int64_t last = 0;
    for (std::size_t i = 0; i < script->size(); ++i) {
        const tremlo::ScriptEvent& event = (*script)[i];
        const bool isEnd = event.action == tremlo::ScriptAction::End;
        if (event.timeNs < last || event.timeNs > tremlo::kLongestScriptNs ||
            isEnd != (i + 1 == script->size()) || tremlo::frameAt(event.timeNs, 384000) < 0)
            std::abort();
        last = event.timeNs;
    }
    return 0;
}
