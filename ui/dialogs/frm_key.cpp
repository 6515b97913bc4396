#include "frm_key.h"

#include "dialog_font.h"
#include "virtual_keys.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>

namespace tremlo::ui {

frmKey::frmKey(QWidget* owner, TimerFactory& timers, std::int16_t& KeyCaptureResult)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), m_result(KeyCaptureResult),
      m_frame1(new QGroupBox(QCoreApplication::translate("frmKey", "キー番号の取得"), this)),
      m_label1(new QLabel(QCoreApplication::translate(
                              "frmKey", "キー番号を取得します。割り当てたいキーを押してください。"),
                          m_frame1)),
      m_blink(timers, [this](bool shown) { m_label1->setVisible(shown); }) {
    setObjectName(QStringLiteral("frmKey"));
    setFont(dialogFont());
    setFixedSize(kClientSize);
    // The window itself takes the keys: nothing inside it can hold the focus.
    setFocusPolicy(Qt::StrongFocus);

    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(16, 16, kClientSize.width() - 32, kClientSize.height() - 32);
    m_label1->setObjectName(QStringLiteral("Label1"));
    // Level with the middle of the box under the frame's caption, wherever
    // the style puts that caption.
    m_frame1->ensurePolished();
    const QRect inside = m_frame1->contentsRect();
    const int height = m_label1->sizeHint().height();
    m_label1->setGeometry(16, inside.center().y() - height / 2 + 1, m_frame1->width() - 32, height);
    fitTextToWidth(m_label1);
}

void frmKey::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QWidget* owner = parentWidget()) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->window()->frameGeometry().center());
        move(frame.topLeft());
    }
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

// Every key press is taken here, before QDialog would read Escape as cancel
// and Enter as the default button, and before Tab could move the focus.
bool frmKey::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        event->accept(); // no access key of the window below may fire instead
        return true;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A key held down since before the window opened repeats into it;
        // only a key that goes down while it is open is an answer.
        if (!m_repeats.isRepeat(*key))
            Form_KeyDown(virtualKeyOf(*key));
        return true;
    }
    case QEvent::KeyRelease:
        m_repeats.released(*static_cast<QKeyEvent*>(event));
        return true;
    default:
        return QDialog::event(event);
    }
}

void frmKey::Form_KeyDown(int virtualKey) {
    m_result = static_cast<std::int16_t>(virtualKey);
    m_blink.stop();
    accept();
}

std::int16_t captureKey(QWidget* owner, TimerFactory& timers) {
    std::int16_t KeyCaptureResult = 0;
    frmKey dialog(owner, timers, KeyCaptureResult);
    dialog.exec();
    return KeyCaptureResult;
}

} // namespace tremlo::ui
