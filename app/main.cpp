// トレモロ: until the switch window exists, the program opens the audio device
// and plays the bundled demo melodies, the WAVE one and then the MIDI one, for
// a few seconds each.

#include "sdl_device.h"
#include "sound_library.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace {

using namespace tremlo::sound;
using namespace std::chrono_literals;

std::filesystem::path programFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : exe.parent_path();
}

std::vector<char> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

int main() {
    const auto folder = programFolder();
    SoundLibrary library(std::make_unique<SdlDevice>());
    if (!library.dsInit2(0, 2)) {
        std::fprintf(stderr, "トレモロ: no audio output can be opened\n");
        return 1;
    }
    library.dsSetGlobalFocus(-1);
    const bool music = library.dsInitMusic() != 0;

    const auto wave = readFile(folder / "demo.wav");
    SoundHandle melody = library.dsCreateDSB(wave.data(), wave.size(), 1);
    if (melody) {
        std::printf("demo.wav: %d ms, playing\n", library.dsGetBufferMSec(melody));
        library.dsPlayLooping(melody);
        std::this_thread::sleep_for(5s);
        library.dsStop(melody);
        library.dsFree(melody);
    }

    if (music) {
        SoundHandle segment = library.dsLoadMusicSegment((folder / "demo.mid").string(), 32);
        if (segment) {
            std::printf("demo.mid: %d ms, playing\n", library.dsGetLengthMSec(segment));
            library.dsPlayMusicSegment(segment, 1000);
            std::this_thread::sleep_for(6s);
            library.dsStopMusicSegment(segment);
            library.dsFreeMusicSegment(segment);
        }
    }
    library.dsQuitMusic();
    library.dsQuit();
    return 0;
}
