#include "panel_controls.h"

#include "art.h"
#include "drop_file.h"
#include "file_drops.h"
#include "frm_status.h"
#include "melody_shelf.h"
#include "virtual_keys.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <filesystem>

namespace tremlo::ui {
PanelControls::PanelControls(frmStatus& panel, MelodyEngine& engine, SoundLoader& loader,
                             EventPump& pump, const Settings& settings, PanelActions& actions)
    : m_panel(panel), m_engine(engine), m_loader(loader), m_pump(pump), m_settings(settings),
      m_actions(actions),
      m_largeButtons{{
          {panel.imgEFCTButton(), &art::kEfctUp, &art::kEfctDown, &PanelActions::stepEffect},
          {panel.imgOPTButton(), &art::kOptUp, &art::kOptDown, &PanelActions::showOptions},
          {panel.imgVERButton(), &art::kVerUp, &art::kVerDown, &PanelActions::showAbout},
          {panel.imgPowerButton(), &art::kPowerUp, &art::kPowerDown, &PanelActions::quit},
      }} {
    // Installed after the panel's own filter, so this one runs first on every
    // element.
    m_panel.installEventFilter(this);
    for (QWidget* element : m_panel.findChildren<QWidget*>())
        element->installEventFilter(this);
    // Children take no drops themselves, so Qt hands every drop to the panel,
    // which looks at what lies under the point.
    m_panel.setAcceptDrops(true);
}

PanelControls::~PanelControls() = default;

bool PanelControls::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return key(static_cast<const QKeyEvent&>(*event));
    // A quick second click arrives as a double click; it is a press all the
    // same, so the effect button steps once for each click.
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        m_chosenByClick = true;
        return mousePress(watched, static_cast<const QMouseEvent&>(*event));
    case QEvent::WindowDeactivate:
        if (watched == &m_panel)
            m_chosenByClick = false;
        return false;
    case QEvent::MouseButtonRelease:
        return mouseRelease(watched, static_cast<const QMouseEvent&>(*event));
    case QEvent::MouseMove:
        // The same test as the panel's drag; the move itself is the panel's.
        if (watched == m_panel.imgDoor() &&
            static_cast<const QMouseEvent*>(event)->buttons() == Qt::LeftButton)
            m_doorDragged = true;
        return false;
    case QEvent::DragEnter:
        return watched == &m_panel && dragEnter(static_cast<QDropEvent&>(*event));
    case QEvent::DragMove:
        return watched == &m_panel && dragOver(static_cast<QDropEvent&>(*event));
    case QEvent::Drop:
        return watched == &m_panel && drop(static_cast<QDropEvent&>(*event));
    default:
        return false;
    }
}

const PanelControls::LargeButton* PanelControls::largeButton(const QObject* element) const {
    for (const LargeButton& button : m_largeButtons)
        if (button.element == element)
            return &button;
    return nullptr;
}

// Presses on the controls stop here, so none reaches the face below.
bool PanelControls::mousePress(QObject* watched, const QMouseEvent& event) {
    if (const LargeButton* button = largeButton(watched)) {
        if (event.button() == Qt::LeftButton)
            button->element->setPicture(*button->down);
        return true;
    }
    if (watched == m_panel.imgDoor()) {
        m_doorDragged = false;
        return true;
    }
    return watched == m_panel.imgEjectButton(0) || watched == m_panel.imgEjectButton(1) ||
           watched == m_panel.imgEnvir() || watched == m_panel.imgLRButton();
}

// Every action is the handler's last step: a dialog or menu lets other events
// run, and the quit ends the program.
bool PanelControls::mouseRelease(QObject* watched, const QMouseEvent& event) {
    if (const LargeButton* button = largeButton(watched)) {
        releaseLargeButton(*button, event);
        return true;
    }
    const bool left = event.button() == Qt::LeftButton;
    const QPoint pointer = event.globalPosition().toPoint();
    if (watched == m_panel.imgEjectButton(0)) {
        if (left)
            m_actions.openFile();
    } else if (watched == m_panel.imgEjectButton(1)) {
        if (left)
            m_actions.popupOptionMenu(pointer);
    } else if (watched == m_panel.imgDoor()) {
        if (!m_doorDragged)
            m_actions.popupDoors(pointer);
    } else if (watched == m_panel.imgEnvir()) {
        m_actions.popupEnvirs(pointer);
    } else if (watched == m_panel.imgLRButton()) {
        m_actions.CyclePan();
    } else {
        return false;
    }
    return true;
}

void PanelControls::releaseLargeButton(const LargeButton& button, const QMouseEvent& event) {
    // The button's own edge still counts as on it: a user who slides to the
    // last pixel has not changed their mind.
    const QPointF at = event.position();
    const bool outside = at.x() < 0 || at.y() < 0 || at.x() > button.element->width() ||
                         at.y() > button.element->height();
    if (outside) {
        button.element->setPicture(*button.up);
        return;
    }
    // A right or middle release leaves a button held down by the left one as
    // it is.
    if (event.button() != Qt::LeftButton)
        return;
    button.element->setPicture(*button.up);
    (m_actions.*button.action)();
}

// Unlike the switch window, the panel takes a key with or without a modifier:
// ShiftForce keeps stray typing from working the switch window, and the panel
// takes keys only once the user has clicked it; until then they are the
// switch's, ShiftForce and all.
bool PanelControls::key(const QKeyEvent& event) {
    if (!m_chosenByClick) {
        m_actions.keyForSwitch(event);
        return true;
    }
    const int code = virtualKeyOf(event);
    const bool on = isOnButtonKey(code, m_settings.AddOnButtonKeyCode);
    const bool off = isOffButtonKey(code, m_settings.AddOffButtonKeyCode);
    if (!on && !off)
        return false;
    if (event.type() == QEvent::KeyPress) {
        // Held keys repeat as presses; the engine takes them as such.
        if (on)
            m_engine.PressOnButton();
        if (off) // tested on its own, so a key in both sets presses both, ON first
            m_engine.PressOffButton();
    } else if (!event.isAutoRepeat()) {
        // X repeats a held key as release and press pairs; only a real
        // release lets go.
        if (on)
            m_engine.ReleaseOnButton();
        if (off)
            m_engine.ReleaseOffButton();
    }
    return true;
}

// The pan and environment indicators, and the status message while it shows,
// take no files: one let go over them is refused, not handed to the panel
// below.
bool PanelControls::refusesDropAt(QPoint panelPosition) const {
    const QWidget* under = m_panel.childAt(panelPosition);
    return under && (under == m_panel.imgEnvir() || under == m_panel.imgLRButton() ||
                     under == m_panel.lblStatus());
}

// Only what is offered counts here, not where: Qt sends the rest of the drag
// over this window only to a widget that took its entry, and a drag that
// came in over the pan indicator would be refused everywhere else too. The
// move that always follows the entry refuses that spot.
bool PanelControls::dragEnter(QDropEvent& event) {
    answerDrag(event, offersCopiedFiles(event));
    return true;
}

bool PanelControls::dragOver(QDropEvent& event) {
    answerDrag(event, offersCopiedFiles(event) && !refusesDropAt(event.position().toPoint()));
    return true;
}

bool PanelControls::drop(QDropEvent& event) {
    if (!offersFiles(event.mimeData()) || refusesDropAt(event.position().toPoint())) {
        event.ignore();
        return true;
    }
    event.setDropAction(Qt::CopyAction);
    event.accept();
    const QPointer<PanelControls> alive(this);
    for (const std::string& path : localFilesOf(*event.mimeData())) {
        // Files of other kinds are skipped without a word.
        if (!isMelodyPath(path) && !isPlaylistPath(path))
            continue;
        DropFile(path);
        if (!alive)
            break;
    }
    return true;
}

void PanelControls::DropFile(const std::string& path) {
    if (isPlaylistPath(path))
        m_actions.openPlaylist(path);
    else
        dropSoundFile(path, m_loader, m_pump, m_settings, m_engine);
}

} // namespace tremlo::ui
