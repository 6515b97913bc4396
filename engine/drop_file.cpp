#include "drop_file.h"

#include <filesystem>

namespace tremlo {

void dropSoundFile(const std::string& path, SoundLoader& loader, EventPump& pump,
                   const Settings& settings, MelodyEngine& engine) {
    // The file's folder becomes the current folder; one that cannot be
    // entered is left as it is.
    const auto slash = path.rfind('/');
    if (slash != std::string::npos) {
        std::error_code ignored;
        std::filesystem::current_path(slash == 0 ? "/" : path.substr(0, slash), ignored);
    }
    openSoundFile(path, loader, pump, settings, engine);
}

void openSoundFile(const std::string& path, SoundLoader& loader, EventPump& pump,
                   const Settings& settings, MelodyEngine& engine) {
    loader.LoadSoundFile(path);    // reports its own failures
    pump.processEvents();          // the new name and pictures are drawn first
    if (settings.AutoPlayAtDrop) { // like a quick click on ON, whatever the load did
        engine.PressOnButton();
        engine.ReleaseOnButton();
    }
}

} // namespace tremlo
