#include "recorder/run_recorder.h"

#include <memory>
#include <optional>
#include <vector>

#include "capture/signal_source.h"
#include "cli/process_signals.h"
#include "cli/region_limits.h"
#include "cli/result_printer.h"
#include "platform/application.h"
#include "recorder/record_options.h"
#include "recorder/recorder_app_delegate.h"

namespace kg {

int runRecorder(const std::vector<std::string>& args, int argc, char** argv) {
    const RecordSettings settings = parseRecordOptions(args);
    // A region no screen or encoder can take is refused before the display is even opened:
    // the frame around it would otherwise be made, and painted, at its size.
    if (settings.region) {
        if (const auto problem = regionProblem(*settings.region)) {
            printResult(errorResult(*problem));
            return 1;
        }
    }

    if (!Application::open(argc, argv)) {
        printResult(errorResult("cannot open display"));
        return 1;
    }
    Application& app = Application::shared();
    app.setActivationPolicy(ActivationPolicy::Accessory);

    auto delegate = std::make_shared<RecorderAppDelegate>(settings.region, settings.audioMode, settings.outputPath,
                                                          settings.maxSeconds, app.mainQueue());
    // Ctrl-C, a closing terminal or a polite kill finish the file instead of losing it. The
    // signals have been blocked since the process started (so one sent meanwhile is pending
    // and read here first).
    std::optional<capture::SignalSource> terminationSource;
    try {
        terminationSource.emplace(
            std::vector<int>(kTerminationSignals.begin(), kTerminationSignals.end()),
            [weak = std::weak_ptr<RecorderAppDelegate>(delegate)](int signo) {
                if (const auto d = weak.lock()) d->terminationSignalReceived(signo);
            },
            app.mainQueue());
    } catch (const std::exception&) {
        // No signal watcher (no descriptor left): the signals get their default action back
        // instead of staying blocked for nothing, and the recording itself goes on.
        unblockTerminationSignals();
    }
    app.setDelegate(delegate.get());
    app.run();
    return 0;
}

}  // namespace kg
