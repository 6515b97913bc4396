// Build-time generator: writes the program's fixed sounds and its Door and
// Envir catalogues into the folder it is given (the program folder when the
// build runs it), with the spoken announcements that espeak-ng makes.

#include "station_sounds.h"
#include "station_speech.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_station_sounds OUTPUT_FOLDER\n";
        return 2;
    }
    std::string error;
    if (!tremlo::tools::writeStationSounds(argv[1], error) ||
        !tremlo::tools::writeAnnouncements(argv[1], tremlo::tools::kAnnouncements, error)) {
        std::cerr << "make_station_sounds: " << error << '\n';
        return 1;
    }
    return 0;
}
