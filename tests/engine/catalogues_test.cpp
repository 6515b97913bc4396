// The door and environment catalogues built from folders beside the program.

#include "catalogues.h"
#include "engine_rig.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace tremlo::test {
namespace {

namespace fs = std::filesystem;

class CatalogueTest : public ::testing::Test {
protected:
    CatalogueTest()
        : program(fs::temp_directory_path() / ("tremolo-cat-" + std::to_string(::getpid()))),
          loader(rig.state, rig.library(), {rig.view, view, view, view, rig.view}, program.string(),
                 1),
          builder(program.string(), rig.settings, rig.state, rig.library(), loader) {
        fs::create_directories(program);
        fixedDoor = rig.state.DoorBuffer;
    }
    ~CatalogueTest() override { fs::remove_all(program); }

    void tone(const fs::path& path, int ms) { writeTone(path, ms); }

    EngineRig rig{{.capture = false}};
    QuietLoaderViews view;
    fs::path program;
    SoundLoader loader;
    CatalogueBuilder builder;
    SoundHandle fixedDoor = 0;
};

TEST_F(CatalogueTest, EntriesAreSortedAndTheSavedChoiceReplacesTheFixedSound) {
    tone(program / "Door" / "b.wav", 100);
    tone(program / "Door" / "A.wav", 200);
    tone(program / "Door" / "a.wav", 300);
    tone(program / "Door" / "readme.txt", 100);
    tone(program / "Door" / "._a.wav", 100);    // what a Mac leaves beside each file
    tone(program / "Door" / "melody.mid", 100); // no buffer: a door sound is never MIDI
    fs::copy_file(TREMLO_TESTDATA_DIR "/mp3/chime.mp3", program / "Door" / "chime.MP3");
    rig.settings.DoorWAV = "a.wav";
    Catalogue door;
    builder.BuildDoorCatalogue(door);
    EXPECT_EQ(door.entries,
              (std::vector<std::string>{"(標準)", "A.wav", "a.wav", "b.wav", "chime.MP3"}));
    EXPECT_EQ(door.checked, 2u);
    EXPECT_EQ(rig.library().dsGetBufferMSec(rig.state.DoorBuffer), 300);
    EXPECT_EQ(rig.library().dsGetBufferMSec(fixedDoor), 0) << "the replaced fixed sound is freed";
}

TEST_F(CatalogueTest, AChoiceDifferingInCaseOrAbsentKeepsTheStandardSound) {
    tone(program / "Door" / "A.wav", 200);
    for (const std::string& choice :
         std::vector<std::string>{"A.WAV", "gone.wav", "", program.string() + "/Door.wav"}) {
        rig.settings.DoorWAV = choice;
        Catalogue door;
        builder.BuildDoorCatalogue(door);
        EXPECT_EQ(door.entries.size(), 2u);
        EXPECT_EQ(door.checked, 0u) << choice;
        EXPECT_EQ(rig.state.DoorBuffer, fixedDoor) << choice;
    }
    EXPECT_EQ(rig.settings.DoorWAV, program.string() + "/Door.wav") << "the choice itself stays";
}

TEST_F(CatalogueTest, AMissingOrEmptyFolderOffersOnlyTheStandardSound) {
    Catalogue envir;
    builder.BuildEnvirCatalogue(envir);
    EXPECT_EQ(envir.entries, std::vector<std::string>{"(標準)"});
    fs::create_directories(program / "Envir");
    builder.BuildEnvirCatalogue(envir);
    EXPECT_EQ(envir.entries.size(), 1u);
}

TEST_F(CatalogueTest, FolderAndFileNamesMatchWithoutRegardToLetterCase) {
    tone(program / "door" / "CHIME.WAV", 150);
    tone(program / "ENVIR" / "ホーム.wav", 250);
    rig.settings.DoorWAV = "CHIME.WAV";
    rig.settings.EnvirWAV = "ホーム.wav";
    Catalogue door, envir;
    builder.BuildDoorCatalogue(door);
    builder.BuildEnvirCatalogue(envir);
    EXPECT_EQ(door.checked, 1u);
    EXPECT_EQ(rig.library().dsGetBufferMSec(rig.state.DoorBuffer), 150);
    EXPECT_EQ(envir.checked, 1u);
    EXPECT_EQ(rig.library().dsGetBufferMSec(rig.state.EnvirBuffer), 250);
    EXPECT_EQ(resolveInFolder(program.string(), "Envir.WAV"), (program / "Envir.WAV").string())
        << "a name that matches nothing stays as asked";
}

TEST_F(CatalogueTest, AnUnreadableChoiceIsCheckedButSilent) {
    fs::create_directories(program / "Door");
    std::ofstream(program / "Door" / "empty.wav").close();
    rig.settings.DoorWAV = "empty.wav";
    Catalogue door;
    builder.BuildDoorCatalogue(door);
    EXPECT_EQ(door.checked, 1u);
    EXPECT_EQ(rig.state.DoorBuffer, 0);
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST(SortNames, SortsBySixteenBitCodesWhateverTheInput) {
    std::vector<std::string> names{"b.wav", "A.wav",  "a.wav", "駅.wav",
                                   "Z.wav", "_x.wav", "エ.wav"};
    SortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"A.wav", "Z.wav", "_x.wav", "a.wav", "b.wav",
                                               "エ.wav", "駅.wav"}));
    // Beyond the basic plane a character is two codes from 0xD800 on, below
    // the half-width katakana.
    names = {"ｱ.wav", "𠮷.wav", "駅.wav", "ア.wav", "\xE3.wav", "z.wav"};
    SortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"z.wav", "\xE3.wav", "ア.wav", "駅.wav", "𠮷.wav",
                                               "ｱ.wav"}))
        << "a byte that is not UTF-8 counts as itself, without taking the next ones along";
    // Names from other systems' encodings, or cut short: nothing is lost and
    // the order does not depend on the folder's.
    const std::vector<std::string> foreign{"\x83\x41.wav", "b\xE3\x81",        "\xFF.wav", "ÿ.wav",
                                           "\xF0\x9F.wav", "\xED\xA0\x80.wav", "a.wav"};
    auto listed = foreign;
    std::sort(listed.begin(), listed.end());
    auto first = listed;
    SortNames(first);
    EXPECT_TRUE(std::is_permutation(first.begin(), first.end(), foreign.begin()));
    EXPECT_EQ(first.front(), "a.wav");
    while (std::next_permutation(listed.begin(), listed.end())) {
        auto sorted = listed;
        SortNames(sorted);
        ASSERT_EQ(sorted, first);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::string> many(static_cast<std::size_t>(random() % 40));
        for (auto& name : many)
            name = std::string(1 + random() % 3, static_cast<char>('A' + random() % 58));
        auto expected = many;
        std::sort(expected.begin(), expected.end());
        SortNames(many);
        EXPECT_EQ(many, expected);
    }
}

} // namespace
} // namespace tremlo::test
