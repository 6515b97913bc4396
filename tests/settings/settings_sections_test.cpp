// The sections of their own beside the program's: each key is written to
// and read from its own section, under its own name, and nowhere else.

#include "settings_store.h"
#include "test_folder.h"

#include <array>
#include <gtest/gtest.h>

namespace tremlo::test {
namespace {

struct SectionKey {
    const char* section;
    const char* key;
    const char* text; // a value no other key has
};

// Every key of every section but the program's.
constexpr SectionKey kSectionKeys[] = {
    {"Input", "OnInput", "serial:DSR@/dev/ttyUSB0"},
    {"Input", "OffInput", "midi:note 60@Keystation 49"},
    {"Input", "GlobalOnKey", "Ctrl+Shift+F9"},
    {"Input", "GlobalOffKey", "Meta+F10"},
    {"Shelf", "Playlist", "/home/駅員/発車 メロディ.m3u8"},
    {"Shelf", "Position", "12"},
    {"Shelf", "File", "/home/駅員/品川 1番線.wav"},
    {"Shelf", "Platform", "山手線 ▸ 品川 ▸ 1番線"},
    {"Volume", "Melody", "50"},
    {"Volume", "Door", "0"},
    {"Volume", "Ambience", "61"},
    {"Volume", "Click", "99"},
    {"Volume", "Noise", "7"},
    {"Remote", "Osc", "Yes"},
    {"Remote", "OscPort", "9123"},
    {"Remote", "Web", "Yes"},
    {"Remote", "WebPort", "8123"},
    {"Remote", "Lan", "Yes"},
    {"Remote", "Token", "q3Xv0Jr8cW1tZk7nB2mA5g"},
    {"Interface", "Language", "English"},
};

TEST(SettingsSections, EveryKeyIsWrittenToAndReadFromItsOwnSection) {
    TestFolder folder;
    IniProfile ini(folder.file("tremlo.ini"));
    SettingsStore store(ini, folder.path());
    // The program's section and a stranger hold every name with another
    // value, so a key looked for in the wrong section reads that one.
    std::string decoys;
    for (const auto& row : kSectionKeys)
        decoys += std::string(row.key) + "=decoy\n";
    writeBytes(ini.path(), "[TREMLO 1.10]\n" + decoys + "[Inputs]\n" + decoys);

    const InputSettings input{kSectionKeys[0].text, kSectionKeys[1].text, kSectionKeys[2].text,
                              kSectionKeys[3].text};
    const ShelfSettings shelf{kSectionKeys[4].text, 12, kSectionKeys[6].text, kSectionKeys[7].text};
    ASSERT_TRUE(store.saveInput(input));
    const VolumeSettings volume{50, 0, 61, 99, 7};
    ASSERT_TRUE(store.saveVolume(volume));
    const RemoteSettings remote{true, 9123, true, 8123, true, kSectionKeys[18].text};
    ASSERT_TRUE(store.saveShelf(shelf));
    ASSERT_TRUE(store.saveRemote(remote));
    const InterfaceSettings interface { kSectionKeys[19].text };
    ASSERT_TRUE(store.saveInterface(interface));
    for (const auto& row : kSectionKeys) {
        EXPECT_EQ(ini.readValue(row.key, row.section), row.text) << row.section << " " << row.key;
        EXPECT_EQ(ini.readValue(row.key), "decoy") << row.key;
        EXPECT_EQ(ini.readValue(row.key, "Inputs"), "decoy") << row.key;
    }
    EXPECT_EQ(store.loadInput(), input);
    EXPECT_EQ(store.loadShelf(), shelf);
    EXPECT_EQ(store.loadVolume(), volume);
    EXPECT_EQ(store.loadRemote(), remote);
    EXPECT_EQ(store.loadInterface(), interface);

    // A file without the sections reads as none, whatever the program's
    // section holds.
    writeBytes(ini.path(), "[TREMLO 1.10]\n" + decoys);
    EXPECT_EQ(store.loadInput(), InputSettings{});
    EXPECT_EQ(store.loadShelf(), ShelfSettings{});
    EXPECT_EQ(store.loadVolume(), VolumeSettings{});
    EXPECT_EQ(store.loadRemote(), RemoteSettings{});
    EXPECT_EQ(store.loadInterface(), InterfaceSettings{});
}

struct VolumeCase {
    const char* name;
    const char* keys;                                    // of [Volume]
    std::array<std::int32_t, kVolumeSoundCount> percent; // in VolumeSound order
};

class VolumeRead : public testing::TestWithParam<VolumeCase> {};

// Each sound reads its own key, and a value outside 0 to 100 is the nearer
// end, whoever wrote the file.
TEST_P(VolumeRead, EachSoundItsOwnKeyWithinZeroToHundred) {
    const VolumeCase& c = GetParam();
    TestFolder folder;
    IniProfile ini(folder.file("tremlo.ini"));
    writeBytes(ini.path(), std::string("[Volume]\n") + c.keys);
    const VolumeSettings volume = SettingsStore(ini, folder.path()).loadVolume();
    for (std::size_t k = 0; k < kVolumeSoundCount; ++k)
        EXPECT_EQ(volume.percent(static_cast<VolumeSound>(k)), c.percent[k]) << "sound " << k;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VolumeRead,
    testing::Values(VolumeCase{"EachSoundItsOwnKey",
                               "Melody=1\nDoor=2\nAmbience=3\nClick=4\nNoise=5\n",
                               {1, 2, 3, 4, 5}},
                    VolumeCase{"AboveFullIsFull", "Melody=150\n", {100, 100, 100, 100, 100}},
                    VolumeCase{"BelowSilenceIsSilence", "Door=-5\n", {100, 0, 100, 100, 100}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tremlo::test
