// Offline render: the script, and the switch's timeline on what is rendered.

#include "commands.h"
#include "offline_render.h"
#include "render_script.h"
#include "test_folder.h"
#include "test_support.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace tremlo::test {
namespace {

using A = ScriptAction;

struct ScriptCase {
    const char* name;
    std::string text;
    // Each event as its frame at 48 kHz and action; or the error's line and
    // a word of its reason.
    std::vector<std::pair<std::int64_t, A>> events;
    int errorLine = 0;
    const char* errorWord = "";
};

std::vector<ScriptCase> scriptCases() {
    return {
        {"AVideoWithCommentsBomAndCrLf",
         "\xEF\xBB\xBF# seconds action\r\n0.500 press on\r\n\r\n0.62\trelease   on # held\r\n"
         "8 press off\n8.100 release off\n8.100 next\n9.000000001 previous\n12.000 end\n",
         {{24000, A::PressOn},
          {29760, A::ReleaseOn},
          {384000, A::PressOff},
          {388800, A::ReleaseOff},
          {388800, A::Next},
          {432000, A::Previous},
          {576000, A::End}}},
        // Either side of half a frame (0.0000104166… s).
        {"RoundsToTheNearestFrame",
         "0.000010416 press on\n0.000010417 release on\n0.000031249 end\n",
         {{0, A::PressOn}, {1, A::ReleaseOn}, {1, A::End}}},
        {"LoadsRelativeToTheScriptKeepingBlanksAndHashesInNames",
         "1 load  my melody#2.wav  # the second\n1 load /abs/x.mid\n2 end\n",
         {{48000, A::Load}, {48000, A::Load}, {96000, A::End}}},
        {"UnknownActionNamesItsLine", "0 press on\n1 press middle\n2 end\n", {}, 2, "unknown"},
        {"TimesGoingBack", "0 press on\n2 press off\n1.999 release off\n3 end\n", {}, 3, "back"},
        {"MissingFile", "0 load gone.wav\n1 end\n", {}, 1, "gone.wav"},
        {"SomethingAfterEnd", "1 end\n2 press on\n", {}, 2, "follow"},
        {"NoEnd", "1 press on\n# done\n", {}, 3, "end"},
        {"EmptyScript", "", {}, 1, "end"},
        {"SignedTime", "-1 press on\n1 end\n", {}, 1, "time"},
        {"ExponentTime", "1e3 end\n", {}, 1, "time"},
        {"BareDot", "1. end\n", {}, 1, "time"},
        {"TenDecimals", "0.0000000001 end\n", {}, 1, "time"},
        {"LongerThanADay", "86400.000000001 end\n", {}, 1, "24 hours"},
        {"LoadWithoutPath", "0 load\n1 end\n", {}, 1, "unknown"},
    };
}

class Script : public testing::TestWithParam<ScriptCase> {};

TEST_P(Script, ParsesOrNamesTheLine) {
    const ScriptCase& c = GetParam();
    const auto exists = [](const std::string& path) {
        return path.find("gone") == std::string::npos;
    };
    const ParsedScript parsed = parseRenderScript(c.text, "/s", exists);
    if (c.errorLine != 0) {
        ASSERT_TRUE(std::holds_alternative<ScriptError>(parsed));
        const ScriptError& error = std::get<ScriptError>(parsed);
        EXPECT_EQ(error.line, c.errorLine);
        EXPECT_NE(error.message("a.txt").find(c.errorWord), std::string::npos)
            << error.message("a.txt");
        return;
    }
    ASSERT_TRUE(std::holds_alternative<RenderScript>(parsed))
        << std::get<ScriptError>(parsed).message("a.txt");
    const RenderScript& script = std::get<RenderScript>(parsed);
    ASSERT_EQ(script.size(), c.events.size());
    for (std::size_t i = 0; i < script.size(); ++i) {
        EXPECT_EQ(frameAt(script[i].timeNs, 48000), c.events[i].first) << i;
        EXPECT_EQ(script[i].action, c.events[i].second) << i;
    }
    if (script.front().action == A::Load) {
        EXPECT_EQ(script[0].path, "/s/my melody#2.wav");
        EXPECT_EQ(script[1].path, "/abs/x.mid");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Script, testing::ValuesIn(scriptCases()),
                         [](const auto& info) { return std::string(info.param.name); });

constexpr int kRate = 48000;
constexpr double kDoorLevel = 0.25;
constexpr std::int64_t kDoorFrames = kRate / 2;

constexpr std::int64_t kEnvirFrames = 14400;

// The melody and the ambience are ramps, so that each of their samples tells
// its place; the ambience's are small enough not to be taken for another.
double melodySample(std::int64_t frame) {
    return 0.05 + 0.1 * static_cast<double>(frame % kRate) / kRate;
}
double envirSample(std::int64_t frame) {
    return 0.01 * static_cast<double>(frame % kEnvirFrames) / kEnvirFrames;
}

void writeSound(const std::string& path, std::int64_t frames,
                const std::function<double(std::int64_t)>& sample, int rate = kRate) {
    const auto wave = sound::test::makeWave(
        rate, 1, 32, frames, [&](std::int64_t i, int) { return sample(i); }, true);
    writeBytes(path, std::string_view(reinterpret_cast<const char*>(wave.data()), wave.size()));
}

std::vector<float> readStereo(const std::string& path, int* rate = nullptr) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return {};
    if (rate)
        *rate = info.samplerate;
    std::vector<float> samples(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

// A program folder with a door announcement of a steady level, an ambience
// and a ten second melody, and the settings of a row (the first of a key
// counts, so a row's come before the quiet defaults).
struct RenderRig {
    explicit RenderRig(const std::string& settings, int melodyRate = kRate, int doorRate = kRate,
                       const std::string& volumes = "") {
        writeSound(
            folder.file("door.wav"), kDoorFrames, [](std::int64_t) { return kDoorLevel; },
            doorRate);
        writeSound(folder.file("melody.wav"), 10 * kRate, melodySample, melodyRate);
        writeSound(folder.file("envir.wav"), kEnvirFrames, envirSample);
        writeBytes(folder.file("tremlo.ini"), "[TREMLO 1.10]\n" + settings +
                                                  "UseEnvir=No\nPlayClickSound=No\n" +
                                                  (volumes.empty() ? "" : "[Volume]\n" + volumes));
        job.outputPath = folder.file("out.wav");
        job.melodyPath = folder.file("melody.wav");
        job.settingsPath = folder.file("tremlo.ini");
        job.programFolder = folder.path();
        job.rate = kRate;
    }
    std::optional<std::string> render(const std::string& script) {
        job.scriptPath = folder.file("script.txt");
        writeBytes(job.scriptPath, script);
        return renderPerformance(job, {});
    }
    TestFolder folder;
    RenderJob job;
};

// What sounds in [from, to): the melody from its frame `melodyFrom` on
// (none when negative), the door or neither.
struct Stretch {
    std::int64_t from, to;
    std::int64_t melodyFrom;
    bool door;
};

struct TimelineCase {
    const char* name;
    std::string settings;
    std::vector<Stretch> stretches;
    bool ambience = false;    // looping from the first frame, under everything
    const char* volumes = ""; // the [Volume] section
    int melodyPercent = 100, doorPercent = 100;
};

double gainOf(int percent) {
    return std::pow(10.0, volumeLevel(percent) / 2000.0);
}

// ON at 0.5 s, OFF at 8 s: the door timer fires DoorDelay + 1 ms after OFF.
const char* const kVideo =
    "0.500 press on\n0.620 release on\n8 press off\n8.1 release off\n10 end\n";
constexpr std::int64_t kOn = 24000, kOff = 384000, kDoor = kOff + 62448; // 1.301 s

std::vector<TimelineCase> timelineCases() {
    return {
        {"MelodyFromOnStopAtOffDoorAfterItsDelay",
         "DoorDelay=1300\n",
         {{0, kOn, -1, false},
          {kOn, kOff, 0, false},
          {kOff, kDoor, -1, false},
          {kDoor, kDoor + kDoorFrames, -1, true},
          {kDoor + kDoorFrames, 10 * kRate, -1, false}}},
        // The Tokyo effect starts the melody 170 ms in.
        {"TokyoSkipsTheMelodysHead",
         "DoorDelay=1300\nEffectTokyo=Yes\n",
         {{0, kOn, -1, false}, {kOn, kOff, 8160, false}, {kOff, kDoor, -1, false}}},
        {"NoDoor", "Door=No\n", {{kOff, 10 * kRate, -1, false}}},
        {"VolumesAsALiveRunPlaysThem",
         "DoorDelay=1300\n",
         {{kOn, kOff, 0, false}, {kDoor, kDoor + kDoorFrames, -1, true}},
         false,
         "Melody=10\nDoor=40\n",
         10,
         40},
        // The run-out would go on to 10.4 s, the door after it.
        {"ARunOutEndsWithThePerformance",
         "DoorDelay=1300\nEffectTachikawa=Yes\n",
         {{0, kOn, -1, false}, {kOn, kOff, 0, false}}},
        // Its loop points fall on every 14,400th frame, without a seam.
        {"AmbienceLoopsUnderTheMelody",
         "UseEnvir=Yes\nDoor=No\n",
         {{0, kOn, -1, false}, {kOn, kOff, 0, false}, {kOff, 10 * kRate, -1, false}},
         true},
    };
}

class RenderTimeline : public testing::TestWithParam<TimelineCase> {};

TEST_P(RenderTimeline, EveryStretchToTheSampleAndTheSameBytesTwice) {
    const TimelineCase& c = GetParam();
    RenderRig rig(c.settings, kRate, kRate, c.volumes);
    ASSERT_EQ(rig.render(kVideo), std::nullopt);
    const std::vector<float> out = readStereo(rig.job.outputPath);
    ASSERT_EQ(out.size(), std::size_t{10} * kRate * 2);
    for (const Stretch& s : c.stretches) {
        for (std::int64_t f = s.from; f < s.to; ++f) {
            const double melody = s.melodyFrom < 0 ? 0.0
                                                   : gainOf(c.melodyPercent) *
                                                         melodySample(f - s.from + s.melodyFrom);
            const double want = melody + (s.door ? gainOf(c.doorPercent) * kDoorLevel : 0.0) +
                                (c.ambience ? envirSample(f) : 0.0);
            ASSERT_NEAR(out[static_cast<std::size_t>(f) * 2], want, 1e-6) << "frame " << f;
        }
    }
    const std::string first = readBytes(rig.job.outputPath);
    ASSERT_EQ(rig.render(kVideo), std::nullopt);
    EXPECT_TRUE(readBytes(rig.job.outputPath) == first) << "a second render differs";
}

INSTANTIATE_TEST_SUITE_P(Rows, RenderTimeline, testing::ValuesIn(timelineCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct RateCase {
    const char* name;
    int melodyRate, doorRate;
    int wantRate;
};

class RenderRate : public testing::TestWithParam<RateCase> {};

// A render without a rate is made at the sounds' own rate when it is 44.1 kHz
// for all of them, else at 48 kHz; either way the events land on their
// frames, and a melody at the output's rate is copied sample for sample.
TEST_P(RenderRate, TheSoundsSharedRateElse48k) {
    const RateCase& c = GetParam();
    RenderRig rig("DoorDelay=1300\n", c.melodyRate, c.doorRate);
    rig.job.rate = 0;
    ASSERT_EQ(rig.render(kVideo), std::nullopt);
    int rate = 0;
    const std::vector<float> out = readStereo(rig.job.outputPath, &rate);
    ASSERT_EQ(rate, c.wantRate);
    ASSERT_EQ(out.size(), std::size_t{10} * static_cast<std::size_t>(rate) * 2);
    if (c.melodyRate != rate)
        return;
    const std::int64_t on = rate / 2;
    EXPECT_EQ(out[static_cast<std::size_t>(on - 1) * 2], 0.0f);
    for (std::int64_t f = on; f < on + 1000; ++f)
        ASSERT_NEAR(out[static_cast<std::size_t>(f) * 2], melodySample(f - on), 1e-6) << f;
}

INSTANTIATE_TEST_SUITE_P(Rows, RenderRate,
                         testing::Values(RateCase{"AllAtCdRate", 44100, 44100, 44100},
                                         RateCase{"AllAt48k", 48000, 48000, 48000},
                                         // Heard only after OFF, so found late.
                                         RateCase{"DoorAtAnotherRate", 44100, 48000, 48000},
                                         RateCase{"AllAt32k", 32000, 32000, 48000}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    std::string script;
    std::function<void(RenderRig&)> arrange;
    const char* word; // of the refusal
};

std::vector<RefusalCase> refusalCases() {
    const std::string play = "0 press on\n1 end\n";
    return {
        {"ABadScript", "0 press on\n1 load gone.wav\n2 end\n", {}, "script.txt:2:"},
        {"ANamedSettingsFileThatIsNotThere", play,
         [](RenderRig& rig) {
             rig.job.settingsPath = rig.folder.file("gone.ini");
             rig.job.settingsNamed = true;
         },
         "gone.ini: no such"},
        // Refused once the part file is there.
        {"AMelodyThatCannotBeLoaded", play,
         [](RenderRig& rig) { writeBytes(rig.job.melodyPath, "not a sound"); }, ""},
        // Asked while it renders, when the folder must hold nothing of the
        // output; were it otherwise the render would not stop.
        {"AStopAsked", play,
         [](RenderRig& rig) {
             rig.job.stopRequested = [&rig] {
                 return std::distance(std::filesystem::directory_iterator(rig.folder.path()), {}) ==
                        6;
             };
         },
         "stopped"},
        // No process has the number: the highest pid_max is 2^22.
        {"AFolderOfARenderKilledOutright", play,
         [](RenderRig& rig) {
             const std::string left = rig.folder.file("tmp/tremolo-render-2147483647-x2Lk9q");
             std::filesystem::create_directory(left);
             writeBytes(left + "/tremlo.ini", "[TREMLO 1.10]\n");
             rig.job.stopRequested = [] { return true; };
         },
         "stopped"},
    };
}

class RenderRefusal : public testing::TestWithParam<RefusalCase> {};

// A render that cannot run to its end leaves nothing: no output, no part of
// one and no private folder.
TEST_P(RenderRefusal, LeavesNothing) {
    const RefusalCase& c = GetParam();
    RenderRig rig("");
    const std::string temporary = rig.folder.file("tmp");
    std::filesystem::create_directory(temporary);
    const char* const outerTemporary = std::getenv("TMPDIR");
    const std::string outer = outerTemporary ? outerTemporary : "";
    ::setenv("TMPDIR", temporary.c_str(), 1);
    if (c.arrange)
        c.arrange(rig);
    const auto problem = rig.render(c.script);
    outerTemporary ? ::setenv("TMPDIR", outer.c_str(), 1) : ::unsetenv("TMPDIR");
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find(c.word), std::string::npos) << *problem;
    EXPECT_FALSE(std::filesystem::exists(rig.job.outputPath));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.folder.path()), {}), 6);
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
}

INSTANTIATE_TEST_SUITE_P(Rows, RenderRefusal, testing::ValuesIn(refusalCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A playlist or a station set, given as the melody or loaded by the script,
// becomes the shelf and its first melody plays, as after a drop.
TEST(RenderShelf, APlaylistOrAStationSetOpensAsADropOpensIt) {
    RenderRig rig("");
    writeBytes(rig.folder.file("list.m3u8"), "melody.wav\n");
    writeBytes(rig.folder.file("set.stations.json"),
               R"({"tremolo-stations": 1, "lines": [{"name": "L", "stations": [{"name": "S",
                   "platforms": [{"name": "1", "melody": "melody.wav"}]}]}]})");
    for (const auto& [melody, load] :
         {std::pair{"list.m3u8", ""}, std::pair{"", "0 load set.stations.json\n"}}) {
        rig.job.melodyPath = *melody ? rig.folder.file(melody) : "";
        ASSERT_EQ(rig.render(std::string(load) + kVideo), std::nullopt) << melody << load;
        const std::vector<float> out = readStereo(rig.job.outputPath);
        ASSERT_EQ(out.size(), std::size_t{10} * kRate * 2);
        EXPECT_NEAR(out[static_cast<std::size_t>(kOn + 100) * 2], melodySample(100), 1e-6)
            << melody << load;
    }
}

} // namespace
} // namespace tremlo::test
