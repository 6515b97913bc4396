#pragma once

// frmMenus, the owner of the program's two popup menus: mnuTitle, the
// shortcut menu of the switch window, and mnuTopOption, the option menu of
// the status panel. The window itself is never shown.
//
// How it is built: every item is a QAction named by its program name
// (mnuUseDoor, mnuBar7, ...); a submenu is a QMenu of that name whose
// menuAction carries the same name. The indexed groups mnuDoor, mnuDoor2,
// mnuEnvir, mnuEnvir2, mnuMelody and mnuPan name their items "mnuDoor(0)",
// "mnuDoor(1)", ... . Item k of a door or environment group is entry k of its
// catalogue, item k of mnuMelody entry k of the melody shelf, so the groups
// follow the catalogues and the shelf as they change.
//
// The menus keep no state of their own: just before a menu opens, every
// check mark is read from Settings, the catalogues' checked entries, the
// shelf entry of the loaded melody and PanMode, and an item runs its handler
// of MenuCommands (a twin ending in 2 runs the same command as its partner).
// The shelf's items, which a playlist can make many, are made only when the
// メロディ submenu is about to show, and only after the shelf changed. Items are chosen with either
// mouse button: QMenu on X11 and Wayland triggers on the release of any button.
//
// Thread: the user-interface thread.

#include "menu_commands.h"

#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;

namespace tremlo::ui {

class frmMenus : public QWidget {
    Q_OBJECT
public:
    frmMenus(MenuCommands& commands, const Settings& settings, const Catalogue& doorCatalogue,
             const Catalogue& envirCatalogue, const PlaybackState& state, const MelodyShelf& shelf,
             QWidget* parent = nullptr);
    ~frmMenus() override;

    // Each opens its menu at a global position over the window `clicked`
    // belongs to, and returns once it has closed, after the chosen item's
    // command has run. Only the shortcut menu has a default item, mnuExit,
    // drawn bold.
    void popupTitle(QPoint globalPosition, const QWidget* clicked);
    void popupTopOption(QPoint globalPosition, const QWidget* clicked);
    void popupDoors2(QPoint globalPosition, const QWidget* clicked);
    // Shown when opened directly, although hidden inside mnuTopOption.
    void popupEnvirs2(QPoint globalPosition, const QWidget* clicked);

    // The 録音 check item of the shortcut menu, before its last separator;
    // its mark is read from `recording` whenever the menu opens.
    void addRecordItem(std::function<bool()> recording, std::function<void()> command);

    // Brings the catalogue items and every check mark up to the state.
    void refresh();

    QMenu* mnuTitle() const { return m_mnuTitle; }
    QMenu* mnuTopOption() const { return m_mnuTopOption; }
    // A submenu by its name (mnuDoors, mnuEnvirs2, ...), or null.
    QMenu* menu(const QString& name) const;
    // An item by its name (mnuUseDoor, mnuBar4, mnuPan(2), mnuDoors, ...),
    // or null.
    QAction* item(const QString& name) const;

private:
    // An indexed item group that follows a catalogue's entries (or the
    // shelf's titles); `checked` is the checked item, or none.
    struct CatalogueGroup {
        QMenu* menu;
        QString name;
        std::function<std::size_t()> size;
        std::function<const std::string&(std::size_t)> title;
        std::function<std::optional<std::size_t>()> checked;
        std::function<void(int)> choose;
        // Set for a group that may be long (the shelf): its items are made
        // only when its own menu is about to show, and made again only when
        // this has changed since.
        std::function<std::size_t()> revision = {};
        std::optional<std::size_t> builtRevision = {};
        std::vector<QAction*> items = {};
        // The submenus item k sits in (a station set's line and station);
        // empty for a flat group. A nested group is made anew at each change.
        std::function<std::vector<std::string>(std::size_t)> folders = {};
        std::vector<QMenu*> submenus = {};
    };
    void addCatalogueGroup(QMenu* menu, const QString& name, const Catalogue& catalogue,
                           std::function<void(int)> choose);

    void buildTitle();
    void buildTopOption();
    QMenu* addSubmenu(QMenu* parent, const QString& name, const QString& caption);
    QAction* addItem(QMenu* menu, const QString& name, const QString& caption,
                     std::function<void()> command);
    // An item whose check mark shows `flag` of the settings.
    QAction* addCheckItem(QMenu* menu, const QString& name, const QString& caption,
                          bool Settings::*flag, std::function<void()> command);
    QAction* addSeparator(QMenu* menu, const QString& name);
    void syncGroup(CatalogueGroup& group);
    void clearNestedGroup(CatalogueGroup& group);
    QMenu* menuOfItem(CatalogueGroup& group, std::size_t index);
    void markGroup(CatalogueGroup& group);
    void showLongGroup(std::size_t index);
    void run(const std::function<void()>& command);

    MenuCommands& m_commands;
    const Settings& m_settings;
    const Catalogue& m_doorCatalogue;
    const Catalogue& m_envirCatalogue;
    const PlaybackState& m_state;
    const MelodyShelf& m_shelf;

    QMenu* m_mnuTitle = nullptr;
    QMenu* m_mnuTopOption = nullptr;
    QMenu* m_mnuDoors2 = nullptr;
    QMenu* m_mnuEnvirs2 = nullptr;
    // Items whose mark is a flag of the settings.
    std::vector<std::pair<QAction*, bool Settings::*>> m_marks;
    std::vector<QAction*> m_panItems;
    std::vector<CatalogueGroup> m_groups;
    QAction* m_recordItem = nullptr;
    std::function<bool()> m_recording;
};

} // namespace tremlo::ui
