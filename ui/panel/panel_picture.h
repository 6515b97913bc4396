#pragma once

// One picture element of the status panel (an indicator, lamp or button): a
// label that shows one of the program's pictures and remembers which, so the
// picture can be fetched again for a new device pixel ratio and compared by
// name where the pixels alone would not tell (tests, the buttons' pressed
// state).
//
// Thread: the user-interface thread.

#include "art.h"

#include <QLabel>
#include <optional>

namespace tremlo::ui {

class PanelPicture : public QLabel {
    Q_OBJECT
public:
    // An element at `bounds` in its parent; it shows nothing until given a
    // picture.
    PanelPicture(const QString& name, const QRect& bounds, QWidget* parent);

    void setPicture(const art::Picture& picture);
    // Shows what `other` shows, the way one picture box takes another's
    // picture.
    void copyPicture(const PanelPicture& other);
    const std::optional<art::Picture>& picture() const { return m_picture; }
    bool shows(const art::Picture& picture) const;

    // Fetches the picture again when the screen's pixel ratio changed.
    void refresh();

private:
    std::optional<art::Picture> m_picture;
    qreal m_ratio = 0;
};

} // namespace tremlo::ui
