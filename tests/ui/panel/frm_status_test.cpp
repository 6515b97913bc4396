#include "frm_status.h"
#include "offscreen_application.h"
#include "status_accessible.h"
#include "virtual_time.h"
#include "window_drag.h"

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <gtest/gtest.h>

namespace tremlo::ui {
namespace {

const QRect kMainFrame(100, 50, 48, 95);

struct Panel {
    explicit Panel(const Settings& settings = {}) : panel(settings, clock, kMainFrame) {}
    test::VirtualTime clock;
    frmStatus panel;
};

const art::Picture* shown(const frmStatus& panel, const char* name) {
    const auto* picture = panel.findChild<PanelPicture*>(name);
    return picture && picture->picture() ? &*picture->picture() : nullptr;
}

::testing::AssertionResult shows(const frmStatus& panel, const char* name,
                                 const art::Picture& expected) {
    const art::Picture* actual = shown(panel, name);
    if (actual && actual->name == expected.name)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << name << " shows " << (actual ? actual->name : "nothing") << ", not " << expected.name;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override { tremlo::test::application(); }
};

TEST_F(PanelTest, Window) {
    Panel rig;
    const frmStatus& panel = rig.panel;
    EXPECT_EQ(panel.objectName(), "frmStatus");
    EXPECT_EQ(panel.windowTitle(), "トレモロ");
    EXPECT_EQ(panel.windowFlags(), Qt::Window | Qt::FramelessWindowHint);
    EXPECT_EQ(panel.minimumSize(), QSize(600, 61));
    EXPECT_EQ(panel.maximumSize(), QSize(600, 61));
    EXPECT_EQ(panel.palette().color(QPalette::Window), QColor(64, 64, 64));
    EXPECT_EQ(panel.picStatusWindow()->palette().color(QPalette::Window), QColor(24, 24, 41));
    // 1.15 main-window widths right of its left edge: 48 * 1.15 = 55.2.
    EXPECT_EQ(panel.pos(), QPoint(155, 50));
    rig.panel.placeBeside({-300, 20, 200, 95});
    EXPECT_EQ(panel.pos(), QPoint(-70, 20));
}

TEST_F(PanelTest, Labels) {
    Panel rig;
    for (QLabel* label : {rig.panel.lblFileInfo(), rig.panel.lblStatus()}) {
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(158, 224, 247));
        EXPECT_EQ(label->font().families(),
                  QStringList({"MS UI Gothic", "IPAGothic", "IPAPGothic", "Noto Sans CJK JP"}));
        EXPECT_TRUE(label->toolTip().isEmpty());
    }
    const QLabel* info = rig.panel.lblFileInfo();
    EXPECT_EQ(info->text(), " ");
    EXPECT_EQ(info->geometry().topLeft(), QPoint(4, 14));
    EXPECT_EQ(info->geometry().right(), rig.panel.picStatusWindow()->width() - 1);
    EXPECT_GE(info->height(), info->fontMetrics().height());
    ASSERT_EQ(rig.panel.screen()->logicalDotsPerInchX(), 96);
    EXPECT_DOUBLE_EQ(info->font().pointSizeF(), 9.0);

    const QLabel* status = rig.panel.lblStatus();
    EXPECT_TRUE(status->isHidden());
    EXPECT_EQ(status->text(), "ファイルが選択されていません。");
    EXPECT_EQ(status->geometry(), QRect(4, 26, 130, 11));
    EXPECT_DOUBLE_EQ(status->font().pointSizeF(), 8.25);
}

TEST(FileInfoFont, KeepsItsPixelSizeAcrossDpi) {
    EXPECT_DOUBLE_EQ(fileInfoPointSize(96), 9.0);
    EXPECT_DOUBLE_EQ(fileInfoPointSize(120), 7.2);
}

// Every element as it stands right after creation with default settings.
struct Element {
    const char* name;
    const char* parent;
    QRect bounds;
    const char* toolTip;
    bool clickable;
    bool shown;
    const art::Picture* picture;
};

constexpr const char* kWin = "picStatusWindow";
constexpr const char* kFace = "frmStatus";

// clang-format off
const Element kElements[] = {
    {"imgLRButton", kWin, {4, 4, 27, 7}, "振り分けの設定", true, true, &art::kPanCentre},
    {"imgDoor", kWin, {40, 4, 29, 7}, "ドア閉め放送の設定", true, true, &art::kDoorOff},
    {"imgEnvir", kWin, {80, 4, 29, 7}, "環境音の設定", true, true, &art::kEnvirOn},
    {"imgEffect0", kWin, {212, 2, 17, 13}, "エフェクト「東京」", false, false, &art::kEffectLamp},
    {"imgEffect1", kWin, {236, 2, 17, 13}, "エフェクト「立川」", false, false, &art::kEffectLamp},
    {"imgEffect2", kWin, {260, 2, 17, 13}, "エフェクト「浦和」", false, false, &art::kEffectLamp},
    {"picStatusWindow", kFace, {104, 10, 285, 40}, "サウンドや設定の情報を表示します", false, true, nullptr},
    {"imgEjectButton0", kFace, {8, 38, 12, 12}, "ファイルを開く", true, true, &art::kEjectButton},
    {"imgStatusLED0", kFace, {24, 38, 12, 12}, "サウンド", false, true, &art::kLedDark},
    {"imgEjectButton1", kFace, {56, 38, 12, 12}, "エフェクトとドア閉め放送の設定", true, true, &art::kEjectButton},
    {"imgStatusLED1", kFace, {72, 38, 12, 12}, "ドア閉め放送", false, true, &art::kLedDark},
    {"imgEFCTButton", kFace, {408, 10, 36, 12}, "「エフェクト」を選びます", true, true, &art::kEfctUp},
    {"imgVERButton", kFace, {448, 10, 36, 12}, "「バージョン情報」を開きます", true, true, &art::kVerUp},
    {"imgOPTButton", kFace, {408, 38, 36, 12}, "「オプション」を開きます", true, true, &art::kOptUp},
    {"imgPowerButton", kFace, {552, 10, 40, 40}, "「トレモロ」を終了します", true, true, &art::kPowerUp},
};
// clang-format on

class ElementTest : public PanelTest, public ::testing::WithParamInterface<Element> {};

TEST_P(ElementTest, AtCreation) {
    const Element& element = GetParam();
    Panel rig;
    const auto* widget = rig.panel.findChild<QWidget*>(element.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), element.parent);
    EXPECT_EQ(widget->geometry(), element.bounds);
    EXPECT_EQ(widget->toolTip(), QString::fromUtf8(element.toolTip));
    EXPECT_EQ(!widget->isHidden(), element.shown);
    EXPECT_EQ(widget->testAttribute(Qt::WA_SetCursor), element.clickable);
    if (element.clickable) {
        EXPECT_EQ(widget->cursor().shape(), art::panelCursor().shape());
    }
    if (!element.picture)
        return;
    EXPECT_TRUE(shows(rig.panel, element.name, *element.picture));
    const QPixmap pixmap = static_cast<const QLabel*>(widget)->pixmap();
    EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(element.bounds.size()));
    EXPECT_EQ(pixmap.devicePixelRatio(), rig.panel.devicePixelRatioF());
}

INSTANTIATE_TEST_SUITE_P(Panel, ElementTest, ::testing::ValuesIn(kElements),
                         [](const auto& info) { return std::string(info.param.name); });

// The indicators that creation takes from the settings, and those it leaves
// in their design state whatever the settings say.
struct Loaded {
    const char* name;
    bool door, envir, tokyo, tachikawa, urawa;
};

class LoadTest : public PanelTest, public ::testing::WithParamInterface<Loaded> {};

TEST_P(LoadTest, FollowsSettings) {
    const Loaded& when = GetParam();
    Settings settings;
    settings.Door = when.door;
    settings.UseEnvir = when.envir;
    settings.EffectTokyo = when.tokyo;
    settings.EffectTachikawa = when.tachikawa;
    settings.EffectUrawa = when.urawa;
    Panel rig(settings);
    EXPECT_TRUE(shows(rig.panel, "imgDoor", when.door ? art::kDoorOn : art::kDoorOff));
    EXPECT_TRUE(shows(rig.panel, "imgEnvir", art::kEnvirOn));
    EXPECT_TRUE(shows(rig.panel, "imgLRButton", art::kPanCentre));
    EXPECT_EQ(!rig.panel.imgEffect(0)->isHidden(), when.tokyo);
    EXPECT_EQ(!rig.panel.imgEffect(1)->isHidden(), when.tachikawa);
    EXPECT_EQ(!rig.panel.imgEffect(2)->isHidden(), when.urawa);
}

INSTANTIATE_TEST_SUITE_P(Panel, LoadTest,
                         ::testing::Values(Loaded{"AllOff", false, false, false, false, false},
                                           Loaded{"AllOn", true, true, true, true, true},
                                           Loaded{"DoorTokyo", true, false, true, false, false},
                                           Loaded{"EnvirUrawa", false, true, false, false, true},
                                           Loaded{"Tachikawa", false, false, false, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PanelTest, LampsThroughStatusLamps) {
    // Before the lamps exist: Qt keeps the first interface it makes.
    installStatusAccessibility();
    Panel rig;
    StatusLamps& lamps = rig.panel;
    lamps.setStatusLED(Lamp::Door, true);
    EXPECT_TRUE(shows(rig.panel, "imgStatusLED1", art::kLedLit));
    EXPECT_TRUE(shows(rig.panel, "imgStatusLED0", art::kLedDark));
    lamps.setStatusLED(Lamp::Melody, true);
    lamps.setStatusLED(Lamp::Door, false);
    EXPECT_TRUE(shows(rig.panel, "imgStatusLED0", art::kLedLit));
    EXPECT_TRUE(shows(rig.panel, "imgStatusLED1", art::kLedDark));

    // A screen reader reads the same from each lamp's name and state.
    auto read = [&](int index) {
        QAccessibleInterface* lamp =
            QAccessible::queryAccessibleInterface(rig.panel.imgStatusLED(index));
        return std::make_pair(lamp->text(QAccessible::Name), lamp->state().checked != 0);
    };
    EXPECT_EQ(read(0), std::make_pair(QStringLiteral("メロディのランプ: 点灯"), true));
    EXPECT_EQ(read(1), std::make_pair(QStringLiteral("ドア閉め放送のランプ: 消灯"), false));
    lamps.setStatusLED(Lamp::Melody, false);
    EXPECT_EQ(read(0), std::make_pair(QStringLiteral("メロディのランプ: 消灯"), false));
}

TEST_F(PanelTest, StatusMessageFlashesTheLabel) {
    Panel rig;
    rig.clock.runUntil(2000); // the creation sequence has shown the label
    ASSERT_FALSE(rig.panel.lblStatus()->isHidden());
    StatusDisplay& display = rig.panel;
    display.setFileInfo("demo.wav  44100Hz");
    display.ShowStatusMessage("読み込みました。", true);
    EXPECT_EQ(rig.panel.lblFileInfo()->text(), "demo.wav  44100Hz");
    EXPECT_EQ(rig.panel.lblStatus()->text(), "読み込みました。");
    EXPECT_TRUE(rig.panel.lblStatus()->isHidden());
    rig.clock.runUntil(3500);
    EXPECT_FALSE(rig.panel.lblStatus()->isHidden());
    rig.clock.runUntil(2000 + 9250);
    EXPECT_TRUE(rig.panel.lblStatus()->isHidden());
}

// A panel made again shows what is, not what it was designed with.
TEST_F(PanelTest, RemadePanelShowsCurrentState) {
    Settings settings;
    settings.Door = true;
    settings.UseEnvir = false;
    settings.EffectTachikawa = true;
    Panel again(settings);
    settings.Door = false; // changed after the panel was made
    PlaybackState state;
    state.PanMode = Pan::Right;
    again.panel.showCurrentState(settings, state, "melody.mid", true, true);
    EXPECT_EQ(again.panel.lblFileInfo()->text(), "melody.mid");
    EXPECT_TRUE(shows(again.panel, "imgStatusLED0", art::kLedLit));
    EXPECT_TRUE(shows(again.panel, "imgStatusLED1", art::kLedLit));
    EXPECT_TRUE(shows(again.panel, "imgLRButton", art::kPanRight));
    EXPECT_TRUE(shows(again.panel, "imgDoor", art::kDoorOff));
    EXPECT_TRUE(shows(again.panel, "imgEnvir", art::kEnvirOff));
    EXPECT_TRUE(again.panel.imgEffect(0)->isHidden());
    EXPECT_FALSE(again.panel.imgEffect(1)->isHidden());
    EXPECT_TRUE(again.panel.imgEffect(2)->isHidden());

    state.PanMode = Pan::Left;
    settings.UseEnvir = true;
    again.panel.showCurrentState(settings, state, " ", false, false);
    EXPECT_TRUE(shows(again.panel, "imgLRButton", art::kPanLeft));
    EXPECT_TRUE(shows(again.panel, "imgEnvir", art::kEnvirOn));
    EXPECT_TRUE(shows(again.panel, "imgStatusLED0", art::kLedDark));
}

TEST_F(PanelTest, LosingFocusRaisesMenuButtons) {
    Panel rig;
    rig.panel.imgOPTButton()->setPicture(art::kOptDown);
    rig.panel.imgVERButton()->setPicture(art::kVerDown);
    rig.panel.imgEFCTButton()->setPicture(art::kEfctDown);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&rig.panel, &deactivate);
    EXPECT_TRUE(shows(rig.panel, "imgOPTButton", art::kOptUp));
    EXPECT_TRUE(shows(rig.panel, "imgVERButton", art::kVerUp));
    EXPECT_TRUE(shows(rig.panel, "imgEFCTButton", art::kEfctDown));
}

class CountingPanel : public frmStatus {
public:
    using frmStatus::frmStatus;
    int moves = 0;

protected:
    void beginWindowMove(const QMouseEvent&) override { ++moves; }
};

struct Drag {
    const char* name;
    bool moves;
};

class DragTest : public PanelTest, public ::testing::WithParamInterface<Drag> {};

TEST_P(DragTest, LeftButtonMoves) {
    test::VirtualTime clock;
    Settings settings;
    settings.EffectTachikawa = true;
    CountingPanel panel(settings, clock, kMainFrame);
    panel.show();
    panel.lblStatus()->show();
    QWidget* target = std::string(GetParam().name) == "frmStatus"
                          ? &panel
                          : panel.findChild<QWidget*>(GetParam().name);
    ASSERT_NE(target, nullptr);
    const auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(1, 1), target->mapToGlobal(QPointF(1, 1)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    // Both buttons, or the right one alone: never a move, whichever came first.
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonPress, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::RightButton);
    send(QEvent::MouseMove, Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(panel.moves, 0);
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(panel.moves, GetParam().moves ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Panel, DragTest,
    ::testing::Values(Drag{"frmStatus", true}, Drag{"picStatusWindow", true},
                      Drag{"lblFileInfo", true}, Drag{"imgDoor", true}, Drag{"imgEffect1", true},
                      Drag{"imgStatusLED0", true}, Drag{"imgStatusLED1", true},
                      Drag{"imgEnvir", false}, Drag{"imgLRButton", false}, Drag{"lblStatus", false},
                      Drag{"imgEjectButton0", false}, Drag{"imgEjectButton1", false},
                      Drag{"imgEFCTButton", false}, Drag{"imgVERButton", false},
                      Drag{"imgOPTButton", false}, Drag{"imgPowerButton", false}),
    [](const auto& info) { return std::string(info.param.name); });

// On Wayland Qt never learns where a window is, so a second press at the same
// spot of a moved window reports the same global position as the first: it
// must still move the window. The move Qt delivers after the window manager
// lets go, with the left button still shown held, must not.
TEST_F(PanelTest, EachPressMovesTheWindowOnceWhereverQtThinksItWas) {
    QWidget window;
    window.show();
    WindowDrag drag;
    const auto event = [](QEvent::Type type) {
        return QMouseEvent(type, QPointF(5, 5), QPointF(105, 55),
                           type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                           Qt::LeftButton, Qt::NoModifier);
    };
    for (int press = 0; press < 2; ++press) {
        drag.pressed();
        EXPECT_TRUE(drag.moveWith(window, event(QEvent::MouseMove))) << press;
        EXPECT_FALSE(drag.moveWith(window, event(QEvent::MouseMove))) << press;
    }
    drag.pressed();
    EXPECT_TRUE(drag.startAtPress(window, event(QEvent::MouseButtonPress)));
    EXPECT_FALSE(drag.moveWith(window, event(QEvent::MouseMove)));
}

} // namespace
} // namespace tremlo::ui
