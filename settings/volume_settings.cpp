#include "volume_settings.h"

#include "settings_keys.h"

#include <algorithm>

namespace tremlo {

std::int32_t& VolumeSettings::percent(VolumeSound sound) {
    switch (sound) {
    case VolumeSound::Melody:
        return Melody;
    case VolumeSound::Door:
        return Door;
    case VolumeSound::Ambience:
        return Ambience;
    case VolumeSound::Click:
        return Click;
    case VolumeSound::Noise:
        break;
    }
    return Noise;
}

std::int32_t VolumeSettings::percent(VolumeSound sound) const {
    return const_cast<VolumeSettings&>(*this).percent(sound);
}

VolumeSettings readVolumeSettings(const IniProfile& ini) {
    VolumeSettings volume;
    readSection(ini, kVolumeKeys, volume);
    for (std::size_t k = 0; k < kVolumeSoundCount; ++k) {
        std::int32_t& percent = volume.percent(static_cast<VolumeSound>(k));
        percent = std::clamp(percent, 0, 100);
    }
    return volume;
}

bool writeVolumeSettings(IniProfile& ini, const VolumeSettings& volume) {
    return writeSection(ini, kVolumeKeys, volume);
}

} // namespace tremlo
