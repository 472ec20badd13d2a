// Entry point: dispatches on the command word. Every outcome is a result line on standard
// output; nothing is ever written to standard error.

#include <string>
#include <vector>

#include "cli/process_signals.h"
#include "cli/result_printer.h"
#include "recorder/run_recorder.h"
#include "recorder/stop_command.h"
#include "selector/run_select_region.h"

int main(int argc, char** argv) {
    // Before anything else: a stop or termination signal sent the moment the process starts
    // must wait for the watcher that turns it into a result line, not end the process.
    kg::blockProcessSignals();

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
