#pragma once

// ON and OFF as assistive technology sees them. The keys are pictures the
// switch window paints, so without this a screen reader finds one unnamed
// panel with nothing to press. Each key becomes a named button whose pressed
// state is read from the picture it shows, the one place the switch position
// reaches the window; ON with its lock in effect is a toggle. Their actions
// run the same press and release as a click.
//
// Thread: the user-interface thread.

class QAccessibleInterface;
class QObject;
class QString;

namespace tremlo::ui {

// Answers QAccessible for the keys of a frmMain; anything else is left to
// the other factories. Installed once, before the first window is shown.
QAccessibleInterface* switchKeyAccessible(const QString& className, QObject* object);
void installSwitchAccessibility();

// The name of the one action that QAccessibleActionInterface has no
// standard for.
QString releaseActionName();

} // namespace tremlo::ui
