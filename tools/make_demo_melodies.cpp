// Build-time generator: writes demo.wav and demo.mid into the folder it is
// given (the program folder when the build runs it).

#include "demo_melodies.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_demo_melodies OUTPUT_FOLDER\n";
        return 2;
    }
    std::string error;
    if (!tremlo::tools::writeDemoMelodies(argv[1], error)) {
        std::cerr << "make_demo_melodies: " << error << '\n';
        return 1;
    }
    return 0;
}
