#include "render_command.h"

#include "catalogues.h"
#include "melody_shelf.h"
#include "offline_render.h"
#include "settings_file.h"
#include "user_folders.h"

#include <QFile>
#include <cstdio>
#include <filesystem>

namespace tremlo {

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
    job.melodyFolders = {resolveInFolder(job.programFolder, "Melody")};
    if (userMelodyFolder() != job.melodyFolders.front())
        job.melodyFolders.push_back(userMelodyFolder());
    const auto progress = [](std::int64_t done, std::int64_t total) {
        std::fprintf(stderr, "tremolo: rendered %lld of %lld s\n", static_cast<long long>(done),
                     static_cast<long long>(total));
    };
    if (const auto problem = renderPerformance(job, progress)) {
        std::fprintf(stderr, "tremolo: %s\n", problem->c_str());
        return 1;
    }
    std::fprintf(stderr, "tremolo: wrote %s\n", job.outputPath.c_str());
    return 0;
}

} // namespace tremlo
