#pragma once

// Every key of the settings file, once: its section, its name, the field it
// fills and its default. Loading, saving and the defaults are all made from
// these tables (see setting_key.h), so a new setting is one line here and a
// field in its record.
//
// The program's section keeps the 25 keys it has always written, in the
// order written here, followed by the three the user sets by hand. Settings
// that came later have sections of their own, so that the program's section
// stays as it was and a file without them behaves as before.

#include "input_settings.h"
#include "interface_language.h"
#include "remote_settings.h"
#include "setting_key.h"
#include "settings.h"
#include "settings_file.h"
#include "shelf_settings.h"
#include "volume_settings.h"

namespace tremlo {

// [TREMLO 1.10]: the main window's place, as fractions of the screen. It is
// the window's, not a preference, so it is not in the record.
inline constexpr SectionKeys<LoadedSettingsFile, 2> kWindowPlaceKeys{
    IniProfile::kSection,
    {{
        {"XPosR", &LoadedSettingsFile::XPosR, 0.3},
        {"YPosR", &LoadedSettingsFile::YPosR, 0.3},
    }}};

// [TREMLO 1.10], after the window's place.
inline constexpr SectionKeys<Settings, 26> kProgramKeys{
    IniProfile::kSection,
    {{
        {"TopMost", &Settings::TopMost, true},
        {"UsePanel", &Settings::UsePanel, true},
        {"FixWindowPos", &Settings::FixWindowPos, false},
        {"EffectTokyo", &Settings::EffectTokyo, false},
        {"EffectTachikawa", &Settings::EffectTachikawa, false},
        {"EffectUrawa", &Settings::EffectUrawa, false},
        {"Door", &Settings::Door, true},
        {"DoorDelay", &Settings::DoorDelay, 1300},
        {"DoorThreshold", &Settings::DoorThreshold, 500},
        {"DoorCut", &Settings::DoorCut, false},
        {"DoorATOS", &Settings::DoorATOS, true},
        {"Noise", &Settings::Noise, false},
        {"UseEnvir", &Settings::UseEnvir, true},
        {"DefExt", &Settings::DefExt, 0},
        {"DefDir", &Settings::DefDir, "", InProgramFolder::Yes},
        {"DoorWAV", &Settings::DoorWAV, "Door.wav", InProgramFolder::Yes},
        {"EnvirWAV", &Settings::EnvirWAV, "Envir.wav", InProgramFolder::Yes},
        {"PlayClickSound", &Settings::PlayClickSound, true},
        {"NoLockOnButton", &Settings::NoLockOnButton, false},
        {"AutoPlayAtDrop", &Settings::AutoPlayAtDrop, false},
        {"AddOnButtonKeyCode", &Settings::AddOnButtonKeyCode, 38},   // Up arrow
        {"AddOffButtonKeyCode", &Settings::AddOffButtonKeyCode, 40}, // Down arrow
        {"ShiftForce", &Settings::ShiftForce, true},
        {"SetFreqSldMin", &Settings::SetFreqSldMin, -6, Saved::No},
        {"SetFreqSldMax", &Settings::SetFreqSldMax, 6, Saved::No},
        // One slider step is a third of a semitone: 2 to the power 1/36.
        {"SetFreqCoefficient", &Settings::SetFreqCoefficient, 1.01944064370214, Saved::No},
    }}};

// [Input]: the switch box's bindings and the system-wide keys.
inline constexpr SectionKeys<InputSettings, 4> kInputKeys{
    kInputSection,
    {{
        {"OnInput", &InputSettings::OnInput, ""},
        {"OffInput", &InputSettings::OffInput, ""},
        {"GlobalOnKey", &InputSettings::GlobalOnKey, ""},
        {"GlobalOffKey", &InputSettings::GlobalOffKey, ""},
    }}};

// [Shelf]: the melody shelf of the last run.
inline constexpr SectionKeys<ShelfSettings, 4> kShelfKeys{
    kShelfSection,
    {{
        {"Playlist", &ShelfSettings::Playlist, ""},
        {"Position", &ShelfSettings::Position, 0},
        {"File", &ShelfSettings::File, ""},
        {"Platform", &ShelfSettings::Platform, ""},
    }}};

// [Volume]: each sound's volume, percent of full level.
inline constexpr SectionKeys<VolumeSettings, 5> kVolumeKeys{
    kVolumeSection,
    {{
        {"Melody", &VolumeSettings::Melody, 100},
        {"Door", &VolumeSettings::Door, 100},
        {"Ambience", &VolumeSettings::Ambience, 100},
        {"Click", &VolumeSettings::Click, 100},
        {"Noise", &VolumeSettings::Noise, 100},
    }}};

// [Remote]: the remote controls, off and on loopback only until the user
// says otherwise.
inline constexpr SectionKeys<RemoteSettings, 6> kRemoteKeys{
    kRemoteSection,
    {{
        {"Osc", &RemoteSettings::Osc, false},
        {"OscPort", &RemoteSettings::OscPort, 9000},
        {"Web", &RemoteSettings::Web, false},
        {"WebPort", &RemoteSettings::WebPort, 8470},
        {"Lan", &RemoteSettings::Lan, false},
        {"Token", &RemoteSettings::Token, ""},
    }}};

// [Remote Peers]: set by hand only; the options dialog never writes it.
inline constexpr SectionKeys<RemotePeerSettings, 1> kRemotePeerKeys{
    kRemotePeersSection,
    {{
        {"Anywhere", &RemotePeerSettings::Anywhere, false},
    }}};

// [Interface]: the language of the windows, read at start-up.
inline constexpr SectionKeys<InterfaceSettings, 1> kInterfaceKeys{
    kInterfaceSection,
    {{
        {"Language", &InterfaceSettings::Language, "Auto"},
    }}};

} // namespace tremlo
