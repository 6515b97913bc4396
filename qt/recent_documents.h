#pragma once

// The desktop's list of recently used documents (the freedesktop
// recently-used.xbel file that file managers and dialogs read).
//
// Thread: the user-interface thread.

#include <QString>

namespace tremlo {

// Adds or refreshes the entry of a file, as used by this program. Returns
// false when the list could not be written; the list is replaced atomically,
// so a failure never damages it.
bool addRecentDocument(const QString& listPath, const QString& filePath, const QString& mimeType);

// $XDG_DATA_HOME/recently-used.xbel, or ~/.local/share/recently-used.xbel.
QString recentDocumentsPath();

} // namespace tremlo
