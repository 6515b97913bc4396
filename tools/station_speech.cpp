#include "station_speech.h"

#include <algorithm>
#include <cmath>
#include <samplerate.h>
#include <sndfile.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tremlo::tools {
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

} // namespace

std::optional<StationSound> announcementFrom(const std::filesystem::path& speech,
                                             const std::string& fileName, std::string& error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(speech.c_str(), SFM_READ, &info);
    if (!file || info.channels != 1) {
        error = "cannot read speech " + speech.string();
        if (file)
            sf_close(file);
        return std::nullopt;
    }
    std::vector<float> in(static_cast<std::size_t>(info.frames));
    in.resize(static_cast<std::size_t>(sf_readf_float(file, in.data(), info.frames)));
    sf_close(file);

    const double ratio = static_cast<double>(kStationRate) / info.samplerate;
    std::vector<float> out(static_cast<std::size_t>(std::ceil(in.size() * ratio)) + 16);
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = static_cast<long>(in.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_BEST_QUALITY, 1) != 0) {
        error = "cannot resample speech " + speech.string();
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(data.output_frames_gen));

    // A breath of silence before the words, as a station's recording has.
    const std::size_t lead = kStationRate / 5;
    out.insert(out.begin(), lead, 0.0f);
    float peak = 0;
    for (float sample : out)
        peak = std::max(peak, std::fabs(sample));
    const float gain = peak > 0 ? std::pow(10.0f, -3.0f / 20.0f) / peak : 0.0f;
    const std::size_t fade = kStationRate / 100;
    StationSound sound;
    sound.fileName = fileName;
    sound.channels = 1;
    sound.samples.reserve(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t edge = std::min(i, out.size() - 1 - i);
        const float envelope = edge < fade ? static_cast<float>(edge) / fade : 1.0f;
        sound.samples.push_back(
            static_cast<std::int16_t>(std::lround(out[i] * gain * envelope * 32767)));
    }
    return sound;
}

bool writeAnnouncements(const fs::path& folder, std::span<const Announcement> announcements,
                        std::string& error) {
    const fs::path scratch =
        fs::temp_directory_path() / ("tremolo-speech-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    bool written = true;
    int index = 0;
    for (const auto& announcement : announcements) {
        const fs::path speech = scratch / (std::to_string(index++) + ".wav");
        if (!speak(announcement.words, speech)) {
            error = "espeak-ng could not speak for " + std::string(announcement.fileName);
            written = false;
            break;
        }
        const auto sound = announcementFrom(speech, announcement.fileName, error);
        if (!sound || !writeStationSound(folder, *sound, error)) {
            written = false;
            break;
        }
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return written;
}

} // namespace tremlo::tools
