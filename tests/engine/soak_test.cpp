// A long random run: presses, releases, key repeats, new melodies and setting
// changes at random times, with the invariants of the switch checked after
// every event, also those that run inside a run-out wait.

#include "engine_rig.h"

#include <gtest/gtest.h>
#include <random>

namespace tremlo::test {
namespace {

// A hundred thousand events; a tenth under AddressSanitizer, where each costs
// twenty times as much: the short run still takes every path the sanitizer
// watches, and the long one runs in the unsanitized build.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kEvents = 10000;
#else
constexpr int kEvents = 100000;
#endif

class Soak {
public:
    explicit Soak(unsigned seed) : m_random(seed), m_rig({.capture = false}) {
        m_rig.loadWaveMelody(1000);
    }

    void run() {
        std::int64_t when = 0;
        for (int i = 0; i < kEvents; ++i) {
            // Mostly quick presses; now and then a pause long enough for the
            // door cycle and run-outs to finish.
            when += chance(0.02) ? between(200, 2500) : between(0, 40);
            m_rig.time.at(when, [this] {
                act();
                check();
            });
        }
        m_rig.time.runUntil(when + 10000);
        check();
    }

    int checks() const { return m_checks; }

private:
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }
    int between(int low, int high) { return std::uniform_int_distribution(low, high)(m_random); }

    void act() {
        auto& engine = m_rig.engine();
        auto& s = m_rig.settings;
        switch (between(0, 15)) {
        case 0:
        case 1:
        case 2:
            engine.PressOnButton(); // also a key repeat when ON is down
            break;
        case 3:
        case 4:
            engine.ReleaseOnButton();
            break;
        case 5:
        case 6:
            engine.PressOffButton();
            break;
        case 7:
        case 8:
            engine.ReleaseOffButton();
            break;
        case 9:
            m_rig.loadWaveMelody(between(100, 1500));
            break;
        case 10:
            m_rig.loadMidiMelody(between(100, 1500));
            break;
        case 11:
            m_rig.unloadMelody();
            break;
        case 12: {
            // The menus never set both run-out effects, and the Tachikawa
            // mark always follows its setting.
            const int effect = between(0, 2);
            s.EffectTachikawa = effect == 1;
            s.EffectUrawa = effect == 2;
            s.EffectTokyo = chance(0.5);
            break;
        }
        case 13:
            s.NoLockOnButton = chance(0.3);
            s.Noise = chance(0.5);
            s.PlayClickSound = chance(0.8);
            break;
        case 14:
            s.Door = chance(0.8);
            s.DoorCut = chance(0.5);
            s.DoorATOS = chance(0.5);
            m_rig.state.PanMode = static_cast<Pan>(between(0, 2));
            break;
        case 15:
            // As the options dialog does.
            s.DoorThreshold = static_cast<std::int16_t>(between(0, 1000));
            s.DoorDelay = static_cast<std::int16_t>(between(0, 2000));
            engine.Timer1().setInterval(s.DoorDelay + 1);
            break;
        }
    }

    void check() {
        ++m_checks;
        const auto& state = m_rig.state;
        auto& library = m_rig.library();
        const auto& view = m_rig.view;
        auto& engine = m_rig.engine();
        ASSERT_FALSE(state.MelodyBuffer && state.MelodySegment);
        const bool melodySounds = library.dsIsPlaying(state.MelodyBuffer) ||
                                  library.dsIsPlayingMusicSegment(state.MelodySegment);
        if (state.OnSwitchState == SwitchPosition::Off && melodySounds) {
            ASSERT_TRUE(state.RunOutActive) << "a melody sounds while Off only when running out";
        }
        if (state.OnSwitchState != SwitchPosition::Off &&
            (state.MelodyBuffer || state.MelodySegment)) {
            ASSERT_TRUE(melodySounds) << "a switch that is on sounds its melody";
        }
        if (state.RunOutActive) {
            ASSERT_GT(m_rig.time.waitDepth(), 0);
        }
        if (melodySounds) {
            ASSERT_TRUE(view.lamps[0]) << "a sounding melody has its lamp lit";
        }
        const OnPicture expected[] = {OnPicture::imgOnA, OnPicture::imgOnB, OnPicture::imgOnC};
        ASSERT_GE(state.OnSwitchState, SwitchPosition::Off);
        ASSERT_LE(state.OnSwitchState, SwitchPosition::Locked);
        ASSERT_EQ(view.onPicture, expected[static_cast<int>(state.OnSwitchState)]);
        ASSERT_EQ(view.offPicture == OffPicture::imgOffB, state.OffButtonDown);
        if (view.lamps[1]) {
            ASSERT_TRUE(engine.tmrVolReset().enabled()) << "the door lamp goes out with the cycle";
        }
        ASSERT_EQ(engine.Timer1().interval(), m_rig.settings.DoorDelay + 1);
    }

    std::mt19937 m_random;
    EngineRig m_rig;
    int m_checks = 0;
};

TEST(Soak, ManyRandomEventsKeepTheSwitchConsistent) {
    Soak soak(20261207);
    soak.run();
    EXPECT_EQ(soak.checks(), kEvents + 1);
}

} // namespace
} // namespace tremlo::test
