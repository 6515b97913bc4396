#include "frm_menus.h"

#include "text_encoding.h"
#include "window_placement.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QWindow>

namespace tremlo::ui {
namespace {

QString groupItemName(const QString& group, std::size_t index) {
    return QStringLiteral("%1(%2)").arg(group).arg(index);
}

// A file name is shown as it is: an "&" in it would otherwise underline the
// next letter and vanish from the caption. A name unpacked from a Windows
// archive is often Shift-JIS; it is shown decoded, while the entry keeps its
// bytes so the file still opens.
QString captionOfFile(const std::string& fileName) {
    return QString::fromStdString(readableText(fileName))
        .replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

frmMenus::frmMenus(MenuCommands& commands, const Settings& settings, const Catalogue& doorCatalogue,
                   const Catalogue& envirCatalogue, const PlaybackState& state,
                   const MelodyShelf& shelf, QWidget* parent)
    : QWidget(parent), m_commands(commands), m_settings(settings), m_doorCatalogue(doorCatalogue),
      m_envirCatalogue(envirCatalogue), m_state(state), m_shelf(shelf) {
    setObjectName(QStringLiteral("frmMenus"));
    m_groups.reserve(5);
    buildTitle();
    buildTopOption();
    refresh();
}

frmMenus::~frmMenus() = default;

void frmMenus::buildTitle() {
    MenuCommands& c = m_commands;
    m_mnuTitle =
        new QMenu(QCoreApplication::translate("frmMenus", "ショートカット メニュー(&M)"), this);
    m_mnuTitle->setObjectName(QStringLiteral("mnuTitle"));
    // The popup's window carries the menu's name, without its access key, for
    // window lists and screen readers: "ショートカット メニュー".
    m_mnuTitle->setWindowTitle(
        m_mnuTitle->title().remove(QRegularExpression(QStringLiteral("\\(&.\\)|&"))));
    connect(m_mnuTitle, &QMenu::aboutToShow, this, &frmMenus::refresh);
    QMenu* title = m_mnuTitle;

    addItem(title, "mnuFileOpen", QCoreApplication::translate("frmMenus", "開く(&O)..."),
            [&c] { c.mnuFileOpen_Click(); });
    QMenu* melodies =
        addSubmenu(title, "mnuMelodies", QCoreApplication::translate("frmMenus", "メロディ(&M)"));
    addItem(melodies, "mnuNextMelody", QCoreApplication::translate("frmMenus", "次のメロディ(&N)"),
            [&c] { c.mnuNextMelody_Click(); });
    addItem(melodies, "mnuPreviousMelody",
            QCoreApplication::translate("frmMenus", "前のメロディ(&P)"),
            [&c] { c.mnuPreviousMelody_Click(); });
    addItem(melodies, "mnuAddToStationSet",
            QCoreApplication::translate("frmMenus", "この設定を駅セットに追加(&A)..."),
            [&c] { c.mnuAddToStationSet_Click(); });
    addSeparator(melodies, "mnuBarMelody");
    m_groups.push_back(
        {melodies, "mnuMelody", [this] { return m_shelf.entries().size(); },
         [this](std::size_t k) -> const std::string& { return m_shelf.entries()[k].title; },
         [this] { return m_shelf.loadedEntry(m_state.MelodyPath); },
         [&c](int k) { c.mnuMelody_Click(k); }, [this] { return m_shelf.revision(); }});
    m_groups.back().folders = [this](std::size_t k) { return m_shelf.menuFolders(k); };
    // After refresh, which addSubmenu connected first and which leaves an
    // out-of-date long group alone.
    connect(melodies, &QMenu::aboutToShow, this,
            [this, index = m_groups.size() - 1] { showLongGroup(index); });
    addSeparator(title, "mnuBar1");

    QMenu* doors =
        addSubmenu(title, "mnuDoors", QCoreApplication::translate("frmMenus", "ドア閉め放送(&D)"));
    addCheckItem(doors, "mnuUseDoor",
                 QCoreApplication::translate("frmMenus", "ドア閉め放送を再生する(&U)"),
                 &Settings::Door, [&c] { c.mnuUseDoor_Click(); });
    addSeparator(doors, "mnuBar7");
    addCatalogueGroup(doors, "mnuDoor", m_doorCatalogue, [&c](int k) { c.mnuDoor_Click(k); });

    QMenu* envirs =
        addSubmenu(title, "mnuEnvirs", QCoreApplication::translate("frmMenus", "環境音(&N)"));
    addCheckItem(envirs, "mnuUseEnvir",
                 QCoreApplication::translate("frmMenus", "環境音を再生する(&U)"),
                 &Settings::UseEnvir, [&c] { c.mnuUseEnvir_Click(); });
    addSeparator(envirs, "mnuBar6");
    addCatalogueGroup(envirs, "mnuEnvir", m_envirCatalogue, [&c](int k) { c.mnuEnvir_Click(k); });

    addSeparator(title, "mnuBar3");
    QMenu* effects = addSubmenu(title, "mnuTitleEffects",
                                QCoreApplication::translate("frmMenus", "エフェクト(&E)"));
    addCheckItem(effects, "mnuUseFadeIn", QCoreApplication::translate("frmMenus", "東京(&Y)"),
                 &Settings::EffectTokyo, [&c] { c.mnuUseFadeIn_Click(); });
    addCheckItem(effects, "mnuUseFadeOut", QCoreApplication::translate("frmMenus", "立川(&C)"),
                 &Settings::EffectTachikawa, [&c] { c.mnuUseFadeOut_Click(); });
    addCheckItem(effects, "mnuEffectUrawa", QCoreApplication::translate("frmMenus", "浦和(&U)"),
                 &Settings::EffectUrawa, [&c] { c.mnuEffectUrawa_Click(); });

    addItem(title, "mnuVolume", QCoreApplication::translate("frmMenus", "再生速度(&S)"),
            [&c] { c.mnuVolume_Click(); });
    QMenu* pan =
        addSubmenu(title, "mnuTitlePan", QCoreApplication::translate("frmMenus", "振り分け(&P)"));
    const char* const panCaptions[] = {QT_TRANSLATE_NOOP("frmMenus", "中央(&C)"),
                                       QT_TRANSLATE_NOOP("frmMenus", "左(&L)"),
                                       QT_TRANSLATE_NOOP("frmMenus", "右(&R)")};
    for (int i = 0; i < 3; ++i) {
        QAction* item = addItem(pan, groupItemName("mnuPan", i),
                                QCoreApplication::translate("frmMenus", panCaptions[i]),
                                [&c, i] { c.mnuPan_Click(i); });
        item->setCheckable(true);
        m_panItems.push_back(item);
    }

    addSeparator(title, "mnuBar5");
    QAction* topMost = addCheckItem(title, "mnuTopMost",
                                    QCoreApplication::translate("frmMenus", "常に手前に表示(&T)"),
                                    &Settings::TopMost, [&c] { c.mnuTopMost_Click(); });
    if (!stayOnTopPossible()) {
        // The mark still shows the setting, which a run on X11 follows.
        topMost->setEnabled(false);
        topMost->setToolTip(stayOnTopRefusal());
        title->setToolTipsVisible(true);
    }
    addCheckItem(title, "mnuUsePanel",
                 QCoreApplication::translate("frmMenus", "ステータスパネルを表示(&V)"),
                 &Settings::UsePanel, [&c] { c.mnuUsePanel_Click(); });
    addSeparator(title, "mnuBar10");
    addItem(title, "mnuOptions", QCoreApplication::translate("frmMenus", "オプション(&O)..."),
            [&c] { c.mnuOptions_Click(); });
    addItem(title, "mnuInputDevices",
            QCoreApplication::translate("frmMenus", "入力機器の設定(&I)..."),
            [&c] { c.mnuInputDevices_Click(); });
    addItem(title, "mnuAbout", QCoreApplication::translate("frmMenus", "バージョン情報(&A)"),
            [&c] { c.mnuAbout_Click(); });
    addItem(title, "mnuHelp", QCoreApplication::translate("frmMenus", "ヘルプ(&H)"),
            [&c] { c.mnuHelp_Click(); });
    addSeparator(title, "mnuBar2");
    QAction* exit = addItem(title, "mnuExit", QCoreApplication::translate("frmMenus", "終了(&X)"),
                            [&c] { c.mnuExit_Click(); });
    // The shortcut menu opens only from the main window, where ending the
    // program is the default choice.
    title->setDefaultAction(exit);
}

void frmMenus::buildTopOption() {
    MenuCommands& c = m_commands;
    m_mnuTopOption = new QMenu(QCoreApplication::translate("frmMenus", "オプション"), this);
    m_mnuTopOption->setObjectName(QStringLiteral("mnuTopOption"));
    connect(m_mnuTopOption, &QMenu::aboutToShow, this, &frmMenus::refresh);
    QMenu* top = m_mnuTopOption;

    QMenu* effects = addSubmenu(top, "mnuTitleEffects2",
                                QCoreApplication::translate("frmMenus", "エフェクト(&E)"));
    addCheckItem(effects, "mnuUseFadeIn2", QCoreApplication::translate("frmMenus", "東京(&Y)"),
                 &Settings::EffectTokyo, [&c] { c.mnuUseFadeIn_Click(); });
    addCheckItem(effects, "mnuUseFadeOut2", QCoreApplication::translate("frmMenus", "立川(&C)"),
                 &Settings::EffectTachikawa, [&c] { c.mnuUseFadeOut_Click(); });
    addCheckItem(effects, "mnuEffectUrawa2", QCoreApplication::translate("frmMenus", "浦和(&U)"),
                 &Settings::EffectUrawa, [&c] { c.mnuEffectUrawa_Click(); });

    m_mnuDoors2 =
        addSubmenu(top, "mnuDoors2", QCoreApplication::translate("frmMenus", "ドア閉め放送(&D)"));
    addCheckItem(m_mnuDoors2, "mnuUseDoor2",
                 QCoreApplication::translate("frmMenus", "ドア閉め放送を再生する(&U)"),
                 &Settings::Door, [&c] { c.mnuUseDoor_Click(); });
    addSeparator(m_mnuDoors2, "mnuBar8");
    addCatalogueGroup(m_mnuDoors2, "mnuDoor2", m_doorCatalogue,
                      [&c](int k) { c.mnuDoor_Click(k); });

    // The environment submenu, its separator and the options item are here
    // only for the panel's environment button, which opens the submenu by
    // itself; the menu opened whole leaves them out.
    m_mnuEnvirs2 =
        addSubmenu(top, "mnuEnvirs2", QCoreApplication::translate("frmMenus", "環境音(&V)"));
    m_mnuEnvirs2->menuAction()->setVisible(false);
    addCheckItem(m_mnuEnvirs2, "mnuUseEnvir2",
                 QCoreApplication::translate("frmMenus", "環境音を再生する(&U)"),
                 &Settings::UseEnvir, [&c] { c.mnuUseEnvir_Click(); });
    addSeparator(m_mnuEnvirs2, "mnuBar9");
    addCatalogueGroup(m_mnuEnvirs2, "mnuEnvir2", m_envirCatalogue,
                      [&c](int k) { c.mnuEnvir_Click(k); });

    addSeparator(top, "mnuBar4")->setVisible(false);
    addItem(top, "mnuOption2", QCoreApplication::translate("frmMenus", "オプション(&O)..."), [&c] {
        c.mnuOptions_Click();
    })->setVisible(false);
}

void frmMenus::addCatalogueGroup(QMenu* menu, const QString& name, const Catalogue& catalogue,
                                 std::function<void(int)> choose) {
    m_groups.push_back(
        {menu, name, [&catalogue] { return catalogue.entries.size(); },
         [&catalogue](std::size_t k) -> const std::string& { return catalogue.entries[k]; },
         [&catalogue] { return std::optional(catalogue.checked); }, std::move(choose)});
}

QMenu* frmMenus::addSubmenu(QMenu* parent, const QString& name, const QString& caption) {
    auto* submenu = new QMenu(caption, parent);
    submenu->setObjectName(name);
    submenu->menuAction()->setObjectName(name);
    // Opened directly (mnuDoors2, mnuEnvirs2) it must show fresh marks too.
    connect(submenu, &QMenu::aboutToShow, this, &frmMenus::refresh);
    parent->addMenu(submenu);
    return submenu;
}

QAction* frmMenus::addItem(QMenu* menu, const QString& name, const QString& caption,
                           std::function<void()> command) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this,
            [this, command = std::move(command)] { run(command); });
    return item;
}

QAction* frmMenus::addCheckItem(QMenu* menu, const QString& name, const QString& caption,
                                bool Settings::*flag, std::function<void()> command) {
    QAction* item = addItem(menu, name, caption, std::move(command));
    item->setCheckable(true);
    m_marks.emplace_back(item, flag);
    return item;
}

QAction* frmMenus::addSeparator(QMenu* menu, const QString& name) {
    QAction* separator = menu->addSeparator();
    separator->setObjectName(name);
    return separator;
}

// Qt has already flipped a checkable item's mark when it triggers; the
// command decides from the state, and the marks are then read back from it.
void frmMenus::run(const std::function<void()>& command) {
    command();
    refresh();
}

void frmMenus::addRecordItem(std::function<bool()> recording, std::function<void()> command) {
    m_recording = std::move(recording);
    m_recordItem = addItem(m_mnuTitle, "mnuRecord", tr("録音(&R)"), std::move(command));
    m_recordItem->setCheckable(true);
    m_mnuTitle->removeAction(m_recordItem);
    m_mnuTitle->insertAction(item(QStringLiteral("mnuBar2")), m_recordItem);
    refresh();
}

void frmMenus::refresh() {
    for (CatalogueGroup& group : m_groups) {
        if (!group.revision)
            syncGroup(group);
        else if (group.builtRevision != group.revision())
            continue; // made again when its menu shows
        markGroup(group);
    }
    for (const auto& [item, flag] : m_marks)
        item->setChecked(m_settings.*flag);
    for (std::size_t i = 0; i < m_panItems.size(); ++i)
        m_panItems[i]->setChecked(static_cast<int>(i) == static_cast<int>(m_state.PanMode));
    if (m_recordItem)
        m_recordItem->setChecked(m_recording());
}

void frmMenus::markGroup(CatalogueGroup& group) {
    const std::optional<std::size_t> checked = group.checked();
    for (std::size_t k = 0; k < group.items.size(); ++k)
        group.items[k]->setChecked(k == checked);
}

void frmMenus::showLongGroup(std::size_t index) {
    CatalogueGroup& group = m_groups[index];
    if (group.builtRevision != group.revision())
        syncGroup(group);
    markGroup(group);
}

// The catalogues are built during start-up, after the menus exist, and the
// shelf changes with every playlist. Item k stays item k, so its command
// keeps choosing entry k.
void frmMenus::syncGroup(CatalogueGroup& group) {
    const std::size_t count = group.size();
    const bool nested = group.folders && count > 0 && !group.folders(0).empty();
    if (nested || !group.submenus.empty())
        clearNestedGroup(group);
    for (std::size_t k = group.items.size(); k < count; ++k) {
        QAction* item = (nested ? menuOfItem(group, k) : group.menu)->addAction(QString());
        item->setObjectName(groupItemName(group.name, k));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this,
                [this, choose = group.choose, index = static_cast<int>(k)] {
                    choose(index);
                    refresh();
                });
        group.items.push_back(item);
    }
    // Later, not now: the item whose command is running may be among them.
    while (group.items.size() > count) {
        QAction* item = group.items.back();
        group.items.pop_back();
        group.menu->removeAction(item);
        item->setObjectName(QString());
        item->deleteLater();
    }
    for (std::size_t k = 0; k < count; ++k)
        group.items[k]->setText(captionOfFile(group.title(k)));
    if (group.revision)
        group.builtRevision = group.revision();
}

// Later, not now, as in syncGroup: the running command's item may be here.
void frmMenus::clearNestedGroup(CatalogueGroup& group) {
    for (QAction* item : group.items) {
        item->setObjectName(QString());
        item->deleteLater();
    }
    group.items.clear();
    for (QMenu* submenu : group.submenus) {
        submenu->menuAction()->setVisible(false);
        submenu->setObjectName(QString());
        submenu->deleteLater();
    }
    group.submenus.clear();
}

// Items come in file order, so a line's or station's submenu is the last one
// made when it is the item's.
QMenu* frmMenus::menuOfItem(CatalogueGroup& group, std::size_t index) {
    QMenu* menu = group.menu;
    for (const std::string& folder : group.folders(index)) {
        const QString caption = captionOfFile(folder);
        QMenu* found = nullptr;
        for (QMenu* submenu : group.submenus)
            if (submenu->parent() == menu && submenu->title() == caption)
                found = submenu;
        if (!found) {
            found = new QMenu(caption, menu);
            menu->addMenu(found);
            group.submenus.push_back(found);
        }
        menu = found;
    }
    return menu;
}

namespace {

// A popup is placed relative to its parent window. Ours belong to frmMenus,
// which never shows, so the window the click came from is named for each
// opening: without one Qt on Wayland hangs the popup on whichever window has
// the focus, and it opens beside that window instead of at the pointer.
// Afterwards the parent is taken back: the door and environment menus also
// open as submenus, whose parent is the menu they hang from.
void execOver(QMenu* menu, QPoint globalPosition, const QWidget* clicked) {
    QWindow* parent = clicked ? clicked->window()->windowHandle() : nullptr;
    QWindow* popup = nullptr;
    if (parent) {
        menu->winId();
        popup = menu->windowHandle();
        popup->setTransientParent(parent);
    }
    menu->exec(globalPosition);
    if (popup && popup->transientParent() == parent)
        popup->setTransientParent(nullptr);
}

} // namespace

void frmMenus::popupTitle(QPoint globalPosition, const QWidget* clicked) {
    execOver(m_mnuTitle, globalPosition, clicked);
}

void frmMenus::popupTopOption(QPoint globalPosition, const QWidget* clicked) {
    execOver(m_mnuTopOption, globalPosition, clicked);
}

void frmMenus::popupDoors2(QPoint globalPosition, const QWidget* clicked) {
    execOver(m_mnuDoors2, globalPosition, clicked);
}

void frmMenus::popupEnvirs2(QPoint globalPosition, const QWidget* clicked) {
    execOver(m_mnuEnvirs2, globalPosition, clicked);
}

QMenu* frmMenus::menu(const QString& name) const {
    return findChild<QMenu*>(name);
}

QAction* frmMenus::item(const QString& name) const {
    return findChild<QAction*>(name);
}

} // namespace tremlo::ui
