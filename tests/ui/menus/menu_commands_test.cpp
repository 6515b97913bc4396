// The menu commands: the settings, both menus' marks, the panel's indicators,
// the sounds and the settings file after each.

#include "menus_rig.h"

namespace tremlo::test {
namespace {

TEST_F(MenusTest, DoorToggleShowsMarksAndSaves) {
    commands->mnuUseDoor_Click();
    EXPECT_EQ(rig.settings.Door, true);
    EXPECT_TRUE(marked("mnuUseDoor") && marked("mnuUseDoor2"));
    EXPECT_EQ(log, Log{"door on"});
    EXPECT_EQ(saved("Door"), "Yes");
    commands->mnuUseDoor_Click();
    EXPECT_FALSE(marked("mnuUseDoor") || marked("mnuUseDoor2"));
    EXPECT_EQ(saved("Door"), "No");
}

TEST_F(MenusTest, ChoosingADoorSoundLoadsItStoresItsNameAndPlaysNothing) {
    const SoundHandle old = rig.state.DoorBuffer;
    commands->mnuDoor_Click(2);
    EXPECT_EQ(rig.library().dsGetBufferMSec(old), 0); // freed
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 500);
    EXPECT_FALSE(rig.library().dsIsPlaying(rig.state.DoorBuffer));
    EXPECT_EQ(doors.checked, 2u);
    EXPECT_EQ(saved("DoorWAV"), "ブザー.wav");

    commands->mnuDoor_Click(0); // the fixed sound, whatever the case of its name
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 300);
    EXPECT_EQ(rig.settings.DoorWAV, "");
    EXPECT_EQ(doors.checked, 0u);
    EXPECT_TRUE(savedAtAll());
}

// Unpacked from a Windows archive, the name is Shift-JIS bytes: the menu
// shows it decoded, the sound still loads, and the save that cannot hold the
// name keeps the stored one and writes everything else.
TEST_F(MenusTest, ADoorSoundNamedInShiftJisShowsReadablyLoadsAndSpoilsNoSave) {
    const std::string name = toCp932("発車&.wav");
    tone("Door/" + name, 450);
    doors = Catalogue{};
    builder.BuildDoorCatalogue(doors);
    ASSERT_EQ(doors.entries.at(2), name);
    menus->refresh();
    ASSERT_NE(menus->item("mnuDoor(2)"), nullptr);
    EXPECT_EQ(menus->item("mnuDoor(2)")->text(), QStringLiteral("発車&&.wav"));

    commands->mnuDoor_Click(3);
    ASSERT_EQ(saved("DoorWAV"), "ブザー.wav");
    commands->mnuUseDoor_Click();
    commands->mnuDoor_Click(2);
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 450);
    EXPECT_EQ(rig.settings.DoorWAV, name);
    EXPECT_EQ(saved("DoorWAV"), "ブザー.wav");
    EXPECT_EQ(saved("Door"), "Yes");
    commands->mnuUseDoor_Click();
    EXPECT_EQ(saved("Door"), "No");
}

TEST_F(MenusTest, AMissingDoorFileLeavesSilenceButTheChoiceStands) {
    std::filesystem::remove(folder.file("Door/A&B.wav"));
    commands->mnuDoor_Click(1);
    EXPECT_EQ(rig.state.DoorBuffer, 0);
    EXPECT_EQ(rig.settings.DoorWAV, "A&B.wav");
    EXPECT_EQ(doors.checked, 1u);
    EXPECT_TRUE(views.messages.empty());
    commands->mnuDoor_Click(9); // no such item: nothing changes
    EXPECT_EQ(doors.checked, 1u);
}

TEST_F(MenusTest, AnEnvironmentSoundChosenWhileOffPlaysOnlyOnceTurnedOn) {
    commands->mnuEnvir_Click(1);
    EXPECT_EQ(lengthMs(rig.state.EnvirBuffer), 700);
    EXPECT_FALSE(rig.library().dsIsPlaying(rig.state.EnvirBuffer));
    EXPECT_EQ(saved("EnvirWAV"), "ホーム.wav");

    fresh();
    commands->mnuUseEnvir_Click();
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.EnvirBuffer));
    EXPECT_TRUE(marked("mnuUseEnvir") && marked("mnuUseEnvir2"));
    EXPECT_EQ(log, Log{"envir on"});
    EXPECT_EQ(saved("UseEnvir"), "Yes");

    commands->mnuEnvir_Click(0); // "Envir.wav" reaches envir.wav
    EXPECT_EQ(lengthMs(rig.state.EnvirBuffer), 600);
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.EnvirBuffer));
    EXPECT_EQ(saved("EnvirWAV"), "");

    commands->mnuUseEnvir_Click();
    EXPECT_FALSE(rig.library().dsIsPlaying(rig.state.EnvirBuffer));
    EXPECT_FALSE(marked("mnuUseEnvir") || marked("mnuUseEnvir2"));
    EXPECT_EQ(log.back(), "envir off");
}

TEST_F(MenusTest, TachikawaAndUrawaExcludeEachOtherAndTokyoStays) {
    commands->mnuUseFadeIn_Click();
    commands->mnuUseFadeOut_Click();
    EXPECT_EQ(log, (Log{"effects T--", "effects TC-"}));
    commands->mnuEffectUrawa_Click();
    EXPECT_EQ(log.back(), "effects T-U");
    EXPECT_FALSE(marked("mnuUseFadeOut") || marked("mnuUseFadeOut2"));
    EXPECT_TRUE(marked("mnuEffectUrawa") && marked("mnuEffectUrawa2") && marked("mnuUseFadeIn2"));
    EXPECT_EQ(saved("EffectTachikawa"), "No");
    EXPECT_EQ(saved("EffectUrawa"), "Yes");
    commands->mnuUseFadeOut_Click();
    EXPECT_EQ(log.back(), "effects TC-");
    EXPECT_FALSE(marked("mnuEffectUrawa") || marked("mnuEffectUrawa2"));
    EXPECT_EQ(rig.settings.EffectUrawa, false);
    commands->mnuUseFadeIn_Click();
    commands->mnuUseFadeOut_Click();
    EXPECT_EQ(log.back(), "effects ---");
    EXPECT_EQ(saved("EffectTokyo"), "No");
}

TEST_F(MenusTest, TheEffectButtonWalksSixStatesAndSavesEvenWhenStuck) {
    const char* const cycle[] = {"T--", "-C-", "--U", "TC-", "T-U", "---", "T--"};
    for (const char* expected : cycle) {
        fresh();
        commands->stepEffect();
        EXPECT_EQ(log, Log{std::string("effects ") + expected});
        const bool tokyo = expected[0] == 'T';
        EXPECT_EQ(marked("mnuUseFadeIn2"), tokyo);
        EXPECT_EQ(saved("EffectTokyo"), tokyo ? "Yes" : "No");
    }
    // Combinations the menus never make stay, but marks, file and lamps follow.
    for (bool tokyo : {false, true}) {
        fresh();
        rig.settings.EffectTokyo = tokyo;
        rig.settings.EffectTachikawa = rig.settings.EffectUrawa = true;
        commands->stepEffect();
        EXPECT_EQ(log, Log{tokyo ? "effects TCU" : "effects -CU"});
        EXPECT_TRUE(marked("mnuUseFadeOut") && marked("mnuEffectUrawa2"));
        EXPECT_EQ(saved("EffectUrawa"), "Yes");
    }
}

TEST_F(MenusTest, PanSteersTheDoorSoundAndTheWaveMelody) {
    rig.loadWaveMelody(2000);
    commands->mnuPan_Click(int(Pan::Left));
    rig.library().dsPlay(rig.state.DoorBuffer);
    rig.library().dsPlay(rig.state.MelodyBuffer);
    rig.time.runFor(200);
    EXPECT_EQ(log, Log{"pan 1"});
    EXPECT_EQ(rig.state.PanMode, Pan::Left);
    for (double hz : {kDoorHz, kMelodyHz}) {
        EXPECT_TRUE(rig.sounds(hz, 0, 200, 0)) << hz;
        EXPECT_FALSE(rig.sounds(hz, 0, 200, 1)) << hz;
    }
    commands->CyclePan();
    commands->CyclePan();
    commands->CyclePan();
    EXPECT_EQ(log, (Log{"pan 1", "pan 2", "pan 0", "pan 1"}));
    EXPECT_FALSE(savedAtAll()); // the pan is not kept
}

TEST_F(MenusTest, PanWithAMidiMelodyMovesOnlyTheDoor) {
    rig.loadMidiMelody(1000);
    commands->mnuPan_Click(int(Pan::Right));
    rig.library().dsPlay(rig.state.DoorBuffer);
    rig.time.runFor(200);
    EXPECT_FALSE(rig.sounds(kDoorHz, 0, 200, 0));
    EXPECT_TRUE(rig.sounds(kDoorHz, 0, 200, 1));
}

TEST_F(MenusTest, TopMostGoesToThePanelThenTheMainWindow) {
    commands->mnuTopMost_Click();
    EXPECT_EQ(log, (Log{"panel top", "main top"}));
    EXPECT_TRUE(mainWindow.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(panel.window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(marked("mnuTopMost"));
    EXPECT_EQ(saved("TopMost"), "Yes");
}

TEST_F(MenusTest, DialogsOpenWithStayOnTopLiftedAndItComesBack) {
    rig.settings.TopMost = true;
    commands->mnuAbout_Click();
    EXPECT_EQ(log, (Log{"main normal", "panel normal", "about", "panel top", "main top"}));

    log.clear();
    optionsTurnsTopMostOff = true;
    commands->mnuOptions_Click();
    EXPECT_EQ(log, (Log{"main normal", "panel normal", "options"}));
    EXPECT_FALSE(mainWindow.windowFlags() & Qt::WindowStaysOnTopHint);

    log.clear();
    commands->mnuAbout_Click(); // nothing to lift
    EXPECT_EQ(log, Log{"about"});
}

TEST_F(MenusTest, ThePanelIsShownAndClosedWithoutSaving) {
    commands->mnuUsePanel_Click();
    EXPECT_TRUE(marked("mnuUsePanel"));
    commands->mnuUsePanel_Click();
    EXPECT_FALSE(marked("mnuUsePanel"));
    EXPECT_EQ(log, (Log{"show panel", "unload panel"}));
    EXPECT_FALSE(savedAtAll());
}

TEST_F(MenusTest, AnOpenedFileIsLoadedButNotStartedAndFailuresStayQuiet) {
    commands->mnuFileOpen_Click(); // cancelled
    EXPECT_EQ(rig.state.MelodyBuffer, 0);
    openPath = folder.file("melody.wav");
    commands->mnuFileOpen_Click();
    EXPECT_EQ(lengthMs(rig.state.MelodyBuffer), 800);
    EXPECT_FALSE(rig.library().dsIsPlaying(rig.state.MelodyBuffer));
    openThrows = true;
    EXPECT_NO_THROW(commands->mnuFileOpen_Click());
    EXPECT_EQ(lengthMs(rig.state.MelodyBuffer), 800);
}

// The shelf's items drop their entry; the mark follows the loaded melody,
// and an opened playlist becomes the shelf and drops its first entry.
TEST_F(MenusTest, TheMelodyShelfDropsItsEntriesAndAPlaylistReplacesIt) {
    showMelodies();
    menus->item("mnuMelody(1)")->trigger();
    EXPECT_EQ(lengthMs(rig.state.MelodyBuffer), 900);
    EXPECT_TRUE(marked("mnuMelody(1)"));
    menus->item("mnuNextMelody")->trigger();
    EXPECT_EQ(lengthMs(rig.state.MelodyBuffer), 1000) << "round the end to the first";
    menus->item("mnuPreviousMelody")->trigger();
    EXPECT_EQ(ini.readValue("Position", "Shelf"), "2");

    std::ofstream(folder.file("line.m3u")) << "#EXTINF:8,発車\nmelody.wav\nMelody/A.wav\n";
    openPath = folder.file("line.m3u");
    menus->item("mnuFileOpen")->trigger();
    EXPECT_EQ(lengthMs(rig.state.MelodyBuffer), 800);
    EXPECT_TRUE(marked("mnuMelody(0)"));
    EXPECT_EQ(menus->item("mnuMelody(0)")->text().toStdString(), "発車");
    loader.LoadSoundFile(folder.file("door.wav")); // from elsewhere: no entry is the loaded one
    EXPECT_FALSE(marked("mnuMelody(0)") || marked("mnuMelody(1)"));
    EXPECT_EQ(menus->item("mnuMelody(2)"), nullptr);
    EXPECT_EQ(log,
              (Log{"drop b.wav", "drop A.wav", "drop b.wav", "open dialog", "drop melody.wav"}));
}

// A station set's platforms are the shelf: each step applies the platform's
// choices as the menus would, a set with a gone file changes nothing, and the
// platform comes back by its names after the set was edited.
TEST_F(MenusTest, AStationSetAppliesEachPlatformAndComesBackByName) {
    const auto platform = [](const char* name, const char* fields) {
        return std::string(R"({"name": ")") + name + R"(", "melody": "melody.wav", )" + fields +
               "}";
    };
    const auto writeSet = [&](const std::string& platforms) {
        std::ofstream(folder.file("a.stations.json"))
            << R"({"tremolo-stations": 1, "lines": [{"name": "山手線", "stations": [
                  {"name": "品川", "platforms": [)"
            << platforms << "]}]}]}";
    };
    const std::string first =
        platform("1番線", R"("door": "door.wav", "ambience": null, "effect": "tachikawa",
                            "pan": "left", "volume": {"melody": 50})");
    const std::string second = platform("2番線", R"("door": null, "effect": "urawa")");
    writeSet(platform("3番線", R"("door": "gone.wav")") + "," + first);
    openPath = folder.file("a.stations.json");
    menus->item("mnuFileOpen")->trigger();
    EXPECT_EQ(shelf.stationSet(), nullptr) << "refused whole";
    ASSERT_EQ(views.messages.size(), 1u);
    EXPECT_NE(views.messages[0].find("山手線 ▸ 品川 ▸ 3番線 の \"door\""), std::string::npos);

    writeSet(first + "," + second);
    rig.settings.UseEnvir = true;
    menus->item("mnuFileOpen")->trigger();
    EXPECT_EQ(lengthMs(rig.state.MelodyBuffer), 800);
    showMelodies();
    ASSERT_NE(menus->item("mnuMelody(1)"), nullptr);
    EXPECT_EQ(menus->item("mnuMelody(1)")->text().toStdString(), "品川 2番線");
    EXPECT_EQ(shelf.positionText(rig.state.MelodyPath), "品川 1番線  1/2");
    EXPECT_TRUE(rig.settings.Door && rig.settings.EffectTachikawa);
    EXPECT_FALSE(rig.settings.UseEnvir);
    EXPECT_EQ(rig.state.PanMode, Pan::Left);
    EXPECT_EQ(rig.state.level(VolumeSound::Melody), -602);

    menus->item("mnuNextMelody")->trigger();
    EXPECT_EQ(shelf.positionText(rig.state.MelodyPath), "品川 2番線  2/2");
    EXPECT_FALSE(rig.settings.Door || rig.settings.EffectTachikawa);
    EXPECT_TRUE(rig.settings.EffectUrawa);
    EXPECT_EQ(rig.state.PanMode, Pan::Left) << "a platform without a pan keeps it";
    EXPECT_EQ(rig.state.level(VolumeSound::Melody), 0);

    writeSet(platform("0番線", R"("pan": "right")") + "," + first + "," + second);
    MelodyShelf again(ini, {});
    EXPECT_EQ(again.restore(), folder.file("melody.wav"));
    EXPECT_EQ(again.chosen(), 2u);

    // More than one station: line ▸ station ▸ platform.
    std::ofstream(folder.file("b.stations.json"))
        << R"({"tremolo-stations": 1, "lines": [{"name": "山手線", "stations": [
              {"name": "品川", "platforms": [)"
        << first << R"(]}, {"name": "大崎", "platforms": [)" << second << "]}]}]}";
    openPath = folder.file("b.stations.json");
    menus->item("mnuFileOpen")->trigger();
    showMelodies();
    const QAction* osaki = menus->item("mnuMelody(1)");
    ASSERT_NE(osaki, nullptr);
    const auto* station = qobject_cast<const QMenu*>(osaki->parent());
    ASSERT_NE(station, nullptr);
    EXPECT_EQ(station->title(), "大崎");
    EXPECT_EQ(qobject_cast<const QMenu*>(station->parent())->title(), "山手線");
}

// A platform's own door and ambience go with it: the next platform that
// names none, and the shelf after the set, have the user's own choices again,
// and those are what an added platform stores, the program's own sounds by
// name. A platform whose door has gone since is stepped past, not onto.
TEST_F(MenusTest, APlatformsOwnSoundsLeaveWithItAndAGoneOneIsSteppedPast) {
    tone("door3.wav", 450);
    std::ofstream(folder.file("a.stations.json"))
        << R"({"tremolo-stations": 1, "lines": [{"name": "山手線", "stations": [
              {"name": "品川", "platforms": [
              {"name": "1番線", "melody": "melody.wav", "door": "Door/ブザー.wav",
               "ambience": "Envir/ホーム.wav"},
              {"name": "2番線", "melody": "Melody/b.wav"},
              {"name": "3番線", "melody": "Melody/A.wav", "door": "door3.wav"}]}]}]})";
    programCommands.openPlaylist(folder.file("a.stations.json"));
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 500);
    EXPECT_EQ(lengthMs(rig.state.EnvirBuffer), 700);
    programCommands.nextMelody();
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 300) << "the user's door back";
    EXPECT_EQ(lengthMs(rig.state.EnvirBuffer), 600);
    EXPECT_TRUE(rig.settings.Door && rig.settings.UseEnvir);
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.EnvirBuffer));

    ASSERT_TRUE(programCommands.addToStationSet("山手線", "品川", "4番線"));
    const StationSetOutcome added = loadStationSet(folder.file("a.stations.json"));
    ASSERT_TRUE(added.set) << added.message;
    const Platform& fourth = added.set->at(added.set->places().back());
    EXPECT_EQ(fourth.door, SoundChoice{"built-in"});
    EXPECT_EQ(fourth.ambience, SoundChoice{"built-in"});

    programCommands.chooseMelody(1);
    std::filesystem::remove(folder.file("door3.wav"));
    programCommands.nextMelody();
    EXPECT_EQ(shelf.positionText(rig.state.MelodyPath), "品川 4番線  4/4");
    EXPECT_EQ(ini.readValue("Position", "Shelf"), "4");
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 300) << "built-in: the fixed door";
    EXPECT_TRUE(views.messages.empty());
    programCommands.chooseMelody(2);
    ASSERT_EQ(views.messages.size(), 1u);
    EXPECT_NE(views.messages[0].find("3番線 の \"door\""), std::string::npos);

    programCommands.chooseMelody(0);
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 500);
    std::ofstream(folder.file("line.m3u")) << "melody.wav\n";
    programCommands.openPlaylist(folder.file("line.m3u"));
    EXPECT_EQ(lengthMs(rig.state.DoorBuffer), 300) << "the set left";
    EXPECT_EQ(lengthMs(rig.state.EnvirBuffer), 600);
    EXPECT_TRUE(rig.library().dsIsPlaying(rig.state.EnvirBuffer));
}

// Told in a box, and the melody loaded before stays loaded and named.
TEST_F(MenusTest, APlaylistOfNothingAndAGoneEntryLeaveTheLoadedMelody) {
    showMelodies();
    menus->item("mnuMelody(1)")->trigger(); // b.wav
    std::ofstream(folder.file("urls.m3u")) << "http://radio/a.mp3\n";
    commands->openPlaylist(folder.file("urls.m3u"));
    std::filesystem::remove(folder.file("Melody/A.wav"));
    menus->item("mnuMelody(0)")->trigger();
    EXPECT_EQ(lengthMs(rig.state.MelodyBuffer), 900);
    EXPECT_EQ(rig.state.MelodyPath, folder.file("Melody/b.wav"));
    EXPECT_TRUE(marked("mnuMelody(1)"));
    ASSERT_EQ(views.messages.size(), 2u);
    EXPECT_NE(views.messages[0].find("urls.m3u"), std::string::npos) << views.messages[0];
    EXPECT_NE(views.messages[1].find("Melody/A.wav"), std::string::npos) << views.messages[1];
    EXPECT_EQ(log, Log{"drop b.wav"});
}

TEST_F(MenusTest, HelpVolumeAndExit) {
    mainWindow.show();
    commands->mnuHelp_Click();
    commands->mnuVolume_Click();
    EXPECT_EQ(log, (Log{"open " + folder.path() + "/Readme.html", "volume"}));
    commands->mnuExit_Click();
    EXPECT_FALSE(mainWindow.isVisible());
}

} // namespace
} // namespace tremlo::test
