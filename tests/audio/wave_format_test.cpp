// WAVE files of every kind the library takes, the compressed files melodies
// come in, and files it must refuse.

#include "test_support.h"
#include "wave_loader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <numbers>
#include <sndfile.h>
#include <unistd.h>

namespace tremlo::sound::test {
namespace {

// A file written by libsndfile itself in the given container and subtype
// (LAME for MP3), from interleaved samples.
std::vector<std::uint8_t> encoded(const std::vector<float>& samples, int channels, int rate,
                                  int format) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tremlo-test-" + std::to_string(::getpid()) + ".sound");
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return {};
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(file);
    auto bytes = readFile(path.string());
    std::filesystem::remove(path);
    return bytes;
}

// A 1 kHz tone of 0.5 amplitude, 100 ms long unless told.
std::vector<std::uint8_t> encodedTone(int subtype, int channels, int rate = 48000,
                                      int container = SF_FORMAT_WAV, int frames = 0) {
    if (frames == 0)
        frames = rate / 10;
    std::vector<float> samples(static_cast<std::size_t>(frames * channels));
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            samples[f * channels + c] =
                0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * f / rate));
    return encoded(samples, channels, rate, container | subtype);
}

struct CodecCase {
    const char* name;
    int subtype;
    int channels;
    int expectedBits;
    double tolerance; // how far a lossy codec may stray, in rms of the tone
    int container = SF_FORMAT_WAV;
    int blockPaddingMs = 0; // block codecs fill their last block with silence
    const char* codec = ""; // what the file information line shows for the bits
};

class CodecTest : public ::testing::TestWithParam<CodecCase> {};

TEST_P(CodecTest, DecodesWithTheFilesOwnFormat) {
    const auto& c = GetParam();
    const auto wave = encodedTone(c.subtype, c.channels, 48000, c.container);
    ASSERT_FALSE(wave.empty());
    OfflineLibrary lib;
    SoundHandle h = lib.load(wave);
    ASSERT_NE(h, 0);
    WaveFormat format;
    lib.library->dsGetFormat(h, format);
    EXPECT_EQ(format.channels, std::min(c.channels, 2));
    EXPECT_EQ(format.bitsPerSample, c.expectedBits);
    EXPECT_EQ(format.samplesPerSecond, 48000);
    EXPECT_EQ(format.codec, c.codec);
    EXPECT_GE(lib.library->dsGetBufferMSec(h), 99);
    EXPECT_LE(lib.library->dsGetBufferMSec(h), 101 + c.blockPaddingMs);
    lib.library->dsPlay(h);
    const auto out = lib.render(4000);
    const double expectedRms = 0.5 / std::numbers::sqrt2;
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_NEAR(rms(out, channel, 500, 4000), expectedRms, c.tolerance) << c.name;
        EXPECT_NEAR(frequency(out, channel, 500, 4000, 48000), 1000.0, 2.0) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CodecTest,
    ::testing::Values(
        CodecCase{"Pcm8", SF_FORMAT_PCM_U8, 1, 8, 0.01},
        CodecCase{"Pcm16Stereo", SF_FORMAT_PCM_16, 2, 16, 0.001},
        CodecCase{"Pcm24", SF_FORMAT_PCM_24, 1, 24, 0.001},
        CodecCase{"Pcm32", SF_FORMAT_PCM_32, 2, 32, 0.001},
        CodecCase{"Float32", SF_FORMAT_FLOAT, 1, 32, 0.001},
        CodecCase{"Float64", SF_FORMAT_DOUBLE, 2, 64, 0.001},
        CodecCase{"ImaAdpcm", SF_FORMAT_IMA_ADPCM, 1, 4, 0.02, SF_FORMAT_WAV, 171},
        CodecCase{"MsAdpcm", SF_FORMAT_MS_ADPCM, 2, 4, 0.02, SF_FORMAT_WAV, 171},
        CodecCase{"ALaw", SF_FORMAT_ALAW, 1, 8, 0.01},
        CodecCase{"MuLaw", SF_FORMAT_ULAW, 1, 8, 0.01},
        CodecCase{"Extensible", SF_FORMAT_PCM_16, 2, 16, 0.001, SF_FORMAT_WAVEX},
        // Four equal channels fold into two of the same level.
        CodecCase{"FourChannelsMixDown", SF_FORMAT_PCM_16, 4, 16, 0.001, SF_FORMAT_WAVEX},
        CodecCase{"Rf64", SF_FORMAT_PCM_16, 2, 16, 0.001, SF_FORMAT_RF64},
        CodecCase{"BigEndianRifx", SF_FORMAT_PCM_24, 1, 24, 0.001, SF_FORMAT_WAV | SF_ENDIAN_BIG},
        CodecCase{"Mp3", SF_FORMAT_MPEG_LAYER_III, 2, 16, 0.03, SF_FORMAT_MPEG, 0, "MP3"},
        CodecCase{"Vorbis", SF_FORMAT_VORBIS, 2, 16, 0.03, SF_FORMAT_OGG, 0, "Vorbis"},
        CodecCase{"Opus", SF_FORMAT_OPUS, 1, 16, 0.03, SF_FORMAT_OGG, 0, "Opus"},
        CodecCase{"Flac24", SF_FORMAT_PCM_24, 2, 24, 0.001, SF_FORMAT_FLAC, 0, "FLAC"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WaveRefusal, WhatIsNotAWaveFileGivesNoHandle) {
    OfflineLibrary lib;
    const auto good = makeSine(1000.0, 4800, 48000);
    EXPECT_EQ(lib.library->dsCreateDSB(nullptr, 100, 1), 0);
    EXPECT_EQ(lib.library->dsCreateDSB(good.data(), 0, 1), 0);
    EXPECT_EQ(lib.library->dsCreateDSB(good.data(), 30, 1), 0) << "cut inside the header";
    const std::string text = "RIFF....WAVEfmt but nothing of the sort";
    EXPECT_EQ(lib.library->dsCreateDSB(text.data(), text.size(), 1), 0);
    const auto aiff = encodedTone(SF_FORMAT_PCM_16, 1, 48000, SF_FORMAT_AIFF);
    EXPECT_EQ(lib.library->dsCreateDSB(aiff.data(), aiff.size(), 1), 0) << "only WAVE files";
    // RF64's own data size stands in its ds64 chunk when the data chunk's
    // says 0xFFFFFFFF: what follows the data, 25 ms of bytes here, is not
    // sound.
    auto rf64 = encodedTone(SF_FORMAT_PCM_16, 2, 48000, SF_FORMAT_RF64);
    const std::string_view tag = "data";
    const auto data = std::search(rf64.begin(), rf64.end(), tag.begin(), tag.end());
    ASSERT_NE(data, rf64.end());
    std::fill(data + 4, data + 8, 0xFF);
    const std::uint8_t list[] = {'L', 'I', 'S', 'T', 0xC0, 0x12, 0, 0};
    rf64.insert(rf64.end(), std::begin(list), std::end(list));
    rf64.resize(rf64.size() + 4800, 0x7F);
    const SoundHandle wide = lib.library->dsCreateDSB(rf64.data(), rf64.size(), 1);
    EXPECT_EQ(lib.library->dsGetBufferMSec(wide), 100);
    // A header that promises more data than there is plays what is there.
    auto cut = good;
    cut.resize(cut.size() / 2);
    SoundHandle h = lib.library->dsCreateDSB(cut.data(), cut.size(), 1);
    EXPECT_NEAR(lib.library->dsGetBufferMSec(h), 50, 1);
}

TEST(WaveChunks, OddSizedChunksBeforeTheSoundAreSkippedWithTheirPadByte) {
    // Chunks of words about the sound, as editors write them between the
    // format and the samples; an odd size is followed by a pad byte.
    const std::vector<std::vector<std::uint8_t>> extras = {
        {'L', 'I', 'S', 'T', 5, 0, 0, 0, 'I', 'N', 'F', 'O', 'x', 0},
        {'j', 'u', 'n', 'k', 1, 0, 0,   0,   'd', 0,   'L', 'I',
         'S', 'T', 5,   0,   0, 0, 'I', 'N', 'F', 'O', 'a', 0},
    };
    const std::int64_t frames = 4801;
    const auto plain = makeSine(1000.0, frames, 48000);
    OfflineLibrary lib;
    SoundHandle reference = lib.load(plain);
    lib.library->dsPlay(reference);
    const auto expected = lib.render(static_cast<std::size_t>(frames));
    for (const auto& extra : extras) {
        auto wave = plain;
        // After the 12-byte RIFF header and the 24-byte format chunk.
        wave.insert(wave.begin() + 36, extra.begin(), extra.end());
        const auto riffSize = static_cast<std::uint32_t>(wave.size() - 8);
        for (int i = 0; i < 4; ++i)
            wave[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
        SoundHandle h = lib.load(wave);
        ASSERT_NE(h, 0);
        EXPECT_EQ(lib.library->dsGetBufferMSec(h), lib.library->dsGetBufferMSec(reference));
        lib.library->dsPlay(h);
        const auto out = lib.render(static_cast<std::size_t>(frames) + 256);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()))
            << "the same samples";
        EXPECT_EQ(peak(out, 0, static_cast<std::size_t>(frames), out.size() / 2), 0.0)
            << "and no more of them";
    }
}

TEST(WaveRefusal, TheLibraryKeepsItsOwnCopyOfTheFile) {
    OfflineLibrary lib;
    auto wave = makeSine(1000.0, 4800, 48000);
    SoundHandle h = lib.load(wave);
    std::fill(wave.begin(), wave.end(), 0);
    wave.clear();
    wave.shrink_to_fit();
    lib.library->dsPlay(h);
    EXPECT_GT(rms(lib.render(2000), 0, 0, 2000), 0.3);
}

// An MP3 made by LAME, which writes its delay and padding in its header,
// loops with no gap and no click: a sine of whole periods, played looping,
// runs on through the loop point sample by sample.
TEST(GaplessMp3, LoopsWithoutAGapAtTheLoopPoint) {
    constexpr int kRate = 48000, kFrames = 48000; // 1000 whole periods of 1 kHz
    const auto mp3 = encodedTone(SF_FORMAT_MPEG_LAYER_III, 1, kRate, SF_FORMAT_MPEG, kFrames);
    ASSERT_FALSE(mp3.empty());
    OfflineLibrary lib(kRate);
    SoundHandle h = lib.load(mp3);
    ASSERT_NE(h, 0);
    lib.library->dsPlayLooping(h);
    const auto out = lib.render(kFrames + 2000);
    // The tone's phase at the start of the output, taken well inside the
    // sound, where the codec is steady.
    double phase = 0;
    double best = 1e9;
    for (int step = 0; step < 360; ++step) {
        const double trial = 2 * std::numbers::pi * step / 360;
        double error = 0;
        for (int f = 20000; f < 20480; ++f)
            error += std::abs(out[2 * f] -
                              0.5 * std::sin(2 * std::numbers::pi * 1000.0 * f / kRate + trial));
        if (error < best)
            best = error, phase = trial;
    }
    double worst = 0;
    for (int f = kFrames - 1000; f < kFrames + 1000; ++f)
        worst = std::max(
            worst, std::abs(out[2 * f] -
                            0.5 * std::sin(2 * std::numbers::pi * 1000.0 * f / kRate + phase)));
    EXPECT_LT(worst, 0.08) << "a gap or click at the loop point";
}

// Silence costs a FLAC file almost no bytes: a melody with a long quiet
// stretch keeps all of it rather than what its size would suggest.
TEST(CompressedLength, ALongQuietFlacIsKeptWhole) {
    constexpr int kFrames = 48000 * 120;
    const auto path = std::filesystem::temp_directory_path() /
                      ("tremlo-quiet-" + std::to_string(::getpid()) + ".flac");
    SF_INFO info{0, 48000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    const std::vector<float> silence(2 * 48000, 0.0f);
    for (int second = 0; second < 120; ++second)
        sf_writef_float(file, silence.data(), 48000);
    sf_close(file);
    const auto flac = readFile(path.string());
    std::filesystem::remove(path);
    OfflineLibrary lib;
    SoundHandle h = lib.load(flac);
    ASSERT_NE(h, 0);
    EXPECT_EQ(lib.library->dsGetBufferMSec(h), kFrames / 48);
}

// A square wave of 440 Hz up to its eleventh harmonic, normalised to
// -0.01 dBFS: a lossy codec's ringing takes its peaks past full scale
// (libsndfile's own floats show by how much), where 16-bit samples must
// clip, not wrap around to full scale of the other sign. The wave moves
// no sample by more than about 0.4 of full scale from the one before; a
// wrap moves it by nearly twice full scale.
TEST(LoudLossy, PeaksPastFullScaleClipInsteadOfWrapping) {
    constexpr int kRate = 48000, kFrames = kRate;
    std::vector<float> square(kFrames);
    float loudest = 0;
    for (int f = 0; f < kFrames; ++f) {
        double v = 0;
        for (int k = 1; k <= 11; k += 2)
            v += std::sin(2 * std::numbers::pi * 440.0 * k * f / kRate) / k;
        square[f] = static_cast<float>(v);
        loudest = std::max(loudest, std::abs(square[f]));
    }
    for (float& v : square)
        v *= 0.99885f / loudest;
    for (const auto& [name, format] : {std::pair{"MP3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                                       std::pair{"Vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                       std::pair{"Opus", SF_FORMAT_OGG | SF_FORMAT_OPUS}}) {
        SCOPED_TRACE(name);
        const auto bytes = encoded(square, 1, kRate, format);
        {
            const auto file = TempFile::holding(bytes, ".sound");
            SF_INFO info{};
            SNDFILE* raw = sf_open(file.path().c_str(), SFM_READ, &info);
            ASSERT_NE(raw, nullptr);
            std::vector<float> floats(static_cast<std::size_t>(kFrames) * 2);
            floats.resize(static_cast<std::size_t>(
                sf_readf_float(raw, floats.data(), static_cast<sf_count_t>(floats.size()))));
            sf_close(raw);
            ASSERT_GT(*std::max_element(floats.begin(), floats.end()), 1.01f)
                << "loud enough to wrap";
        }
        const auto decoded = decodeWave(bytes);
        ASSERT_TRUE(decoded && !decoded->pcm16.empty());
        const auto& pcm = decoded->pcm16;
        int steepest = 0;
        for (std::size_t i = 1; i < pcm.size(); ++i)
            steepest = std::max(steepest, std::abs(pcm[i] - pcm[i - 1]));
        EXPECT_LT(steepest, 32768) << "a sample wrapped around";
        EXPECT_EQ(*std::max_element(pcm.begin(), pcm.end()), 32767) << "clipped at full scale";
    }
}

// The memory limit counts the samples as they are kept (16-bit, float,
// mixed down to stereo), exactly: a sound of just the limit loads, one
// sample more is refused for its size. A header that claims far more frames
// than there are is not believed.
TEST(MemoryLimit, RefusesTheSampleTooManyAndNotTheOneBefore) {
    constexpr std::size_t kFrames = 4800;
    auto flacWithALyingLength = encodedTone(SF_FORMAT_PCM_16, 1, 48000, SF_FORMAT_FLAC);
    // STREAMINFO's 36-bit count of samples, after "fLaC", the block header
    // and 13 bytes of sizes and rates: all ones.
    flacWithALyingLength[8 + 13] |= 0x0F;
    for (std::size_t i = 8 + 14; i < 8 + 18; ++i)
        flacWithALyingLength[i] = 0xFF;
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::size_t bytesKept; // what the samples take
    } cases[] = {
        {"16-bit mono", encodedTone(SF_FORMAT_PCM_16, 1), kFrames * 2},
        {"24-bit stereo, kept as floats", encodedTone(SF_FORMAT_PCM_24, 2), kFrames * 2 * 4},
        {"four channels, kept as two", encodedTone(SF_FORMAT_PCM_16, 4, 48000, SF_FORMAT_WAVEX),
         kFrames * 2 * 2},
        {"FLAC claiming 2^36 frames", flacWithALyingLength, kFrames * 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto atTheLimit = decodeSound(c.bytes, c.bytesKept);
        ASSERT_TRUE(atTheLimit.samples);
        EXPECT_EQ(atTheLimit.samples->frames, static_cast<std::int64_t>(kFrames));
        const auto overIt = decodeSound(c.bytes, c.bytesKept - 1);
        EXPECT_FALSE(overIt.samples);
        EXPECT_TRUE(overIt.tooLarge);
    }
    EXPECT_FALSE(
        decodeSound(encodedTone(SF_FORMAT_PCM_16, 1, 48000, SF_FORMAT_AIFF), 1 << 20).tooLarge)
        << "what is no sound at all is not refused for its size";
    EXPECT_LE(sampleMemoryLimit(), std::size_t{2} << 30);
}

// The files in tests/data: the good ones load, the damaged ones are refused,
// and whatever loads plays without harm.
TEST(WaveTestMedia, EveryFileLoadsOrIsRefusedAndPlaysWithoutHarm) {
    OfflineLibrary lib;
    int loaded = 0;
    for (const char* folder : {"wav", "mp3", "ogg", "opus", "flac", "rf64", "rifx"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(
                 std::string(TREMLO_TESTDATA_DIR) + "/" + folder)) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || name.ends_with(".md"))
                continue;
            const auto bytes = readFile(entry.path().string());
            SoundHandle h = lib.library->dsCreateDSB(bytes.data(), bytes.size(), 1);
            if (name.starts_with("chime")) {
                EXPECT_NE(h, 0) << entry.path();
            } else if (name.starts_with("damaged-")) {
                EXPECT_EQ(h, 0) << entry.path();
            }
            if (!h)
                continue;
            ++loaded;
            WaveFormat format;
            lib.library->dsGetFormat(h, format);
            EXPECT_TRUE(format.channels == 1 || format.channels == 2) << entry.path();
            EXPECT_GT(format.samplesPerSecond, 0) << entry.path();
            lib.library->dsSetFrequency(h, 22050);
            lib.library->dsPlayLooping(h);
            lib.render(2000);
            lib.library->dsFree(h);
        }
    }
    EXPECT_GE(loaded, 21);
}

TEST(WaveTestMedia, KnownFilesReportTheirFormat) {
    struct Known {
        const char* file;
        WaveFormat format;
    };
    const Known known[] = {
        {"waveformatex-16bit-44100Hz-stereo.wav", {2, 16, 44100, ""}},
        {"pcmwaveformat-8bit-44100Hz-mono.wav", {1, 8, 44100, ""}},
        {"waveformatextensible-24bit-192kHz-mono.wav", {1, 24, 192000, ""}},
        {"waveformatex-ieeefloat-44100Hz-mono.wav", {1, 32, 44100, ""}},
        {"waveformatex-8bit-11025Hz-mono.wav", {1, 8, 11025, ""}},
    };
    OfflineLibrary lib;
    for (const auto& k : known) {
        SoundHandle h =
            lib.load(readFile(std::string(TREMLO_TESTDATA_DIR) + "/wav/hound/" + k.file));
        WaveFormat format;
        lib.library->dsGetFormat(h, format);
        EXPECT_EQ(format.channels, k.format.channels) << k.file;
        EXPECT_EQ(format.bitsPerSample, k.format.bitsPerSample) << k.file;
        EXPECT_EQ(format.samplesPerSecond, k.format.samplesPerSecond) << k.file;
    }
}

} // namespace
} // namespace tremlo::sound::test
