#include "switch_accessible.h"

#include "frm_main.h"
#include "picture_element.h"

#include <QAccessibleWidget>
#include <QCoreApplication>

namespace tremlo::ui {
namespace {

class SwitchKeyAccessible : public QAccessibleWidget {
public:
    SwitchKeyAccessible(PictureElement* key, const frmMain& window)
        : QAccessibleWidget(key, QAccessible::Button), m_key(key), m_window(window),
          m_isOn(key == window.imgOn()) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return m_isOn ? QCoreApplication::translate("frmMain", "ON")
                          : QCoreApplication::translate("frmMain", "OFF");
        case QAccessible::Description:
            if (!m_isOn)
                return QCoreApplication::translate("frmMain", "メロディを止めます");
            return m_window.onKeyLocks()
                       ? QCoreApplication::translate(
                             "frmMain", "メロディを鳴らします。「OFF」まで鳴り続けます")
                       : QCoreApplication::translate("frmMain",
                                                     "押している間、メロディを鳴らします");
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = m_window.keyShownDown(m_key);
        // Locked in, ON stays down until OFF: to a screen reader a toggle
        // that is on, where a spring-back key is only ever held.
        if (m_isOn && m_window.onKeyLocks()) {
            state.checkable = true;
            state.checked = state.pressed;
        }
        return state;
    }

    QStringList actionNames() const override {
        // Without the lock ON sounds only while held, so it is pressed and
        // released apart; every other press is a whole click.
        if (m_isOn && !m_window.onKeyLocks())
            return {pressAction(), releaseActionName()};
        return {pressAction()};
    }

    QString localizedActionDescription(const QString& action) const override {
        if (action == releaseActionName())
            return QCoreApplication::translate("frmMain", "キーを離します");
        if (action == pressAction())
            return text(QAccessible::Description);
        return QAccessibleWidget::localizedActionDescription(action);
    }

    QString localizedActionName(const QString& action) const override {
        if (action == releaseActionName())
            return QCoreApplication::translate("frmMain", "離す");
        if (action == pressAction())
            return QCoreApplication::translate("frmMain", "押す");
        return QAccessibleWidget::localizedActionName(action);
    }

    void doAction(const QString& action) override {
        if (action == pressAction()) {
            m_key->press();
            if (!m_isOn || m_window.onKeyLocks())
                m_key->release();
        } else if (action == releaseActionName()) {
            m_key->release();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }

    QStringList keyBindingsForAction(const QString& action) const override {
        if (action == pressAction())
            return {QStringLiteral("space")};
        return {};
    }

private:
    PictureElement* m_key;
    const frmMain& m_window;
    bool m_isOn;
};

} // namespace

QString releaseActionName() {
    return QStringLiteral("Release");
}

QAccessibleInterface* switchKeyAccessible(const QString&, QObject* object) {
    // PictureElement has no meta-object of its own, so Qt asks by the name
    // of its base; the type itself is the test.
    auto* key = dynamic_cast<PictureElement*>(object);
    if (!key)
        return nullptr;
    auto* window = dynamic_cast<const frmMain*>(key->parentWidget());
    if (!window || (key != window->imgOn() && key != window->imgOff()))
        return nullptr;
    return new SwitchKeyAccessible(key, *window);
}

void installSwitchAccessibility() {
    QAccessible::installFactory(&switchKeyAccessible);
}

} // namespace tremlo::ui
