// The recorder on an offline device: the file holds what the device got,
// and a disk that refuses it ends the recording with a reason.

#include "recorder.h"
#include "test_folder.h"
#include "test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace tremlo::test {
namespace {

struct RecordCase {
    const char* name;
    const char* fileName;
    bool fullDisk;
    // Largest difference from what the device got: none for float WAVE,
    // half a 24-bit step for FLAC.
    double tolerance;
};

std::vector<RecordCase> recordCases() {
    return {
        {"FloatWaveBitForBit", "take.wav", false, 0.0},
        {"FlacTo24Bits", "take.flac", false, 0.5 / 8388608.0},
        {"FlacOnAFullDisk", "take.flac", true, 0.0},
        {"WaveOnAFullDisk", "TAKE.WAV", true, 0.0},
    };
}

class Recording : public testing::TestWithParam<RecordCase> {};

TEST_P(Recording, HoldsWhatTheDeviceGotOrSaysWhy) {
    const RecordCase& c = GetParam();
    TestFolder folder;
    const std::string path = folder.file(c.fileName);
    if (c.fullDisk)
        std::filesystem::create_symlink("/dev/full", path);
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
    const auto after = offline.render(256); // the device goes on untapped
    EXPECT_GT(sound::test::peak(after, 0, 0, 256), 0.1);
    if (c.fullDisk) {
        ASSERT_TRUE(problem);
        EXPECT_NE(problem->find("space"), std::string::npos) << *problem;
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
    ASSERT_EQ(written.size(), heard.size());
    for (std::size_t i = 0; i < heard.size(); ++i)
        ASSERT_NEAR(written[i], heard[i], c.tolerance) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Rows, Recording, testing::ValuesIn(recordCases()),
                         [](const auto& info) { return std::string(info.param.name); });

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
