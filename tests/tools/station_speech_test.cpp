// Speech from espeak-ng turned into a station announcement.

#include "station_speech.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <sndfile.h>
#include <unistd.h>

namespace tremlo::tools {
namespace {

TEST(StationSpeech, SpeechIsResampledLevelledAndEased) {
    // One second of "speech" at espeak-ng's own rate.
    const auto path = std::filesystem::temp_directory_path() /
                      ("tremolo-speech-test-" + std::to_string(::getpid()) + ".wav");
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> tone(22050);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.25f * static_cast<float>(std::sin(2 * std::numbers::pi * 300.0 * i / 22050));
    sf_writef_float(file, tone.data(), static_cast<sf_count_t>(tone.size()));
    sf_close(file);

    std::string error;
    const auto sound = announcementFrom(path, "door.wav", error);
    std::filesystem::remove(path);
    ASSERT_TRUE(sound.has_value()) << error;
    EXPECT_EQ(sound->fileName, "door.wav");
    EXPECT_NEAR(static_cast<double>(sound->frames()), kStationRate * 1.2, kStationRate * 0.01)
        << "a fifth of a second of lead-in, then the speech at the station rate";
    int peak = 0;
    for (auto sample : sound->samples)
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    EXPECT_NEAR(20 * std::log10(peak / 32767.0), -3.0, 0.1);
    EXPECT_EQ(sound->samples.front(), 0);
    EXPECT_EQ(sound->samples.back(), 0);

    EXPECT_FALSE(announcementFrom("/nonexistent/speech.wav", "door.wav", error).has_value());
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace tremlo::tools
