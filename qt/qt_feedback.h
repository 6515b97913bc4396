#pragma once

// Message boxes, the wait pointer and the recently-used list, for the loader.
//
// Thread: the user-interface thread.

#include "views.h"

#include <QString>

namespace tremlo {

class QtUserFeedback : public UserFeedback {
public:
    explicit QtUserFeedback(QString recentListPath);

    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    void setWaitCursor(bool waiting) override;
    void addRecentDocument(const std::string& path) override;

private:
    QString m_recentListPath;
    bool m_waiting = false;
};

} // namespace tremlo
