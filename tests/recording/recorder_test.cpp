// The recorder on an offline device: the file holds what the device got,
// and a disk that refuses it ends the recording with a reason.

#include "recorder.h"
#include "test_folder.h"
#include "test_support.h"

#include <cmath>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>

namespace tremlo::test {
namespace {

// A disk that fills once a file reaches `bytes`: past it a write fails
// with EFBIG, as short as on a full disk, with no mount to make.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_outer);
        m_outerSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_outer;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_outer);
        std::signal(SIGXFSZ, m_outerSignal);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_outer{};
    void (*m_outerSignal)(int) = SIG_DFL;
};

struct RecordCase {
    const char* name;
    const char* fileName;
    bool fullDisk;
    // Largest difference from what the device got: none for float WAVE,
    // half a 24-bit step for FLAC.
    double tolerance;
    int sampleFormat; // as read back
};

std::vector<RecordCase> recordCases() {
    return {
        {"FloatWaveBitForBit", "take.wav", false, 0.0, SF_FORMAT_FLOAT},
        {"FlacTo24Bits", "take.flac", false, 0.5 / 8388608.0, SF_FORMAT_PCM_24},
        {"UpperCaseWaveIsFloatWave", "TAKE.WAV", false, 0.0, SF_FORMAT_FLOAT},
        {"FlacOnAFullDisk", "take.flac", true, 0.0, 0},
        {"WaveOnAFullDisk", "TAKE.WAV", true, 0.0, 0},
    };
}

class Recording : public testing::TestWithParam<RecordCase> {};

TEST_P(Recording, HoldsWhatTheDeviceGotOrSaysWhy) {
    const RecordCase& c = GetParam();
    TestFolder folder;
    const std::string path = folder.file(c.fileName);
    std::optional<FileSizeLimit> fullDisk;
    if (c.fullDisk)
        fullDisk.emplace(16384);
    sound::test::OfflineLibrary offline;
    auto& library = *offline.library;
    library.dsPlayLooping(offline.load(sound::test::makeSine(440, 48000, 48000, 2, 0.5)));
    recording::Recorder recorder(library);

    std::optional<std::string> problem = recorder.start(path);
    std::vector<float> heard;
    if (!problem) {
        // Within what the ring holds, however late the writer runs.
        for (int i = 0; i < 10; ++i) {
            const auto period = offline.render(4800);
            heard.insert(heard.end(), period.begin(), period.end());
        }
        problem = recorder.stop();
        // The last frames reach it only once nothing can write them again.
        EXPECT_EQ(recorder.heardFrames(), 48000);
    }
    fullDisk.reset();
    const auto after = offline.render(256); // the device goes on untapped
    EXPECT_GT(sound::test::peak(after, 0, 0, 256), 0.1);
    if (c.fullDisk) {
        ASSERT_TRUE(problem);
        EXPECT_NE(problem->find("large"), std::string::npos) << *problem;
        EXPECT_FALSE(std::filesystem::exists(path)) << "a part of the recording is left";
        return;
    }
    ASSERT_FALSE(problem) << *problem;
    EXPECT_EQ(recorder.droppedFrames(), 0u);
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_TRUE(file);
    std::vector<float> written(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_float(file, written.data(), info.frames);
    sf_close(file);
    ASSERT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, c.sampleFormat);
    ASSERT_EQ(written.size(), heard.size());
    for (std::size_t i = 0; i < heard.size(); ++i)
        ASSERT_NEAR(written[i], heard[i], c.tolerance) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Rows, Recording, testing::ValuesIn(recordCases()),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<float> stereoSine(std::size_t frames) {
    std::vector<float> samples(frames * 2);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const auto sample = 0.5f * static_cast<float>(std::sin(0.03 * static_cast<double>(frame)));
        samples[frame * 2] = samples[frame * 2 + 1] = sample;
    }
    return samples;
}

// The disk fills under the last FLAC block, which only close() writes:
// libsndfile says nothing, and the file would lack its end and its length.
TEST(SoundFileWriter, AFileCutShortAtItsCloseIsRemovedAndCalledFailed) {
    TestFolder folder;
    const std::string path = folder.file("take.flac");
    auto made = recording::SoundFileWriter::create(path, 48000);
    auto& writer = *std::get<std::unique_ptr<recording::SoundFileWriter>>(made);
    const std::vector<float> sine = stereoSine(48000 + 100);
    ASSERT_TRUE(writer.write(sine.data(), sine.size() / 2));
    bool closed = true;
    {
        const FileSizeLimit full(std::filesystem::file_size(path));
        closed = writer.close();
    }
    EXPECT_FALSE(closed);
    EXPECT_NE(writer.error().find("disk"), std::string::npos) << writer.error();
    EXPECT_FALSE(std::filesystem::exists(path));
}

// A WAVE longer than a RIFF header can count (about 3.1 hours of the
// output) is RF64 from its first byte; what fits stays plain RIFF, as
// before; a file already there is never opened, so never cut.
TEST(SoundFileWriter, RiffWhenItFitsRf64PastFourGiBAndNothingOverwritten) {
    TestFolder folder;
    for (const auto& [frames, header] :
         {std::pair<std::int64_t, const char*>{48000LL * 3600 * 3, "RIFF"},
          std::pair<std::int64_t, const char*>{48000LL * 3600 * 4, "RF64"}}) {
        const std::string path = folder.file(std::string(header) + ".wav");
        auto made = recording::SoundFileWriter::create(path, 48000, frames);
        auto& writer = *std::get<std::unique_ptr<recording::SoundFileWriter>>(made);
        const std::vector<float> sine = stereoSine(100);
        ASSERT_TRUE(writer.write(sine.data(), 100));
        ASSERT_TRUE(writer.close()) << writer.error();
        const std::string bytes = readBytes(path);
        EXPECT_EQ(bytes.substr(0, 4), header);
        // No time of writing, which would make two renders differ.
        const std::size_t peak = bytes.find("PEAK");
        if (peak != std::string::npos) {
            EXPECT_EQ(bytes.substr(peak + 12, 4), std::string(4, '\0'));
        }
    }
    writeBytes(folder.file("kept.flac"), "a recording");
    const auto refused = recording::SoundFileWriter::create(folder.file("kept.flac"), 48000);
    ASSERT_TRUE(std::holds_alternative<std::string>(refused));
    EXPECT_EQ(readBytes(folder.file("kept.flac")), "a recording");
}

// A period that does not fit whole is left out and counted; the ring then
// takes periods again once the writer has made room.
TEST(SampleRing, LeavesOutAndCountsAPeriodThatDoesNotFit) {
    recording::SampleRing ring(4);
    const float period[6] = {1, 2, 3, 4, 5, 6};
    float out[8] = {};
    EXPECT_TRUE(ring.push(period, 3));
    EXPECT_FALSE(ring.push(period, 2));
    EXPECT_EQ(ring.droppedFrames(), 2u);
    EXPECT_EQ(ring.pop(out, 4), 3u);
    EXPECT_TRUE(ring.push(period, 3)); // round the end of the buffer
    EXPECT_EQ(ring.pop(out, 4), 3u);
    EXPECT_EQ(std::vector<float>(out, out + 6), std::vector<float>(period, period + 6));
}

} // namespace
} // namespace tremlo::test
