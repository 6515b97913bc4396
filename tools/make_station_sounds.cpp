// Build-time generator: writes the program's fixed sounds and its Door and
// Envir catalogues into the folder it is given (the program folder when the
// build runs it), with the spoken announcements that espeak-ng makes.

#include "station_sounds.h"
#include "station_speech.h"

#include <filesystem>
#include <iostream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// espeak-ng's own voice for Japanese, at a calm station pace.
bool speak(const char* words, const fs::path& out) {
    const std::string target = out.string();
    const char* argv[] = {"espeak-ng", "-v", "ja",           "-s",  "140",  "-p",
                          "45",        "-w", target.c_str(), words, nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "espeak-ng", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool writeAnnouncements(const fs::path& folder, std::string& error) {
    const fs::path scratch =
        fs::temp_directory_path() / ("tremolo-speech-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    bool written = true;
    int index = 0;
    for (const auto& announcement : tremlo::tools::kAnnouncements) {
        const fs::path speech = scratch / (std::to_string(index++) + ".wav");
        if (!speak(announcement.words, speech)) {
            error = "espeak-ng could not speak for " + std::string(announcement.fileName);
            written = false;
            break;
        }
        const auto sound = tremlo::tools::announcementFrom(speech, announcement.fileName, error);
        if (!sound || !tremlo::tools::writeStationSound(folder, *sound, error)) {
            written = false;
            break;
        }
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_station_sounds OUTPUT_FOLDER\n";
        return 2;
    }
    std::string error;
    if (!tremlo::tools::writeStationSounds(argv[1], error) || !writeAnnouncements(argv[1], error)) {
        std::cerr << "make_station_sounds: " << error << '\n';
        return 1;
    }
    return 0;
}
