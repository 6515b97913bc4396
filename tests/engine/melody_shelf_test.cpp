// The melody shelf: what a playlist yields, how the Melody folders are
// listed, stepping round the ends, and the [Shelf] section across a restart.
// Boundary rows sit where a neighbouring value would give another entry.

#include "engine_rig.h"
#include "melody_shelf.h"
#include "test_folder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tremlo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct PlaylistCase {
    const char* name;
    const char* playlistPath;
    std::string bytes;
    std::vector<std::pair<std::string, std::string>> entries; // path, title
};

std::vector<PlaylistCase> playlistCases() {
    return {
        {"ExtendedWithTitlesAndRelativePaths",
         "/m/list/line.m3u8",
         "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:5,品川 1番線\r\n../a/1.wav\r\n\r\n2.mp3\r\n",
         {{"/m/a/1.wav", "品川 1番線"}, {"/m/list/2.mp3", "2.mp3"}}},
        {"AbsolutePathsFileUrlsAndNoOtherUrls",
         "/m/line.m3u",
         "/x/y.wav\nhttp://radio/stream\nfile:///x/%E9%A7%85.wav\n#EXTINF:-1 tvg=\"a\",Z\n"
         "file:///x/%G1%41.wav\n",
         {{"/x/y.wav", "y.wav"}, {"/x/駅.wav", "駅.wav"}, {"/x/%G1A.wav", "Z"}}},
        {"ShiftJisM3uFromWindowsWithBackslashes",
         "/m/line.M3U",
         "#EXTINF:3,\x93\x8C\x8B\x9E\r\nMelody\\\x89\xD4.wav\r\nMelody\\sub/x.wav\r\n",
         {{"/m/Melody/花.wav", "東京"}, {"/m/Melody/sub/x.wav", "x.wav"}}},
        // Not there on this machine: looked for by the file name beside the list.
        {"WindowsDrivesSharesAndFileUrls",
         "/m/list/line.m3u8",
         "C:\\Users\\me\\発車.wav\nd:/a/b.wav\n\\\\srv\\share\\c.wav\nfile:///C:/x/d.wav\n",
         {{"/m/list/発車.wav", "発車.wav"},
          {"/m/list/b.wav", "b.wav"},
          {"/m/list/c.wav", "c.wav"},
          {"/m/list/d.wav", "d.wav"}}},
        // "#EXTINF:1,駅\r\na.wav" as Notepad saves "Unicode", both byte orders.
        {"Utf16LittleEndianWithItsMark",
         "/m/line.m3u",
         "\xFF\xFE#\0E\0X\0T\0I\0N\0F\0:\0001\0,\0\xC5\x99\r\0\n\0a\0.\0w\0a\0v\0"s,
         {{"/m/a.wav", "駅"}}},
        // Each edge of UTF-8's lengths, a character beyond the first plane,
        // lone low surrogates and a high one before a character past them.
        {"Utf16AtTheEdgesOfEachLength",
         "/m/line.m3u",
         "\xFF\xFEx\0\x80\0\xFF\x07\0\x08\x42\xD8\x9F\xDF"
         "\0\xDC\0\xDC\0\xD8\0\xE0.\0w\0a\0v\0"s,
         {{"/m/x\u0080\u07FF\u0800\U00020B9F\uFFFD\uFFFD\uFFFD\uE000.wav",
           "x\u0080\u07FF\u0800\U00020B9F\uFFFD\uFFFD\uFFFD\uE000.wav"}}},
        {"Utf16BigEndianWithItsMark",
         "/m/line.m3u",
         "\xFE\xFF\0#\0E\0X\0T\0I\0N\0F\0:\0001\0,\x99\xC5\0\r\0\n\0a\0.\0w\0a\0v"s,
         {{"/m/a.wav", "駅"}}},
    };
}

void PrintTo(const PlaylistCase& c, std::ostream* out) {
    *out << c.name;
}

class PlaylistTest : public ::testing::TestWithParam<PlaylistCase> {};

TEST_P(PlaylistTest, EntriesComeInTheListsOrder) {
    std::vector<std::pair<std::string, std::string>> got;
    for (const ShelfEntry& entry : parsePlaylist(GetParam().bytes, GetParam().playlistPath))
        got.emplace_back(entry.path, entry.title);
    EXPECT_EQ(got, GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(Playlists, PlaylistTest, ::testing::ValuesIn(playlistCases()),
                         [](const auto& info) { return std::string(info.param.name); });

class MelodyShelfTest : public ::testing::Test {
protected:
    MelodyShelfTest() {
        for (const char* name : {"b.wav", "B.mid", "a.wav", ".hidden.wav", "notes.txt"})
            writeTone(fs::path(folder.file("Melody")) / name, 50);
    }
    std::string melody(const char* name) { return folder.file("Melody") + "/" + name; }
    std::vector<std::string> titles(const MelodyShelf& shelf) {
        std::vector<std::string> out;
        for (const ShelfEntry& entry : shelf.entries())
            out.push_back(entry.title);
        return out;
    }

    TestFolder folder;
    IniProfile ini{folder.file("tremlo.ini")};
};

TEST_F(MelodyShelfTest, TheFolderShelfStepsRoundTheEndsFromTheLoadedMelody) {
    MelodyShelf shelf(ini, {folder.file("Melody"), folder.file("missing")});
    shelf.BuildMelodyShelf();
    EXPECT_EQ(titles(shelf), (std::vector<std::string>{"B.mid", "a.wav", "b.wav"}));
    EXPECT_EQ(shelf.step(-1, ""), melody("b.wav")) << "nothing of the shelf loaded: the last";
    EXPECT_EQ(shelf.step(+1, melody("b.wav")), melody("B.mid"));
    EXPECT_EQ(shelf.step(+1, melody("B.mid")), melody("a.wav"));
    EXPECT_EQ(shelf.positionText(melody("a.wav")), "2/3");
    EXPECT_EQ(shelf.positionText("/elsewhere/a.wav"), "");
    EXPECT_EQ(shelf.choose(3), std::nullopt);
    EXPECT_EQ(ini.readValue("Position"), "") << "the program's own section is not touched";
    EXPECT_EQ(ini.readValue("Position", MelodyShelf::kSection), "2");
    // A run of steps from afar is saved once, when it has settled.
    shelf.holdSaves(true);
    shelf.step(+1, melody("a.wav"));
    shelf.step(+1, melody("b.wav"));
    EXPECT_EQ(ini.readValue("Position", MelodyShelf::kSection), "2");
    shelf.holdSaves(false);
    EXPECT_EQ(ini.readValue("Position", MelodyShelf::kSection), "1");
}

TEST_F(MelodyShelfTest, APlaylistAndItsEntryComeBackAfterARestart) {
    const std::string list = folder.file("line.m3u8");
    std::ofstream(list) << "Melody/b.wav\nMelody/a.wav\nMelody/b.wav\n";
    {
        MelodyShelf shelf(ini, {folder.file("Melody")});
        EXPECT_EQ(shelf.restore(), std::nullopt) << "no [Shelf] section: nothing changes";
        EXPECT_FALSE(shelf.openPlaylist(folder.file("missing.m3u")).opened);
        ASSERT_TRUE(shelf.openPlaylist(list).opened);
        ASSERT_EQ(shelf.choose(2), melody("b.wav"));
        // The same file twice: the one chosen is the loaded one.
        EXPECT_EQ(shelf.positionText(melody("b.wav")), "3/3");
        EXPECT_EQ(shelf.step(+1, melody("b.wav")), melody("b.wav"));
        EXPECT_EQ(shelf.positionText(melody("b.wav")), "1/3");
        ASSERT_EQ(shelf.step(+1, melody("b.wav")), melody("a.wav"));
    }
    MelodyShelf again(ini, {folder.file("Melody")});
    again.BuildMelodyShelf();
    EXPECT_EQ(again.restore(), melody("a.wav"));
    EXPECT_EQ(again.playlist(), list);
    EXPECT_EQ(again.positionText(melody("a.wav")), "2/3");

    fs::remove(list); // a playlist gone leaves the folder shelf and no entry
    MelodyShelf gone(ini, {folder.file("Melody")});
    gone.BuildMelodyShelf();
    EXPECT_EQ(gone.restore(), std::nullopt);
    EXPECT_EQ(gone.entries().size(), 3u);
}

// The folder shelf is B.mid, a.wav, b.wav; -1 for nothing of it loaded.
struct StepCase {
    const char* name;
    int loaded;
    int direction;
    int expected;
    const char* gone = nullptr; // a file removed before the step
};

void PrintTo(const StepCase& c, std::ostream* out) {
    *out << c.name;
}

class ShelfStepTest : public MelodyShelfTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(ShelfStepTest, StepsGoRoundTheEndsAndPassOverGoneFiles) {
    const StepCase& c = GetParam();
    MelodyShelf shelf(ini, {folder.file("Melody")});
    shelf.BuildMelodyShelf();
    if (c.gone)
        fs::remove(melody(c.gone));
    const std::string loaded = c.loaded < 0 ? "" : shelf.entries()[c.loaded].path;
    EXPECT_EQ(shelf.step(c.direction, loaded), shelf.entries()[c.expected].path);
    EXPECT_EQ(ini.readValue("Position", MelodyShelf::kSection), std::to_string(c.expected + 1));
}

INSTANTIATE_TEST_SUITE_P(Steps, ShelfStepTest,
                         ::testing::Values(StepCase{"BackFromTheFirstIsTheLast", 0, -1, 2},
                                           StepCase{"BackFromTheSecondIsTheFirst", 1, -1, 0},
                                           StepCase{"OnFromTheLastIsTheFirst", 2, +1, 0},
                                           StepCase{"OnFromNothingIsTheFirst", -1, +1, 0},
                                           StepCase{"BackFromNothingIsTheLast", -1, -1, 2},
                                           StepCase{"OnPassesOverAGoneFile", 0, +1, 2, "a.wav"},
                                           StepCase{"BackRoundTheEndPassesOverAGoneFile", 0, -1, 1,
                                                    "b.wav"}),
                         [](const auto& info) { return std::string(info.param.name); });

// What a [Shelf] section written earlier brings back on the folder shelf.
struct RestoreCase {
    const char* name;
    const char* section; // "@" stands for the Melody folder
    std::optional<int> expected;
};

void PrintTo(const RestoreCase& c, std::ostream* out) {
    *out << c.name;
}

class ShelfRestoreTest : public MelodyShelfTest,
                         public ::testing::WithParamInterface<RestoreCase> {};

TEST_P(ShelfRestoreTest, TheFileComesBackElseThePosition) {
    std::string section = GetParam().section;
    for (auto at = section.find('@'); at != std::string::npos; at = section.find('@'))
        section.replace(at, 1, folder.file("Melody"));
    std::ofstream(ini.path()) << "[TREMLO 1.10]\nDoor=No\n[Shelf]\n" << section;
    MelodyShelf shelf(ini, {folder.file("Melody")});
    shelf.BuildMelodyShelf();
    const std::optional<std::string> restored = shelf.restore();
    if (GetParam().expected) {
        const std::string& path = shelf.entries()[*GetParam().expected].path;
        EXPECT_EQ(restored, path);
        EXPECT_EQ(shelf.positionText(path), std::to_string(*GetParam().expected + 1) + "/3");
    } else {
        EXPECT_EQ(restored, std::nullopt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Restores, ShelfRestoreTest,
    ::testing::Values(
        RestoreCase{"TheLastPosition", "Position=3\n", 2},
        RestoreCase{"PastTheEnd", "Position=4\n", std::nullopt},
        RestoreCase{"BeforeTheFirst", "Position=0\n", std::nullopt},
        RestoreCase{"BeforeTheFirstWithAFileGone", "Position=0\nFile=@/gone.wav\n", std::nullopt},
        RestoreCase{"TheFirstPosition", "Position=1\n", 0},
        // A file added to the folder moved the entry on by one.
        RestoreCase{"TheFileWinsOverItsOldPosition", "Position=1\nFile=@/a.wav\n", 1},
        RestoreCase{"TheFileAlone", "File=@/b.wav\n", 2},
        RestoreCase{"AFileGoneFallsBackToThePosition", "Position=3\nFile=@/gone.wav\n", 2},
        RestoreCase{"NothingKept", "Playlist=\n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// Opening a playlist: what is refused leaves the shelf as it was; what is
// cut or missing is told.
struct OpenCase {
    const char* name;
    std::string bytes;
    bool opened;
    std::size_t entries; // on the shelf afterwards (3: the folder shelf)
    const char* told;    // a part of the message, or "" for none
    mode_t kind = S_IFREG;
    const char* fileName = "line.m3u";
};

void PrintTo(const OpenCase& c, std::ostream* out) {
    *out << c.name;
}

std::string manyLines(std::size_t count, const std::string& line) {
    std::string text;
    for (std::size_t k = 0; k < count; ++k)
        text += line;
    return text;
}

class PlaylistOpenTest : public MelodyShelfTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(PlaylistOpenTest, OnlyARegularFileWithAMelodyThereBecomesTheShelf) {
    const OpenCase& c = GetParam();
    const std::string list = folder.file(c.fileName);
    if (c.kind == S_IFIFO)
        ASSERT_EQ(::mkfifo(list.c_str(), 0600), 0); // opened to read, it would wait for a writer
    else
        writeBytes(list, c.bytes);
    MelodyShelf shelf(ini, {folder.file("Melody")});
    shelf.BuildMelodyShelf();
    const std::size_t revision = shelf.revision();
    const PlaylistOutcome outcome = shelf.openPlaylist(c.kind == S_IFCHR ? "/dev/zero" : list);
    EXPECT_EQ(outcome.opened, c.opened);
    EXPECT_EQ(shelf.entries().size(), c.entries);
    EXPECT_EQ(shelf.revision() != revision, c.opened);
    if (*c.told == '\0')
        EXPECT_EQ(outcome.message, "");
    else
        EXPECT_NE(outcome.message.find(c.told), std::string::npos) << outcome.message;
}

INSTANTIATE_TEST_SUITE_P(
    Opens, PlaylistOpenTest,
    ::testing::Values(
        OpenCase{"AllThere", "Melody/a.wav\nMelody/b.wav\n", true, 2, ""},
        OpenCase{"AFifo", "", false, 3, "読み込めませんでした", S_IFIFO},
        OpenCase{"ADevice", "", false, 3, "読み込めませんでした", S_IFCHR},
        OpenCase{"Empty", "", false, 3, "読み込めるメロディがありません"},
        OpenCase{"OnlyUrls", "http://radio/a.mp3\n", false, 3, "読み込めるメロディがありません"},
        OpenCase{"NoneThere", "gone.wav\nnotes.txt\n", false, 3, "gone.wav"},
        OpenCase{"SomeGone", "gone.wav\nMelody/a.wav\n", true, 2, "gone.wav"},
        OpenCase{"AStationSetOfNothingPlayable",
                 R"({"tremolo-stations": 1, "lines": [{"name": "L", "stations": [{"name": "S",
                     "platforms": [{"name": "1", "melody": "Melody/notes.txt"}]}]}]})",
                 false, 3, "読み込めるメロディがありません", S_IFREG, "line.stations.json"},
        OpenCase{"AWindowsPathFoundByItsTail", "C:\\Station\\Melody\\b.wav\n", true, 1, ""},
        // Each line names a melody that is there; the shelf stops at its limit.
        OpenCase{"OneEntryTooMany", manyLines(kMaxShelfEntries + 1, "Melody/a.wav\n"), true,
                 kMaxShelfEntries, "最初の 2000 曲"},
        OpenCase{"AsManyEntriesAsItTakes", manyLines(kMaxShelfEntries, "Melody/a.wav\n"), true,
                 kMaxShelfEntries, ""},
        // A comment long enough that the entry after it ends at the byte
        // limit, or one byte past it, where its line may be cut in two.
        OpenCase{"AsLongAsItTakes",
                 "#" + std::string(kMaxPlaylistBytes - 15, '-') + "\nMelody/a.wav\n", true, 1, ""},
        OpenCase{"OneByteTooLong",
                 "#" + std::string(kMaxPlaylistBytes - 14, '-') + "\nMelody/a.wav\n", false, 3,
                 "読み込めるメロディがありません"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::test
