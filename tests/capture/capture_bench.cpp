// capture_bench: records the screen at DISPLAY with ScreenRecorder for a number of seconds and
// prints the result line. For the benchmark script and for trying the engine by hand.
//
//   capture_bench <output.mp4> <seconds> [x y width height] [excluded window id...]

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
    if (argc < 3) {
        kg::printResult(kg::errorResult("usage: capture_bench <output.mp4> <seconds> [x y width height] [window...]"));
        return 1;
    }
    std::optional<kg::Rect> region;
    std::vector<std::uint32_t> excluded;
    if (argc >= 7)
        region = kg::Rect{std::atof(argv[3]), std::atof(argv[4]), std::atof(argv[5]), std::atof(argv[6])};
    for (int i = 7; i < argc; ++i) excluded.push_back(static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 0)));
    kg::test::ThreadMainQueue mainThread;
    try {
        auto recorder = kg::capture::ScreenRecorder::create(region, "none", argv[1], std::atoll(argv[2]), excluded,
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
