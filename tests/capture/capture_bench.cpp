// capture_bench: records the screen at DISPLAY with ScreenRecorder for a number of seconds and
// prints the result lines, as the recorder application does around the engine. For the
// benchmark script, the process tests and trying the engine by hand.
//
//   capture_bench <output.mp4> <seconds> [--audio <mode>] [x y width height] [excluded window id...]

#include <signal.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "capture/screen_recorder.h"
#include "cli/result_printer.h"
#include "tests/capture/thread_main_queue.h"

int main(int argc, char** argv) {
    sigset_t stopSignal;
    sigemptyset(&stopSignal);
    sigaddset(&stopSignal, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignal, nullptr);
    std::string audioMode = "none";
    int next = 3;
    if (argc >= 5 && std::string(argv[3]) == "--audio") {
        audioMode = argv[4];
        next = 5;
    }
    if (argc < 3 || (argc > next && argc < next + 4)) {
        kg::printResult(kg::errorResult(
            "usage: capture_bench <output.mp4> <seconds> [--audio <mode>] [x y width height] [window...]"));
        return 1;
    }
    std::optional<kg::Rect> region;
    std::vector<std::uint32_t> excluded;
    if (argc >= next + 4)
        region = kg::Rect{std::atof(argv[next]), std::atof(argv[next + 1]), std::atof(argv[next + 2]),
                          std::atof(argv[next + 3])};
    for (int i = next + 4; i < argc; ++i)
        excluded.push_back(static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 0)));
    kg::test::ThreadMainQueue mainThread;
    try {
        auto recorder = kg::capture::ScreenRecorder::create(region, audioMode, argv[1], std::atoll(argv[2]), excluded,
                                                            mainThread.queue());
        recorder->start();
        kg::printResult({{"status", kg::ResultValue{std::string("recording")}}, {"output", kg::ResultValue{std::string(argv[1])}}});
        recorder->waitForStop();
        kg::printResult(recorder->stop());
    } catch (const std::exception& error) {
        kg::printResult(kg::errorResult(error.what()));
        return 1;
    }
    return 0;
}
