#include "recorder/run_recorder.h"

#include "cli/result_printer.h"
#include "recorder/record_options.h"

namespace kg {

int runRecorder(const std::vector<std::string>& args, int, char**) {
    (void)parseRecordOptions(args);
    printResult(errorResult("record is not available yet"));
    return 0;
}

}  // namespace kg
