// The speed window: the rate formula, and the melody on the offline library
// actually playing at the rate the slider asks for.

#include "commands.h"
#include "dialogs_test_support.h"
#include "frm_volume.h"
#include "test_support.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace tremlo::ui::test {
namespace {

using sound::test::OfflineLibrary;

constexpr int kOutputRate = 48000;
constexpr double kTone = 1000.0; // Hz at the file's own rate

TEST(SpeedRate, StepsOfAThirdSemitoneFromTheFileRate) {
    const double coefficient = defaultSettings("/").SetFreqCoefficient;
    EXPECT_EQ(speedRate(coefficient, 6, 44100), 49501);
    EXPECT_EQ(speedRate(coefficient, 1, 44100), 44957);
    EXPECT_EQ(speedRate(coefficient, -6, 44100), 39289);
    EXPECT_EQ(speedRate(coefficient, 0, 44100), 44100);
    EXPECT_EQ(speedRate(2.0, 1, 44100), 88200);
    // No melody: the zeroed format gives rate 0.
    EXPECT_EQ(speedRate(coefficient, 3, 0), 0);
}

TEST(SpeedRate, HalvesRoundToEvenAndHugeRatesStayWithin32Bits) {
    EXPECT_EQ(speedRate(0.5, 1, 5), 2);
    EXPECT_EQ(speedRate(0.5, 1, 7), 4);
    EXPECT_EQ(speedRate(10.0, 9, 44100), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(speedRate(std::nan(""), 1, 44100), 0);
}

class FrmVolumeTest : public ::testing::Test {
protected:
    FrmVolumeTest()
        : settings(defaultSettings("/")), host(settings, [this](int step) {
              changeMelodySpeed(settings, state, *lib.library, step);
          }) {
        application();
        state.MelodyBuffer = loadTone();
        lib.library->dsPlayLooping(state.MelodyBuffer);
    }
    sound::SoundHandle loadTone() {
        // 441 frames hold exactly ten periods, so the loop is seamless.
        return lib.load(sound::test::makeSine(kTone, 441, 44100));
    }
    // The melody's pitch now, after the resampler has settled on the new rate.
    double playedHz() {
        lib.render(2400);
        const auto out = lib.render(7200);
        return sound::test::frequency(out, 0, 0, 7200, kOutputRate);
    }
    static double expectedHz(int step) {
        return kTone * speedRate(defaultSettings("/").SetFreqCoefficient, step, 44100) / 44100.0;
    }
    void key(QWidget* target, int qtKey) {
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    OfflineLibrary lib{kOutputRate};
    Settings settings;
    PlaybackState state;
    VolumeDialogHost host;
};

TEST_F(FrmVolumeTest, TheRateFollowsTheThumbAtEveryStepOfADrag) {
    QSlider* slider = host.window().Slider1();
    slider->setSliderDown(true);
    for (int step = 1; step <= 6; ++step) {
        slider->setSliderPosition(step);
        EXPECT_NEAR(playedHz(), expectedHz(step), 0.5) << "step " << step;
    }
    slider->setSliderDown(false);
    slider->setValue(0);
    EXPECT_NEAR(playedHz(), kTone, 0.5);
    // The coefficient is read at each move.
    settings.SetFreqCoefficient = 2.0;
    slider->setValue(1);
    EXPECT_NEAR(playedHz(), 2 * kTone, 1.0);
}

TEST_F(FrmVolumeTest, AClickAppliesTheShownSpeedToAMelodyLoadedSince) {
    QSlider* slider = host.window().Slider1();
    slider->setValue(-6);
    lib.library->dsFree(state.MelodyBuffer);
    state.MelodyBuffer = loadTone();
    lib.library->dsPlayLooping(state.MelodyBuffer);
    EXPECT_NEAR(playedHz(), kTone, 0.5);

    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &release);
    EXPECT_NEAR(playedHz(), expectedHz(-6), 0.5);
}

TEST_F(FrmVolumeTest, MadeHiddenWithTheRangeOfTheSettings) {
    settings.SetFreqSldMin = -3;
    settings.SetFreqSldMax = 9;
    frmVolume& window = host.window();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.Slider1()->minimum(), -3);
    EXPECT_EQ(window.Slider1()->maximum(), 9);
    EXPECT_EQ(window.Slider1()->value(), 0);
    EXPECT_EQ(window.size(), QSize(319, 83));
    for (const QLabel* label : window.findChildren<QLabel*>())
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();

    host.setRange(-12, 12);
    EXPECT_EQ(window.Slider1()->minimum(), -12);
    EXPECT_EQ(window.Slider1()->maximum(), 12);
}

// A range from the settings file that leaves out 0 sets the speed as it is
// loaded, not when the window first opens over the playing melody.
TEST_F(FrmVolumeTest, ARangeWithoutZeroTakesEffectAtOnce) {
    struct Case {
        int minimum, maximum;
        bool madeAtOnce;
        int step; // where the slider ends up
    };
    for (const Case& c : {Case{-6, 6, false, 0}, Case{2, 6, true, 2}, Case{-6, -1, true, -1}}) {
        lib.library->dsSetFrequency(state.MelodyBuffer, 44100);
        settings.SetFreqSldMin = c.minimum;
        settings.SetFreqSldMax = c.maximum;
        VolumeDialogHost loading(
            settings, [this](int step) { changeMelodySpeed(settings, state, *lib.library, step); });
        loading.setRange(c.minimum, c.maximum);
        EXPECT_EQ(loading.exists(), c.madeAtOnce) << c.minimum;
        EXPECT_NEAR(playedHz(), expectedHz(c.step), 0.5) << c.minimum;
    }
}

TEST_F(FrmVolumeTest, EscAndEnterCloseAndTheNextOpeningStartsAtZero) {
    for (int closeKey : {Qt::Key_Escape, Qt::Key_Return}) {
        host.show();
        ASSERT_TRUE(host.window().isVisible());
        host.window().Slider1()->setValue(4);
        key(&host.window(), closeKey);
        EXPECT_FALSE(host.exists());
        // The rate stays after the window has gone.
        EXPECT_NEAR(playedHz(), expectedHz(4), 0.5);

        host.show();
        EXPECT_EQ(host.window().Slider1()->value(), 0);
        EXPECT_NEAR(playedHz(), expectedHz(4), 0.5);
        host.window().Slider1()->setValue(1);
        host.window().Slider1()->setValue(0);
        EXPECT_NEAR(playedHz(), kTone, 0.5);
    }
}

} // namespace
} // namespace tremlo::ui::test
