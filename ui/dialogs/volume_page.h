#pragma once

// The options dialog's page 音量: a slider per sound (melody, door
// announcement, ambience, click, noise), 0 to 100 % of full level. The page
// takes its values from the commands when it is made and gives them back
// through Commands::setVolumes when the dialog it sits in is accepted, so the
// dialog itself needs no more than the line that adds the page.
//
// Thread: the user-interface thread.

#include "commands.h"

#include <QWidget>
#include <array>

class QDialog;
class QLabel;
class QSlider;

namespace tremlo::ui {

class VolumePage : public QWidget {
    Q_OBJECT

public:
    VolumePage(Commands& commands, QDialog* dialog);

    // The slider of `sound`, for tests and accessibility tools.
    QSlider* slider(VolumeSound sound) const;

private:
    VolumeSettings chosen() const;

    Commands& m_commands;
    std::array<QSlider*, kVolumeSoundCount> m_sliders{};
    std::array<QLabel*, kVolumeSoundCount> m_values{};
};

} // namespace tremlo::ui
