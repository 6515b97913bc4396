// Feeds arbitrary bytes to the station set reader: it must refuse with a
// message or give a set, never crash or hang, and a set it gives must hold
// at least one platform and no more than it allows.

#include "station_set.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto outcome = tremlo::parseStationSet(
        std::string_view(reinterpret_cast<const char*>(data), size), "/pack");
    if (outcome.set.has_value() == !outcome.message.empty())
        std::abort();
    if (outcome.set) {
        const auto places = outcome.set->places();
        if (places.empty() || places.size() > tremlo::kMaxPlatforms)
            std::abort();
        for (const auto& place : places)
            if (outcome.set->at(place).melody.empty() || outcome.set->title(place).empty())
                std::abort();
    }
    return 0;
}
