#include "startup.h"

#include "user_text.h"

#include <filesystem>

namespace tremlo {
namespace {

// The fixed sounds of the program folder, in the order start-up loads them.
const char* const kClickSound = "switch.wav";
const char* const kDoorSound = "door.wav";
const char* const kNoiseSound = "b.wav";
const char* const kEnvirSound = "envir.wav";

} // namespace

std::vector<std::string> fixedSoundPaths(const std::string& programFolder) {
    std::vector<std::string> paths;
    for (const char* name : {kClickSound, kDoorSound, kNoiseSound, kEnvirSound})
        paths.push_back(resolveInFolder(programFolder, name));
    return paths;
}

Startup::Startup(StartupParts parts, std::string programFolder)
    : m_parts(parts), m_programFolder(std::move(programFolder)) {}

StartupResult Startup::start(const std::string& commandLinePath) {
    auto& p = m_parts;
    p.switchView.setOnPicture(OnPicture::imgOnA);
    p.switchView.setOffPicture(OffPicture::imgOffA);
    while (!p.library.dsInit2(0, 2)) { // as often as the user asks
        if (ending())
            return StartupResult::Ended;
        // A request to end closes the question as Cancel does; it says no
        // more then.
        if (!p.view.askRetryAudio(
                userText("Engine", "DirectSoundが使えません。\r\n\r\n"
                                   "サウンド機能とDirectXが正しくインストールされていないか、"
                                   "他のアプリケーションがサウンドを再生中です。"))) {
            if (ending())
                return StartupResult::Ended;
            p.view.showStartFailure(userText("Engine", "トレモロを起動できませんでした。"));
            return StartupResult::AudioRefused;
        }
    }
    if (ending())
        return StartupResult::Ended;
    if (!p.library.dsInitMusic()) {
        p.feedback.setWaitCursor(false);
        p.feedback.showMessage(userText("Engine", "DirectMusicが使えません。"),
                               userText("Engine", "トレモロ"), MessageIcon::None);
        return StartupResult::MusicFailed;
    }
    p.library.dsSetGlobalFocus(-1);
    // A missing file leaves its sound silent, without a word.
    p.state.ClickBuffer =
        p.loader.LoadSoundBuffer(resolveInFolder(m_programFolder, kClickSound), 1);
    p.state.DoorBuffer = p.loader.LoadSoundBuffer(resolveInFolder(m_programFolder, kDoorSound), 1);
    p.state.NoiseBuffer =
        p.loader.LoadSoundBuffer(resolveInFolder(m_programFolder, kNoiseSound), 1);
    p.state.EnvirBuffer =
        p.loader.LoadSoundBuffer(resolveInFolder(m_programFolder, kEnvirSound), 1);
    deleteStaleCopies({".mid", ".wav"});
    p.loader.deleteCopiesOfEndedRuns();
    if (ending())
        return StartupResult::Ended;
    p.store.LoadSettings(p.settings, p.settingsWindows);
    p.catalogueBuilder.BuildDoorCatalogue(p.doorCatalogue);
    p.catalogueBuilder.BuildEnvirCatalogue(p.envirCatalogue);
    if (ending())
        return StartupResult::Ended;
    if (!commandLinePath.empty())
        p.view.dropFile(commandLinePath);
    if (ending())
        return StartupResult::Ended;
    m_running = true;
    return StartupResult::Running;
}

void Startup::finish() {
    if (!m_running)
        return;
    auto& p = m_parts;
    if (p.settings.UsePanel)
        p.view.showStatusPanel();
    if (p.settings.UseEnvir)
        p.library.dsPlayLooping(p.state.EnvirBuffer);
    p.view.showEnvir(p.settings.UseEnvir);
}

void Startup::shutDown() {
    auto& p = m_parts;
    p.state.RunOutActive = false;
    p.library.dsFree(p.state.ClickBuffer);
    p.library.dsFree(p.state.DoorBuffer);
    p.library.dsFree(p.state.MelodyBuffer);
    p.library.dsFree(p.state.NoiseBuffer);
    p.library.dsFree(p.state.EnvirBuffer);
    p.library.dsFreeMusicSegment(p.state.MelodySegment);
    p.library.dsQuitMusic();
    p.library.dsQuit();
    // Settings that were never read are not written over the stored ones.
    if (p.store.loaded())
        p.store.SaveSettings(p.settings, p.settingsWindows);
    deleteStaleCopies({".mid", ".sgt", ".wav"});
}

void Startup::deleteStaleCopies(std::initializer_list<const char*> endings) {
    for (const char* ending : endings) {
        std::error_code ignored;
        std::filesystem::remove(m_parts.loader.workFolder() + "/~tremlo" + ending, ignored);
    }
}

} // namespace tremlo
