#pragma once

// Files dragged onto a window: both windows take a list of local files, and
// only as a copy, so a file is never moved or linked away from where the user
// keeps it.

#include <QDropEvent>
#include <QMimeData>
#include <string>
#include <vector>

namespace tremlo::ui {

// Whether the offered data holds at least one local file.
bool offersFiles(const QMimeData* data);
// Whether the drag offers local files and lets them be copied.
bool offersCopiedFiles(const QDropEvent& event);
// Takes a drag entering or moving over the window as a copy, or refuses it.
void answerDrag(QDropEvent& event, bool take);
// The local files of a drop, in the list's order. Copied out: loading one lets
// events run, and the drag's data may be gone by the next.
std::vector<std::string> localFilesOf(const QMimeData& data);

} // namespace tremlo::ui
