#include "settings.h"

#include "settings_keys.h"

namespace tremlo {

Settings defaultSettings(const std::string& programFolder) {
    return sectionDefaults(kProgramKeys, programFolder);
}

} // namespace tremlo
