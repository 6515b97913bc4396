// The melody shelf: what a playlist yields, how the Melody folders are
// listed, stepping round the ends, and the [Shelf] section across a restart.

#include "engine_rig.h"
#include "melody_shelf.h"
#include "test_folder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tremlo::test {
namespace {

namespace fs = std::filesystem;

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
         "/x/y.wav\nhttp://radio/stream\nfile:///x/%E9%A7%85.wav\n#EXTINF:-1 tvg=\"a\",Z\n",
         {{"/x/y.wav", "y.wav"}, {"/x/駅.wav", "駅.wav"}}},
        {"ShiftJisM3uFromWindowsWithBackslashes",
         "/m/line.M3U",
         "#EXTINF:3,\x93\x8C\x8B\x9E\r\nMelody\\\x89\xD4.wav\r\n",
         {{"/m/Melody/花.wav", "東京"}}},
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
}

TEST_F(MelodyShelfTest, APlaylistAndItsEntryComeBackAfterARestart) {
    const std::string list = folder.file("line.m3u8");
    std::ofstream(list) << "Melody/b.wav\nMelody/a.wav\nMelody/b.wav\n";
    {
        MelodyShelf shelf(ini, {folder.file("Melody")});
        EXPECT_EQ(shelf.restore(), std::nullopt) << "no [Shelf] section: nothing changes";
        EXPECT_FALSE(shelf.openPlaylist(folder.file("missing.m3u")));
        ASSERT_TRUE(shelf.openPlaylist(list));
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

} // namespace
} // namespace tremlo::test
