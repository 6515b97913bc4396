#pragma once

// frmVolume, the playback-speed window: one slider that sets the WAVE
// melody's playback rate, and with it pitch and tempo, in steps of the ratio
// SetFreqCoefficient, live while the melody plays.
//
// The window only reports the slider's step; the command works out the rate
// from the file's own sampling rate (changeMelodySpeed). The window keeps no
// state besides its slider; the rate it set stays on the melody after
// the window closes. Closing destroys the window, and VolumeDialogHost makes a
// new one (slider at 0) on the next opening.
//
// Thread: the user-interface thread. Rates in samples per second.

#include "settings.h"

#include <QDialog>
#include <QPointer>
#include <functional>

class QLabel;
class QPushButton;
class QSlider;

namespace tremlo::ui {

class frmVolume : public QDialog {
    Q_OBJECT
public:
    // Built with the slider at 0 on its design range -6 to 6; not shown.
    // `changeSpeed` hears the step at each slider move, so the melody loaded
    // at that moment is the one that changes.
    explicit frmVolume(std::function<void(int step)> changeSpeed, QWidget* parent = nullptr);

    QSlider* Slider1() const { return m_slider; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateRate();

    std::function<void(int)> m_changeSpeed;
    QSlider* m_slider;
    QPushButton* m_cmdCancel;
};

// The speed window whether or not it exists at the moment: made hidden on
// first use with the slider's range from the settings, brought forward when
// shown again, made anew after the user closed it.
class VolumeDialogHost {
public:
    VolumeDialogHost(const Settings& settings, std::function<void(int step)> changeSpeed,
                     QWidget* owner = nullptr);
    ~VolumeDialogHost();
    VolumeDialogHost(const VolumeDialogHost&) = delete;
    VolumeDialogHost& operator=(const VolumeDialogHost&) = delete;

    // The window, made (hidden, range from SetFreqSldMin and SetFreqSldMax)
    // when it does not exist.
    frmVolume& window();
    bool exists() const { return !m_window.isNull(); }
    // Makes the window when missing, then sets the minimum, then the maximum.
    void setRange(int minimum, int maximum);
    // Shows the window modelessly, or brings it forward when already shown.
    void show();

private:
    const Settings& m_settings;
    std::function<void(int)> m_changeSpeed;
    QWidget* m_owner;
    QPointer<frmVolume> m_window;
};

} // namespace tremlo::ui
