// Loading and saving the record through the settings file: defaults, the
// forms values are written in, forgiving reads, and what a save must keep.

#include "settings_file.h"
#include "settings_store.h"
#include "still_windows.h"
#include "test_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>
#include <unistd.h>

namespace tremlo::test {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    TestFolder folder;
    std::string path = folder.file("tremlo.ini");
    IniProfile ini{path};
    std::string programFolder = "/opt/tremlo";
    Settings loaded;

    LoadedSettingsFile loadFile(std::string_view text) {
        writeBytes(path, text);
        return readSettingsFile(ini, loaded, programFolder);
    }
};

// Every saved field through its saved form, and the three only read.
void expectSameSettings(const Settings& a, const Settings& b) {
    EXPECT_EQ(settingsFileEntries(a, 0, 0), settingsFileEntries(b, 0, 0));
    EXPECT_EQ(a.SetFreqSldMin, b.SetFreqSldMin);
    EXPECT_EQ(a.SetFreqSldMax, b.SetFreqSldMax);
    EXPECT_EQ(a.SetFreqCoefficient, b.SetFreqCoefficient);
}

TEST_F(SettingsFileTest, NoFileGivesTheDefaultsAndCreatesNothing) {
    const auto position = readSettingsFile(ini, loaded, programFolder);
    expectSameSettings(loaded, defaultSettings(programFolder));
    EXPECT_EQ(loaded.DoorDelay, 1300);
    EXPECT_EQ(loaded.DoorWAV, "/opt/tremlo/Door.wav");
    EXPECT_DOUBLE_EQ(position.XPosR, 0.3);
    EXPECT_DOUBLE_EQ(position.YPosR, 0.3);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(SettingsFileTest, SaveWritesTheKeysInOrderAndForm) {
    Settings s = defaultSettings("/opt/tremlo");
    s.DoorDelay = -20;
    s.AddOnButtonKeyCode = 221;
    ASSERT_TRUE(writeSettingsFile(ini, s, 0.3, -0.25));
    EXPECT_EQ(readBytes(path), "[TREMLO 1.10]\nXPosR=0.3000000\nYPosR=-0.2500000\nTopMost=Yes\n"
                               "UsePanel=Yes\nFixWindowPos=No\nEffectTokyo=No\n"
                               "EffectTachikawa=No\nEffectUrawa=No\nDoor=Yes\nDoorDelay=-20\n"
                               "DoorThreshold=500\nDoorCut=No\nDoorATOS=Yes\nNoise=No\n"
                               "UseEnvir=Yes\nDefExt=0\nDefDir=/opt/tremlo\n"
                               "DoorWAV=/opt/tremlo/Door.wav\nEnvirWAV=/opt/tremlo/Envir.wav\n"
                               "PlayClickSound=Yes\nNoLockOnButton=No\nAutoPlayAtDrop=No\n"
                               "AddOnButtonKeyCode=221\nAddOffButtonKeyCode=40\nShiftForce=Yes\n");
}

// On Wayland the program cannot learn where its window is: the place stored
// by a run that could (X11, XWayland) survives, and a file without one gets
// the defaults' place.
TEST_F(SettingsFileTest, APlaceTheWindowSystemCannotTellKeepsTheStoredOne) {
    SettingsStore store(ini, programFolder);
    StillWindows windows;
    const Settings s = defaultSettings(programFolder);
    for (const auto& [stored, said, expectedX, expectedY] :
         {std::tuple("XPosR=0.5\nYPosR=0.4\n", std::optional<std::pair<double, double>>(),
                     "0.5000000", "0.4000000"),
          std::tuple("", std::optional<std::pair<double, double>>(), "0.3000000", "0.3000000"),
          std::tuple("XPosR=0.5\nYPosR=0.4\n", std::optional(std::pair(0.25, 0.75)), "0.2500000",
                     "0.7500000")}) {
        writeBytes(path, std::string("[TREMLO 1.10]\n") + stored);
        windows.place = said;
        ASSERT_TRUE(store.SaveSettings(s, windows));
        EXPECT_EQ(ini.readValue("XPosR"), expectedX) << stored;
        EXPECT_EQ(ini.readValue("YPosR"), expectedY) << stored;
    }
}

// A door sound named in Shift-JIS, chosen from the menu, must not cost the
// window position and every option at the next start.
TEST_F(SettingsFileTest, AValueTheFileCannotHoldKeepsItsStoredValueAndTheRestAreSaved) {
    writeBytes(path, "[TREMLO 1.10]\nDoorWAV=old.wav\nDefDir=/music\nTopMost=Yes\n");
    Settings s = defaultSettings(programFolder);
    s.DoorWAV = "\x94\xad\x8e\xd4.wav";
    s.DefDir = "/a\nNoise=Yes";
    s.TopMost = false;
    s.AddOffButtonKeyCode = 226;
    EXPECT_FALSE(writeSettingsFile(ini, s, 0.5, 0.25));
    EXPECT_EQ(ini.readValue("DoorWAV"), "old.wav");
    EXPECT_EQ(ini.readValue("DefDir"), "/music");
    EXPECT_EQ(ini.readValue("Noise"), "No");
    EXPECT_EQ(ini.readValue("TopMost"), "No");
    EXPECT_EQ(ini.readValue("XPosR"), "0.5000000");
    EXPECT_EQ(ini.readValue("AddOffButtonKeyCode"), "226");
    EXPECT_EQ(ini.readValue("ShiftForce"), "Yes");
}

TEST_F(SettingsFileTest, SaveThenLoadGivesTheSameRecord) {
    Settings s = defaultSettings(programFolder);
    s.TopMost = s.Door = s.DoorATOS = s.UsePanel = s.ShiftForce = false;
    s.EffectUrawa = s.Noise = s.FixWindowPos = s.NoLockOnButton = s.AutoPlayAtDrop = true;
    s.DoorDelay = 32767;
    s.DoorThreshold = 0;
    s.DefExt = 3;
    s.DefDir = "/home/駅員/メロディ " + std::string(300, 'p');
    s.DoorWAV = "/tmp/door = closing.wav";
    s.AddOffButtonKeyCode = -1;
    ASSERT_TRUE(writeSettingsFile(ini, s, 0.125, 0.75));
    const auto position = readSettingsFile(ini, loaded, "/elsewhere");
    expectSameSettings(loaded, s);
    EXPECT_DOUBLE_EQ(position.XPosR, 0.125);
    EXPECT_DOUBLE_EQ(position.YPosR, 0.75);
}

TEST_F(SettingsFileTest, UnknownLinesAndHandSetKeysSurviveASave) {
    const std::string kept = "[Mine]\nA=b\n\n[TREMLO 1.10]\n; my notes\nSetFreqSldMin=-12\n"
                             "SetFreqSldMax=12\nSetFreqCoefficient=1.05946309435930\nFuture=1\n";
    loadFile(kept);
    EXPECT_EQ(loaded.SetFreqSldMin, -12);
    EXPECT_DOUBLE_EQ(loaded.SetFreqCoefficient, 1.0594630943593);
    ASSERT_TRUE(writeSettingsFile(ini, loaded, 0.3, 0.3));
    EXPECT_EQ(readBytes(path).substr(0, kept.size()), kept);
}

TEST_F(SettingsFileTest, ShiftJisPathsLoadAndSaveAsUtf8) {
    loadFile(toCp932("[TREMLO 1.10]\r\nDoorWAV=/home/駅員/ドア閉.wav\r\nDoor=no\r\n"));
    EXPECT_EQ(loaded.DoorWAV, "/home/駅員/ドア閉.wav");
    EXPECT_EQ(loaded.Door, false);
    ASSERT_TRUE(writeSettingsFile(ini, loaded, 0.3, 0.3));
    const std::string saved = readBytes(path);
    EXPECT_NE(saved.find("DoorWAV=/home/駅員/ドア閉.wav\r\nDoor=No\r\n"), std::string::npos);
    EXPECT_EQ(saved.find("\n\n"), std::string::npos);
}

struct ValueCase {
    const char* name;
    const char* line;
    int expected; // 1 for a true flag; the integer fields held 777 before the load
};

int fieldNamedIn(const Settings& s, std::string_view line) {
    const std::string_view key = line.substr(0, line.find('='));
    if (key == "DoorDelay")
        return s.DoorDelay;
    if (key == "DoorThreshold")
        return s.DoorThreshold;
    if (key == "DefExt")
        return s.DefExt;
    if (key == "SetFreqSldMin")
        return s.SetFreqSldMin;
    if (key == "TopMost")
        return s.TopMost;
    if (key == "FixWindowPos")
        return s.FixWindowPos;
    return s.EffectTokyo;
}

class ValueReadingTest : public SettingsFileTest,
                         public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueReadingTest, ReadsIntoItsField) {
    loaded.DoorDelay = loaded.DoorThreshold = loaded.DefExt = 777;
    loaded.SetFreqSldMin = 777;
    loadFile(std::string("[TREMLO 1.10]\r\n") + GetParam().line + "\r\n");
    EXPECT_EQ(fieldNamedIn(loaded, GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueReadingTest,
    ::testing::Values(ValueCase{"TopMostUpper", "TopMost=YES", 1},
                      ValueCase{"TopMostNo", "TopMost=nO", 0},
                      ValueCase{"TopMostOneIsDefault", "TopMost=1", 1},
                      ValueCase{"TopMostTrueIsDefault", "TopMost=true", 1},
                      ValueCase{"FixWindowPosOneIsDefault", "FixWindowPos=1", 0},
                      ValueCase{"FixWindowPosYes", "FixWindowPos=Yes", 1},
                      ValueCase{"EffectTokyoOnIsDefault", "EffectTokyo=on", 0},
                      ValueCase{"NotANumber", "DoorDelay=abc", 0},
                      ValueCase{"NumberThenText", "DoorDelay=12abc", 12},
                      ValueCase{"NegativeRaisedToZero", "DoorDelay=-5", 0},
                      ValueCase{"NegativeThresholdRaisedToZero", "DoorThreshold=-1", 0},
                      ValueCase{"TooLargeKeepsPrior", "DoorDelay=40000", 777},
                      ValueCase{"HalfDownToEven", "DoorDelay=1300.5", 1300},
                      ValueCase{"HalfUpToEven", "DoorDelay=1301.5", 1302},
                      ValueCase{"RoundsUpToOverflow", "DoorDelay=32767.5", 777},
                      ValueCase{"Exponent", "DoorDelay=2.5e2", 250},
                      ValueCase{"DanglingExponent", "DoorDelay=7e+", 7},
                      ValueCase{"SignedExponent", "DoorDelay=2.5e+2", 250},
                      ValueCase{"PlusSign", "DefExt=+2", 2},
                      ValueCase{"CommaIsNoPoint", "DefExt=2,9", 2},
                      ValueCase{"BeyondDoubleKeepsPrior", "DoorDelay=1e999", 777},
                      ValueCase{"TinyIsZero", "DoorDelay=1e-999", 0},
                      ValueCase{"BeyondInt32KeepsPrior", "SetFreqSldMin=-2147483649", 777},
                      ValueCase{"Int32Edge", "SetFreqSldMin=-2147483648", -2147483647 - 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadNumber, ReadsTheLeadingDecimalNumber) {
    EXPECT_EQ(readNumber("0.3000000"), 0.3);
    EXPECT_EQ(readNumber("-.5x"), -0.5);
    EXPECT_EQ(readNumber("5.e3"), 5.0);
    EXPECT_EQ(readNumber("1.5.5"), 1.5);
    EXPECT_EQ(readNumber("."), 0.0);
    EXPECT_EQ(readNumber("-"), 0.0);
    EXPECT_EQ(readNumber(""), 0.0);
    EXPECT_EQ(readNumber("0x10"), 0.0);
    EXPECT_EQ(readNumber("0.000e400"), 0.0);
    EXPECT_EQ(readNumber("0.01e309"), 1e307);
    EXPECT_EQ(readNumber("-1e400"), std::nullopt);
}

TEST(SettingsFilePath, ProgramFolderOrConfigFallback) {
    TestFolder program, config;
    EXPECT_EQ(settingsFilePath(program.path(), config.path()), program.file("tremlo.ini"));
    EXPECT_EQ(settingsFilePath(program.path() + "/", config.path()), program.file("tremlo.ini"));
    EXPECT_EQ(settingsFilePath("/no/such/folder", config.path()), config.file("tremlo.ini"));
    if (::access("/", W_OK) == 0) {
        EXPECT_EQ(settingsFilePath("/", config.path()), "/tremlo.ini");
    }
    // An installed program folder stays as installed, even for root, who could
    // write it.
    for (const std::string installed : {"/usr/lib", "/usr/local/../lib", "/opt"})
        EXPECT_EQ(settingsFilePath(installed, config.path()), config.file("tremlo.ini"))
            << installed;
    writeBytes(program.file("TREMLO.INI"), "");
    writeBytes(program.file("Tremlo.ini"), "");
    EXPECT_EQ(settingsFilePath(program.path(), config.path()), program.file("TREMLO.INI"));
}

TEST(SettingsFilePath, UserFoldersFollowXdg) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/x/conf", 1);
    EXPECT_EQ(userConfigFolder(), "/x/conf/tremolo");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) {
        EXPECT_EQ(userConfigFolder(), home + "/.config/tremolo");
    }
    if (saved)
        ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    // The music folder, from user-dirs.dirs as xdg-user-dirs writes it.
    const std::pair<const char*, const char*> music[] = {
        {"XDG_DESKTOP_DIR=\"$HOME/x\"\n  XDG_MUSIC_DIR=\"$HOME/Musik\"\n", "/h/Musik"},
        {"XDG_MUSIC_DIR=\"$HOME/a\"\nXDG_MUSIC_DIR=\"/data/music/\"\n", "/data/music"},
        {"", "/h/Music"},
        {"XDG_MUSIC_DIR=\"$HOME/\"\n", "/h/Music"}, // switched off
        {"XDG_MUSIC_DIR=\"music\"\n", "/h/Music"},
        {"XDG_MUSIC_DIR=\"/open\n", "/h/Music"},
    };
    for (const auto& [userDirs, folder] : music)
        EXPECT_EQ(musicFolderOf(userDirs, "/h"), folder) << userDirs;
}

} // namespace
} // namespace tremlo::test
