#pragma once

// The one QApplication of the dialog tests, on the offscreen platform.

#include "offscreen_application.h"

namespace tremlo::ui::test {

using tremlo::test::application;

} // namespace tremlo::ui::test
