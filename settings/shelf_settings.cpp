#include "shelf_settings.h"

#include "settings_keys.h"

namespace tremlo {

ShelfSettings readShelfSettings(const IniProfile& ini) {
    ShelfSettings shelf;
    readSection(ini, kShelfKeys, shelf);
    return shelf;
}

bool writeShelfSettings(IniProfile& ini, const ShelfSettings& shelf) {
    return writeSection(ini, kShelfKeys, shelf);
}

} // namespace tremlo
