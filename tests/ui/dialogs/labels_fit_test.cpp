// Every caption of every dialog fits its control at the dialog font, in
// Japanese and in English: a longer English text must widen its control or
// wrap, never be cut short. And every control is named to a screen reader
// and reached with Tab, in both languages too.

#include "frm_about.h"
#include "frm_input.h"
#include "frm_key.h"
#include "frm_remote.h"
#include "frm_volume.h"
#include "options_rig.h"
#include "poll_input_loop.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QSet>
#include <QTabWidget>
#include <QTranslator>

namespace tremlo::test {
namespace {

QString captionOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    return {};
}

// The captions of `window` that are cut short as it is shown now.
QStringList cutShort(QWidget& window) {
    QStringList faults;
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        const QString caption = captionOf(control);
        if (caption.isEmpty() || !control->isVisibleTo(&window))
            continue;
        const auto* label = qobject_cast<const QLabel*>(control);
        const bool fits = label && label->wordWrap()
                              ? label->heightForWidth(label->width()) <= label->height()
                              : control->width() >= control->sizeHint().width();
        if (!fits)
            faults << QStringLiteral("%1 (%2, %3 px wide)")
                          .arg(caption, control->objectName())
                          .arg(control->width());
    }
    return faults;
}

// A control that Tab stops at, as QWidget::focusNextPrevChild picks them.
bool takesTab(const QWidget& widget, const QWidget& window) {
    return (widget.focusPolicy() & Qt::TabFocus) && widget.isEnabled() &&
           widget.isVisibleTo(&window) && !widget.focusProxy();
}

// The controls of `window`, as shown now, that a screen reader cannot name
// or that Tab never reaches from the window.
QStringList unnamedOrUnreached(QWidget& window) {
    QSet<const QWidget*> reached;
    for (QWidget* next = window.nextInFocusChain(); next != &window;
         next = next->nextInFocusChain())
        if (takesTab(*next, window))
            reached.insert(next);
    QStringList faults;
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        if (!takesTab(*control, window))
            continue;
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(const_cast<QWidget*>(control));
        const QString what = QStringLiteral("%1 %2").arg(
            QString::fromLatin1(control->metaObject()->className()), control->objectName());
        if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
            faults << what + QStringLiteral(" has no name");
        if (!reached.contains(control))
            faults << what + QStringLiteral(" is not reached with Tab");
    }
    return faults;
}

struct StillButtons : input::SwitchButtons {
    void press(input::SwitchButton) override {}
    void release(input::SwitchButton) override {}
};

class LabelsFitTest : public OptionsTest {
protected:
    ui::InputDialogParts inputParts() {
        return {inputs, time, [](const InputSettings&) { return std::vector<std::string>(); },
                nullptr};
    }

    StillButtons buttons;
    testing::PollInputLoop loop;
    input::SwitchInputs inputs{loop, buttons, nullptr};
    std::int16_t keyResult = 0;
    // Everything on, so the tab shows every row it has.
    ui::RemotePageParts remote{
        [] { return RemoteSettings{true, 9000, true, 8470, true, std::string(22, 'x')}; },
        [](const RemoteSettings&) { return std::vector<std::string>{}; },
        [] { return std::string(22, 'y'); },
        [](const RemoteSettings&) { return QStringLiteral("http://192.0.2.1:8470/?token=x"); }};

    using Make = std::function<std::unique_ptr<QWidget>()>;
    std::vector<std::pair<const char*, Make>> dialogs() {
        return {
            {"options",
             [this] {
                 ui::OptionsParts withLanguage = parts();
                 withLanguage.storedLanguage = [] { return LanguageChoice::Auto; };
                 withLanguage.storeLanguage = [](LanguageChoice) { return true; };
                 withLanguage.showInputDevices = [] {};
                 withLanguage.remote = &remote;
                 return std::make_unique<ui::frmOptions>(withLanguage);
             }},
            {"key capture",
             [this] { return std::make_unique<ui::frmKey>(nullptr, time, keyResult); }},
            {"input devices", [this] { return std::make_unique<ui::frmInput>(inputParts()); }},
            {"playback speed", [] { return std::make_unique<ui::frmVolume>([](int) {}); }},
            {"about", [] { return std::make_unique<ui::frmAbout>(); }},
        };
    }
};

struct Face {
    const char* language;
    const char* translation; // none for the source texts
};

TEST_F(LabelsFitTest, EveryCaptionFitsInBothLanguages) {
    const Face faces[] = {{"Japanese", nullptr}, {"English", TREMLO_ENGLISH_QM}};
    for (const Face& face : faces) {
        QTranslator translator;
        if (face.translation) {
            ASSERT_TRUE(translator.load(QString::fromUtf8(face.translation)));
            QCoreApplication::installTranslator(&translator);
        }
        for (const auto& [name, make] : dialogs()) {
            SCOPED_TRACE(std::string(name) + " in " + face.language);
            const std::unique_ptr<QWidget> dialog = make();
            dialog->show();
            auto* tabs = dialog->findChild<QTabWidget*>();
            for (int tab = 0; tab < (tabs ? tabs->count() : 1); ++tab) {
                if (tabs)
                    tabs->setCurrentIndex(tab);
                const QStringList faults = cutShort(*dialog);
                EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("; ")).toStdString();
            }
        }
        QCoreApplication::removeTranslator(&translator);
    }
}

TEST_F(LabelsFitTest, EveryControlHasANameAndIsReachedWithTab) {
    const Face faces[] = {{"Japanese", nullptr}, {"English", TREMLO_ENGLISH_QM}};
    for (const Face& face : faces) {
        QTranslator translator;
        if (face.translation) {
            ASSERT_TRUE(translator.load(QString::fromUtf8(face.translation)));
            QCoreApplication::installTranslator(&translator);
        }
        for (const auto& [name, make] : dialogs()) {
            SCOPED_TRACE(std::string(name) + " in " + face.language);
            const std::unique_ptr<QWidget> dialog = make();
            dialog->show();
            auto* tabs = dialog->findChild<QTabWidget*>();
            for (int tab = 0; tab < (tabs ? tabs->count() : 1); ++tab) {
                if (tabs)
                    tabs->setCurrentIndex(tab);
                const QStringList faults = unnamedOrUnreached(*dialog);
                EXPECT_TRUE(faults.isEmpty()) << faults.join(QStringLiteral("; ")).toStdString();
            }
        }
        QCoreApplication::removeTranslator(&translator);
    }
}

} // namespace
} // namespace tremlo::test
