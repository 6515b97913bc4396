#pragma once

// The volume of each kind of sound, in a section of its own, "[Volume]", so
// the program's section keeps its 25 keys:
//
//   Melody=100  Door=80  Ambience=60  Click=100  Noise=100
//
// Each is a percent of full level, 0 to 100 (a value outside is taken as the
// nearer end); a file without the section plays everything at full level, as
// before. A loaded station platform may name its own volumes, which replace
// these while it is loaded.
//
// Thread: the user-interface thread.

#include "ini_profile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tremlo {

inline constexpr std::string_view kVolumeSection = "Volume";

// The sounds a volume is given for, in the order the options page shows them.
enum class VolumeSound { Melody, Door, Ambience, Click, Noise };
inline constexpr std::size_t kVolumeSoundCount = 5;

struct VolumeSettings {
    std::int32_t Melody = 100;
    std::int32_t Door = 100;
    std::int32_t Ambience = 100;
    std::int32_t Click = 100;
    std::int32_t Noise = 100;

    std::int32_t& percent(VolumeSound sound);
    std::int32_t percent(VolumeSound sound) const;
    bool operator==(const VolumeSettings&) const = default;
};

VolumeSettings readVolumeSettings(const IniProfile& ini);
// Every key in one replacement of the file; false when any could not be
// written.
bool writeVolumeSettings(IniProfile& ini, const VolumeSettings& volume);

} // namespace tremlo
