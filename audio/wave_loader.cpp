#include "wave_loader.h"

#include "sound_file_kind.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <sndfile.h>
#include <stdexcept>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace tremlo::sound {
namespace {

// libsndfile reads from our memory through these callbacks, so a WAVE file
// never has to be written to disk to be decoded. The file it sees is a short
// rebuilt head followed by the original's sample bytes, which are not copied:
// the ambience alone is megabytes, and start-up waits for it.
struct MemoryFile {
    std::span<const std::uint8_t> head;
    std::span<const std::uint8_t> body;
    sf_count_t position = 0;

    sf_count_t size() const { return static_cast<sf_count_t>(head.size() + body.size()); }
};

sf_count_t memoryLength(void* user) {
    return static_cast<MemoryFile*>(user)->size();
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    auto* file = static_cast<MemoryFile*>(user);
    sf_count_t target = offset;
    if (whence == SEEK_CUR)
        target += file->position;
    else if (whence == SEEK_END)
        target += file->size();
    file->position = std::clamp<sf_count_t>(target, 0, file->size());
    return file->position;
}

// Copies from one part of the file at `position`, as far as that part goes.
std::size_t copyFrom(std::span<const std::uint8_t> part, std::size_t position, std::uint8_t* out,
                     std::size_t count) {
    if (position >= part.size())
        return 0;
    const std::size_t n = std::min(count, part.size() - position);
    std::memcpy(out, part.data() + position, n);
    return n;
}

sf_count_t memoryRead(void* out, sf_count_t count, void* user) {
    auto* file = static_cast<MemoryFile*>(user);
    const auto wanted =
        static_cast<std::size_t>(std::clamp<sf_count_t>(count, 0, file->size() - file->position));
    auto* to = static_cast<std::uint8_t*>(out);
    const auto position = static_cast<std::size_t>(file->position);
    std::size_t done = copyFrom(file->head, position, to, wanted);
    if (done < wanted)
        done += copyFrom(file->body, position + done - file->head.size(), to + done, wanted - done);
    file->position += static_cast<sf_count_t>(done);
    return static_cast<sf_count_t>(done);
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

// The major type libsndfile must find for a compressed file of this kind; 0
// for anything else.
int compressedMajorOf(SoundFileKind kind) {
    switch (kind) {
    case SoundFileKind::Ogg:
        return SF_FORMAT_OGG;
    case SoundFileKind::Flac:
        return SF_FORMAT_FLAC;
    case SoundFileKind::Mpeg:
        return SF_FORMAT_MPEG;
    default:
        return 0;
    }
}

// What the file information line shows in place of the bit depth.
const char* codecNameOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_MPEG_LAYER_I:
        return "MP1";
    case SF_FORMAT_MPEG_LAYER_II:
        return "MP2";
    case SF_FORMAT_MPEG_LAYER_III:
        return "MP3";
    case SF_FORMAT_VORBIS:
        return "Vorbis";
    case SF_FORMAT_OPUS:
        return "Opus";
    default:
        return (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC ? "FLAC" : "Ogg";
    }
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

// The codecs that decode to floats of their own making rather than to the
// samples that went in: their ringing passes full scale wherever a loud
// sound was encoded.
bool isLossy(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
        return true;
    default:
        return false;
    }
}

// One decoded value as it is kept.
template <typename Stored, typename Decoded> Stored storedSample(double value) {
    if constexpr (std::is_same_v<Stored, float>) {
        // A damaged float file may hold NaN or infinity, which would poison
        // every sum the voice takes part in.
        return std::isfinite(value) ? static_cast<float>(value) : 0.0f;
    } else if constexpr (std::is_same_v<Decoded, float>) {
        // Clipped: past full scale a 16-bit sample would wrap to full scale
        // of the other sign, a crack where the encoder meant a loud peak.
        if (std::isnan(value))
            return 0;
        return static_cast<Stored>(std::lrint(std::clamp(value, -1.0, 1.0) * 32767.0));
    } else {
        return static_cast<Stored>(value);
    }
}

// Appends one chunk of decoded frames, mixed down to at most two channels:
// even channels left, odd right, each side the average of its channels, so
// the sum cannot leave the range of the samples. `out` has room for them.
template <typename Stored, typename Decoded>
void storeFrames(const Decoded* in, std::size_t frames, int channels, std::vector<Stored>& out) {
    const auto perFrame = static_cast<std::size_t>(channels);
    if (channels <= 2) {
        for (std::size_t i = 0; i < frames * perFrame; ++i)
            out.push_back(storedSample<Stored, Decoded>(in[i]));
        return;
    }
    const int leftCount = (channels + 1) / 2;
    const int rightCount = channels / 2;
    for (std::size_t f = 0; f < frames; ++f) {
        double left = 0, right = 0;
        for (std::size_t c = 0; c < perFrame; ++c)
            (c % 2 == 0 ? left : right) += static_cast<double>(in[f * perFrame + c]);
        out.push_back(storedSample<Stored, Decoded>(left / leftCount));
        out.push_back(storedSample<Stored, Decoded>(right / rightCount));
    }
}

// Reads every frame there is, up to `frameCap`, in chunks, without trusting
// the header's frame count: broken files claim sizes far beyond their bytes,
// and an MP3 without a header that counts its frames gives an estimate.
// Nothing is more than `storedLimit` samples: a sound that goes on past it
// is refused (nullopt) as soon as the decoder delivers the sample too many.
//
// The samples gather in blocks, joined at the end into one vector of the
// exact length while each block is freed as soon as it is copied: memory
// peaks at the sound plus one block, where a vector grown by doubling
// would peak at two to three times the sound. Blocks grow to 32 Mi
// samples, past the largest size the C library still serves from its heap,
// so a freed block goes back to the system at once rather than staying
// with the process until the join is over.
template <typename Stored, typename Decoded, typename ReadFn>
std::optional<std::vector<Stored>> readAll(SNDFILE* file, int channels, std::int64_t frameCap,
                                           std::size_t storedLimit, ReadFn read) {
    constexpr std::size_t kChunkFrames = 4096;
    constexpr std::size_t kSmallestBlock = std::size_t{1} << 14;
    constexpr std::size_t kLargestBlock = std::size_t{1} << 25;
    const std::size_t storedPerFrame = channels > 2 ? 2 : static_cast<std::size_t>(channels);
    std::vector<Decoded> chunk(kChunkFrames * static_cast<std::size_t>(channels));
    std::vector<std::vector<Stored>> blocks;
    std::size_t total = 0;
    for (std::int64_t left = frameCap; left > 0;) {
        const auto wanted = std::min<std::int64_t>(kChunkFrames, left);
        const sf_count_t got = read(file, chunk.data(), static_cast<sf_count_t>(wanted));
        if (got <= 0)
            break;
        left -= got;
        const std::size_t samples = static_cast<std::size_t>(got) * storedPerFrame;
        if (samples > storedLimit - total)
            return std::nullopt;
        if (blocks.empty() || blocks.back().capacity() - blocks.back().size() < samples) {
            blocks.emplace_back();
            blocks.back().reserve(
                std::max(std::clamp(total, kSmallestBlock, kLargestBlock), kChunkFrames * 2));
        }
        total += samples;
        storeFrames<Stored, Decoded>(chunk.data(), static_cast<std::size_t>(got), channels,
                                     blocks.back());
    }
    std::vector<Stored> all;
    all.reserve(total);
    for (auto& block : blocks) {
        all.insert(all.end(), block.begin(), block.end());
        std::vector<Stored>().swap(block);
    }
    return all;
}

std::uint64_t numberAt(std::span<const std::uint8_t> bytes, std::size_t at, int size,
                       bool bigEndian) {
    std::uint64_t value = 0;
    for (int k = 0; k < size; ++k) {
        const int i = bigEndian ? k : size - 1 - k;
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

// The codecs a melody or station sound comes in. Anything else (MPEG audio
// inside a WAVE file, above all) is refused before libsndfile sees it: its
// MPEG decoder can spend seconds resyncing through a damaged file, and the
// program waits for every load.
bool isPlayableFormatTag(std::uint32_t tag) {
    switch (tag) {
    case 0x0001: // PCM
    case 0x0002: // MS ADPCM
    case 0x0003: // IEEE float
    case 0x0006: // A-law
    case 0x0007: // µ-law
    case 0x0011: // IMA ADPCM
        return true;
    default:
        return false;
    }
}

// The parts of a WAVE file that hold sound: its fmt, fact and data chunks.
// libsndfile gets a file made of these alone: the other chunks (LIST, INFO,
// cue, bext, ...) only carry words about the sound, and a damaged one can
// send libsndfile's own parser into a loop that never ends.
struct SoundChunks {
    std::vector<std::uint8_t> head; // RIFF, fmt, fact and the data chunk's header
    std::span<const std::uint8_t> data;
};

std::optional<SoundChunks> soundChunksOf(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 12 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    // RIFX is a WAVE file in big-endian order; RF64 one whose sizes past
    // 4 GB live in its ds64 chunk. Both are rebuilt in their own order, RF64
    // as plain RIFF: what fits in memory fits in RIFF's sizes.
    const bool bigEndian = std::memcmp(bytes.data(), "RIFX", 4) == 0;
    const bool rf64 = std::memcmp(bytes.data(), "RF64", 4) == 0;
    if (!bigEndian && !rf64 && std::memcmp(bytes.data(), "RIFF", 4) != 0)
        return std::nullopt;
    auto number = [&](std::span<const std::uint8_t> from, std::size_t at, int size) {
        return numberAt(from, at, size, bigEndian);
    };
    std::span<const std::uint8_t> format, fact, data;
    std::uint64_t wideDataSize = 0;
    std::size_t at = 12;
    for (int chunks = 0; chunks < 4096 && at + 8 <= bytes.size(); ++chunks) {
        std::uint64_t size = number(bytes, at + 4, 4);
        const bool isData = std::memcmp(bytes.data() + at, "data", 4) == 0;
        if (rf64 && isData && size == 0xFFFFFFFF && wideDataSize != 0)
            size = wideDataSize;
        // Never further than the end, so the step below cannot overflow.
        size = std::min<std::uint64_t>(size, bytes.size());
        const std::size_t available = std::min<std::size_t>(size, bytes.size() - (at + 8));
        const auto body = bytes.subspan(at + 8, available);
        if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0)
            format = body;
        else if (std::memcmp(bytes.data() + at, "fact", 4) == 0)
            fact = body;
        else if (rf64 && std::memcmp(bytes.data() + at, "ds64", 4) == 0 && body.size() >= 16)
            wideDataSize = numberAt(body, 8, 8, false);
        else if (isData)
            data = body; // a size that runs past the end: what is there
        at += 8 + size + (size & 1);
    }
    if (format.size() < 16 || data.empty() || data.size() > 0xFFFFFFF0u)
        return std::nullopt;
    auto tag = static_cast<std::uint32_t>(number(format, 0, 2));
    if (tag == 0xFFFE && format.size() >= 26)
        tag = static_cast<std::uint32_t>(number(format, 24, 2));
    if (!isPlayableFormatTag(tag))
        return std::nullopt;

    SoundChunks sound{{}, data};
    auto& head = sound.head;
    head.reserve(12 + 8 + format.size() + 1 + 8 + fact.size() + 1 + 8);
    auto putTag = [&](const char* tag) {
        for (int i = 0; i < 4; ++i)
            head.push_back(static_cast<std::uint8_t>(tag[i]));
    };
    auto put32 = [&](std::size_t value) {
        for (int i = 0; i < 4; ++i)
            head.push_back(static_cast<std::uint8_t>(value >> (8 * (bigEndian ? 3 - i : i))));
    };
    auto putChunk = [&](const char* tag, std::span<const std::uint8_t> body) {
        putTag(tag);
        put32(body.size());
        head.insert(head.end(), body.begin(), body.end());
        if (body.size() & 1)
            head.push_back(0);
    };
    putTag(bigEndian ? "RIFX" : "RIFF");
    put32(4 + 8 + format.size() + (format.size() & 1) +
          (fact.empty() ? 0 : 8 + fact.size() + (fact.size() & 1)) + 8 + data.size() +
          (data.size() & 1));
    putTag("WAVE");
    putChunk("fmt ", format);
    if (!fact.empty())
        putChunk("fact", fact);
    putTag("data");
    put32(data.size());
    return sound;
}

} // namespace

namespace {

DecodeResult decodeWithin(std::span<const std::uint8_t> original, std::size_t memoryLimitBytes) {
    // A compressed file goes to libsndfile whole: its codec reads only the
    // frames it knows, so there are no chunks of words to leave out.
    const SoundFileKind kind = soundFileKindOf(original);
    const int compressed = compressedMajorOf(kind);
    const auto sound = kind == SoundFileKind::Wave ? soundChunksOf(original) : std::nullopt;
    if (!compressed && !sound)
        return {};
    MemoryFile memory = sound ? MemoryFile{sound->head, sound->data} : MemoryFile{{}, original};
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open_virtual(&io, SFM_READ, &info, &memory));
    const bool expected = compressed ? (info.format & SF_FORMAT_TYPEMASK) == compressed
                                     : isWaveContainer(info.format);
    if (!file || !expected || info.channels < 1 || info.channels > 64 || info.samplerate < 1)
        return {};

    auto data = std::make_shared<SampleData>();
    data->codec = compressed ? codecNameOf(info.format) : "";
    // A lossy codec's samples hold no more than 16 bits' worth, and are kept
    // as such: a long MP3 then takes no more memory than its decoded samples.
    data->bitsPerSample = bitsOf(info.format);
    data->samplesPerSecond = info.samplerate;
    data->channels = std::min(info.channels, 2);
    // No WAVE codec yields more than a few samples per byte of input.
    std::size_t sampleCap = static_cast<std::size_t>(memory.size()) * 4 + 64;
    std::size_t expectedSamples = 0;
    if (info.frames > 0 && info.frames != SF_COUNT_MAX)
        expectedSamples =
            static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels);
    if (!compressed) {
        // Bytes after the header's frame count (a chunk libsndfile mistook
        // for data) are not sound.
        sampleCap = std::min(sampleCap, expectedSamples != 0 ? expectedSamples : sampleCap);
    } else {
        // Compressed files make far more samples per byte (an MP3 at
        // 128 kbit/s about eleven), and silence in FLAC or Opus almost
        // costs nothing: their own count of frames, exact for all but an MP3
        // without a header that counts them, may go beyond a generous
        // share of the bytes, up to half an hour of 48 kHz stereo.
        constexpr std::size_t kLongest = std::size_t{48000} * 2 * 1800;
        sampleCap = std::max(static_cast<std::size_t>(memory.size()) * 64 + 65536,
                             std::min(expectedSamples, kLongest));
    }
    const auto frameCap =
        static_cast<std::int64_t>(sampleCap / static_cast<std::size_t>(info.channels));
    if (fitsInSixteenBits(info.format)) {
        const std::size_t limit = memoryLimitBytes / sizeof(std::int16_t);
        auto samples = isLossy(info.format)
                           ? readAll<std::int16_t, float>(file.get(), info.channels, frameCap,
                                                          limit, sf_readf_float)
                           : readAll<std::int16_t, short>(file.get(), info.channels, frameCap,
                                                          limit, sf_readf_short);
        if (!samples)
            return {nullptr, true};
        data->pcm16 = std::move(*samples);
        data->frames = static_cast<std::int64_t>(data->pcm16.size()) / data->channels;
    } else {
        auto samples = readAll<float, float>(file.get(), info.channels, frameCap,
                                             memoryLimitBytes / sizeof(float), sf_readf_float);
        if (!samples)
            return {nullptr, true};
        data->pcmFloat = std::move(*samples);
        data->frames = static_cast<std::int64_t>(data->pcmFloat.size()) / data->channels;
    }
    if (data->frames == 0)
        return {};
    return {std::move(data), false};
}

} // namespace

std::size_t sampleMemoryLimit() {
    constexpr std::uint64_t kMost = std::uint64_t{2} << 30;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    std::uint64_t limit = kMost;
    if (pages > 0 && pageSize > 0)
        limit = std::min(limit, static_cast<std::uint64_t>(pages) *
                                    static_cast<std::uint64_t>(pageSize) / 2);
    return static_cast<std::size_t>(limit);
}

DecodeResult decodeSound(std::span<const std::uint8_t> bytes, std::size_t memoryLimitBytes) {
    // Every allocation of a decode is ours (libsndfile reads through the
    // callbacks above, which allocate nothing), so none can fail inside C code.
    try {
        return decodeWithin(bytes, memoryLimitBytes);
    } catch (const std::bad_alloc&) {
        return {nullptr, true};
    } catch (const std::length_error&) {
        return {nullptr, true};
    }
}

std::shared_ptr<const SampleData> decodeWave(std::span<const std::uint8_t> bytes) {
    return decodeSound(bytes, sampleMemoryLimit()).samples;
}

} // namespace tremlo::sound
