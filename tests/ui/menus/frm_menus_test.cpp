// The two menus: their tree, their marks, their items' commands and how they
// pop up, on Qt's offscreen platform.

#include "menus_rig.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

namespace tremlo::test {
namespace {

// One row per item: ">" per submenu level, name, caption ("-" for a
// separator), then "c" when checkable and "h" when hidden.
Log treeOf(const QMenu* menu, const std::string& indent = "") {
    Log rows;
    for (const QAction* item : menu->actions()) {
        std::string row = indent + item->objectName().toStdString() + "|" +
                          (item->isSeparator() ? "-" : item->text().toStdString());
        if (item->isCheckable())
            row += "|c";
        if (!item->isVisible())
            row += "|h";
        rows.push_back(row);
        if (item->menu()) {
            const Log inner = treeOf(item->menu(), indent + ">");
            rows.insert(rows.end(), inner.begin(), inner.end());
        }
    }
    return rows;
}

TEST_F(MenusTest, TheShortcutMenuTree) {
    emit menus->mnuTitle()->aboutToShow(); // the catalogues came after the menus
    EXPECT_EQ(menus->item("mnuMelody(0)"), nullptr) << "the shelf's items wait for their submenu";
    showMelodies();
    EXPECT_EQ(menus->mnuTitle()->objectName(), "mnuTitle");
    EXPECT_EQ(menus->mnuTitle()->title(), "ショートカット メニュー(&M)");
    EXPECT_EQ(treeOf(menus->mnuTitle()), (Log{"mnuFileOpen|開く(&O)...",
                                              "mnuMelodies|メロディ(&M)",
                                              ">mnuNextMelody|次のメロディ(&N)",
                                              ">mnuPreviousMelody|前のメロディ(&P)",
                                              ">mnuAddToStationSet|この設定を駅セットに追加(&A)...",
                                              ">mnuBarMelody|-",
                                              ">mnuMelody(0)|A.wav|c",
                                              ">mnuMelody(1)|b.wav|c",
                                              "mnuBar1|-",
                                              "mnuDoors|ドア閉め放送(&D)",
                                              ">mnuUseDoor|ドア閉め放送を再生する(&U)|c",
                                              ">mnuBar7|-",
                                              ">mnuDoor(0)|(標準)|c",
                                              ">mnuDoor(1)|A&&B.wav|c",
                                              ">mnuDoor(2)|ブザー.wav|c",
                                              "mnuEnvirs|環境音(&N)",
                                              ">mnuUseEnvir|環境音を再生する(&U)|c",
                                              ">mnuBar6|-",
                                              ">mnuEnvir(0)|(標準)|c",
                                              ">mnuEnvir(1)|ホーム.wav|c",
                                              "mnuBar3|-",
                                              "mnuTitleEffects|エフェクト(&E)",
                                              ">mnuUseFadeIn|東京(&Y)|c",
                                              ">mnuUseFadeOut|立川(&C)|c",
                                              ">mnuEffectUrawa|浦和(&U)|c",
                                              "mnuVolume|再生速度(&S)",
                                              "mnuTitlePan|振り分け(&P)",
                                              ">mnuPan(0)|中央(&C)|c",
                                              ">mnuPan(1)|左(&L)|c",
                                              ">mnuPan(2)|右(&R)|c",
                                              "mnuBar5|-",
                                              "mnuTopMost|常に手前に表示(&T)|c",
                                              "mnuUsePanel|ステータスパネルを表示(&V)|c",
                                              "mnuBar10|-",
                                              "mnuOptions|オプション(&O)...",
                                              "mnuInputDevices|入力機器の設定(&I)...",
                                              "mnuAbout|バージョン情報(&A)",
                                              "mnuHelp|ヘルプ(&H)",
                                              "mnuBar2|-",
                                              "mnuExit|終了(&X)"}));
    EXPECT_EQ(menus->mnuTitle()->defaultAction(), menus->item("mnuExit"));
}

TEST_F(MenusTest, TheOptionMenuTreeHidesTheEnvironmentPart) {
    emit menus->mnuTopOption()->aboutToShow();
    EXPECT_EQ(menus->mnuTopOption()->title(), "オプション");
    EXPECT_EQ(treeOf(menus->mnuTopOption()),
              (Log{"mnuTitleEffects2|エフェクト(&E)", ">mnuUseFadeIn2|東京(&Y)|c",
                   ">mnuUseFadeOut2|立川(&C)|c", ">mnuEffectUrawa2|浦和(&U)|c",
                   "mnuDoors2|ドア閉め放送(&D)", ">mnuUseDoor2|ドア閉め放送を再生する(&U)|c",
                   ">mnuBar8|-", ">mnuDoor2(0)|(標準)|c", ">mnuDoor2(1)|A&&B.wav|c",
                   ">mnuDoor2(2)|ブザー.wav|c", "mnuEnvirs2|環境音(&V)|h",
                   ">mnuUseEnvir2|環境音を再生する(&U)|c", ">mnuBar9|-", ">mnuEnvir2(0)|(標準)|c",
                   ">mnuEnvir2(1)|ホーム.wav|c", "mnuBar4|-|h", "mnuOption2|オプション(&O)...|h"}));
    EXPECT_EQ(menus->mnuTopOption()->defaultAction(), nullptr);
}

TEST_F(MenusTest, MarksMirrorTheStateWhenAMenuOpens) {
    rig.settings.Door = rig.settings.EffectUrawa = rig.settings.UsePanel = true;
    doors.checked = 2;
    envirs.checked = 1;
    rig.state.PanMode = Pan::Right;
    emit menus->menu("mnuDoors2")->aboutToShow(); // opened by itself from the panel
    Log marked;
    for (const QAction* item : menus->findChildren<QAction*>())
        if (item->isChecked())
            marked.push_back(item->objectName().toStdString());
    std::sort(marked.begin(), marked.end());
    EXPECT_EQ(marked,
              (Log{"mnuDoor(2)", "mnuDoor2(2)", "mnuEffectUrawa", "mnuEffectUrawa2", "mnuEnvir(1)",
                   "mnuEnvir2(1)", "mnuPan(2)", "mnuUseDoor", "mnuUseDoor2", "mnuUsePanel"}));
}

TEST_F(MenusTest, TwinsRunTheSameCommandAndBothMenusFollow) {
    menus->item("mnuUseFadeOut2")->trigger();
    menus->item("mnuEffectUrawa")->trigger();
    EXPECT_EQ(rig.settings.EffectUrawa, true);
    EXPECT_TRUE(menus->item("mnuEffectUrawa2")->isChecked());
    EXPECT_FALSE(menus->item("mnuUseFadeOut")->isChecked());
    EXPECT_FALSE(menus->item("mnuUseFadeOut2")->isChecked());

    emit menus->mnuTopOption()->aboutToShow();
    menus->item("mnuDoor2(1)")->trigger(); // the file name, not the "&&" shown
    EXPECT_EQ(rig.settings.DoorWAV, "A&B.wav");
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 400);
    EXPECT_TRUE(menus->item("mnuDoor(1)")->isChecked());
    EXPECT_FALSE(menus->item("mnuDoor2(0)")->isChecked());

    menus->item("mnuPan(1)")->trigger();
    menus->item("mnuOption2")->trigger();
    EXPECT_EQ(log, (Log{"effects -C-", "effects --U", "pan 1", "options"}));
    EXPECT_TRUE(menus->item("mnuPan(1)")->isChecked());
}

// Pops a menu up and, once it shows, answers with `then` (which must close it).
void whileOpen(QMenu* menu, const std::function<void()>& popup, const std::function<void()>& then) {
    QTimer::singleShot(0, menu, then);
    QTimer::singleShot(5000, menu, &QMenu::close); // never hang the suite
    popup();
}

void rightClick(QMenu* menu, QAction* item) {
    const QPoint at = menu->actionGeometry(item).center();
    const QPoint global = menu->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(menu, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(menu, &release);
}

// Each opens over the window clicked: on Wayland a popup is placed relative
// to its parent window, and without one it opens beside whichever window has
// the focus.
TEST_F(MenusTest, TheShortcutMenuTakesARightClickAndReturnsWhenClosed) {
    QMenu* title = menus->mnuTitle();
    QWidget clicked;
    clicked.show();
    bool shown = false;
    whileOpen(
        title,
        [&] {
            menus->popupTitle({40, 40}, &clicked);
        },
        [&] {
            shown = title->isVisible() &&
                    title->windowHandle()->transientParent() == clicked.windowHandle();
            rightClick(title, menus->item("mnuVolume"));
        });
    EXPECT_TRUE(shown);
    EXPECT_FALSE(title->isVisible());
    EXPECT_EQ(log, Log{"volume"});
}

TEST_F(MenusTest, ThePanelsMenusPopUpOnTheirOwnWithoutADefaultItem) {
    QWidget panel;
    panel.show();
    const std::pair<QMenu*, std::function<void()>> popups[] = {
        {menus->mnuTopOption(),
         [&] {
             menus->popupTopOption({10, 10}, &panel);
         }},
        {menus->menu("mnuDoors2"),
         [&] {
             menus->popupDoors2({10, 10}, &panel);
         }},
        {menus->menu("mnuEnvirs2"),
         [&] {
             menus->popupEnvirs2({10, 10}, &panel);
         }},
    };
    for (const auto& [menu, popup] : popups) {
        bool shown = false;
        whileOpen(menu, popup, [&, menu = menu] {
            shown = menu->isVisible() && !menu->defaultAction() &&
                    menu->windowHandle()->transientParent() == panel.windowHandle();
            menu->close();
        });
        EXPECT_TRUE(shown) << menu->objectName().toStdString();
    }
    EXPECT_TRUE(log.empty()); // choosing nothing runs nothing
}

} // namespace
} // namespace tremlo::test
