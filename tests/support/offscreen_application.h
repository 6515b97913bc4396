#pragma once

// The one QApplication of a test program, on Qt's offscreen platform, made by
// whichever test needs it first.

#include <QApplication>

namespace tremlo::test {

inline QApplication& application() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "tremolo-test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: Qt's own globals may be gone by the time a static
    // application would be torn down at exit. Held by a static pointer rather
    // than dropped, so a leak checker sees it is kept on purpose.
    static QApplication* const made = new QApplication(argc, argv);
    return *made;
}

// First among a fixture's bases, so the application exists before any widget.
struct WithApplication {
    WithApplication() { application(); }
};

} // namespace tremlo::test
