#include "input_settings.h"

#include "settings_keys.h"

namespace tremlo {

InputSettings readInputSettings(const IniProfile& ini) {
    InputSettings input;
    readSection(ini, kInputKeys, input);
    return input;
}

bool writeInputSettings(IniProfile& ini, const InputSettings& input) {
    return writeSection(ini, kInputKeys, input);
}

} // namespace tremlo
