#pragma once

// The program's pictures: the switch body and its keys, the status panel's
// face, buttons, lamps and indicators, and the panel's mouse pointer.
//
// Every picture exists at device pixel ratios 1 and 2, drawn by our own
// generator (tools/make_art), and is returned at the logical size given
// below whatever the ratio, so windows lay out in logical pixels and stay
// crisp on high-density screens.
//
// Thread: the user-interface thread (it makes QPixmaps).

#include <QCursor>
#include <QPixmap>
#include <QSize>
#include <string_view>

namespace tremlo::art {

// Names and logical sizes of the pictures.
struct Picture {
    std::string_view name;
    QSize size;
};

// The switch window.
inline constexpr Picture kSwitchBody{"switch_body", {48, 95}};
inline constexpr Picture kOnA{"imgOnA", {22, 22}};   // ON key raised
inline constexpr Picture kOnB{"imgOnB", {22, 22}};   // ON key pushed fully in
inline constexpr Picture kOnC{"imgOnC", {22, 22}};   // ON key latched, one pixel lower
inline constexpr Picture kOffA{"imgOffA", {22, 22}}; // OFF key raised
inline constexpr Picture kOffB{"imgOffB", {22, 22}}; // OFF key pushed in

// The status panel.
inline constexpr Picture kPanelFace{"panel_face", {600, 61}};
// The face with its name plate in English. Under an English default locale
// kPanelFace itself is this picture: the resource file names it so.
inline constexpr Picture kPanelFaceEnglish{"panel_face_en", {600, 61}};
inline constexpr Picture kEjectButton{"imgEjectButton", {12, 12}};
inline constexpr Picture kLedDark{"imgLED0", {12, 12}};
inline constexpr Picture kLedLit{"imgLED1", {12, 12}};
inline constexpr Picture kEfctUp{"imgEFCT0", {36, 12}};
inline constexpr Picture kEfctDown{"imgEFCT1", {36, 12}};
inline constexpr Picture kOptUp{"imgOPT0", {36, 12}};
inline constexpr Picture kOptDown{"imgOPT1", {36, 12}};
inline constexpr Picture kVerUp{"imgVER0", {36, 12}};
inline constexpr Picture kVerDown{"imgVER1", {36, 12}};
inline constexpr Picture kPowerUp{"imgPower0", {40, 40}};
inline constexpr Picture kPowerDown{"imgPower1", {40, 40}};
inline constexpr Picture kPanCentre{"imgLR0", {27, 7}};
inline constexpr Picture kPanLeft{"imgLR1", {27, 7}};
inline constexpr Picture kPanRight{"imgLR2", {27, 7}};
inline constexpr Picture kDoorOn{"imgUseDoorA", {29, 7}};
inline constexpr Picture kDoorOff{"imgUseDoorB", {29, 7}};
inline constexpr Picture kEnvirOn{"imgEnvirA", {29, 7}};
inline constexpr Picture kEnvirOff{"imgEnvirB", {29, 7}};
inline constexpr Picture kEffectLamp{"imgEffect", {17, 13}};

// Loads a picture for a screen of the given device pixel ratio.
QPixmap pixmap(const Picture& picture, qreal devicePixelRatio);

// The status panel's own mouse pointer over its buttons and indicators.
QCursor panelCursor();

} // namespace tremlo::art
