#include "recorder/stop_command.h"

#include <csignal>

#include "cli/result_printer.h"
#include "recorder/pid_file.h"
#include "recorder/temp_directory.h"

namespace kg {

int stopRecording() {
    const auto pid = readPidFile(temporaryDirectory() + kPidFileName);
    if (!pid) {
        printResult(errorResult("no active recording found"));
        return 1;
    }
    // Whether the process exists or is a recorder at all does not change the report.
    (void)::kill(*pid, SIGUSR1);
    printResult({{"status", std::string("stop_signal_sent")}, {"pid", static_cast<std::int64_t>(*pid)}});
    return 0;
}

}  // namespace kg
