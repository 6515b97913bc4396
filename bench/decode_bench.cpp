// How fast a long melody decodes at load, per compressed format: seconds of
// sound per second of decoding (decode_realtime_factor_<format>; the aim is
// 50 or more), and whether the decoded buffer holds more than its samples.
// The files are ten minutes of changing tones, written through libsndfile.

#include "wave_loader.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sndfile.h>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 600;

std::vector<std::uint8_t> tenMinutes(int format) {
    const auto path = std::filesystem::temp_directory_path() / "tremlo-decode-bench.sound";
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return {};
    std::vector<float> block(2 * kRate);
    for (int second = 0; second < kSeconds; ++second) {
        // A new pair of notes each second, so no codec finds it too easy.
        const double low = 220.0 * std::pow(2.0, (second % 24) / 12.0);
        for (int f = 0; f < kRate; ++f) {
            const double t = static_cast<double>(f) / kRate;
            block[2 * f] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * low * t));
            block[2 * f + 1] =
                static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * low * 1.5 * t));
        }
        sf_writef_float(file, block.data(), kRate);
    }
    sf_close(file);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(path);
    return bytes;
}

} // namespace

int main() {
    const struct {
        const char* name;
        int format;
    } formats[] = {
        {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
        {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
        {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    };
    for (const auto& format : formats) {
        const auto bytes = tenMinutes(format.format);
        const auto start = std::chrono::steady_clock::now();
        const auto decoded = tremlo::sound::decodeWave(bytes);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!decoded) {
            std::printf("decode_realtime_factor_%s: failed\n", format.name);
            continue;
        }
        const double seconds = static_cast<double>(decoded->frames) / decoded->samplesPerSecond;
        const std::size_t held = decoded->pcm16.capacity() * sizeof(std::int16_t) +
                                 decoded->pcmFloat.capacity() * sizeof(float);
        const std::size_t samples =
            decoded->pcm16.size() * sizeof(std::int16_t) + decoded->pcmFloat.size() * sizeof(float);
        std::printf("decode_realtime_factor_%s: %.1f\n", format.name, seconds / took.count());
        std::printf("decode_memory_over_samples_%s: %.3f\n", format.name,
                    static_cast<double>(held) / static_cast<double>(samples));
    }
}
