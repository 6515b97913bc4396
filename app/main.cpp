// トレモロ: the station's departure-melody switch on the desktop.
//
// main answers --help and --version before anything opens, catches the
// system's requests to end from the first moment, and hands over to Program,
// which makes every part, runs start-up and then the event loop.

#include "command_line.h"
#include "program.h"
#include "render_command.h"
#include "termination_requests.h"

#include <QDir>
#include <cstdio>

int main(int argc, char* argv[]) {
    using namespace tremlo;
    // Answered before anything opens: no sound server, no display.
    if (const std::optional<std::string> answer = commandLineAnswer(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineOptions options = commandLineOptions(arguments, QDir::currentPath());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tremolo: %s (see tremolo --help)\n", qPrintable(options.error));
        return 2;
    }
    // A render needs no display and no sound server: nothing of Qt starts.
    if (!options.render.isEmpty())
        return renderFromCommandLine(options, QDir::currentPath());
    // From the first moment a kill, Ctrl+C or a closed terminal ends the
    // program as 終了 does: start-up at its next step, later the event loop.
    TerminationRequests termination;
    Program program(argc, argv, termination);
    return program.run();
}
