#include "selector/run_select_region.h"

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
    app.setDelegate(&delegate);
    return app.run();
}

}  // namespace kg
