// The 録音 command: a recording started again within the second its file is
// named to takes the next number, and the one just saved stays whole.

#include "engine_rig.h"
#include "record_command.h"
#include "test_folder.h"
#include "test_support.h"
#include "virtual_time.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace tremlo::test {
namespace {

struct NoLamp : RecordingLamp {
    void showRecording(bool, std::int64_t, std::int64_t) override {}
};

std::int64_t framesIn(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return -1;
    sf_close(file);
    return info.frames;
}

TEST(RecordCommand, TwoRecordingsInOneSecondKeepBoth) {
    TestFolder folder;
    sound::test::OfflineLibrary offline;
    offline.library->dsPlayLooping(offline.load(sound::test::makeSine(440, 48000, 4800, 2, 0.5)));
    recording::Recorder recorder(*offline.library);
    VirtualTime time;
    NoLamp lamp;
    QuietLoaderViews status;
    const std::time_t sameSecond = 1765270205;
    RecordCommand command(recorder, time, lamp, status, [&](int take) {
        return recordingPathIn(folder.path(), sameSecond, take);
    });
    for (const std::int64_t frames : {9600, 4800}) {
        command.toggle();
        offline.render(static_cast<std::size_t>(frames));
        command.toggle();
    }
    EXPECT_EQ(framesIn(recordingPathIn(folder.path(), sameSecond, 1)), 9600);
    EXPECT_EQ(framesIn(recordingPathIn(folder.path(), sameSecond, 2)), 4800);
    EXPECT_TRUE(status.messages.empty());
}

} // namespace
} // namespace tremlo::test
