#pragma once

// The narrow views through which the engine shows what it does. The windows
// implement them; tests record them.
//
// Thread: the user-interface thread.

namespace tremlo {

// Picture holders of the switch keys, copied into imgOn and imgOff.
enum class OnPicture { imgOnA, imgOnB, imgOnC }; // raised, pushed in, locked in
enum class OffPicture { imgOffA, imgOffB };      // raised, pushed in

class SwitchView {
public:
    virtual ~SwitchView() = default;
    virtual void setOnPicture(OnPicture picture) = 0;
    virtual void setOffPicture(OffPicture picture) = 0;
    // Paints the switch at once, before anything sounds or stops.
    virtual void repaint() = 0;
};

// The lamps of the status panel: imgStatusLED(0) is the melody lamp,
// imgStatusLED(1) the door lamp; each shows imgLED(0) (dark) or imgLED(1) (lit).
enum class Lamp { Melody = 0, Door = 1 };

class StatusLamps {
public:
    virtual ~StatusLamps() = default;
    virtual void setStatusLED(Lamp lamp, bool lit) = 0;
};

// The check mark of the shortcut menu's Tachikawa item (mnuUseFadeOut).
class EffectMarks {
public:
    virtual ~EffectMarks() = default;
    virtual bool mnuUseFadeOutChecked() const = 0;
};

} // namespace tremlo
