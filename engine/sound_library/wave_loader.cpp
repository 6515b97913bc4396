#include "wave_loader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sndfile.h>

namespace tremlo::sound {
namespace {

// libsndfile reads from our memory through these callbacks, so a WAVE file
// never has to be written to disk to be decoded.
struct MemoryFile {
    std::span<const std::uint8_t> bytes;
    sf_count_t position = 0;
};

sf_count_t memoryLength(void* user) {
    return static_cast<MemoryFile*>(user)->bytes.size();
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    auto* file = static_cast<MemoryFile*>(user);
    const auto size = static_cast<sf_count_t>(file->bytes.size());
    sf_count_t target = offset;
    if (whence == SEEK_CUR)
        target += file->position;
    else if (whence == SEEK_END)
        target += size;
    file->position = std::clamp<sf_count_t>(target, 0, size);
    return file->position;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user) {
    auto* file = static_cast<MemoryFile*>(user);
    const auto size = static_cast<sf_count_t>(file->bytes.size());
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, size - file->position);
    if (n > 0)
        std::memcpy(out, file->bytes.data() + file->position, static_cast<std::size_t>(n));
    file->position += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t memoryTell(void* user) {
    return static_cast<MemoryFile*>(user)->position;
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

bool isWaveContainer(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

// Bits per sample as the file states them; ADPCM counts its coded bits.
int bitsOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_ULAW:
        return 8;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 32;
    case SF_FORMAT_DOUBLE:
        return 64;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
        return 4;
    default:
        return 16;
    }
}

bool fitsInSixteenBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return false;
    default:
        return true;
    }
}

// Reads every frame there is, in chunks, without trusting the header's frame
// count: broken files claim sizes far beyond their bytes.
template <typename Sample, typename ReadFn>
std::vector<Sample> readAll(SNDFILE* file, int channels, std::size_t sampleCap, ReadFn read) {
    // Bytes after the header's frame count (a chunk libsndfile mistook for
    // data) are not sound.
    constexpr sf_count_t kChunkFrames = 4096;
    std::vector<Sample> samples;
    std::vector<Sample> chunk(static_cast<std::size_t>(kChunkFrames * channels));
    for (;;) {
        const sf_count_t got = read(file, chunk.data(), kChunkFrames);
        if (got <= 0)
            break;
        const auto n =
            std::min(static_cast<std::size_t>(got * channels), sampleCap - samples.size());
        if (n == 0)
            break;
        samples.insert(samples.end(), chunk.begin(),
                       chunk.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return samples;
}

// Mixes any channel count down to stereo: even channels left, odd right,
// each side the average of its channels, so the sum cannot leave the range
// of the samples.
template <typename Sample>
std::vector<Sample> downmixToStereo(const std::vector<Sample>& in, int channels) {
    const std::size_t frames = in.size() / static_cast<std::size_t>(channels);
    std::vector<Sample> out(frames * 2);
    const int leftCount = (channels + 1) / 2;
    const int rightCount = channels / 2;
    for (std::size_t f = 0; f < frames; ++f) {
        double left = 0, right = 0;
        for (int c = 0; c < channels; ++c)
            (c % 2 == 0 ? left : right) += static_cast<double>(in[f * channels + c]);
        out[f * 2] = static_cast<Sample>(left / leftCount);
        out[f * 2 + 1] = static_cast<Sample>(right / rightCount);
    }
    return out;
}

} // namespace

std::shared_ptr<const SampleData> decodeWave(std::span<const std::uint8_t> bytes) {
    MemoryFile memory{bytes};
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open_virtual(&io, SFM_READ, &info, &memory));
    if (!file || !isWaveContainer(info.format) || info.channels < 1 || info.channels > 64 ||
        info.samplerate < 1)
        return nullptr;

    auto data = std::make_shared<SampleData>();
    data->bitsPerSample = bitsOf(info.format);
    data->samplesPerSecond = info.samplerate;
    data->channels = std::min(info.channels, 2);
    // No codec yields more than a few samples per byte of input.
    std::size_t sampleCap = bytes.size() * 4 + 64;
    if (info.frames > 0)
        sampleCap = std::min(sampleCap, static_cast<std::size_t>(info.frames) * info.channels);
    if (fitsInSixteenBits(info.format)) {
        auto samples = readAll<std::int16_t>(file.get(), info.channels, sampleCap, sf_readf_short);
        data->pcm16 =
            info.channels > 2 ? downmixToStereo(samples, info.channels) : std::move(samples);
        data->frames = static_cast<std::int64_t>(data->pcm16.size()) / data->channels;
    } else {
        auto samples = readAll<float>(file.get(), info.channels, sampleCap, sf_readf_float);
        data->pcmFloat =
            info.channels > 2 ? downmixToStereo(samples, info.channels) : std::move(samples);
        data->frames = static_cast<std::int64_t>(data->pcmFloat.size()) / data->channels;
        // A damaged float file may hold NaN or infinity, which would poison
        // every sum the voice takes part in.
        for (float& sample : data->pcmFloat)
            if (!std::isfinite(sample))
                sample = 0.0f;
    }
    if (data->frames == 0)
        return nullptr;
    return data;
}

} // namespace tremlo::sound
