#include "selector/run_select_region.h"

#include <optional>
#include <vector>

#include "capture/signal_source.h"
#include "cli/process_signals.h"
#include "cli/result_printer.h"
#include "platform/application.h"
#include "selector/region_selector_app_delegate.h"

namespace kg {

int runSelectRegion(int argc, char** argv) {
    if (!Application::open(argc, argv)) {
        printResult(errorResult("cannot open display"));
        return 1;
    }
    Application& app = Application::shared();
    app.setActivationPolicy(ActivationPolicy::Accessory);
    RegionSelectorAppDelegate delegate;
    // Ctrl-C, a closing terminal or a polite kill cancel like Escape: the windows leave the
    // screen and the cancellation is printed. The signals have been blocked since the process
    // started, so one sent before this point is pending and read at once.
    std::optional<capture::SignalSource> terminationSource;
    try {
        terminationSource.emplace(std::vector<int>(kTerminationSignals.begin(), kTerminationSignals.end()),
                                  [&delegate](int) { delegate.selectionCancelled(); }, app.mainQueue());
    } catch (const std::exception&) {
        unblockTerminationSignals();
    }
    app.setDelegate(&delegate);
    return app.run();
}

}  // namespace kg
