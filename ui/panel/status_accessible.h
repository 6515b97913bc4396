#pragma once

// The status panel's two lamps as assistive technology sees them. Painted
// pictures say nothing to a screen reader; each lamp becomes a named
// indicator whose name ends in on or off and whose checked state is the
// same, both read from the picture it shows when asked. The file line and
// the status message are labels already and speak as they are.
//
// Thread: the user-interface thread.

class QAccessibleInterface;
class QObject;
class QString;

namespace tremlo::ui {

QAccessibleInterface* statusLampAccessible(const QString& className, QObject* object);
// Installed once, before the first panel is made.
void installStatusAccessibility();

} // namespace tremlo::ui
