// The user-interface thread works the library while the audio thread renders.
// Run under ThreadSanitizer (tools/test does) it shows that every piece of
// state the two threads share is locked or atomic.

#include "test_support.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace tremlo::sound::test {
namespace {

TEST(Concurrency, ControlCallsAndRenderingInterleaveSafely) {
    SoundLibraryOptions options;
    options.loadSoundFontNow = false; // the loader thread takes part too
    OfflineLibrary lib(48000, options);
    auto& l = *lib.library;
    l.dsInitMusic();

    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> out(256 * 2);
        // Like a real device, it leaves the lock free between periods.
        while (!done.load()) {
            lib.device->render(out.data(), 256);
            std::this_thread::yield();
        }
    });

    const auto tone = makeSine(440.0, 4410, 44100, 2);
    SoundHandle segment = 0;
    for (int round = 0; round < 100; ++round) {
        SoundHandle h = lib.load(tone);
        l.dsSetFrequency(h, 30000 + round * 100);
        l.dsPlayLooping(h);
        l.dsSetVolume(h, -round * 10);
        l.dsSetPan(h, round % 2 ? 3000 : -3000);
        l.dsSetPositionMSec(h, round % 90);
        EXPECT_EQ(l.dsIsPlaying(h), 1);
        (void)l.dsGetPositionMSec(h);
        if (round % 3 == 0)
            l.dsStop(h);
        l.dsPlay(h);
        l.dsFree(h);
        if (round % 25 == 0) {
            l.dsFreeMusicSegment(segment);
            segment = l.dsLoadMusicSegment(
                std::string(TREMLO_TESTDATA_DIR) + "/mid/jazz-soft/test-c-major-scale.mid", 32);
            l.dsPlayMusicSegment(segment, 1000);
        }
        l.dsSetMasterVolume(-(round % 5) * 100);
        (void)l.dsGetSeekMSec(segment);
        (void)l.dsIsPlayingMusicSegment(segment);
    }
    done = true;
    audio.join();
    l.dsFreeMusicSegment(segment);
}

} // namespace
} // namespace tremlo::sound::test
