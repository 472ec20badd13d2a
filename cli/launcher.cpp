// The `kestrelgrain-capture` command as it is started: blocks the signals the tool reads, then
// becomes the tool itself (kestrelgrain-capture-app beside it; same process, same arguments).
// Loading the tool's libraries takes tens of milliseconds, during which a signal would act by
// its default and end the process without a line; this program needs only the C and C++
// runtimes and reaches its first line in about a millisecond. The blocked mask and any signal
// pending meanwhile are kept across exec, for the tool's watchers to read.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/process_signals.h"
#include "cli/result_printer.h"

int main(int, char** argv) {
    kg::blockProcessSignals();
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string tool = (self.parent_path() / "kestrelgrain-capture-app").string();
    ::execv(tool.c_str(), argv);
    kg::printResult(kg::errorResult("cannot start " + tool + ": " + std::strerror(errno)));
    return 1;
}
