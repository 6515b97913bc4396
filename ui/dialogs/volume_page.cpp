#include "volume_page.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>

namespace tremlo::ui {

VolumePage::VolumePage(Commands& commands, QDialog* dialog)
    : QWidget(dialog), m_commands(commands) {
    setObjectName(QStringLiteral("picVolume"));
    const QString names[kVolumeSoundCount] = {tr("メロディ"), tr("ドア案内"), tr("環境音"),
                                              tr("スイッチ音"), tr("ノイズ")};
    const char* objectNames[kVolumeSoundCount] = {"sldMelody", "sldDoor", "sldEnvir", "sldClick",
                                                  "sldNoise"};
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setVerticalSpacing(10);
    const VolumeSettings& volume = m_commands.volumes();
    for (std::size_t k = 0; k < kVolumeSoundCount; ++k) {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QString::fromLatin1(objectNames[k]));
        slider->setRange(0, 100);
        slider->setPageStep(10);
        slider->setValue(volume.percent(static_cast<VolumeSound>(k)));
        auto* value = new QLabel(this);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("100 %")));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const auto show = [value](int percent) {
            value->setText(QStringLiteral("%1 %").arg(percent));
        };
        show(slider->value());
        connect(slider, &QSlider::valueChanged, value, show);
        auto* name = new QLabel(names[k], this);
        name->setBuddy(slider);
        const int row = static_cast<int>(k);
        layout->addWidget(name, row, 0);
        layout->addWidget(slider, row, 1);
        layout->addWidget(value, row, 2);
        m_sliders[k] = slider;
        m_values[k] = value;
    }
    layout->setRowStretch(static_cast<int>(kVolumeSoundCount), 1);
    layout->setColumnStretch(1, 1);
    connect(dialog, &QDialog::accepted, this, [this] { m_commands.setVolumes(chosen()); });
}

QSlider* VolumePage::slider(VolumeSound sound) const {
    return m_sliders[static_cast<std::size_t>(sound)];
}

VolumeSettings VolumePage::chosen() const {
    VolumeSettings volume;
    for (std::size_t k = 0; k < kVolumeSoundCount; ++k)
        volume.percent(static_cast<VolumeSound>(k)) = m_sliders[k]->value();
    return volume;
}

} // namespace tremlo::ui
