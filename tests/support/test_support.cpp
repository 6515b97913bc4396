#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <unistd.h>

namespace tremlo::sound::test {
namespace {

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(tag[i]));
}

} // namespace

std::vector<std::uint8_t> makeWave(int rate, int channels, int bits, std::int64_t frames,
                                   const std::function<double(std::int64_t, int)>& sample,
                                   bool floatingPoint) {
    const int bytesPerSample = bits / 8;
    const auto dataBytes = static_cast<std::uint32_t>(frames * channels * bytesPerSample);
    std::vector<std::uint8_t> out;
    putTag(out, "RIFF");
    put(out, 36 + dataBytes, 4);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put(out, 16, 4);
    put(out, floatingPoint ? 3 : 1, 2);
    put(out, static_cast<std::uint32_t>(channels), 2);
    put(out, static_cast<std::uint32_t>(rate), 4);
    put(out, static_cast<std::uint32_t>(rate * channels * bytesPerSample), 4);
    put(out, static_cast<std::uint32_t>(channels * bytesPerSample), 2);
    put(out, static_cast<std::uint32_t>(bits), 2);
    putTag(out, "data");
    put(out, dataBytes, 4);
    for (std::int64_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const double v = std::clamp(sample(f, c), -1.0, 1.0);
            if (floatingPoint) {
                const auto x = static_cast<float>(v);
                std::uint32_t bitsOfX;
                std::memcpy(&bitsOfX, &x, 4);
                put(out, bitsOfX, 4);
            } else if (bits == 8) {
                put(out, static_cast<std::uint32_t>(std::lround(v * 127.0) + 128), 1);
            } else {
                const double scale = std::ldexp(1.0, bits - 1) - 1;
                put(out,
                    static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * scale))),
                    bytesPerSample);
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> makeSine(double hz, std::int64_t frames, int rate, int channels,
                                   double amplitude, int bits) {
    return makeWave(rate, channels, bits, frames, [&](std::int64_t f, int) {
        return amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(f) / rate);
    });
}

OfflineLibrary::OfflineLibrary(int rate, SoundLibraryOptions options, int periodFrames) {
    auto offline = std::make_unique<OfflineDevice>(rate, periodFrames);
    device = offline.get();
    library = std::make_unique<SoundLibrary>(std::move(offline), std::move(options));
    library->dsInit2(0, 2);
}

SoundHandle OfflineLibrary::load(const std::vector<std::uint8_t>& wave) {
    return library->dsCreateDSB(wave.data(), wave.size(), 1);
}

double rms(const std::vector<float>& stereo, int channel, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t f = from; f < to; ++f)
        sum += double(stereo[f * 2 + channel]) * stereo[f * 2 + channel];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

double peak(const std::vector<float>& stereo, int channel, std::size_t from, std::size_t to) {
    double best = 0;
    for (std::size_t f = from; f < to; ++f)
        best = std::max(best, std::fabs(double(stereo[f * 2 + channel])));
    return best;
}

double largestStep(const std::vector<float>& stereo, int channel, std::size_t from,
                   std::size_t to) {
    double best = 0;
    for (std::size_t f = from + 1; f < to; ++f)
        best = std::max(best,
                        std::fabs(double(stereo[f * 2 + channel]) - stereo[(f - 1) * 2 + channel]));
    return best;
}

double frequency(const std::vector<float>& stereo, int channel, std::size_t from, std::size_t to,
                 int rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t f = from + 1; f < to; ++f) {
        const double a = stereo[(f - 1) * 2 + channel], b = stereo[f * 2 + channel];
        if (a < 0 && b >= 0) {
            const double at = static_cast<double>(f - 1) + (-a / (b - a));
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0.0;
}

double decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TempFile::~TempFile() {
    if (m_path.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
}

MidiWriter& MidiWriter::event(std::uint32_t delta, std::initializer_list<std::uint8_t> bytes) {
    putVariableLength(delta);
    m_track.insert(m_track.end(), bytes);
    return *this;
}

MidiWriter& MidiWriter::sysex(std::uint32_t delta, const std::vector<std::uint8_t>& message) {
    event(delta, {0xF0});
    putVariableLength(static_cast<std::uint32_t>(message.size() + 1));
    m_track.insert(m_track.end(), message.begin(), message.end());
    m_track.push_back(0xF7);
    return *this;
}

MidiWriter& MidiWriter::tempo(std::uint32_t delta, std::uint32_t usPerQuarter) {
    return event(delta, {0xFF, 0x51, 0x03, std::uint8_t(usPerQuarter >> 16),
                         std::uint8_t(usPerQuarter >> 8), std::uint8_t(usPerQuarter)});
}

MidiWriter& MidiWriter::end(std::uint32_t delta) {
    return event(delta, {0xFF, 0x2F, 0x00});
}

TempFile TempFile::holding(const std::vector<std::uint8_t>& bytes, const std::string& extension) {
    static int count = 0;
    const auto path =
        std::filesystem::temp_directory_path() /
        ("tremlo-test-" + std::to_string(::getpid()) + "-" + std::to_string(count++) + extension);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return TempFile(path.string());
}

TempFile MidiWriter::save() const {
    std::vector<std::uint8_t> file;
    putTag(file, "MThd");
    put(file, 6 << 24, 4); // big-endian 6
    put(file, 1 << 8, 2);  // format 1
    put(file, 1 << 8, 2);  // one track
    file.push_back(static_cast<std::uint8_t>(m_ticksPerQuarter >> 8));
    file.push_back(static_cast<std::uint8_t>(m_ticksPerQuarter));
    putTag(file, "MTrk");
    const auto size = static_cast<std::uint32_t>(m_track.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        file.push_back(static_cast<std::uint8_t>(size >> shift));
    file.insert(file.end(), m_track.begin(), m_track.end());
    return TempFile::holding(file, ".mid");
}

void MidiWriter::putVariableLength(std::uint32_t value) {
    std::uint8_t bytes[5];
    int n = 0;
    do {
        bytes[n++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (n > 1)
        m_track.push_back(bytes[--n] | 0x80);
    m_track.push_back(bytes[0]);
}

} // namespace tremlo::sound::test
