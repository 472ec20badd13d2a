// Entry point: dispatches on the command word. Every outcome is a result line on standard
// output; nothing is ever written to standard error.

#include <csignal>
#include <string>
#include <vector>

#include "cli/result_printer.h"
#include "recorder/run_recorder.h"
#include "recorder/stop_command.h"
#include "selector/run_select_region.h"

int main(int argc, char** argv) {
    // SIGUSR1 asks a recording to stop. Blocked before any thread exists, so every thread
    // inherits the mask: a stop signal that arrives before the recorder waits for it stays
    // pending instead of ending the process, and is read later from a signalfd.
    sigset_t stopSignal;
    sigemptyset(&stopSignal);
    sigaddset(&stopSignal, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignal, nullptr);

    if (argc < 2) {
        kg::printResult(kg::errorResult("usage: kestrelgrain-capture <select-region|record|stop>"));
        return 1;
    }
    const std::string command = argv[1];
    // The toolkit sees only the program's name: it would take arguments such as "-display" or
    // "-platform" as its own, while every argument after the command word is ours.
    static char* toolkitArgv[] = {argv[0], nullptr};
    static int toolkitArgc = 1;
    if (command == "select-region") {
        return kg::runSelectRegion(toolkitArgc, toolkitArgv);
    }
    if (command == "record") {
        return kg::runRecorder(std::vector<std::string>(argv + 2, argv + argc), toolkitArgc, toolkitArgv);
    }
    if (command == "stop") {
        return kg::stopRecording();
    }
    kg::printResult(kg::errorResult("unknown command: " + command));
    return 1;
}
