#pragma once

// `tremolo --render SCRIPT --output OUT [FILE]`: the offline render, run
// before anything of Qt, the display or the sound server opens. The script's
// refusal, or what stopped the render, goes to stderr with the progress.
//
// Thread: the main thread, alone.

#include "command_line.h"

namespace tremlo {

// The process's exit status: 0 when OUT holds the whole performance.
int renderFromCommandLine(const CommandLineOptions& options, const QString& currentFolder);

// The folder of the running executable (the program folder), from
// /proc/self/exe; empty when it cannot be told.
std::string folderOfThisProgram();

} // namespace tremlo
