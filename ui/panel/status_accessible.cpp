#include "status_accessible.h"

#include "art.h"
#include "panel_picture.h"

#include <QAccessibleWidget>
#include <QCoreApplication>

namespace tremlo::ui {
namespace {

class StatusLampAccessible : public QAccessibleWidget {
public:
    StatusLampAccessible(PanelPicture* lamp, bool isMelodyLamp)
        : QAccessibleWidget(lamp, QAccessible::StaticText), m_lamp(lamp),
          m_isMelodyLamp(isMelodyLamp) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString lamp =
                m_isMelodyLamp ? QCoreApplication::translate("frmStatus", "メロディのランプ")
                               : QCoreApplication::translate("frmStatus", "ドア閉め放送のランプ");
            return lit() ? QCoreApplication::translate("frmStatus", "%1: 点灯").arg(lamp)
                         : QCoreApplication::translate("frmStatus", "%1: 消灯").arg(lamp);
        }
        if (t == QAccessible::Description)
            return m_lamp->toolTip();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = lit();
        state.readOnly = true;
        return state;
    }

private:
    bool lit() const { return m_lamp->shows(art::kLedLit); }

    PanelPicture* m_lamp;
    bool m_isMelodyLamp;
};

} // namespace

QAccessibleInterface* statusLampAccessible(const QString&, QObject* object) {
    auto* picture = qobject_cast<PanelPicture*>(object);
    if (!picture)
        return nullptr;
    if (picture->objectName() == QLatin1String("imgStatusLED0"))
        return new StatusLampAccessible(picture, true);
    if (picture->objectName() == QLatin1String("imgStatusLED1"))
        return new StatusLampAccessible(picture, false);
    return nullptr;
}

void installStatusAccessibility() {
    QAccessible::installFactory(&statusLampAccessible);
}

} // namespace tremlo::ui
