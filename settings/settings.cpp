#include "settings.h"

namespace tremlo {

namespace {

// "/" joined with "Door.wav" is "/Door.wav", not "//Door.wav".
std::string inFolder(const std::string& folder, const char* name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

} // namespace

Settings defaultSettings(const std::string& programFolder) {
    Settings s;
    s.TopMost = true;
    s.EffectTokyo = false;
    s.EffectTachikawa = false;
    s.EffectUrawa = false;
    s.Door = true;
    s.DoorDelay = 1300;
    s.DoorThreshold = 500;
    s.DoorCut = false;
    s.DoorATOS = true;
    s.Noise = false;
    s.UsePanel = true;
    s.UseEnvir = true;
    s.FixWindowPos = false;
    s.DefExt = 0;
    s.DefDir = programFolder;
    s.DoorWAV = inFolder(programFolder, "Door.wav");
    s.EnvirWAV = inFolder(programFolder, "Envir.wav");
    s.PlayClickSound = true;
    s.NoLockOnButton = false;
    s.AutoPlayAtDrop = false;
    s.AddOnButtonKeyCode = 38;  // Up arrow
    s.AddOffButtonKeyCode = 40; // Down arrow
    s.SetFreqSldMin = -6;
    s.SetFreqSldMax = 6;
    // One slider step is a third of a semitone: 2 to the power 1/36.
    s.SetFreqCoefficient = 1.01944064370214;
    s.ShiftForce = true;
    return s;
}

} // namespace tremlo
