// Game controllers through SDL's real event path, driven by SDL's virtual
// joystick the way the program's test hook drives it: bytes in a FIFO wake
// the source's loop, which hands them to SDL and takes SDL's events back.

#include "controllers.h"
#include "poll_input_loop.h"
#include "recording_buttons.h"
#include "switch_inputs.h"
#include "test_folder.h"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tremlo::input {
namespace {

TEST(ControllerSource, TheVirtualControllerPressesThroughSdlAndReleasesWhenPulledOut) {
    struct Case {
        const char* name;
        const char* bytes; // see controllers.h
        const char* log;
        std::size_t devices; // afterwards
    };
    const Case cases[] = {
        {"press and release", "Aa", "+on -on ", 1},
        {"bound by its GUID", "Bb", "+off -off ", 1},
        {"plugged in after start", "-+A", "+on ", 1},
        {"pulled out while held", "AB-", "+on +off -on -off ", 0},
    };
    test::TestFolder folder;
    const std::string fifo = folder.file("controller");
    for (const Case& c : cases) {
        testing::PollInputLoop loop;
        RecordingButtons buttons;
        SwitchInputs inputs(buttons, nullptr);
        ControllerSource source(loop, inputs, fifo);
        inputs.addSource(kController, source);
        inputs.setBindings({"controller:button 0@",
                            "controller:button 1@" + std::string(kVirtualControllerGuid), "", ""});
        ASSERT_TRUE(loop.runUntil([&] { return !source.devices().empty(); })) << c.name;
        EXPECT_EQ(source.devices()[0].name, "tremolo virtual");
        EXPECT_EQ(source.devices()[0].device, kVirtualControllerGuid);

        const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, c.bytes, std::strlen(c.bytes)),
                  static_cast<ssize_t>(std::strlen(c.bytes)));
        ::close(writer);
        EXPECT_TRUE(loop.runUntil([&] { return buttons.log == c.log; }))
            << c.name << ": " << buttons.log;
        EXPECT_EQ(source.devices().size(), c.devices) << c.name;
    }
}

} // namespace
} // namespace tremlo::input
