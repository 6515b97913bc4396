#pragma once

// The check marks of the two menus, kept as state: start-up and the settings
// loader set them before any menu exists, and the menus show them when they
// open. Each item carries the name of its menu item; an item ending in 2 is
// the twin in the status panel's option menu.
//
// Thread: the user-interface thread.

namespace tremlo {

struct MenuChecks {
    bool mnuTopMost = false;
    bool mnuUseFadeIn = false; // 東京
    bool mnuUseFadeIn2 = false;
    bool mnuUseFadeOut = false; // 立川
    bool mnuUseFadeOut2 = false;
    bool mnuEffectUrawa = false; // 浦和
    bool mnuEffectUrawa2 = false;
    bool mnuUseDoor = false;
    bool mnuUseDoor2 = false;
    bool mnuUseEnvir = false;
    bool mnuUseEnvir2 = false;
    bool mnuUsePanel = false;
};

} // namespace tremlo
