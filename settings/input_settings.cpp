#include "input_settings.h"

namespace tremlo {

InputSettings readInputSettings(const IniProfile& ini) {
    return {ini.readValue("OnInput", kInputSection), ini.readValue("OffInput", kInputSection),
            ini.readValue("GlobalOnKey", kInputSection),
            ini.readValue("GlobalOffKey", kInputSection)};
}

bool writeInputSettings(IniProfile& ini, const InputSettings& input) {
    return ini.writeValues({{"OnInput", input.OnInput},
                            {"OffInput", input.OffInput},
                            {"GlobalOnKey", input.GlobalOnKey},
                            {"GlobalOffKey", input.GlobalOffKey}},
                           kInputSection);
}

} // namespace tremlo
