#include "selector/run_select_region.h"

#include "cli/result_printer.h"

namespace kg {

int runSelectRegion(int, char**) {
    printResult(errorResult("cannot open display"));
    return 1;
}

}  // namespace kg
