// The settings file on disk: what a read finds, what a write keeps, and that
// writes replace the file whole even with a second instance at work.

#include "ini_profile.h"
#include "test_folder.h"
#include "text_encoding.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace tremlo::test {
namespace {

class IniProfileTest : public ::testing::Test {
protected:
    TestFolder folder;
    std::string path = folder.file("tremlo.ini");
    IniProfile ini{path};
};

// The file starts with an empty line, so the line ending is judged at its
// very first byte.
TEST_F(IniProfileTest, ReadsTheFirstMatchingKeyOfTheSectionTrimmedAndWithoutCase) {
    writeBytes(path, "\n[Other]\nDoorDelay=1\n"
                     "[tremlo 1.10]\n"
                     "; a comment\n"
                     "  doordelay \t=  1500 \n"
                     "DOORDELAY=9\n"
                     "DefDir=/a b/\n"
                     "[Next]\nNoise=Yes\n");
    EXPECT_EQ(ini.readValue("DoorDelay"), "1500");
    EXPECT_EQ(ini.readValue("DefDir"), "/a b/");
    EXPECT_EQ(ini.readValue("Noise"), "");
    EXPECT_EQ(ini.readValue("TopMost"), "");
}

TEST_F(IniProfileTest, MissingFileReadsEmptyAndIsNotCreated) {
    EXPECT_EQ(ini.readValue("DoorDelay"), "");
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(IniProfileTest, FirstWriteMakesTheSectionWithLfEndings) {
    ASSERT_TRUE(ini.writeValue("XPosR", "0.3000000"));
    ASSERT_TRUE(ini.writeValues({{"Door", "Yes"}, {"XPosR", "0.5000000"}}));
    EXPECT_EQ(readBytes(path), "[TREMLO 1.10]\nXPosR=0.5000000\nDoor=Yes\n");
    // New files are as readable as the user's umask makes any other file.
    const mode_t umask = ::umask(0);
    ::umask(umask);
    for (const std::string& made : {path, ini.lockPath()}) {
        struct stat st {};
        ASSERT_EQ(::stat(made.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666u & ~umask) << made;
    }
}

TEST_F(IniProfileTest, WriteTouchesOnlyItsKeysAndKeepsCrlf) {
    writeBytes(path, "[Before]\r\nDoor=No\r\n\r\n"
                     "[TREMLO 1.10]\r\n"
                     "; kept\r\n"
                     " door = No \r\n"
                     "Mystery=42\r\n"
                     "\r\n"
                     "[After]\r\nX=1");
    ASSERT_TRUE(ini.writeValues({{"Door", "Yes"}, {"Noise", "No"}}));
    EXPECT_EQ(readBytes(path), "[Before]\r\nDoor=No\r\n\r\n"
                               "[TREMLO 1.10]\r\n"
                               "; kept\r\n"
                               "Door=Yes\r\n"
                               "Mystery=42\r\n"
                               "Noise=No\r\n"
                               "\r\n"
                               "[After]\r\nX=1\r\n");
}

TEST_F(IniProfileTest, AppendsTheSectionAfterOthers) {
    writeBytes(path, "\xEF\xBB\xBF[Other]\nA=1\n");
    ASSERT_TRUE(ini.writeValue("Door", "Yes"));
    EXPECT_EQ(readBytes(path), "\xEF\xBB\xBF[Other]\nA=1\n\n[TREMLO 1.10]\nDoor=Yes\n");
    EXPECT_EQ(ini.readValue("door"), "Yes");
}

// The shelf's own section leaves the program's keys, their order and forms,
// as they are, and a key of the same name in either section is its own.
TEST_F(IniProfileTest, ASectionOfItsOwnKeepsTheProgramsSectionIntact) {
    const std::string program = "[TREMLO 1.10]\r\nDoor=Yes\r\nPosition=7\r\n";
    writeBytes(path, program);
    EXPECT_EQ(ini.readValue("Position", "Shelf"), "");
    ASSERT_TRUE(ini.writeValues({{"Playlist", "/m/a.m3u"}, {"Position", "3"}}, "Shelf"));
    ASSERT_TRUE(ini.writeValues({{"Position", "4"}}, "Shelf"));
    EXPECT_EQ(readBytes(path), program + "\r\n[Shelf]\r\nPlaylist=/m/a.m3u\r\nPosition=4\r\n");
    EXPECT_EQ(ini.readValue("Position"), "7");
    EXPECT_EQ(ini.readValue("position", "shelf"), "4");
    ASSERT_TRUE(ini.writeValue("Door", "No"));
    EXPECT_EQ(ini.readValue("Playlist", "Shelf"), "/m/a.m3u");
}

TEST_F(IniProfileTest, LongValuesReadWhole) {
    const std::string longPath = "/" + std::string(400, 'x') + "/melody.wav";
    ASSERT_TRUE(ini.writeValue("DefDir", longPath));
    EXPECT_EQ(ini.readValue("DefDir"), longPath);
}

TEST_F(IniProfileTest, ShiftJisFileReadsAndIsRewrittenAsUtf8) {
    const std::string utf8 = "[TREMLO 1.10]\r\n; 発車メロディ\r\nDoorWAV=/音/ドア.wav\r\n";
    writeBytes(path, toCp932(utf8));
    EXPECT_EQ(ini.readValue("DoorWAV"), "/音/ドア.wav");
    ASSERT_TRUE(ini.writeValue("Door", "Yes"));
    EXPECT_EQ(readBytes(path), utf8 + "Door=Yes\r\n");
}

// What passes for UTF-8 decides whether a file is read as Shift-JIS: each
// row sits at an edge of a lead or continuation byte's range.
TEST(TextEncoding, StrictUtf8AtEachEdgeAndShiftJisOtherwise) {
    const struct {
        const char* bytes;
        bool utf8;
    } rows[] = {
        {"\x7F", true},
        {"\xC1\xBF", false},
        {"\xC2\x80", true},
        {"\xDF\xBF", true},
        {"\xC2\x7F", false},
        {"\xC2\xC0", false},
        {"\xE0\x9F\xBF", false},
        {"\xE0\xA0\x80", true},
        {"\xED\x9F\xBF", true},
        {"\xED\xA0\x80", false},
        {"\xEF\xBF\xBF", true},
        {"\xE1\x80\x7F", false},
        {"\xE1\x80", false},
        {"\xF0\x8F\xBF\xBF", false},
        {"\xF0\x90\x80\x80", true},
        {"\xF4\x8F\xBF\xBF", true},
        {"\xF4\x90\x80\x80", false},
        {"\xF5\x80\x80\x80", false},
        {"\xF1\x80\x80\xC0", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(isValidUtf8(row.bytes), row.utf8) << testing::PrintToString(row.bytes);
    EXPECT_EQ(readableText("\x94\xad\x8e\xd4"), "発車");
    EXPECT_EQ(readableText("\x81 x"), "\xEF\xBF\xBD x");
}

TEST_F(IniProfileTest, WriteReplacesTheFileByRenameAndKeepsItsMode) {
    writeBytes(path, "[TREMLO 1.10]\nDoor=No\n");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    writeBytes(path + ".tmp", "left by a crash");

    ASSERT_TRUE(ini.writeValue("Door", "Yes"));
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"tremlo.ini", "tremlo.ini.lock"}));
}

// The remote-control token lets another computer press the switch: a file
// that holds it is readable by its owner only, new or not, and a stricter
// mode stays.
TEST_F(IniProfileTest, AFileWithATokenIsTheOwnersOnly) {
    const auto modeAfter = [&](std::optional<mode_t> before, const std::string& token) {
        std::filesystem::remove(path);
        if (before) {
            writeBytes(path, "[TREMLO 1.10]\nDoor=No\n");
            ::chmod(path.c_str(), *before);
        }
        EXPECT_TRUE(ini.writeValues({{"Token", token}}, "Remote"));
        struct stat after {};
        EXPECT_EQ(::stat(path.c_str(), &after), 0);
        return after.st_mode & 0777;
    };
    EXPECT_EQ(modeAfter(std::nullopt, "q3Xv0Jr8cW1tZk7nB2mA5g"), 0600u);
    EXPECT_EQ(modeAfter(0644, "q3Xv0Jr8cW1tZk7nB2mA5g"), 0600u);
    EXPECT_EQ(modeAfter(0640, "q3Xv0Jr8cW1tZk7nB2mA5g"), 0600u);
    EXPECT_EQ(modeAfter(0644, ""), 0644u);
}

TEST_F(IniProfileTest, RefusedWritesLeaveTheFileAlone) {
    writeBytes(path, "[TREMLO 1.10]\nDoor=No\n");
    EXPECT_FALSE(ini.writeValue("DefDir", "/caf\xE9"));
    EXPECT_FALSE(ini.writeValue("A=B", "1"));
    EXPECT_FALSE(ini.writeValue("", "1"));
    EXPECT_EQ(readBytes(path), "[TREMLO 1.10]\nDoor=No\n");

    writeBytes(folder.file("file"), "");
    IniProfile underAFile(folder.file("file/tremlo.ini"));
    EXPECT_FALSE(underAFile.writeValue("Door", "Yes"));
}

TEST_F(IniProfileTest, ALinkIsWrittenThroughAndAReadOnlyFileIsLeftAlone) {
    const std::string target = folder.file("real.ini");
    writeBytes(target, "[TREMLO 1.10]\nDoor=No\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    std::filesystem::create_directory(folder.file("sub"));
    std::filesystem::create_symlink("../real.ini", folder.file("sub/middle.ini"));
    std::filesystem::create_symlink("sub/middle.ini", path);

    ASSERT_TRUE(ini.writeValue("Door", "Yes"));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("sub/middle.ini")));
    EXPECT_EQ(readBytes(target), "[TREMLO 1.10]\nDoor=Yes\n");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // No write permission for anyone: refused even when run as root.
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_FALSE(ini.writeValue("Door", "No"));
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, st.st_ino);
    EXPECT_EQ(readBytes(target), "[TREMLO 1.10]\nDoor=Yes\n");

    // A link to a file not made yet makes it.
    std::filesystem::remove(path);
    std::filesystem::create_symlink("new.ini", path);
    ASSERT_TRUE(ini.writeValue("Door", "Yes"));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(readBytes(folder.file("new.ini")), "[TREMLO 1.10]\nDoor=Yes\n");
}

TEST_F(IniProfileTest, TwoProfilesOnOneFileKeepEachOthersKeys) {
    IniProfile other(path);
    ASSERT_TRUE(ini.writeValue("XPosR", "0.1000000"));
    ASSERT_TRUE(other.writeValue("YPosR", "0.2000000"));
    ASSERT_TRUE(ini.writeValue("XPosR", "0.3000000"));
    ASSERT_TRUE(other.writeValues({{"Door", "No"}, {"YPosR", "0.4000000"}}));
    EXPECT_EQ(ini.readValue("XPosR"), "0.3000000");
    EXPECT_EQ(ini.readValue("YPosR"), "0.4000000");
    EXPECT_EQ(other.readValue("Door"), "No");
}

TEST_F(IniProfileTest, ConcurrentWritersLoseNoKey) {
    constexpr int kKeys = 40;
    const auto writer = [this](const std::string& prefix) {
        IniProfile own(path);
        for (int i = 0; i < kKeys; ++i)
            own.writeValue(prefix + std::to_string(i), std::to_string(i));
    };
    std::thread a(writer, "A"), b(writer, "B");
    a.join();
    b.join();
    for (int i = 0; i < kKeys; ++i) {
        EXPECT_EQ(ini.readValue("A" + std::to_string(i)), std::to_string(i));
        EXPECT_EQ(ini.readValue("B" + std::to_string(i)), std::to_string(i));
    }
}

} // namespace
} // namespace tremlo::test
