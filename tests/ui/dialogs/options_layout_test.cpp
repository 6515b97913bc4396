// The options dialog's layout in the Japanese face: no caption cut short, no
// control over another or past its panel's edge. With TREMLO_SCREENSHOT_DIR
// set, each tab and the key-capture dialog are also saved as pictures at
// ratios 1 and 2.

#include "frm_key.h"
#include "options_rig.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>

namespace tremlo::test {
namespace {

const char* const kPictureNames[] = {"options-sound", "options-behaviour", "options-display"};

// The widget as drawn at `ratio`, saved as `name`(@2x).png into `folder`
// when a folder is given.
void picture(QWidget& widget, int ratio, const QString& folder, const char* name) {
    QPixmap pixmap(widget.size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(widget.palette().window().color());
    widget.render(&pixmap);
    ASSERT_FALSE(pixmap.isNull());
    if (folder.isEmpty())
        return;
    const QString file =
        QDir(folder).filePath(QString::fromUtf8(name) +
                              (ratio == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    EXPECT_TRUE(pixmap.save(file)) << file.toStdString();
}

QString textOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    return {};
}

TEST_F(OptionsTest, EveryTabIsTidyInTheJapaneseFace) {
    auto dialog = open();
    dialog->show();
    EXPECT_GE(dialog->width(), 393);
    EXPECT_GE(dialog->height(), 346);
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "fixed size";
    const QString folder = qEnvironmentVariable("TREMLO_SCREENSHOT_DIR");

    for (int index = 1; index <= 3; ++index) {
        dialog->TabStrip1()->setCurrentIndex(index - 1);
        QWidget* page = dialog->picFrame(index);
        QList<QWidget*> controls;
        for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible())
                controls.append(child);
        ASSERT_FALSE(controls.isEmpty());
        for (QWidget* control : controls) {
            const QString name = textOf(control) + " " + control->objectName();
            EXPECT_TRUE(page->rect().contains(control->geometry()))
                << name.toStdString() << " leaves picFrame" << index;
            const bool wraps =
                qobject_cast<QLabel*>(control) && static_cast<QLabel*>(control)->wordWrap();
            if (!textOf(control).isEmpty() && !wraps) {
                EXPECT_GE(control->width(), control->sizeHint().width())
                    << name.toStdString() << " is cut short";
            }
            for (QWidget* other : controls) {
                if (other != control) {
                    EXPECT_FALSE(control->geometry().intersects(other->geometry()))
                        << name.toStdString() << " overlaps " << textOf(other).toStdString();
                }
            }
        }

        for (int ratio : {1, 2})
            picture(*dialog, ratio, folder, kPictureNames[index - 1]);
    }

    std::int16_t KeyCaptureResult = 0;
    ui::frmKey keyDialog(dialog.get(), time, KeyCaptureResult);
    keyDialog.show();
    EXPECT_GE(keyDialog.Label1()->width(), keyDialog.Label1()->sizeHint().width());
    for (int ratio : {1, 2})
        picture(keyDialog, ratio, folder, "key-capture");
}

} // namespace
} // namespace tremlo::test
