// Game controllers through SDL's real event path, driven by SDL's virtual
// joystick the way the program's test hook drives it: bytes in a FIFO wake
// the source's loop, which hands them to SDL and takes SDL's events back.

#include "controllers.h"
#include "engine_rig.h"
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

void writeFifo(const std::string& fifo, std::string_view bytes) {
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(writer);
}

// The melody engine's button operations, written down as each begins.
struct EngineButtons : SwitchButtons {
    explicit EngineButtons(MelodyEngine& engine) : engine(engine) {}
    void press(SwitchButton b) override {
        log += b == SwitchButton::On ? "+on " : "+off ";
        b == SwitchButton::On ? engine.PressOnButton() : engine.PressOffButton();
    }
    void release(SwitchButton b) override {
        log += b == SwitchButton::On ? "-on " : "-off ";
        b == SwitchButton::On ? engine.ReleaseOnButton() : engine.ReleaseOffButton();
    }
    MelodyEngine& engine;
    std::string log;
};

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
        SwitchInputs inputs(loop, buttons, nullptr);
        ControllerSource source(loop, inputs, fifo);
        inputs.addSource(SourceKind::Controller, source);
        inputs.setBindings({"controller:button 0@",
                            "controller:button 1@" + std::string(kVirtualControllerGuid), "", ""});
        ASSERT_TRUE(loop.runUntil([&] { return !source.devices().empty(); })) << c.name;
        EXPECT_EQ(source.devices()[0].name, "tremolo virtual");
        EXPECT_EQ(source.devices()[0].device, kVirtualControllerGuid);

        writeFifo(fifo, c.bytes);
        EXPECT_TRUE(loop.runUntil([&] { return buttons.log == c.log; }))
            << c.name << ": " << buttons.log;
        EXPECT_EQ(source.devices().size(), c.devices) << c.name;
    }
}

// One move of the hat lets OFF go down (it leaves "up") and ON (it reaches
// "down"); OFF starts the Tachikawa run-out, whose wait runs the loop while
// the source is still at that move. Whatever the controller does meanwhile
// comes after both, as it happened after them.
TEST(ControllerSource, WhatHappensDuringARunOutComesAfterTheChangeThatStartedIt) {
    struct Case {
        const char* name;
        const char* meanwhile;
        const char* log;
        std::size_t devices;
    };
    const Case cases[] = {
        {"the hat let go", "5", "+off +on -on ", 1},
        {"the controller pulled out", "-", "+off +on -on -off ", 0},
    };
    test::TestFolder folder;
    const std::string fifo = folder.file("controller");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::EngineRig rig({.capture = false});
        rig.settings.EffectTachikawa = true;
        rig.loadWaveMelody(2000);
        rig.engine().PressOnButton();
        rig.engine().ReleaseOnButton();
        ASSERT_EQ(rig.state.OnSwitchState, SwitchPosition::Locked);

        testing::PollInputLoop loop;
        EngineButtons buttons(rig.engine());
        SwitchInputs inputs(loop, buttons, nullptr);
        ControllerSource source(loop, inputs, fifo);
        inputs.addSource(SourceKind::Controller, source);
        inputs.setBindings({"controller:hat 0 down@", "controller:!hat 0 up@", "", ""});
        ASSERT_TRUE(loop.runUntil([&] { return !source.devices().empty(); }));

        rig.time.at(rig.time.nowMs() + 500, [&] {
            writeFifo(fifo, c.meanwhile);
            loop.runUntil([&] { return buttons.log == c.log; });
        });
        writeFifo(fifo, "82");
        EXPECT_TRUE(loop.runUntil([&] { return buttons.log == c.log; })) << buttons.log;
        EXPECT_EQ(source.devices().size(), c.devices);
        EXPECT_FALSE(rig.state.RunOutActive);
    }
}

} // namespace
} // namespace tremlo::input
