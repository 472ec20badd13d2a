// capture_bench: records the screen at DISPLAY with ScreenRecorder for a number of seconds and
// prints the result lines, as the recorder application does around the engine. For the
// benchmark script, the process tests and trying the engine by hand. With --overlay, a window
// drawn like the recording overlay is shown around the region and left out, as `record` does.
//
//   capture_bench <output.mp4> <seconds> [--audio <mode>] [--overlay] [x y width height] [excluded window id...]

#include <signal.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "capture/screen_recorder.h"
#include "cli/result_printer.h"
#include "tests/capture/thread_main_queue.h"
#include "tests/support/x11_test_scene.h"

int main(int argc, char** argv) {
    sigset_t stopSignal;
    sigemptyset(&stopSignal);
    sigaddset(&stopSignal, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignal, nullptr);
    // Options first, then the positional arguments.
    std::vector<std::string> args;
    std::string audioMode = "none";
    bool overlay = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--audio" && i + 1 < argc)
            audioMode = argv[++i];
        else if (arg == "--overlay")
            overlay = true;
        else
            args.push_back(arg);
    }
    if (args.size() < 2 || (args.size() > 2 && args.size() < 6) || (overlay && args.size() < 6)) {
        kg::printResult(kg::errorResult(
            "usage: capture_bench <output.mp4> <seconds> [--audio <mode>] [--overlay] [x y width height] [window...]"));
        return 1;
    }
    std::optional<kg::Rect> region;
    std::vector<std::uint32_t> excluded;
    auto number = [&](std::size_t i) { return std::atof(args[i].c_str()); };
    if (args.size() >= 6) region = kg::Rect{number(2), number(3), number(4), number(5)};
    for (std::size_t i = 6; i < args.size(); ++i)
        excluded.push_back(static_cast<std::uint32_t>(std::strtoul(args[i].c_str(), nullptr, 0)));
    kg::test::ThreadMainQueue mainThread;
    try {
        std::unique_ptr<kg::test::X11TestScene> scene;
        if (overlay) {
            const char* display = std::getenv("DISPLAY");
            scene = std::make_unique<kg::test::X11TestScene>(display ? display : "");
            excluded.push_back(scene->addOverlay(static_cast<int>(region->x), static_cast<int>(region->y),
                                                 static_cast<int>(region->width), static_cast<int>(region->height)));
        }
        auto recorder = kg::capture::ScreenRecorder::create(region, audioMode, args[0], std::atoll(args[1].c_str()), excluded,
                                                            mainThread.queue());
        recorder->start();
        kg::printResult({{"status", kg::ResultValue{std::string("recording")}}, {"output", kg::ResultValue{args[0]}}});
        recorder->waitForStop();
        kg::printResult(recorder->stop());
    } catch (const std::exception& error) {
        kg::printResult(kg::errorResult(error.what()));
        return 1;
    }
    return 0;
}
