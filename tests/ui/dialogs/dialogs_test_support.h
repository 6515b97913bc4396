#pragma once

// The one QApplication of the dialog tests, on the offscreen platform.

#include <QApplication>

namespace tremlo::ui::test {

inline QApplication& application() {
    static int argc = 1;
    static char name[] = "ui_dialogs_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: Qt's own globals may be gone by the time a static
    // application would be torn down at exit.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace tremlo::ui::test
