#include "render_command.h"

#include "catalogues.h"
#include "melody_shelf.h"
#include "offline_render.h"
#include "settings_file.h"
#include "user_folders.h"

#include <QFile>
#include <csignal>
#include <cstdio>
#include <filesystem>

namespace tremlo {
namespace {

volatile std::sig_atomic_t stopSignal = 0;

void noteStop(int signal) {
    stopSignal = signal;
}

// Kill, Ctrl+C and a closed terminal end the render between two blocks of
// frames, so that its part file and private folder go with it. A second one
// ends the process at once, as the handler is then the default again.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = noteStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

} // namespace

std::string folderOfThisProgram() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : executable.parent_path().string();
}

int renderFromCommandLine(const CommandLineOptions& options, const QString& currentFolder) {
    const auto local = [](const QString& path) { return QFile::encodeName(path).toStdString(); };
    RenderJob job;
    job.scriptPath = local(options.render);
    job.outputPath = local(options.output);
    job.melodyPath =
        local(commandLinePath(QStringList{QString()} + options.melodyWords, currentFolder));
    job.programFolder = folderOfThisProgram();
    job.settingsPath = options.settings.isEmpty()
                           ? settingsFilePath(job.programFolder, userConfigFolder())
                           : local(options.settings);
    job.settingsNamed = !options.settings.isEmpty();
    catchStopSignals();
    job.stopRequested = [] { return stopSignal != 0; };
    job.melodyFolders = {resolveInFolder(job.programFolder, "Melody")};
    if (userMelodyFolder() != job.melodyFolders.front())
        job.melodyFolders.push_back(userMelodyFolder());
    const auto progress = [](std::int64_t done, std::int64_t total) {
        std::fprintf(stderr, "tremolo: rendered %lld of %lld s\n", static_cast<long long>(done),
                     static_cast<long long>(total));
    };
    if (const auto problem = renderPerformance(job, progress)) {
        std::fprintf(stderr, "tremolo: %s\n", problem->c_str());
        // Ended as the signal would have ended it, now that nothing is left.
        if (const int signal = stopSignal) {
            std::signal(signal, SIG_DFL);
            std::raise(signal);
        }
        return 1;
    }
    std::fprintf(stderr, "tremolo: wrote %s\n", job.outputPath.c_str());
    return 0;
}

} // namespace tremlo
