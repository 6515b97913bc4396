// Station set files, good and bad: what each gives, and the message that
// refuses each bad one.

#include "station_set.h"
#include "test_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tremlo::test {
namespace {

constexpr const char* kFolder = "/packs/山手線";

// A set of one line, one station and one platform with `fields`.
std::string onePlatform(const std::string& fields, const std::string& extra = {}) {
    return R"({"tremolo-stations": 1,)" + extra + R"( "lines": [{"name": "山手線", "stations": [
        {"name": "品川", "platforms": [{)" +
           fields + "}]}]}]}";
}

Platform plain(std::string melody = std::string(kFolder) + "/m.wav") {
    Platform p;
    p.name = "1番線";
    p.melody = std::move(melody);
    return p;
}

Platform with(Platform p, void (*change)(Platform&)) {
    change(p);
    return p;
}

constexpr const char* kWhere = "山手線 ▸ 品川 ▸ 1番線 の ";
const std::string kNamed = R"("name": "1番線", "melody": "m.wav")";

struct Case {
    const char* name;
    std::string bytes;
    std::string message;           // empty: the file is a set
    std::optional<Platform> first; // its first platform
};

std::vector<Case> cases() {
    const std::string deep(100000, '[');
    const std::string big =
        onePlatform(kNamed, R"( "notes": ")" + std::string(10 << 20, 'x') + "\",");
    std::string many = R"({"tremolo-stations": 1, "lines": [{"name": "L", "stations": [{"name": "S",
        "platforms": [)";
    for (std::size_t k = 0; k <= kMaxPlatforms; ++k)
        many += std::string(k ? "," : "") + R"({"name": "p", "melody": "m.wav"})";
    many += "]}]}]}";
    return {
        {"EveryKey", onePlatform(R"("name": "1番線", "melody": "melodies/shinagawa-1.mp3",
             "door": "door/mind.wav", "ambience": "../envir/品川.ogg", "effect": "tachikawa",
             "pan": "left", "volume": {"melody": 100, "door": 80, "ambience": 60, "click": 0,
             "noise": 50.0})"),
         "",
         with(plain(std::string(kFolder) + "/melodies/shinagawa-1.mp3"),
              [](Platform& p) {
                  p.door = SoundChoice{std::string(kFolder) + "/door/mind.wav"};
                  p.ambience = SoundChoice{"/packs/envir/品川.ogg"};
                  p.effect = PlatformEffect::Tachikawa;
                  p.pan = PlatformPan::Left;
                  p.volume = {100, 80, 60, 0, 50};
              })},
        {"OnlyRequiredKeysKeepTheUsersChoices", onePlatform(kNamed), "", plain()},
        {"NullsAreNone", onePlatform(kNamed + R"(, "door": null, "ambience": null, "effect": "none",
             "pan": "centre", "volume": {"door": 10})"),
         "",
         with(plain(),
              [](Platform& p) {
                  p.door = SoundChoice{};
                  p.ambience = SoundChoice{};
                  p.effect = PlatformEffect::None;
                  p.pan = PlatformPan::Centre;
                  p.volume[1] = 10;
              })},
        {"AbsolutePathsStay", onePlatform(R"("name": "1番線", "melody": "/srv/m.wav")"), "",
         plain("/srv/m.wav")},
        {"UnknownKeysAreIgnored",
         onePlatform(kNamed + R"(, "chime": "x.wav", "volume": {"bell": 5})", R"( "author": 3,)"),
         "", plain()},
        {"ByteOrderMark", "\xEF\xBB\xBF" + onePlatform(kNamed), "", plain()},
        {"TenMegabytes", big, "", plain()},
        {"HigherVersion",
         R"({"tremolo-stations": 2, "lines": 7})",
         "この駅セットは新しい形式 (版 2) で書かれています。このプログラムが読めるのは版 1 "
         "までです。新しいトレモロで開いてください。",
         {}},
        {"NoVersion",
         R"({"lines": []})",
         "駅セットのファイルではありません (\"tremolo-stations\" がありません)。",
         {}},
        {"VersionAsText",
         R"({"tremolo-stations": "1", "lines": []})",
         "\"tremolo-stations\" は 1 以上の整数でなければなりません。",
         {}},
        {"NotAnObject",
         "[1]",
         "駅セットのファイルではありません (全体が JSON のオブジェクトではありません)。",
         {}},
        {"LinesNotAnArray",
         R"({"tremolo-stations": 1, "lines": {}})",
         "駅セット の \"lines\" は配列でなければなりません。",
         {}},
        {"NoPlatforms",
         R"({"tremolo-stations": 1, "lines": [{"name": "L", "stations": []}]})",
         "駅セットにホームが一つもありません。",
         {}},
        {"StationWithoutName",
         R"({"tremolo-stations": 1, "lines": [{"name": "L", "stations": [{"platforms": []}]}]})",
         "L ▸ 駅 1 の \"name\" がありません。",
         {}},
        {"PlatformNotAnObject",
         R"({"tremolo-stations": 1, "lines": [{"name": "L", "stations": [{"name": "S",
             "platforms": ["m.wav"]}]}]})",
         "L ▸ S ▸ ホーム 1 はオブジェクトでなければなりません。",
         {}},
        {"NoMelody",
         onePlatform(R"("name": "1番線", "door": null)"),
         std::string(kWhere) + "\"melody\" がありません。",
         {}},
        {"NoPlatformName",
         onePlatform(R"("melody": "m.wav")"),
         "山手線 ▸ 品川 ▸ ホーム 1 の \"name\" がありません。",
         {}},
        {"MelodyNotText",
         onePlatform(R"("name": "1番線", "melody": 5)"),
         std::string(kWhere) + "\"melody\" は文字列でなければなりません。",
         {}},
        {"EmptyMelody",
         onePlatform(R"("name": "1番線", "melody": "")"),
         std::string(kWhere) + "\"melody\" が空です。",
         {}},
        {"DoorNotAFile",
         onePlatform(kNamed + R"(, "door": false)"),
         std::string(kWhere) + "\"door\" はファイル名か null でなければなりません。",
         {}},
        {"UnknownEffect",
         onePlatform(kNamed + R"(, "effect": "fade")"),
         std::string(kWhere) + "\"effect\" は \"none\"、\"tokyo\"、\"tachikawa\"、\"urawa\" "
                               "のどれかでなければなりません。",
         {}},
        {"PanNotText",
         onePlatform(kNamed + R"(, "pan": 1)"),
         std::string(kWhere) +
             "\"pan\" は \"centre\"、\"left\"、\"right\" のどれかでなければなりません。",
         {}},
        {"VolumeAboveFull",
         onePlatform(kNamed + R"(, "volume": {"melody": 101})"),
         std::string(kWhere) + "\"volume.melody\" は 0 から 100 までの整数でなければなりません。",
         {}},
        {"VolumeFraction",
         onePlatform(kNamed + R"(, "volume": {"noise": 50.5})"),
         std::string(kWhere) + "\"volume.noise\" は 0 から 100 までの整数でなければなりません。",
         {}},
        {"VolumeAsText",
         onePlatform(kNamed + R"(, "volume": {"door": "80"})"),
         std::string(kWhere) + "\"volume.door\" は 0 から 100 までの整数でなければなりません。",
         {}},
        {"VolumeNotAnObject",
         onePlatform(kNamed + R"(, "volume": 80)"),
         std::string(kWhere) + "\"volume\" はオブジェクトでなければなりません。",
         {}},
        {"TooManyPlatforms", many, "駅セットのホームが多すぎます (2000 まで)。", {}},
        {"Empty", "", "1 行 1 列: JSON の書き方が正しくありません。", {}},
        {"TrailingComma",
         "{\n  \"lines\": [1,]\n}",
         "2 行 15 列: JSON の書き方が正しくありません。",
         {}},
        {"ColumnsCountCharacters",
         "{\"駅\": 品川}",
         "1 行 7 列: JSON の書き方が正しくありません。",
         {}},
        {"NotUtf8",
         "{\"name\": \"\x95\x69\"}",
         "1 行 11 列: JSON の書き方が正しくありません。",
         {}},
        {"DeepNesting", deep, "1 行 65 列: 入れ子が深すぎます。", {}},
        {"DeepNestingInsideTextIsText",
         "{\"a\": \"" + deep + "\"}",
         "駅セットのファイルではありません (\"tremolo-stations\" がありません)。",
         {}},
    };
}

TEST(StationSet, ParsesGoodFilesAndNamesTheFaultOfBadOnes) {
    for (const Case& row : cases()) {
        SCOPED_TRACE(row.name);
        const StationSetOutcome outcome = parseStationSet(row.bytes, kFolder);
        EXPECT_EQ(outcome.message, row.message);
        ASSERT_EQ(outcome.set.has_value(), row.message.empty());
        if (row.first) {
            EXPECT_EQ(outcome.set->at(outcome.set->places().front()), *row.first);
        }
    }
}

// The files a set names are looked for relative to it; null names none.
TEST(StationSet, RefusesASetNamingAFileThatIsNotThere) {
    TestFolder folder;
    writeBytes(folder.file("m.wav"), "RIFF");
    writeBytes(folder.file("door.wav"), "RIFF");
    const struct {
        const char* fields;
        const char* message;
    } rows[] = {
        {R"("door": "door.wav", "ambience": null)", ""},
        {R"("door": "gone.wav")", "\"door\" のファイル '"},
        {R"("ambience": "gone.ogg")", "\"ambience\" のファイル '"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fields);
        writeBytes(folder.file("a.stations.json"), onePlatform(kNamed + ", " + row.fields));
        const StationSetOutcome outcome = loadStationSet(folder.file("a.stations.json"));
        EXPECT_EQ(outcome.set.has_value(), std::string(row.message).empty());
        EXPECT_NE(outcome.message.find(row.message), std::string::npos) << outcome.message;
        if (!outcome.set) {
            EXPECT_TRUE(outcome.message.starts_with(kWhere)) << outcome.message;
        }
    }
}

// The pack the build makes beside the program: every file it names is there
// and its three platforms stand in line ▸ station order.
TEST(StationSet, TheExamplePackLoadsWhole) {
    const StationSetOutcome outcome = loadStationSet(TREMLO_EXAMPLE_PACK);
    ASSERT_TRUE(outcome.set) << outcome.message;
    std::vector<std::string> titles;
    for (const PlatformPlace& place : outcome.set->places()) {
        titles.push_back(outcome.set->title(place));
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"鐘ヶ丘 1番線", "鐘ヶ丘 2番線", "松原 1番線"}));
}

// A platform added to a set lands under its line and station by name, the
// rest of the file kept; a write refused leaves the old file whole, and only
// a new set is made where there is none.
TEST(StationSet, AddsAPlatformAndKeepsTheRestOfTheFile) {
    const struct {
        const char* name;
        std::optional<std::string> existing; // nullopt: no file yet
        const char* line;
        bool refuseWrite;                // the temporary file cannot be made
        std::vector<std::string> titles; // empty: refused
        std::size_t stations;            // in the whole set after
        const char* written;             // found in the file after
        AddTo mode = AddTo::ExistingSet;
    } rows[] = {
        {"new set",
         std::nullopt,
         "山手線",
         false,
         {"品川 2番線"},
         1,
         R"("melody": "m.wav")",
         AddTo::NewSet},
        {"open set gone", std::nullopt, "山手線", false, {}, 0, ""},
        {"same station",
         onePlatform(kNamed),
         "山手線",
         false,
         {"品川 1番線", "品川 2番線"},
         1,
         R"("door": "/elsewhere/door.wav")"},
        {"new line",
         onePlatform(kNamed),
         "京浜東北線",
         false,
         {"品川 1番線", "品川 2番線"},
         2,
         R"("name": "京浜東北線")"},
        {"unknown keys",
         onePlatform(kNamed + R"(, "note": "x")", R"( "author": "y",)"),
         "山手線",
         false,
         {"品川 1番線", "品川 2番線"},
         1,
         R"("author": "y")"},
        {"bad file", R"({"tremolo-stations": 1, "lines": []})", "山手線", false, {}, 0, ""},
        {"refused write", onePlatform(kNamed), "山手線", true, {}, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestFolder folder;
        const std::string path = folder.file("a.stations.json");
        writeBytes(folder.file("m.wav"), "RIFF");
        if (row.existing)
            writeBytes(path, *row.existing);
        if (row.refuseWrite)
            std::filesystem::create_directory(path + ".tmp");
        Platform added = plain(folder.file("m.wav"));
        added.name = "2番線";
        added.door = SoundChoice{"/elsewhere/door.wav"};
        added.ambience = SoundChoice{};
        added.volume[0] = 80;

        const std::string message = addPlatformToFile(path, row.line, "品川", added, row.mode);

        if (row.titles.empty()) {
            EXPECT_FALSE(message.empty());
            if (row.existing)
                EXPECT_EQ(readBytes(path), *row.existing);
            else
                EXPECT_FALSE(std::filesystem::exists(path) ||
                             std::filesystem::exists(path + ".lock"));
            continue;
        }
        const std::string after = readBytes(path);
        ASSERT_EQ(message, "");
        EXPECT_NE(after.find(row.written), std::string::npos) << after;
        const StationSetOutcome outcome = parseStationSet(after, folder.path());
        ASSERT_TRUE(outcome.set) << outcome.message;
        std::vector<std::string> titles;
        for (const PlatformPlace& place : outcome.set->places())
            titles.push_back(outcome.set->title(place));
        EXPECT_EQ(titles, row.titles);
        std::size_t stations = 0;
        for (const Line& line : outcome.set->lines)
            stations += line.stations.size();
        EXPECT_EQ(stations, row.stations);
        EXPECT_EQ(outcome.set->at(outcome.set->places().back()), added);
    }
}

// A set is written as the settings file is: through a link to the set it
// leads to, with its permissions, never over a read-only file, never making
// again a set or folder that has gone, and under a lock, so that programs
// adding at once all keep their platforms. Its relative sounds are beside the
// set, wherever a link to it stands.
TEST(StationSet, AnAddRespectsLinksModesAndOtherWriters) {
    namespace fs = std::filesystem;
    TestFolder folder;
    fs::create_directories(folder.file("pack"));
    writeBytes(folder.file("pack/m.wav"), "RIFF");
    const std::string real = folder.file("pack/a.stations.json");
    const std::string link = folder.file("a.stations.json");
    fs::create_symlink("pack/a.stations.json", link);
    const auto add = [&](const std::string& path, const char* name) {
        Platform added = plain(folder.file("pack/m.wav"));
        added.name = name;
        return addPlatformToFile(path, "山手線", "品川", added, AddTo::ExistingSet);
    };
    const auto platforms = [&] {
        const StationSetOutcome outcome = loadStationSet(link);
        EXPECT_TRUE(outcome.set) << outcome.message;
        return outcome.set ? outcome.set->places().size() : 0;
    };
    writeBytes(real, onePlatform(kNamed));
    fs::permissions(real, fs::perms(0600));

    EXPECT_EQ(add(link, "2番線"), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(platforms(), 2u) << "through the link, the sounds beside the set";
    EXPECT_NE(readBytes(real).find(R"("melody": "m.wav")"), std::string::npos);
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0600));

    fs::permissions(real, fs::perms(0444));
    const std::string before = readBytes(real);
    EXPECT_NE(add(link, "3番線").find("読み取り専用"), std::string::npos);
    EXPECT_EQ(readBytes(real), before);
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0444));
    fs::permissions(real, fs::perms(0644));

    std::vector<std::thread> writers;
    std::vector<std::string> refusals(2);
    for (std::size_t w = 0; w < 2; ++w)
        writers.emplace_back([&, w] {
            for (int k = 0; k < 10; ++k)
                refusals[w] += add(w == 0 ? link : real, "増設");
        });
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(refusals, std::vector<std::string>(2));
    EXPECT_EQ(platforms(), 22u) << "no writer lost another's platform";

    fs::rename(folder.file("pack"), folder.file("moved"));
    EXPECT_NE(add(link, "4番線").find("見つかりません"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder.file("pack")));
}

} // namespace
} // namespace tremlo::test
