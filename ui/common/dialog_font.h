#pragma once

// The face the small dialogs were laid out with: a Japanese UI gothic at
// 9 point. Their labels have fixed sizes, so they name the font themselves
// instead of taking whatever the desktop's default is.
//
// Thread: the user-interface thread.

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

namespace tremlo::ui {

inline QFont dialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(9);
    return font;
}

// The labels were measured against a narrower face than those found here
// ("E-Mail:" and the note under the speed slider run a few pixels over), so a
// label whose text does not fit gets a slightly smaller size rather than a cut
// end. Widening the label instead would run it into its neighbour.
inline void fitTextToWidth(QLabel* label) {
    QFont font = label->font();
    while (font.pointSizeF() > 7.0 &&
           QFontMetrics(font).horizontalAdvance(label->text()) > label->width()) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    label->setFont(font);
}

} // namespace tremlo::ui
