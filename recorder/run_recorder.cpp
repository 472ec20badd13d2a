#include "recorder/run_recorder.h"

#include <csignal>
#include <memory>
#include <optional>
#include <vector>

#include "cli/result_printer.h"
#include "platform/application.h"
#include "capture/signal_source.h"
#include "recorder/record_options.h"
#include "recorder/recorder_app_delegate.h"

namespace kg {

int runRecorder(const std::vector<std::string>& args, int argc, char** argv) {
    const RecordSettings settings = parseRecordOptions(args);

    // Ctrl-C, a closing terminal or a polite kill finish the file instead of losing it. The
    // signals are blocked before the toolkit starts its threads, so that they stay pending
    // until the signal source below reads them, whichever thread they were aimed at.
    const int terminationSignals[] = {SIGINT, SIGTERM, SIGHUP};
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signo : terminationSignals) sigaddset(&blocked, signo);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);

    if (!Application::open(argc, argv)) {
        printResult(errorResult("cannot open display"));
        return 1;
    }
    Application& app = Application::shared();
    app.setActivationPolicy(ActivationPolicy::Accessory);

    auto delegate = std::make_shared<RecorderAppDelegate>(settings.region, settings.audioMode, settings.outputPath,
                                                          settings.maxSeconds, app.mainQueue());
    std::optional<capture::SignalSource> terminationSource;
    try {
        terminationSource.emplace(
            std::vector<int>(std::begin(terminationSignals), std::end(terminationSignals)),
            [weak = std::weak_ptr<RecorderAppDelegate>(delegate)](int signo) {
                if (const auto d = weak.lock()) d->terminationSignalReceived(signo);
            },
            app.mainQueue());
    } catch (const std::exception&) {
        // No signal watcher (no descriptor left): the signals keep their default action
        // instead of staying blocked for nothing, and the recording itself goes on.
        pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
    }
    app.setDelegate(delegate.get());
    app.run();
    return 0;
}

}  // namespace kg
