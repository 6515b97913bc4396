// Measures what opening the music part costs its caller: every melody load
// closes and re-opens it, and the first opening must not wait for the
// SoundFont. Figures are set against one audio period of the device.

#include "offline_device.h"
#include "sound_library.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using namespace tremlo::sound;
using Clock = std::chrono::steady_clock;

double microsecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

} // namespace

int main() {
    constexpr int kRate = 48000;
    constexpr int kPeriod = 256;
    SoundLibrary library(std::make_unique<OfflineDevice>(kRate, kPeriod));
    library.dsInit2(0, 2);

    const auto first = Clock::now();
    library.dsInitMusic();
    const double firstInitUs = microsecondsSince(first);
    while (!library.musicReady()) {
    }
    const double soundFontReadyUs = microsecondsSince(first);

    double worstReopenUs = 0;
    for (int i = 0; i < 1000; ++i) {
        const auto start = Clock::now();
        library.dsQuitMusic();
        library.dsInitMusic();
        worstReopenUs = std::max(worstReopenUs, microsecondsSince(start));
    }
    const double periodUs = 1e6 * kPeriod / kRate;
    std::printf("music_first_init_us: %.1f\n", firstInitUs);
    std::printf("music_soundfont_ready_ms: %.1f\n", soundFontReadyUs / 1000.0);
    std::printf("music_reopen_worst_us: %.1f\n", worstReopenUs);
    std::printf("music_reopen_vs_period_ratio: %.4f\n", worstReopenUs / periodUs);
    return 0;
}
