#include "frm_volume.h"

#include "dialog_font.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

namespace tremlo::ui {
namespace {

constexpr int kDesignMinimum = -6;
constexpr int kDesignMaximum = 6;

QLabel* addLabel(const char* name, const QRect& bounds, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(bounds);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    fitTextToWidth(label);
    return label;
}

} // namespace

frmVolume::frmVolume(std::function<void(int step)> changeSpeed, QWidget* parent)
    : QDialog(parent), m_changeSpeed(std::move(changeSpeed)) {
    setObjectName(QStringLiteral("frmVolume"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QCoreApplication::translate("frmVolume", "再生速度"));
    setFont(dialogFont());
    setFixedSize(319, 83);
    setAttribute(Qt::WA_DeleteOnClose);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("Slider1"));
    m_slider->setGeometry(32, 8, 249, 37);
    m_slider->setRange(kDesignMinimum, kDesignMaximum);
    m_slider->setValue(0);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(5);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setTickInterval(1);
    // Every position the thumb passes while dragged changes the rate, so the
    // user hears the speed follow the thumb.
    m_slider->setTracking(true);
    // The window's one control; its ends are captioned 遅い and 速い, so it
    // is named after the window.
    m_slider->setAccessibleName(windowTitle());

    addLabel("Label1", {8, 32, 22, 12}, QCoreApplication::translate("frmVolume", "遅い"), this);
    addLabel("Label2", {288, 32, 22, 12}, QCoreApplication::translate("frmVolume", "速い"), this);
    addLabel("Label3", {8, 64, 295, 12},
             QCoreApplication::translate("frmVolume",
                                         "再生速度の変更はWAVEファイルの再生時のみ適用されます。"),
             this);

    // Below the visible area on purpose: it is never seen, but as the default
    // button it lets Enter close the window as Esc does.
    m_cmdCancel = new QPushButton(QCoreApplication::translate("frmVolume", "閉じる(&C)"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setGeometry(104, 120, 88, 21);
    m_cmdCancel->setDefault(true);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QWidget::close);

    connect(m_slider, &QSlider::valueChanged, this, [this] { updateRate(); });
    // A click on the slider applies its position even when the value stays,
    // which is how a melody loaded since the last move takes the shown speed.
    m_slider->installEventFilter(this);
}

bool frmVolume::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_slider && event->type() == QEvent::MouseButtonRelease)
        updateRate();
    return QDialog::eventFilter(watched, event);
}

void frmVolume::updateRate() {
    if (m_changeSpeed)
        m_changeSpeed(m_slider->value());
}

VolumeDialogHost::VolumeDialogHost(const Settings& settings,
                                   std::function<void(int step)> changeSpeed, QWidget* owner)
    : m_settings(settings), m_changeSpeed(std::move(changeSpeed)), m_owner(owner) {}

VolumeDialogHost::~VolumeDialogHost() {
    delete m_window.data();
}

frmVolume& VolumeDialogHost::window() {
    if (m_window.isNull()) {
        m_window = new frmVolume(m_changeSpeed, m_owner);
        // Closed windows delete themselves once the event loop comes round;
        // forgetting them at once means an opening right after a close
        // already makes the new one.
        QObject::connect(m_window, &QDialog::finished, m_window, [this] { m_window.clear(); });
        m_window->Slider1()->setMinimum(m_settings.SetFreqSldMin);
        m_window->Slider1()->setMaximum(m_settings.SetFreqSldMax);
    }
    return *m_window;
}

void VolumeDialogHost::setRange(int minimum, int maximum) {
    // A range without 0 moves the slider, and with it the speed, the moment
    // it is set; that has to happen now, not when the user first opens the
    // window over a playing melody. A range with 0 changes nothing until the
    // window exists, so it waits: laying out the window's Japanese labels
    // loads the fonts, which would hold up the switch window at start-up.
    const bool movesTheSlider = 0 < minimum || 0 > std::max(minimum, maximum);
    if (m_window.isNull() && !movesTheSlider)
        return;
    QSlider* slider = window().Slider1();
    slider->setMinimum(minimum);
    slider->setMaximum(maximum);
}

void VolumeDialogHost::show() {
    frmVolume& volume = window();
    volume.show();
    volume.raise();
    volume.activateWindow();
}

} // namespace tremlo::ui
