#pragma once

// frmAddPlatform, この設定を駅セットに追加: the names of the line, station and
// platform the sounds of now are kept under. OK waits until all three are
// given, since a station set needs each.
//
// Thread: the user-interface thread.

#include <optional>
#include <string>

class QWidget;

namespace tremlo::ui {

struct PlatformNames {
    std::string line;
    std::string station;
    std::string platform;
};

// Runs the dialog modally over `owner`; nullopt when cancelled.
std::optional<PlatformNames> askPlatformNames(QWidget* owner);

} // namespace tremlo::ui
