#include "offline_render.h"

#include "catalogues.h"
#include "commands.h"
#include "drop_file.h"
#include "melody_engine.h"
#include "melody_shelf.h"
#include "offline_device.h"
#include "render_script.h"
#include "sample_clock.h"
#include "settings_store.h"
#include "sound_file_writer.h"
#include "sound_loading.h"
#include "startup.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tremlo {
namespace {

namespace fs = std::filesystem;

// A script is a list of lines; anything larger is not one.
constexpr std::uintmax_t kMaxScriptBytes = 16u << 20;
// Progress is told every this many seconds of sound.
constexpr int kProgressSeconds = 30;
// A render of a RenderJob without a rate tries the rate most sound files
// have first: when every WAVE that sounds plays at it, nothing is resampled,
// and resampling the ambience and the melody period by period is most of
// what a render at another rate costs. A performance that mixes rates, or
// plays a melody at another speed, is rendered again at the usual output
// rate, sounding as it would from a live output at that rate.
constexpr int kSharedRate = 44100;
constexpr int kMixedRate = 48000;

bool isFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::optional<std::string> readScript(const std::string& path, std::string& text) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || !isFile(path))
        return path + ": no such script";
    if (size > kMaxScriptBytes)
        return path + ": too large for a script";
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in && !in.eof())
        return path + ": cannot be read";
    text = std::move(bytes).str();
    return std::nullopt;
}

// A folder of the render's own, gone with everything in it at the end.
// Named with the process's number, so that the next render can tell the
// folder of one killed outright (nothing else can end it without its
// clean-up) and remove it.
class PrivateFolder {
public:
    PrivateFolder() {
        std::error_code error;
        const fs::path temporary = fs::temp_directory_path(error);
        if (error)
            return;
        removeFoldersOfEndedRenders(temporary);
        std::string pattern =
            (temporary / (std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~PrivateFolder() {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    static constexpr std::string_view kPrefix = "tremolo-render-";

    static void removeFoldersOfEndedRenders(const fs::path& temporary) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(temporary, error)) {
            const std::string name = entry.path().filename().string();
            if (!name.starts_with(kPrefix))
                continue;
            // Only where the process is gone: the folder of a render still
            // running, this user's or another's, stays.
            const long pid = std::strtol(name.c_str() + kPrefix.size(), nullptr, 10);
            std::error_code ignored;
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                fs::remove_all(entry.path(), ignored);
        }
    }

    std::string m_path;
};

// The windows of a render: nothing to show. A message box would have been
// the user's to answer, and a render has no user to ask, so the first one
// ends it with its text.
struct RenderViews final : SwitchView,
                           StatusLamps,
                           MainWindowView,
                           StatusDisplay,
                           UserFeedback,
                           SettingsWindows,
                           PanelView,
                           WindowStacking {
    explicit RenderViews(Timer*& doorTimer) : door(doorTimer) {}
    void setOnPicture(OnPicture) override {}
    void setOffPicture(OffPicture) override {}
    void repaint() override {}
    void setStatusLED(Lamp, bool) override {}
    void setCaption(const std::string&) override {}
    void setTitleBarToolTip(const std::string&) override {}
    void BringToFront() override {}
    void setFileInfo(const std::string&) override {}
    void ShowStatusMessage(const std::string&, bool) override {}
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        if (refusal.empty())
            refusal = text;
    }
    void setWaitCursor(bool) override {}
    void addRecentDocument(const std::string&) override {}
    void setBusyCursor(bool) override {}
    void setSpeedSliderRange(int, int) override {}
    bool otherInstanceRunning() const override { return false; }
    void moveMainWindow(double, double) override {}
    void makeWindowsTopMost() override {}
    void setMainWindowWidth(int) override {}
    void setDoorTimerInterval(int ms) override {
        if (door)
            door->setInterval(ms);
    }
    std::optional<std::pair<double, double>> mainWindowPosition() const override {
        return std::pair(0.3, 0.3);
    }
    void showDoor(bool) override {}
    void showEnvir(bool) override {}
    void showEffects(bool, bool, bool) override {}
    void showPan(Pan) override {}
    void showPanel() override {}
    void unloadPanel() override {}
    void setTopMost(ProgramWindow, bool) override {}

    Timer*& door;
    std::string refusal;
};

// The output's own name with a prefix, so that its ending still tells the
// format and the rename stays within one file system: the name the output
// passes through, or is written under where a file cannot be unnamed.
std::string partialPathFor(const std::string& output) {
    const fs::path path(output);
    return (path.parent_path() /
            (".tremolo-" + std::to_string(::getpid()) + "-" + path.filename().string()))
        .string();
}

class Performance {
public:
    // With `onlyUnresampled`, the render stops writing as soon as a WAVE
    // plays at another rate than `rate`; mixedRates() tells that it did.
    Performance(const RenderJob& job, int rate, bool onlyUnresampled,
                const std::string& privateFolder, recording::SoundFileWriter& writer,
                const RenderProgress& progress);
    ~Performance();
    Performance(const Performance&) = delete;
    Performance& operator=(const Performance&) = delete;

    // Nullopt when the performance ran to its end and every frame was written.
    std::optional<std::string> play(const RenderScript& script);
    bool mixedRates() const { return m_mixedRates; }

private:
    void renderFrames(std::int64_t frames);
    void run(const ScriptEvent& event);
    void open(const std::string& path);

    const RenderJob& m_job;
    const int m_rate;
    const bool m_onlyUnresampled;
    bool m_mixedRates = false;
    recording::SoundFileWriter& m_writer;
    const RenderProgress& m_progress;
    std::int64_t m_totalFrames = 0;
    std::int64_t m_nextProgress = 0;
    std::vector<float> m_buffer;
    bool m_writeFailed = false;
    bool m_stopped = false;

    sound::OfflineDevice* m_device;
    sound::SoundLibrary m_library;
    Timer* m_doorTimer = nullptr;
    RenderViews m_views{m_doorTimer};
    Settings m_settings;
    PlaybackState m_state;
    Catalogue m_doorCatalogue, m_envirCatalogue;
    IniProfile m_settingsFile;
    SettingsStore m_store;
    // Made before the engine's timers and gone after them.
    SampleClock m_clock;
    MelodyEngine m_engine;
    SoundLoader m_loader;
    CatalogueBuilder m_catalogues;
    MelodyShelf m_shelf;
    Commands m_commands;
};

sound::SoundLibraryOptions renderLibraryOptions(const RenderJob& job) {
    sound::SoundLibraryOptions options;
    options.soundFontPath = job.soundFontPath;
    // The synthesizer is ready before the first frame, as the clock cannot
    // wait for a load in the background.
    options.loadSoundFontNow = true;
    return options;
}

std::unique_ptr<sound::OfflineDevice> makeDevice(int rate, sound::OfflineDevice*& device) {
    auto made = std::make_unique<sound::OfflineDevice>(rate, 256);
    device = made.get();
    return made;
}

Performance::Performance(const RenderJob& job, int rate, bool onlyUnresampled,
                         const std::string& privateFolder, recording::SoundFileWriter& writer,
                         const RenderProgress& progress)
    : m_job(job), m_rate(rate), m_onlyUnresampled(onlyUnresampled), m_writer(writer),
      m_progress(progress), m_device(nullptr),
      m_library(makeDevice(rate, m_device), renderLibraryOptions(job)),
      m_settings(defaultSettings(job.programFolder)), m_settingsFile(privateFolder + "/tremlo.ini"),
      m_store(m_settingsFile, job.programFolder),
      m_clock(rate, [this](std::int64_t frames) { renderFrames(frames); }),
      m_engine(m_settings, m_state, m_library, m_clock, m_clock, {m_views, m_views}),
      m_loader(m_state, m_library, {m_views, m_views, m_views, m_views, m_views}, privateFolder,
               static_cast<long>(::getpid())),
      m_catalogues(job.programFolder, m_settings, m_state, m_library, m_loader),
      m_shelf(m_settingsFile, job.melodyFolders),
      m_commands({m_settings, m_state, m_library, m_loader, m_doorCatalogue, m_envirCatalogue,
                  m_catalogues, m_store, m_views, m_views, m_views, m_engine.Timer1(),
                  job.programFolder, m_shelf,
                  [this](const std::string& path) {
                      dropSoundFile(path, m_loader, m_clock, m_settings, m_engine);
                  },
                  &m_views}) {
    m_doorTimer = &m_engine.Timer1();
}

Performance::~Performance() {
    m_state.RunOutActive = false;
    m_library.dsQuit();
}

void Performance::renderFrames(std::int64_t frames) {
    constexpr std::int64_t kChunk = 4096;
    m_buffer.resize(static_cast<std::size_t>(kChunk) * 2);
    for (std::int64_t done = 0; done < frames;) {
        // What is left of a render that will be made again, or of one asked
        // to stop, need not sound: the script still runs to its end, but
        // costs next to nothing.
        if (m_mixedRates || m_stopped)
            return;
        if (m_job.stopRequested && m_job.stopRequested()) {
            m_stopped = true;
            return;
        }
        const auto n = static_cast<std::size_t>(std::min(kChunk, frames - done));
        m_device->render(m_buffer.data(), n);
        if (m_onlyUnresampled && m_library.resampledBlocks() > 0) {
            m_mixedRates = true;
            return;
        }
        // Past a failed write the performance still plays to its end (a
        // run-out waits for the melody), unwritten.
        if (!m_writeFailed && !m_writer.write(m_buffer.data(), n))
            m_writeFailed = true;
        done += static_cast<std::int64_t>(n);
    }
    if (m_progress && m_clock.nowFrames() + frames >= m_nextProgress) {
        m_progress((m_clock.nowFrames() + frames) / m_rate, m_totalFrames / m_rate);
        m_nextProgress += std::int64_t{kProgressSeconds} * m_rate;
    }
}

void Performance::run(const ScriptEvent& event) {
    switch (event.action) {
    case ScriptAction::PressOn:
        m_engine.PressOnButton();
        break;
    case ScriptAction::ReleaseOn:
        m_engine.ReleaseOnButton();
        break;
    case ScriptAction::PressOff:
        m_engine.PressOffButton();
        break;
    case ScriptAction::ReleaseOff:
        m_engine.ReleaseOffButton();
        break;
    case ScriptAction::Next:
        m_commands.nextMelody();
        break;
    case ScriptAction::Previous:
        m_commands.previousMelody();
        break;
    case ScriptAction::Load:
        open(event.path);
        break;
    case ScriptAction::End:
        break;
    }
}

// A playlist or a station set becomes the shelf, as when it is dropped on
// the switch; anything else is loaded as a melody.
void Performance::open(const std::string& path) {
    if (isPlaylistPath(path))
        m_commands.openPlaylist(path);
    else
        dropSoundFile(path, m_loader, m_clock, m_settings, m_engine);
}

std::optional<std::string> Performance::play(const RenderScript& script) {
    // Start-up as a live run makes it, without the windows.
    if (!m_library.dsInit2(0, 2) || !m_library.dsInitMusic())
        return std::string("the sound library could not start");
    const std::vector<std::string> fixed = fixedSoundPaths(m_job.programFolder);
    m_state.ClickBuffer = m_loader.LoadSoundBuffer(fixed[0], 1);
    m_state.DoorBuffer = m_loader.LoadSoundBuffer(fixed[1], 1);
    m_state.NoiseBuffer = m_loader.LoadSoundBuffer(fixed[2], 1);
    m_state.EnvirBuffer = m_loader.LoadSoundBuffer(fixed[3], 1);
    m_store.LoadSettings(m_settings, m_views);
    m_catalogues.BuildDoorCatalogue(m_doorCatalogue);
    m_catalogues.BuildEnvirCatalogue(m_envirCatalogue);
    m_shelf.BuildMelodyShelf();
    // Before the melody, as in a live start: a platform of the shelf then
    // sets its own volumes over these.
    m_commands.loadVolumes();
    if (!m_job.melodyPath.empty())
        open(m_job.melodyPath);
    else
        m_commands.restoreShelf();
    if (m_settings.UseEnvir)
        m_library.dsPlayLooping(m_state.EnvirBuffer);
    if (!m_views.refusal.empty())
        return m_views.refusal;

    m_totalFrames = frameAt(script.back().timeNs, m_rate);
    for (const ScriptEvent& event : script) {
        m_clock.at(frameAt(event.timeNs, m_rate), [this, &event] {
            if (m_views.refusal.empty())
                run(event);
        });
    }
    m_clock.runUntil(m_totalFrames);
    if (m_stopped)
        return std::string("stopped before the end; nothing was written");
    if (!m_views.refusal.empty())
        return m_views.refusal;
    if (m_writeFailed)
        return m_writer.error();
    return std::nullopt;
}

struct Attempt {
    std::optional<std::string> problem;
    bool mixedRates = false;
};

// One render at `rate`, from a fresh copy of the settings, so that an attempt
// given up leaves nothing behind for the next (the shelf writes its place).
Attempt renderAt(const RenderJob& job, const RenderScript& script, int rate, bool onlyUnresampled,
                 const RenderProgress& progress) {
    const PrivateFolder folder;
    if (folder.path().empty())
        return {std::string("no temporary folder can be made for the render")};
    std::error_code error;
    if (isFile(job.settingsPath))
        fs::copy_file(job.settingsPath, folder.path() + "/tremlo.ini", error);
    if (error)
        return {job.settingsPath + ": " + error.message()};

    const std::string partial = partialPathFor(job.outputPath);
    // Only a process that had this one's number before can have left it.
    fs::remove(partial, error);
    auto made = recording::SoundFileWriter::createUnnamed(job.outputPath, partial, rate,
                                                          frameAt(script.back().timeNs, rate));
    if (auto* reason = std::get_if<std::string>(&made))
        return {*reason};
    auto& writer = *std::get<std::unique_ptr<recording::SoundFileWriter>>(made);

    std::optional<std::string> problem;
    bool mixedRates = false;
    {
        Performance performance(job, rate, onlyUnresampled, folder.path(), writer, progress);
        problem = performance.play(script);
        mixedRates = performance.mixedRates();
    }
    if (mixedRates && !problem)
        problem = std::string("the sounds do not share one rate");
    if (!problem && (!writer.close() || !writer.publish()))
        problem = writer.error();
    if (problem) {
        writer.close();
        fs::remove(partial, error);
    }
    return {problem, mixedRates};
}

} // namespace

std::optional<std::string> renderPerformance(const RenderJob& given,
                                             const RenderProgress& progress) {
    // Loading a melody makes its folder the current one, as a drop does.
    RenderJob job = given;
    for (std::string* path : {&job.scriptPath, &job.outputPath, &job.melodyPath, &job.settingsPath})
        if (!path->empty())
            *path = fs::absolute(*path).string();
    std::string text;
    if (auto problem = readScript(job.scriptPath, text))
        return problem;
    const std::string scriptFolder = fs::path(job.scriptPath).parent_path().string();
    const ParsedScript parsed = parseRenderScript(text, scriptFolder, isFile);
    if (const auto* error = std::get_if<ScriptError>(&parsed))
        return error->message(job.scriptPath);
    if (!job.melodyPath.empty() && !isFile(job.melodyPath))
        return job.melodyPath + ": no such melody";
    if (job.settingsNamed && !isFile(job.settingsPath))
        return job.settingsPath + ": no such settings file";

    if (job.rate > 0)
        return renderAt(job, std::get<RenderScript>(parsed), job.rate, false, progress).problem;
    const Attempt shared =
        renderAt(job, std::get<RenderScript>(parsed), kSharedRate, true, progress);
    if (!shared.mixedRates)
        return shared.problem;
    return renderAt(job, std::get<RenderScript>(parsed), kMixedRate, false, progress).problem;
}

} // namespace tremlo
